#include "FileIo.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "Errors.h"

namespace store {

namespace {

std::string describe(int error) {
    return std::strerror(error);
}

}  // namespace

size_t MemoryFile::readAt(uint64_t offset, void* data, size_t size) const {
    if (offset >= m_bytes.size()) {
        return 0;
    }
    size_t count = std::min<uint64_t>(size, m_bytes.size() - offset);
    std::memcpy(data, m_bytes.data() + offset, count);
    return count;
}

void MemoryFile::writeAt(uint64_t offset, const void* data, size_t size) {
    if (offset + size > m_bytes.size()) {
        m_bytes.resize(offset + size);
    }
    std::memcpy(m_bytes.data() + offset, data, size);
}

PosixFile::PosixFile(std::string path, LockMode lock) : m_path(std::move(path)) {
    // A pack renames a new file over the old one; a lock taken on the old file after that
    // would guard nothing, so retry until the locked file is the one the path names.
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_fd = ::open(m_path.c_str(), O_RDWR | O_CLOEXEC);
        m_readOnly = false;
        if (m_fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
            m_fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
            m_readOnly = true;
        }
        if (m_fd < 0) {
            if (errno == ENOENT) {
                throw EngineError("File not found: " + m_path);
            }
            throw EngineError("Cannot open " + m_path + ": " + describe(errno));
        }
        int operation = (lock == LockMode::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
        int result;
        do {
            result = ::flock(m_fd, operation);
        } while (result != 0 && errno == EINTR);
        if (result != 0) {
            int error = errno;
            ::close(m_fd);
            m_fd = -1;
            if (error == EWOULDBLOCK) {
                throw EngineError("Table is busy (opened by another user or program): " + m_path);
            }
            throw EngineError("Cannot lock " + m_path + ": " + describe(error));
        }
        struct stat opened {};
        struct stat named {};
        if (::fstat(m_fd, &opened) == 0 && ::stat(m_path.c_str(), &named) == 0 &&
            opened.st_dev == named.st_dev && opened.st_ino == named.st_ino) {
            return;
        }
        ::close(m_fd);
        m_fd = -1;
    }
    throw EngineError("Cannot open " + m_path + ": the file keeps being replaced");
}

PosixFile::~PosixFile() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

size_t PosixFile::readAt(uint64_t offset, void* data, size_t size) const {
    auto* out = static_cast<char*>(data);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::pread(m_fd, out + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw EngineError("Cannot read " + m_path + ": " + describe(errno));
        }
        if (n == 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    return done;
}

void PosixFile::writeAt(uint64_t offset, const void* data, size_t size) {
    if (m_readOnly) {
        throw EngineError("Cannot write " + m_path + ": the file is read-only");
    }
    const auto* in = static_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::pwrite(m_fd, in + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw EngineError("Cannot write " + m_path + ": " + describe(errno));
        }
        done += static_cast<size_t>(n);
    }
}

uint64_t PosixFile::size() const {
    struct stat info {};
    if (::fstat(m_fd, &info) != 0) {
        throw EngineError("Cannot read " + m_path + ": " + describe(errno));
    }
    return static_cast<uint64_t>(info.st_size);
}

void PosixFile::truncate(uint64_t size) {
    if (m_readOnly) {
        throw EngineError("Cannot write " + m_path + ": the file is read-only");
    }
    int result;
    do {
        result = ::ftruncate(m_fd, static_cast<off_t>(size));
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        throw EngineError("Cannot write " + m_path + ": " + describe(errno));
    }
}

void PosixFile::sync() {
    if (!m_readOnly && ::fsync(m_fd) != 0) {
        throw EngineError("Cannot write " + m_path + " to disk: " + describe(errno));
    }
}

}  // namespace store
