#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace store {

// The byte-level file operations that a table file needs. PosixFile is the real file;
// MemoryFile lets tests and the fuzz target run the format code on bytes held in memory.
class FileIo {
public:
    virtual ~FileIo() = default;
    // Reads up to size bytes at offset; returns how many were read (fewer only at the end).
    virtual size_t readAt(uint64_t offset, void* data, size_t size) const = 0;
    virtual void writeAt(uint64_t offset, const void* data, size_t size) = 0;
    virtual uint64_t size() const = 0;
    virtual void truncate(uint64_t size) = 0;
    virtual void sync() = 0;
};

class MemoryFile : public FileIo {
public:
    explicit MemoryFile(std::string bytes = {}) : m_bytes(std::move(bytes)) {}
    size_t readAt(uint64_t offset, void* data, size_t size) const override;
    void writeAt(uint64_t offset, const void* data, size_t size) override;
    uint64_t size() const override { return m_bytes.size(); }
    void truncate(uint64_t size) override { m_bytes.resize(size); }
    void sync() override {}
    const std::string& bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};

enum class LockMode { Shared, Exclusive };

class PosixFile : public FileIo {
public:
    // Opens an existing file read-write (read-only where writing is not allowed) and takes an
    // advisory lock of the given mode without waiting; throws EngineError naming the file when
    // it is missing, cannot be opened, or is locked by another holder.
    PosixFile(std::string path, LockMode lock);
    ~PosixFile() override;
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    size_t readAt(uint64_t offset, void* data, size_t size) const override;
    void writeAt(uint64_t offset, const void* data, size_t size) override;
    uint64_t size() const override;
    void truncate(uint64_t size) override;
    void sync() override;

    const std::string& path() const { return m_path; }
    int descriptor() const { return m_fd; }
    // Records that the file now has another name (it was renamed while open); the descriptor
    // and its lock stay.
    void setPath(std::string path) { m_path = std::move(path); }

private:
    std::string m_path;
    int m_fd = -1;
    bool m_readOnly = false;
};

}  // namespace store
