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
    root_ = root;
}

void HeldDirectories::reset() {
    for (auto& [path, dir] : held_) close_(dir.handle);
    held_.clear();
    if (root_.handle != -1) close_(root_.handle);
    root_ = {};
}

std::uint32_t HeldDirectories::resolve(const std::u16string& path, const std::vector<PathComponent>& components,
                                       std::size_t count, const OpenChild& open, const Directory*& dir) {
    dir = &root_;
    if (root_.handle == -1) return kErrorInvalidParameter;
    // The deepest level already held, then the rest opened one by one.
    std::size_t level = count;
    for (; level > 0; --level) {
        const auto found = held_.find(path.substr(0, components[level - 1].end));
        if (found == held_.end()) continue;
        dir = &found->second;
        break;
    }
    if (level < count && held_.size() + (count - level) > bound_) {
        // Every directory but the root goes; the walk starts from it again.
        for (auto& [key, held] : held_) close_(held.handle);
        held_.clear();
        dir = &root_;
        level = 0;
    }
    for (; level < count; ++level) {
        const PathComponent c = components[level];
        std::u16string key = path.substr(0, c.end);
        Directory child;
        const std::uint32_t code = open(*dir, std::u16string_view(path).substr(c.start, c.end - c.start), key, child);
        if (code != kErrorSuccess) return code;
        seen_.try_emplace(key, child.id);
        const auto [it, added] = held_.emplace(std::move(key), child);
        if (!added) close_(child.handle);
        dir = &it->second;
    }
    return kErrorSuccess;
}

std::uint32_t HeldDirectories::parentOf(const std::u16string& path, const OpenChild& open, const Directory*& parent,
                                        std::u16string& name) {
    const std::vector<PathComponent> components = pathComponents(path);
    if (components.empty()) return kErrorInvalidParameter;
    const PathComponent last = components.back();
    name = path.substr(last.start, last.end - last.start);
    return resolve(path, components, components.size() - 1, open, parent);
}

std::uint32_t HeldDirectories::directory(const std::u16string& path, const OpenChild& open, const Directory*& dir) {
    const std::vector<PathComponent> components = pathComponents(path);
    return resolve(path, components, components.size(), open, dir);
}

void HeldDirectories::release(const std::u16string& path) {
    for (auto it = held_.begin(); it != held_.end();) {
        const std::u16string& key = it->first;
        const bool below = key.compare(0, path.size(), path) == 0 &&
                           (key.size() == path.size() || isSeparator(key[path.size()]));
        if (below) {
            close_(it->second.handle);
            it = held_.erase(it);
        } else {
            ++it;
        }
    }
}

bool HeldDirectories::unchanged(const std::u16string& path, const OpenChild& open) {
    if (root_.handle == -1) return false;
    const std::vector<PathComponent> components = pathComponents(path);
    std::vector<Directory> opened;
    bool same = true;
    for (const PathComponent c : components) {
        const Directory& parent = opened.empty() ? root_ : opened.back();
        const std::u16string key = path.substr(0, c.end);
        Directory child;
        if (open(parent, std::u16string_view(path).substr(c.start, c.end - c.start), key, child) != kErrorSuccess) {
            same = false;
            break;
        }
        opened.push_back(child);
        const auto known = seen_.find(key);
        if (known != seen_.end() && known->second != child.id) {
            same = false;
            break;
        }
    }
    for (const Directory& dir : opened) close_(dir.handle);
    return same;
}

}  // namespace platform
