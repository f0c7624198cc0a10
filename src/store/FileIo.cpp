#include "FileIo.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "Errors.h"

namespace store {

std::string describeSystemError(int error) {
    switch (error) {
        case ENOENT:
            return "文件不存在";
        case EACCES:
        case EPERM:
            return "没有权限";
        case EROFS:
            return "文件系统只读";
        case ENOSPC:
        case EDQUOT:
            return "磁盘空间不足";
        case EIO:
            return "磁盘读写出错";
        case EMFILE:
        case ENFILE:
            return "打开的文件过多";
        case EISDIR:
            return "这是一个文件夹";
        default:
            return "系统错误 " + std::to_string(error) + "（" + std::strerror(error) + "）";
    }
}

namespace {

void (*diskChangeHook)() = nullptr;

// Held runs of bytes closer than this are written out as one write, with the bytes between
// them as the file below has them; a write takes at most kMaxWriteOut bytes, unless its next
// run goes on in the block where it ends (kWriteBlock).
constexpr uint64_t kWriteOutGap = 16 * 1024;
constexpr uint64_t kMaxWriteOut = 4 * 1024 * 1024;
// A copy between files that are not both on disk goes through a buffer of this size.
constexpr uint64_t kCopyPiece = 1024 * 1024;

}  // namespace

void setDiskChangeHook(void (*hook)()) {
    diskChangeHook = hook;
}

void beforeDiskChange() {
    if (diskChangeHook != nullptr) {
        diskChangeHook();
    }
}

std::string directoryOf(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

bool fileExists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

void syncDirectory(const std::string& directory) {
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // A file system that cannot sync a folder (EINVAL) keeps its entries by other means.
    const bool synced = fd >= 0 && (::fsync(fd) == 0 || errno == EINVAL);
    const int error = errno;
    if (fd >= 0) {
        ::close(fd);
    }
    if (!synced) {
        throw EngineError("不能把文件夹 " + directory + " 中文件的建立、改名和删除写入磁盘：" +
                          describeSystemError(error));
    }
}

std::string directoryWriteRefusal(const std::string& directory) {
    if (::access(directory.c_str(), W_OK) == 0) {
        return {};
    }
    const int error = errno;
    if (error != EACCES && error != EPERM && error != EROFS) {
        return {};  // a folder that is not there is told of by the file that is missing
    }
    return "数据文件夹 " + directory + " 不能写入（" + describeSystemError(error) +
           "）：其中的数据表只能查看，不能整理，也不能保存修改";
}

void renameFile(const std::string& from, const std::string& to) {
    beforeDiskChange();
    if (::rename(from.c_str(), to.c_str()) != 0) {
        throw EngineError("不能把文件 " + from + " 改名为 " + to + "：" +
                          describeSystemError(errno));
    }
    // rename() leaves both names when they are links to one file.
    if (fileExists(from)) {
        ::unlink(from.c_str());
    }
}

void removeFile(const std::string& path) {
    if (fileExists(path)) {
        beforeDiskChange();
        ::unlink(path.c_str());
    }
}

uint64_t FileIo::copyFrom(const FileIo& from, uint64_t fromOffset, uint64_t at, uint64_t size) {
    std::string buffer(std::min(size, kCopyPiece), '\0');
    uint64_t done = 0;
    while (done < size) {
        const size_t got = from.readAt(fromOffset + done, buffer.data(),
                                       std::min<uint64_t>(buffer.size(), size - done));
        if (got == 0) {
            break;
        }
        writeAt(at + done, buffer.data(), got);
        done += got;
    }
    return done;
}

namespace {

// The descriptor of a file on disk that holds every byte its readers see, or -1.
int diskDescriptor(const FileIo& file) {
    if (const auto* posix = dynamic_cast<const PosixFile*>(&file)) {
        return posix->descriptor();
    }
    if (const auto* buffered = dynamic_cast<const BufferedFile*>(&file)) {
        return buffered->hasHeldChanges() ? -1 : diskDescriptor(buffered->base());
    }
    return -1;
}

}  // namespace

void closeAside(std::unique_ptr<FileIo> file) {
    if (!file) {
        return;
    }
    try {
        std::thread([closing = std::move(file)]() mutable { closing.reset(); }).detach();
    } catch (const std::system_error&) {
        // no thread to be had: the file was closed here when the lambda went
    }
}

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

BufferedFile::BufferedFile(std::unique_ptr<FileIo> base) : m_base(std::move(base)) {
    m_size = m_baseSize = m_base->size();
}

size_t BufferedFile::readAt(uint64_t offset, void* data, size_t size) const {
    if (!hasHeldChanges()) {
        return m_base->readAt(offset, data, size);
    }
    if (offset >= m_size) {
        return 0;
    }
    size = std::min<uint64_t>(size, m_size - offset);
    auto* out = static_cast<char*>(data);
    size_t fromBase = 0;
    if (offset < m_baseSize) {
        fromBase = m_base->readAt(offset, out, std::min<uint64_t>(size, m_baseSize - offset));
    }
    std::memset(out + fromBase, 0, size - fromBase);
    const uint64_t end = offset + size;
    auto run = m_held.upper_bound(offset);
    if (run != m_held.begin()) {
        --run;
    }
    for (; run != m_held.end() && run->first < end; ++run) {
        const uint64_t from = std::max(offset, run->first);
        const uint64_t to = std::min(end, run->first + run->second.size());
        if (from < to) {
            std::memcpy(out + (from - offset), run->second.data() + (from - run->first), to - from);
        }
    }
    return size;
}

void BufferedFile::writeAt(uint64_t offset, const void* data, size_t size) {
    if (!m_holding) {
        m_base->writeAt(offset, data, size);
        m_baseSize = std::max(m_baseSize, offset + size);
        m_size = m_baseSize;
        return;
    }
    hold(offset, static_cast<const char*>(data), size);
    m_size = std::max(m_size, offset + size);
}

void BufferedFile::hold(uint64_t offset, const char* data, size_t size) {
    const uint64_t end = offset + size;
    // The runs that overlap or touch [offset, end).
    auto first = m_held.upper_bound(offset);
    if (first != m_held.begin()) {
        auto previous = std::prev(first);
        if (previous->first + previous->second.size() >= offset) {
            first = previous;
        }
    }
    auto last = first;
    while (last != m_held.end() && last->first <= end) {
        ++last;
    }
    if (first == last) {
        m_held.emplace(offset, std::string(data, size));
        m_heldBytes += size;
        return;
    }
    // Within or at the end of one run (records and memos appended one after another).
    if (std::next(first) == last && first->first <= offset) {
        std::string& bytes = first->second;
        const uint64_t runEnd = first->first + bytes.size();
        if (end > runEnd) {
            m_heldBytes += end - runEnd;
            bytes.resize(end - first->first);
        }
        std::memcpy(bytes.data() + (offset - first->first), data, size);
        return;
    }
    const uint64_t start = std::min(offset, first->first);
    uint64_t stop = end;
    for (auto run = first; run != last; ++run) {
        stop = std::max(stop, run->first + run->second.size());
    }
    std::string merged(stop - start, '\0');
    for (auto run = first; run != last; ++run) {
        std::memcpy(merged.data() + (run->first - start), run->second.data(), run->second.size());
        m_heldBytes -= run->second.size();
    }
    std::memcpy(merged.data() + (offset - start), data, size);
    m_held.erase(first, last);
    m_heldBytes += merged.size();
    m_held.emplace(start, std::move(merged));
}

void BufferedFile::truncate(uint64_t size) {
    if (!m_holding) {
        m_base->truncate(size);
        m_size = m_baseSize = size;
        return;
    }
    m_size = size;
    for (auto run = m_held.lower_bound(size); run != m_held.end();) {
        m_heldBytes -= run->second.size();
        run = m_held.erase(run);
    }
    if (!m_held.empty()) {
        auto& [start, bytes] = *m_held.rbegin();
        if (start + bytes.size() > size) {
            m_heldBytes -= start + bytes.size() - size;
            bytes.resize(size - start);
        }
    }
}

void BufferedFile::setHolding(bool holding) {
    if (!holding && hasHeldChanges()) {
        throw std::logic_error("内部错误：文件还有未写出的修改");
    }
    m_holding = holding;
}

void BufferedFile::writeOut() {
    for (auto run = m_held.begin(); run != m_held.end();) {
        const uint64_t start = run->first;
        uint64_t stop = start + run->second.size();
        auto next = std::next(run);
        while (next != m_held.end() && next->first - stop <= kWriteOutGap &&
               (next->first + next->second.size() - start <= kMaxWriteOut ||
                next->first / kWriteBlock == (stop - 1) / kWriteBlock)) {
            stop = next->first + next->second.size();
            ++next;
        }
        if (next == std::next(run)) {
            m_base->writeAt(start, run->second.data(), run->second.size());
        } else {
            std::string bytes(stop - start, '\0');
            if (start < m_baseSize) {
                m_base->readAt(start, bytes.data(), std::min(stop, m_baseSize) - start);
            }
            for (auto part = run; part != next; ++part) {
                std::memcpy(bytes.data() + (part->first - start), part->second.data(),
                            part->second.size());
            }
            m_base->writeAt(start, bytes.data(), bytes.size());
        }
        run = next;
    }
    if (m_size < m_baseSize) {
        m_base->truncate(m_size);
    }
    m_held.clear();
    m_heldBytes = 0;
    m_baseSize = m_size;
}

void BufferedFile::dropHeld() {
    m_held.clear();
    m_heldBytes = 0;
    m_size = m_baseSize = m_base->size();
}

PosixFile::PosixFile(std::string path, LockMode lock, Create create) : m_path(std::move(path)) {
    const int creation = create == Create::Yes ? O_CREAT : 0;
    // A pack renames a new file over the old one; a lock taken on the old file after that
    // would guard nothing, so retry until the locked file is the one the path names.
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (creation != 0) {
            beforeDiskChange();
        }
        m_fd = ::open(m_path.c_str(), O_RDWR | O_CLOEXEC | creation, 0666);
        m_readOnly = false;
        if (m_fd < 0 && creation != 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
            const int error = errno;
            if (std::string refusal = directoryWriteRefusal(directoryOf(m_path));
                !refusal.empty()) {
                throw EngineError(refusal);
            }
            errno = error;
        }
        if (m_fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
            m_fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
            m_readOnly = true;
        }
        if (m_fd < 0) {
            if (errno == ENOENT) {
                throw EngineError("找不到文件：" + m_path);
            }
            throw EngineError("不能打开文件 " + m_path + "：" + describeSystemError(errno));
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
                throw BusyError("文件 " + m_path + " 正被其他用户或程序使用");
            }
            throw EngineError("不能锁定文件 " + m_path + "：" + describeSystemError(error));
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
    throw EngineError("不能打开文件 " + m_path + "：文件不断被替换");
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
            throw EngineError("不能读取文件 " + m_path + "：" + describeSystemError(errno));
        }
        if (n == 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    return done;
}

void PosixFile::writeAt(uint64_t offset, const void* data, size_t size) {
    beforeDiskChange();
    if (m_readOnly) {
        throw EngineError("不能写入文件 " + m_path + "：文件是只读的");
    }
    const auto* in = static_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::pwrite(m_fd, in + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw EngineError("不能写入文件 " + m_path + "：" + describeSystemError(errno));
        }
        done += static_cast<size_t>(n);
    }
}

uint64_t PosixFile::size() const {
    struct stat info {};
    if (::fstat(m_fd, &info) != 0) {
        throw EngineError("不能读取文件 " + m_path + "：" + describeSystemError(errno));
    }
    return static_cast<uint64_t>(info.st_size);
}

void PosixFile::truncate(uint64_t size) {
    beforeDiskChange();
    if (m_readOnly) {
        throw EngineError("不能写入文件 " + m_path + "：文件是只读的");
    }
    int result;
    do {
        result = ::ftruncate(m_fd, static_cast<off_t>(size));
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        throw EngineError("不能写入文件 " + m_path + "：" + describeSystemError(errno));
    }
}

uint64_t PosixFile::copyFrom(const FileIo& from, uint64_t fromOffset, uint64_t at, uint64_t size) {
    const int source = diskDescriptor(from);
    if (source < 0 || m_readOnly) {
        return FileIo::copyFrom(from, fromOffset, at, size);
    }
    uint64_t done = 0;
    while (done < size) {
        beforeDiskChange();
        loff_t in = static_cast<loff_t>(fromOffset + done);
        loff_t out = static_cast<loff_t>(at + done);
        const ssize_t n = ::copy_file_range(source, &in, m_fd, &out,
                                            std::min<uint64_t>(size - done, 1u << 30), 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 &&
            (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
            // No copy in the kernel between these two files.
            return done + FileIo::copyFrom(from, fromOffset + done, at + done, size - done);
        }
        if (n < 0) {
            throw EngineError("不能写入文件 " + m_path + "：" + describeSystemError(errno));
        }
        if (n == 0) {
            break;
        }
        done += static_cast<uint64_t>(n);
    }
    return done;
}

void PosixFile::startWriteBack(uint64_t offset, uint64_t size) {
    // Only a hint: the sync that makes the bytes durable comes later.
    ::sync_file_range(m_fd, static_cast<off64_t>(offset), static_cast<off64_t>(size),
                      SYNC_FILE_RANGE_WRITE);
}

void PosixFile::sync() {
    if (!m_readOnly && ::fsync(m_fd) != 0) {
        throw EngineError("不能把文件 " + m_path + " 写入磁盘：" + describeSystemError(errno));
    }
}

}  // namespace store
