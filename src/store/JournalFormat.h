#pragma once

// The layout of the journal's files, and what reading one gives: shared by the writing of a
// unit's journal (Journal.cpp) and its reading and rollback (JournalRecovery.cpp).

#include <sys/stat.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FileIo.h"
#include "Journal.h"

namespace store::journal {

// Every file of a journal: a header of 40 bytes (magic, the unit's random number, the number
// of the write-out, a checksum), then records: kind, file number, a value, a length, that many
// bytes, and a checksum seeded with the unit's and the write-out's numbers, so that a record
// of another unit or another write-out is not taken. Kinds:
//   'D'  the directory: its device and inode (first write-out only)
//   'F'  a file of the unit: its number, old size (value), device, inode and name (bytes)
//   'I'  old bytes of a file from an offset (value): whole blocks, up to the old size
//   'N'  checksums of the blocks from an offset (value) as the write-out leaves them
//   'S'  the size the write-out leaves the file with (value)
//   'E'  the end: how many records came before it (value)
constexpr std::string_view kMagic = "Velmora journal2";
// The journal of earlier versions, which held old bytes and sizes only.
constexpr std::string_view kOldMagic = "Velmora journal\n";
constexpr size_t kHeaderSize = 40;
constexpr size_t kRecordHead = 17;
constexpr size_t kChecksumSize = 8;
constexpr size_t kIdentitySize = 16;
constexpr char kDirectoryRecord = 'D';
constexpr char kFileRecord = 'F';
constexpr char kImageRecord = 'I';
constexpr char kWrittenRecord = 'N';
constexpr char kSizeRecord = 'S';
constexpr char kEndRecord = 'E';
// A journal file while it is written; it takes its name once whole and synced.
constexpr const char* kPartSuffix = ".part";
// A journal that was not applied, kept beside the tables.
constexpr const char* kAsideSuffix = ".set-aside-";

inline void putNumber(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

inline uint64_t getNumber(const char* in, int bytes) {
    uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(in[i]);
    }
    return value;
}

// Eight bytes at a time: the journal sums every block a unit saves, twice.
inline uint64_t checksum(uint64_t seed, std::string_view bytes) {
    uint64_t hash = (0xcbf29ce484222325ULL ^ seed) + bytes.size();
    size_t at = 0;
    for (; at + 8 <= bytes.size(); at += 8) {
        hash = (hash ^ getNumber(bytes.data() + at, 8)) * 0x9E3779B97F4A7C15ULL;
        hash ^= hash >> 29;
    }
    for (; at < bytes.size(); ++at) {
        hash = (hash ^ static_cast<unsigned char>(bytes[at])) * 0x100000001b3ULL;
    }
    return hash;
}

inline uint64_t blockStart(uint64_t offset) {
    return offset / kWriteBlock * kWriteBlock;
}

inline uint64_t blockEnd(uint64_t offset) {
    return (offset + kWriteBlock - 1) / kWriteBlock * kWriteBlock;
}

struct Identity {
    uint64_t device = 0, inode = 0;
    bool operator==(const Identity&) const = default;
};

inline Identity identityIn(const struct stat& info) {
    return Identity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

inline std::optional<Identity> identityOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? std::optional(identityIn(info)) : std::nullopt;
}

inline std::optional<Identity> identityOf(const PosixFile& file) {
    struct stat info {};
    return ::fstat(file.descriptor(), &info) == 0 ? std::optional(identityIn(info)) : std::nullopt;
}

inline std::string identityBytes(const Identity& identity) {
    std::string bytes;
    putNumber(bytes, identity.device, 8);
    putNumber(bytes, identity.inode, 8);
    return bytes;
}

inline Identity identityFrom(std::string_view bytes) {
    return {getNumber(bytes.data(), 8), getNumber(bytes.data() + 8, 8)};
}

inline std::string fileNameOf(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

inline std::string unfinished(const std::string& directory) {
    return "数据目录 " + directory + " 中有一次中断的写入需要撤回，但";
}

// The files of a journal on disk, its first write-out first: the first as its caller holds
// it, the later ones opened here.
struct JournalParts {
    std::vector<const FileIo*> files;
    std::vector<std::string> names;
    std::vector<std::unique_ptr<PosixFile>> later;

    JournalParts(const std::string& directory, const FileIo& first) {
        files.push_back(&first);
        names.push_back(Journal::kFileName);
        for (std::string path; fileExists(
                 path = Journal::batchPath(directory, static_cast<uint32_t>(files.size()) + 1));) {
            later.push_back(std::make_unique<PosixFile>(path, LockMode::Shared));
            files.push_back(later.back().get());
            names.push_back(fileNameOf(path));
        }
    }
    uint32_t count() const { return static_cast<uint32_t>(files.size()); }
};

// What the journal on disk holds of its unit.
struct JournalContent {
    struct File {
        std::string name;
        Identity identity;
        uint64_t oldSize = 0;
        uint64_t smallest = 0, largest = 0;  // the sizes the unit could have left it with
        // By block offset: checksums of what the write-outs left in the block.
        std::map<uint64_t, std::vector<uint64_t>> written;
    };
    struct Image {
        uint32_t file;
        uint64_t offset;
        const FileIo* journal;
        uint64_t at;  // where the old bytes are in the journal file
        uint32_t length;
    };
    std::optional<Identity> directory;
    std::map<uint32_t, File> files;
    std::vector<Image> images;
};

// Reads the files of a journal, its first write-out first, into content; returns why it
// cannot be taken as written ("" when it can).
std::string readJournal(const JournalParts& parts, JournalContent& content);

// Puts back the old bytes into the files that targets gives by number (nullptr: the file is
// gone) and cuts them to their old sizes.
void putBack(const JournalContent& content, const std::map<uint32_t, FileIo*>& targets);

}  // namespace store::journal
