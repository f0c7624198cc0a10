#pragma once

// The inside of DbfFile, shared by the files that implement it: the layout of the table and
// memo files, small byte and text helpers, the files' buffers (Impl) and what one reading of
// every record tells a pack (Survey).

#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "DbfFile.h"

namespace store {

namespace dbf {

constexpr uint8_t kVersionPlain = 0x03;
constexpr uint8_t kVersionMemo3 = 0x83;
constexpr uint8_t kVersionMemo4 = 0x8B;
constexpr uint8_t kLanguageGbk = 0x7A;
constexpr char kEndMark = 0x1A;
constexpr char kTerminator = 0x0D;
constexpr uint32_t kMemoBlock = 512;
constexpr int kHeaderSize = 32;
constexpr int kDescriptorSize = 32;
constexpr int kMemoPointerWidth = 10;
constexpr int kIndexFlag = 28;
// Records and memos are read ahead, more the longer a run of reads goes on in file order (or
// skims forward): one record costs one small read, a scan runs at the speed of large reads.
constexpr size_t kMinReadAhead = 8 * 1024;
constexpr size_t kMaxReadAhead = 1024 * 1024;
constexpr uint64_t kMaxMemo = 16 * 1024 * 1024;

inline uint16_t get16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t get32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void put16(unsigned char* p, uint32_t v) {
    p[0] = v & 0xFF;
    p[1] = (v >> 8) & 0xFF;
}

inline void put32(unsigned char* p, uint32_t v) {
    put16(p, v & 0xFFFF);
    put16(p + 2, v >> 16);
}

inline unsigned char* bytes(std::string& s) {
    return reinterpret_cast<unsigned char*>(s.data());
}

// Year (since 1900), month and day of today, as the header keeps them.
inline void putToday(unsigned char* p) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    p[0] = static_cast<unsigned char>(local.tm_year & 0xFF);
    p[1] = static_cast<unsigned char>(local.tm_mon + 1);
    p[2] = static_cast<unsigned char>(local.tm_mday);
}

inline void putMemoPointer(char* field, uint64_t block) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "%10llu", static_cast<unsigned long long>(block));
    std::memcpy(field, digits, kMemoPointerWidth);
}

inline std::string_view trimRight(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) {
        text.remove_suffix(1);
    }
    return text;
}

inline std::string_view trim(std::string_view text) {
    text = trimRight(text);
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    return text;
}

// A value shown inside an error message: at most 40 characters.
inline std::string shown(const std::string& utf8) {
    size_t cut = 0, characters = 0;
    while (cut < utf8.size() && characters < 40) {
        ++cut;
        while (cut < utf8.size() && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) {
            ++cut;
        }
        ++characters;
    }
    return "“" + utf8.substr(0, cut) + (cut < utf8.size() ? "……”" : "”");
}

// Files a pack (and create) writes beside the table: the new table file under a name that is
// never installed, then under the name of a complete one; the new memo file; the old table
// file while it is hidden (see installFiles).
constexpr const char* kPartSuffix = ".packtmp";
constexpr const char* kNewSuffix = ".packnew";
constexpr const char* kOldSuffix = ".packold";

// Makes an empty file (emptying one that is there) and opens it locked.
std::unique_ptr<PosixFile> createFile(const std::string& path);
// The memo file beside a table: same base name, extension ".dbt" in any case. Returns the
// existing file's path, or the path to create (extension in the case of the table's).
std::string memoPathFor(const std::string& dbfPath, bool* found = nullptr);
// Puts new table and memo files into place (create and pack).
void installFiles(const std::string& table, const std::string& memo, bool newMemo);
// Whether a switch of files stopped half-way left files beside the table.
bool hasSwitchLeftovers(const std::string& table, const std::string& memo);
// Completes or clears a switch of files that stopped half-way.
void completeSwitch(const std::string& table);

}  // namespace dbf

struct DbfFile::MemoReadAhead {
    std::string bytes;
    uint64_t start = 0;  // the file offset of bytes
    size_t size = dbf::kMinReadAhead;
};

struct DbfFile::Impl {
    enum class Target { Dbf, Memo };

    std::unique_ptr<BufferedFile> dbf;
    std::unique_ptr<BufferedFile> memo;
    std::string memoPath;
    int headerLength = 0;
    uint8_t version = 0;
    bool memoIV = false;
    uint32_t blockSize = dbf::kMemoBlock;
    std::string blankRecord;
    bool holding = false;

    // Records read ahead; kept in step with every write to the table file.
    mutable std::string cache;
    mutable uint32_t cacheFirst = 0;
    mutable uint32_t cacheCount = 0;
    mutable size_t readAhead = dbf::kMinReadAhead;
    // Memo bytes read ahead; kept in step with every write to the memo file.
    mutable MemoReadAhead memoAhead;

    // Undo records of the open transactions: the bytes a write replaced, and at each begin
    // the state a rollback returns to.
    struct Undo {
        Target target;
        uint64_t offset;
        std::string bytes;
    };
    struct Snapshot {
        uint64_t dbfSize;
        uint64_t memoSize;
        uint32_t recordCount;
    };
    std::vector<Undo> journal;
    std::vector<Snapshot> snapshots;

