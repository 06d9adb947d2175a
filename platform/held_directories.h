// What both backends of platform::Tree share: taking a relative path apart
// into its components, and the directories held on the way, found by the
// path prefix that names them. A directory is resolved once and then held;
// past a bound on how many are held at once, all but the root are let go and
// resolved afresh when next needed (the descriptors a process may hold are
// few on POSIX).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform {

// Where a component lies in its path.
struct PathComponent {
    std::size_t start = 0;
    std::size_t end = 0;
};

// The components of path: separated by "\" or "/", empty and "." ones left out.
std::vector<PathComponent> pathComponents(std::u16string_view path);

class HeldDirectories {
public:
    struct Directory {
        std::intptr_t handle = -1;
        std::array<std::uint64_t, 2> id{};  // what tells this directory from any other
    };
    // Opens the directory name in parent (whose prefix path names the
    // child) without following a link, or gives the error code.
    using OpenChild =
        std::function<std::uint32_t(const Directory& parent, std::u16string_view name, const std::u16string& path,
                                    Directory& out)>;
    using Close = void (*)(std::intptr_t handle);

    HeldDirectories(Close close, std::size_t bound) : close_(close), bound_(bound) {}
    ~HeldDirectories() { reset(); }
    HeldDirectories(const HeldDirectories&) = delete;
    HeldDirectories& operator=(const HeldDirectories&) = delete;

    // A new root; what was known of the directories below the old one is kept.
    void setRoot(const Directory& root);
    bool hasRoot() const { return root_.dir.handle != -1; }
    // Lets go of every directory, the root included.
    void reset();

    // The directory that holds path's last component, and that component.
    // Gives 87 for a path with no component.
    std::uint32_t parentOf(const std::u16string& path, const OpenChild& open, const Directory*& parent,
                           std::u16string& name);
    // The directory path itself ("" or "." for the root).
    std::uint32_t directory(const std::u16string& path, const OpenChild& open, const Directory*& dir);
    // Lets go of the directories path names or holds.
    void release(const std::u16string& path);
    // Resolves directory path afresh, holding nothing new, and compares each
    // level with what it was when first resolved.
    bool unchanged(const std::u16string& path, const OpenChild& open);

private:
    // One directory below the root, by the names on the way: every name is
    // hashed once per walk, so a walk costs what its path is long. Nodes stay
    // once made (they remember what each directory was); their handles go
    // when too many are held.
    struct Node {
        Directory dir;
        std::unordered_map<std::u16string, std::unique_ptr<Node>> children;
        std::uint64_t used = 0;  // the last walk that passed it
    };

    // The node of the prefix of path up to component count components (0:
    // the root), each held, opening what is not.
    std::uint32_t resolve(const std::u16string& path, const std::vector<PathComponent>& components,
                          std::size_t count, const OpenChild& open, Node*& node);
    // Lets go of the handles below node that no walk since walk keep used:
    // an operation may rely on the directories of its two walks (a move's
    // source and target) at once.
    void closeBelow(Node& node, std::uint64_t keep = ~std::uint64_t{0});

    Close close_;
    std::size_t bound_;
    std::size_t heldCount_ = 0;  // handles held below the root
    std::uint64_t walks_ = 0;
    Node root_;
};

}  // namespace platform
