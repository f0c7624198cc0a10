#pragma once

#include <sched.h>
#include <sys/mount.h>

#include <cstdint>
#include <filesystem>
#include <string>

// File systems of a given size made by a test, where the process may mount them.
namespace testsupport {

// Whether this process has a mount namespace of its own: mounts made in it are seen by no
// other process and go when it ends.
inline bool privateMounts() {
    static const bool made = ::unshare(CLONE_NEWNS) == 0 &&
                             ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return made;
}

// A tmpfs of bytes mounted on folder (an existing folder), unmounted when this goes.
class SmallFileSystem {
public:
    SmallFileSystem(std::filesystem::path folder, uint64_t bytes) : m_folder(std::move(folder)) {
        const std::string size = "size=" + std::to_string(bytes);
        m_mounted =
            privateMounts() && ::mount("tmpfs", m_folder.c_str(), "tmpfs", 0, size.c_str()) == 0;
    }
    ~SmallFileSystem() {
        if (m_mounted) {
            ::umount2(m_folder.c_str(), MNT_DETACH);
        }
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    // False where this process may not mount (it then tests nothing on it).
    bool mounted() const { return m_mounted; }
    // Makes it read-only, its files kept.
    bool makeReadOnly() {
        return ::mount("tmpfs", m_folder.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    std::filesystem::path m_folder;
    bool m_mounted = false;
};

}  // namespace testsupport