    BufferedFile& file(Target target) { return target == Target::Dbf ? *dbf : *memo; }

    void setFiles(std::unique_ptr<FileIo> table, std::unique_ptr<FileIo> memoFile) {
        dbf = std::make_unique<BufferedFile>(std::move(table));
        memo = memoFile ? std::make_unique<BufferedFile>(std::move(memoFile)) : nullptr;
        dbf->setHolding(holding);
        if (memo) {
            memo->setHolding(holding);
        }
    }

    // A memo as stored from its first block: padded to whole blocks.
    std::string memoRecord(std::string gbk) const {
        std::string data;
        if (memoIV) {
            data.resize(8);
            dbf::put32(dbf::bytes(data), 0x0008FFFF);
            dbf::put32(dbf::bytes(data) + 4, static_cast<uint32_t>(gbk.size() + 8));
            data += gbk;
        } else {
            data = std::move(gbk);
            data += dbf::kEndMark;
            data += dbf::kEndMark;
        }
        data.resize((data.size() + blockSize - 1) / blockSize * blockSize, '\0');
        return data;
    }

    // Blocks a memo of length bytes takes as memoRecord() stores it.
    uint64_t memoBlocks(uint64_t length) const {
        return (length + (memoIV ? 8 : 2) + blockSize - 1) / blockSize;
    }

    void write(Target target, uint64_t offset, const void* data, size_t size, bool journaled) {
        FileIo& io = file(target);
        if (journaled) {
            uint64_t current = io.size();
            if (offset < current) {
                std::string old(std::min<uint64_t>(size, current - offset), '\0');
                old.resize(io.readAt(offset, old.data(), old.size()));
                journal.push_back({target, offset, std::move(old)});
            }
        }
        io.writeAt(offset, data, size);
        if (target == Target::Dbf) {
            if (cacheCount > 0) {
                patch(cache, headerLength + uint64_t(cacheFirst - 1) * blankRecord.size(), offset,
                      data, size);
            }
        } else {
            patch(memoAhead.bytes, memoAhead.start, offset, data, size);
        }
    }

    // Copies what a write at offset changes into a cache of the bytes from start.
    static void patch(std::string& cached, uint64_t start, uint64_t offset, const void* data,
                      size_t size) {
        const uint64_t end = start + cached.size();
        const uint64_t from = std::max(offset, start), to = std::min(offset + size, end);
        if (from < to) {
            std::memcpy(cached.data() + (from - start),
                        static_cast<const char*>(data) + (from - offset), to - from);
        }
    }

    // The memo bytes from pos to the end of what is read ahead; empty at the end of the file.
    std::string_view memoWindow(MemoReadAhead& ahead, uint64_t pos) const {
        if (pos < ahead.start || pos >= ahead.start + ahead.bytes.size()) {
            const bool forward = !ahead.bytes.empty() && pos >= ahead.start;
            ahead.size =
                forward ? std::min(ahead.size * 2, dbf::kMaxReadAhead) : dbf::kMinReadAhead;
            ahead.bytes.resize(ahead.size);
            ahead.bytes.resize(memo->readAt(pos, ahead.bytes.data(), ahead.bytes.size()));
            ahead.start = pos;
        }
        return std::string_view(ahead.bytes).substr(pos - ahead.start);
    }

    void dropCache() const {
        cacheCount = 0;
        cache.clear();
        memoAhead = MemoReadAhead{};
    }
};

// A live record's memo as it lies in the memo file.
struct DbfFile::MemoExtent {
    uint32_t recno;
    uint32_t field;
    uint64_t block;  // the first
    // The blocks that memoRecord() stores it in; 0 for an empty memo.
    uint64_t blocks;
    // Its blocks hold what memoRecord() stores, byte for byte: a pack copies them as they are.
    bool asStored;
};

// What one reading of every record tells a pack: the deletion marks and the key fields'
// values, and where the live records' memos lie.
struct DbfFile::Survey {
    Survey(std::vector<int> keyFields, size_t slices)
        : gathering(std::move(keyFields), slices), memosOf(slices) {}
    RecordIndex::Gathering gathering;
    std::vector<std::vector<MemoExtent>> memosOf;  // by slice, in file order
};

// How far the survey has got, for the pack's writers beside it: they wait for a reason to
// pack (start()) and then take each slice once it and every slice before it are done, until
// cancel() sends them away.
class DbfFile::SurveyProgress {
public:
    explicit SurveyProgress(size_t slices) : m_done(slices) {}
    void sliceDone(size_t slice) {
        std::lock_guard lock(m_mutex);
        m_done[slice] = true;
        while (m_ready < m_done.size() && m_done[m_ready]) {
            ++m_ready;
        }
        m_changed.notify_all();
    }
    void start() { set(m_started); }
    void cancel() { set(m_cancelled); }
    // Waits until the pack has started and its first slices are done; false once cancelled.
    bool await(size_t slices) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_cancelled || (m_started && m_ready >= slices); });
        return !m_cancelled;
    }

private:
    void set(bool& flag) {
        std::lock_guard lock(m_mutex);
        flag = true;
        m_changed.notify_all();
    }
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<bool> m_done;
    size_t m_ready = 0;  // the slices before it are done
    bool m_started = false;
    bool m_cancelled = false;
};

}  // namespace store
