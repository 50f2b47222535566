#pragma once
// Full and read-only file systems for tests of saves that fail: small tmpfs
// mounts in a mount namespace of the test's own, which nobody else sees and
// which go with the process. Child processes started afterwards share it.
// Every function returns false where this process may not make one (no
// privilege, a container without the capability): the test then skips.

#include <sched.h>
#include <sys/mount.h>

#include <string>
#include <vector>

namespace quillmar::mounts {

// Moves the calling thread into a mount namespace of its own, in which
// nothing mounted propagates back.
inline bool EnterPrivateNamespace() {
    if (::unshare(CLONE_NEWNS) != 0) return false;
    return ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

// A tmpfs of size ("64k", "2m") at path, which must be a folder.
inline bool MountTmpfs(const std::string& path, const std::string& size) {
    return ::mount("tmpfs", path.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
}

// A private namespace and a tmpfs of size at path in it.
inline bool MountSmallTmpfs(const std::string& path, const std::string& size = "64k") {
    return EnterPrivateNamespace() && MountTmpfs(path, size);
}

// The tmpfs at path made read-only (its size given again).
inline bool RemountReadOnly(const std::string& path, const std::string& size) {
    return ::mount(nullptr, path.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, ("size=" + size).c_str()) == 0;
}

// Folder made read-only in place, with whatever is mounted below it kept as
// it is (writable tmpfs mounts stay writable).
inline bool MakeFolderReadOnly(const std::string& folder) {
    if (::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0) return false;
    if (::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0)
        return true;
    ::umount2(folder.c_str(), MNT_DETACH);
    return false;
}

// Unmounts, newest first, what was mounted at the paths given, when it goes.
class Unmounts {
public:
    Unmounts() = default;
    Unmounts(const Unmounts&) = delete;
    Unmounts& operator=(const Unmounts&) = delete;
    ~Unmounts() { unmountAll(); }
    void add(const std::string& path) { paths_.push_back(path); }
    // Now rather than when it goes.
    void unmountAll() {
        for (auto p = paths_.rbegin(); p != paths_.rend(); ++p)
            ::umount2(p->c_str(), MNT_DETACH);
        paths_.clear();
    }

private:
    std::vector<std::string> paths_;
};

} // namespace quillmar::mounts
