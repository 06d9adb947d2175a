#include "platform/held_directories.h"

#include "platform/platform.h"

namespace platform {

namespace {

bool isSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

}  // namespace

std::vector<PathComponent> pathComponents(std::u16string_view path) {
    std::vector<PathComponent> out;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && !isSeparator(path[i])) continue;
        const std::u16string_view part = path.substr(start, i - start);
        if (!part.empty() && part != u".") out.push_back({start, i});
        start = i + 1;
    }
    return out;
}

void HeldDirectories::setRoot(const Directory& root) {
    reset();
    root_.dir = root;
}

void HeldDirectories::reset() {
    closeBelow(root_);
    if (root_.dir.handle != -1) close_(root_.dir.handle);
    root_.dir.handle = -1;
}

void HeldDirectories::closeBelow(Node& node, std::uint64_t keep) {
    for (auto& [name, child] : node.children) {
        if (child->dir.handle != -1 && child->used < keep) {
            close_(child->dir.handle);
            child->dir.handle = -1;
            --heldCount_;
        }
        closeBelow(*child, keep);
    }
}

std::uint32_t HeldDirectories::resolve(const std::u16string& path, const std::vector<PathComponent>& components,
                                       std::size_t count, const OpenChild& open, Node*& node) {
    node = &root_;
    if (root_.dir.handle == -1) return kErrorInvalidParameter;
    const std::uint64_t walk = ++walks_;
    std::uint32_t code = kErrorSuccess;
    for (std::size_t level = 0; level < count && code == kErrorSuccess; ++level) {
        const PathComponent c = components[level];
        const std::u16string_view name = std::u16string_view(path).substr(c.start, c.end - c.start);
        // Nothing above the root is reached.
        if (name == u"..") {
            code = kErrorInvalidName;
            break;
        }
        std::unique_ptr<Node>& child = node->children[std::u16string(name)];
        if (!child) child = std::make_unique<Node>();
        if (child->dir.handle == -1) {
            if (heldCount_ >= bound_) closeBelow(root_, walk - 1);
            Directory opened;
            code = open(node->dir, name, path.substr(0, c.end), opened);
            if (code != kErrorSuccess) break;
            if (child->dir.id == std::array<std::uint64_t, 2>{}) child->dir.id = opened.id;
            child->dir.handle = opened.handle;
            ++heldCount_;
        }
        node = child.get();
        node->used = walk;
    }
    return code;
}

std::uint32_t HeldDirectories::parentOf(const std::u16string& path, const OpenChild& open, const Directory*& parent,
                                        std::u16string& name) {
    const std::vector<PathComponent> components = pathComponents(path);
    if (components.empty()) return kErrorInvalidParameter;
    const PathComponent last = components.back();
    name = path.substr(last.start, last.end - last.start);
    if (name == u"..") return kErrorInvalidName;
    Node* node = nullptr;
    const std::uint32_t code = resolve(path, components, components.size() - 1, open, node);
    parent = &node->dir;
    return code;
}

std::uint32_t HeldDirectories::directory(const std::u16string& path, const OpenChild& open, const Directory*& dir) {
    const std::vector<PathComponent> components = pathComponents(path);
    Node* node = nullptr;
    const std::uint32_t code = resolve(path, components, components.size(), open, node);
    dir = &node->dir;
    return code;
}

void HeldDirectories::release(const std::u16string& path) {
    Node* node = &root_;
    for (const PathComponent c : pathComponents(path)) {
        const auto found = node->children.find(path.substr(c.start, c.end - c.start));
        if (found == node->children.end()) return;
        node = found->second.get();
    }
    if (node == &root_) return;
    if (node->dir.handle != -1) {
        close_(node->dir.handle);
        node->dir.handle = -1;
        --heldCount_;
    }
    closeBelow(*node);
}

bool HeldDirectories::unchanged(const std::u16string& path, const OpenChild& open) {
    if (root_.dir.handle == -1) return false;
    std::vector<Directory> opened;
    const Node* known = &root_;
    bool same = true;
    for (const PathComponent c : pathComponents(path)) {
        const Directory& parent = opened.empty() ? root_.dir : opened.back();
        const std::u16string name = path.substr(c.start, c.end - c.start);
        Directory child;
        if (open(parent, name, path.substr(0, c.end), child) != kErrorSuccess) {
            same = false;
            break;
        }
        opened.push_back(child);
        if (known == nullptr) continue;
        const auto found = known->children.find(name);
        known = found == known->children.end() ? nullptr : found->second.get();
        if (known != nullptr && known->dir.id != std::array<std::uint64_t, 2>{} && known->dir.id != child.id) {
            same = false;
            break;
        }
    }
    for (const Directory& dir : opened) close_(dir.handle);
    return same;
}

}  // namespace platform
