#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace store {

// A system error number in words for a message to the user.
std::string describeSystemError(int error);

// Crash tests stop the process before a chosen change to a file on disk: the hook is called
// before every write, truncation, creation, rename and removal that the store makes.
void setDiskChangeHook(void (*hook)());
void beforeDiskChange();

// Directory operations of the table files.
std::string directoryOf(const std::string& path);
bool fileExists(const std::string& path);
// Makes the directory's entries (created, renamed, removed files) durable; an EngineError when
// it cannot (a folder that cannot be opened, a disk that fails).
void syncDirectory(const std::string& directory);
// Why no file can be written in the directory (a read-only mount, no permission), as the
// message to show the user; "" when it can be written. Every creation of a file in such a
// directory refuses with this message.
std::string directoryWriteRefusal(const std::string& directory);

// Files are written in blocks of this many bytes from their start, each of which a crash
// leaves as it was before a write or after it: a disk writes a sector whole, and a write cut
// short by the death of its process stops at a page's end. A write-out of held writes never
// ends one write inside a block that its next write continues, so that the journal may tell
// the states of a file apart block by block.
constexpr uint64_t kWriteBlock = 512;
// Throws EngineError naming both files when the rename fails.
void renameFile(const std::string& from, const std::string& to);
// Removes the file if it is there.
void removeFile(const std::string& path);

// The byte-level file operations that a table file needs. PosixFile is the real file;
// MemoryFile lets tests and the fuzz target run the format code on bytes held in memory.
class FileIo {
public:
    virtual ~FileIo() = default;
    // Reads up to size bytes at offset; returns how many were read (fewer only at the end).
    //
    // Threads: readAt() may be called from several threads at once, each with its own
    // buffer, as the sliced reading of a table does (DbfFile::readInSlices()). It keeps no
    // state between calls (no file position, no cache: PosixFile uses pread) and changes
    // nothing, so concurrent reads are safe as long as nothing changes the file meanwhile:
    // writeAt(), truncate(), copyFrom() into the file, and BufferedFile's setHolding(),
    // writeOut() and dropHeld() must not run at the same time as any read, which they may
    // change. An implementation must keep to this.
    virtual size_t readAt(uint64_t offset, void* data, size_t size) const = 0;
    virtual void writeAt(uint64_t offset, const void* data, size_t size) = 0;
    virtual uint64_t size() const = 0;
    virtual void truncate(uint64_t size) = 0;
    virtual void sync() = 0;
    // Copies size bytes from offset fromOffset of from to offset at of this file; returns how
    // many it copied (fewer only where from ends).
    virtual uint64_t copyFrom(const FileIo& from, uint64_t fromOffset, uint64_t at, uint64_t size);
    // Has the bytes in [offset, offset + size) start on their way to the disk without waiting
    // for them, so that a later sync() has less left to do.
    virtual void startWriteBack(uint64_t offset, uint64_t size) {
        (void)offset;
        (void)size;
    }
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

// A file whose writes can be held in memory. While it holds, writes and truncations change
// only the image that reads see; writeOut() puts them into the file below. A unit of writes
// holds its files so that no byte of them changes before its journal is on disk (Journal).
class BufferedFile : public FileIo {
public:
    explicit BufferedFile(std::unique_ptr<FileIo> base);

    size_t readAt(uint64_t offset, void* data, size_t size) const override;
    void writeAt(uint64_t offset, const void* data, size_t size) override;
    uint64_t size() const override { return m_size; }
    void truncate(uint64_t size) override;
    void sync() override { m_base->sync(); }

    FileIo& base() { return *m_base; }
    const FileIo& base() const { return *m_base; }
    // Starts or ends holding; ending needs nothing held.
    void setHolding(bool holding);
    bool holding() const { return m_holding; }
    // The held writes: runs of bytes by offset, neither overlapping nor touching.
    const std::map<uint64_t, std::string>& heldWrites() const { return m_held; }
    bool hasHeldChanges() const { return !m_held.empty() || m_size != m_baseSize; }
    uint64_t heldBytes() const { return m_heldBytes; }
    uint64_t baseSize() const { return m_baseSize; }
    // Writes the held changes into the file below (not synced) and forgets them.
    void writeOut();
    // Forgets the held changes and takes the size of the file below afresh.
    void dropHeld();

private:
    void hold(uint64_t offset, const char* data, size_t size);

    std::unique_ptr<FileIo> m_base;
    bool m_holding = false;
    std::map<uint64_t, std::string> m_held;
    uint64_t m_heldBytes = 0;
    uint64_t m_size = 0;      // the size that reads see
    uint64_t m_baseSize = 0;  // the size of the file below
};

enum class LockMode { Shared, Exclusive };

// Closes file on a thread of its own, for a file whose names are all gone: closing it frees
// its blocks on disk, which takes a while for a large file.
void closeAside(std::unique_ptr<FileIo> file);

class PosixFile : public FileIo {
public:
    enum class Create { No, Yes };
    // Opens an existing file read-write (read-only where writing is not allowed), or creates
    // it when asked, and takes an advisory lock of the given mode without waiting; throws
    // EngineError naming the file when it is missing, cannot be opened, or is locked by another
    // holder.
    PosixFile(std::string path, LockMode lock, Create create = Create::No);
    ~PosixFile() override;
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    size_t readAt(uint64_t offset, void* data, size_t size) const override;
    void writeAt(uint64_t offset, const void* data, size_t size) override;
    uint64_t size() const override;
    void truncate(uint64_t size) override;
    void sync() override;
    // From another file on disk the bytes are copied in the kernel.
    uint64_t copyFrom(const FileIo& from, uint64_t fromOffset, uint64_t at, uint64_t size) override;
    void startWriteBack(uint64_t offset, uint64_t size) override;

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
