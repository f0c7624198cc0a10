#include "DbfFile.h"
#include "Text.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <system_error>
#include <thread>

#include "Errors.h"
#include "GbkCodec.h"

namespace store {

namespace {

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
// Threads that read the slices of a table at once (readInSlices): one a processor, at most.
constexpr size_t kMaxSliceReaders = 8;

size_t sliceReaders() {
    return std::clamp<size_t>(std::thread::hardware_concurrency(), 1, kMaxSliceReaders);
}

// Files a pack (and create) writes beside the table: the new table file under a name that is
// never installed, then under the name of a complete one; the new memo file; the old table
// file while it is hidden (see installFiles).
constexpr const char* kPartSuffix = ".packtmp";
constexpr const char* kNewSuffix = ".packnew";
constexpr const char* kOldSuffix = ".packold";

uint16_t get16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t get32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void put16(unsigned char* p, uint32_t v) {
    p[0] = v & 0xFF;
    p[1] = (v >> 8) & 0xFF;
}
void put32(unsigned char* p, uint32_t v) {
    put16(p, v & 0xFFFF);
    put16(p + 2, v >> 16);
}
unsigned char* bytes(std::string& s) {
    return reinterpret_cast<unsigned char*>(s.data());
}

// Year (since 1900), month and day of today, as the header keeps them.
void putToday(unsigned char* p) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    p[0] = static_cast<unsigned char>(local.tm_year & 0xFF);
    p[1] = static_cast<unsigned char>(local.tm_mon + 1);
    p[2] = static_cast<unsigned char>(local.tm_mday);
}

void putMemoPointer(char* field, uint64_t block) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "%10llu", static_cast<unsigned long long>(block));
    std::memcpy(field, digits, kMemoPointerWidth);
}

std::string_view trimRight(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view trim(std::string_view text) {
    text = trimRight(text);
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    return text;
}

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

Value textValue(std::string_view gbk) {
    gbk = trimRight(gbk);
    if (gbk.empty()) {
        return Value();
    }
    if (isAscii(gbk)) {
        return Value(gbk);
    }
    return Value(GbkCodec::decode(gbk));
}

// Null, or text of blanks only: what a blank number or date field holds.
bool isBlank(const Value& value) {
    if (value.kind() != Value::Kind::Text) {
        return value.isNull();
    }
    const std::string text = value.asText();
    return trim(text).empty();
}

// A value shown inside an error message: at most 40 characters.
std::string shown(const std::string& utf8) {
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

std::string hexByte(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
    return text;
}

// The number right-aligned in width with decimals places, or nullopt when it is too wide.
std::optional<std::string> formatFixed(double number, int width, int decimals) {
    char buffer[512];
    int length = std::snprintf(buffer, sizeof buffer, "%.*f", decimals, number);
    if (length < 0 || length > width) {
        return std::nullopt;
    }
    std::string text(buffer, static_cast<size_t>(length));
    if (text.front() == '-' && text.find_first_not_of("-0.") == std::string::npos) {
        text.erase(0, 1);  // no "-0.00"
    }
    return std::string(static_cast<size_t>(width) - text.size(), ' ') + text;
}

// Makes an empty file (emptying one that is there) and opens it locked.
std::unique_ptr<PosixFile> createFile(const std::string& path) {
    auto file = std::make_unique<PosixFile>(path, LockMode::Exclusive, PosixFile::Create::Yes);
    if (file->size() != 0) {
        file->truncate(0);
    }
    return file;
}

// The memo file beside a table: same base name, extension ".dbt" in any case. Returns the
// existing file's path, or the path to create (extension in the case of the table's).
std::string memoPathFor(const std::string& dbfPath, bool* found = nullptr) {
    std::string directory = directoryOf(dbfPath);
    auto slash = dbfPath.rfind('/');
    std::string fileName = slash == std::string::npos ? dbfPath : dbfPath.substr(slash + 1);
    auto dot = fileName.rfind('.');
    std::string stem = dot == std::string::npos ? fileName : fileName.substr(0, dot);
    bool upper = dot != std::string::npos && dot + 1 < fileName.size() &&
                 fileName[dot + 1] >= 'A' && fileName[dot + 1] <= 'Z';
    std::string prefix = slash == std::string::npos ? "" : dbfPath.substr(0, slash + 1);
    std::string preferred = prefix + stem + (upper ? ".DBT" : ".dbt");
    if (found) {
        *found = true;
    }
    if (fileExists(preferred)) {
        return preferred;
    }
    std::string wanted = stem + ".dbt";
    if (DIR* dir = ::opendir(directory.c_str())) {
        std::string match;
        while (dirent* entry = ::readdir(dir)) {
            if (text::equalsIgnoringCase(entry->d_name, wanted)) {
                match = prefix + entry->d_name;
                break;
            }
        }
        ::closedir(dir);
        if (!match.empty()) {
            return match;
        }
    }
    if (found) {
        *found = false;
    }
    return preferred;
}

// Puts new table and memo files into place. Before the call the new table file is complete
// in T.packtmp and the new memo file in M.packnew, both synced; the writer holds them locked.
//   1. T.packtmp becomes T.packnew: from here on the new pair is whole under known names.
//   2. The old table file T is renamed aside to T.packold: the table is hidden.
//   3. M.packnew becomes M, then T.packnew becomes T: the new pair is in place.
//   4. T.packold is removed (not synced: the new pair is in place already).
// A reader of the table's names meets the old pair, no table file, or the new pair, never a
// table file beside another table's memo file. Without a new memo file, T.packnew replaces T
// in one rename. An old memo file that the new table does not use is removed at the end.
void installFiles(const std::string& table, const std::string& memo, bool newMemo) {
    const std::string directory = directoryOf(table);
    renameFile(table + kPartSuffix, table + kNewSuffix);
    syncDirectory(directory);
    if (newMemo) {
        if (fileExists(table)) {
            renameFile(table, table + kOldSuffix);
            syncDirectory(directory);
        }
        renameFile(memo + kNewSuffix, memo);
    }
    renameFile(table + kNewSuffix, table);
    syncDirectory(directory);
    // What is removed now may come back after a power cut: opening the table clears it.
    removeFile(table + kOldSuffix);
    if (!newMemo) {
        removeFile(memo);
    }
}

bool hasSwitchLeftovers(const std::string& table, const std::string& memo) {
    return fileExists(table + kPartSuffix) || fileExists(table + kNewSuffix) ||
           fileExists(table + kOldSuffix) || fileExists(memo + kNewSuffix);
}

// Completes or clears a switch of files that stopped half-way (see installFiles). With the
// table file hidden and its complete new file there, the switch goes on to its end; with the
// table file in place, what was written beside it is removed. The caller holds the table
// file locked, or finds it missing; a new file still locked by its writer is left alone.
void completeSwitch(const std::string& table) {
    const std::string memo = memoPathFor(table);
    if (!hasSwitchLeftovers(table, memo)) {
        return;
    }
    const std::string directory = directoryOf(table);
    if (!fileExists(table) && fileExists(table + kNewSuffix)) {
        PosixFile guard(table + kNewSuffix, LockMode::Exclusive);  // BusyError: still writing
        if (fileExists(memo + kNewSuffix)) {
            renameFile(memo + kNewSuffix, memo);
        }
        renameFile(table + kNewSuffix, table);
    } else {
        for (const std::string& leftover :
             {table + kPartSuffix, table + kNewSuffix, memo + kNewSuffix}) {
            if (fileExists(leftover)) {
                PosixFile guard(leftover, LockMode::Exclusive);
                removeFile(leftover);
            }
        }
    }
    removeFile(table + kOldSuffix);
    syncDirectory(directory);
}

}  // namespace

std::string DbfFile::installedName(const std::string& fileName) {
    if (fileName.ends_with(kNewSuffix)) {
        return fileName.substr(0, fileName.size() - std::strlen(kNewSuffix));
    }
    return {};
}

struct DbfFile::OpenedFiles {
    std::string path;
    std::string name;
    LockMode lock = LockMode::Shared;
    std::unique_ptr<FileIo> dbf;
    std::unique_ptr<FileIo> memo;
    std::string memoPath;
};

struct DbfFile::MemoReadAhead {
    std::string bytes;
    uint64_t start = 0;  // the file offset of bytes
    size_t size = kMinReadAhead;
};

struct DbfFile::Impl {
    enum class Target { Dbf, Memo };

    std::unique_ptr<BufferedFile> dbf;
    std::unique_ptr<BufferedFile> memo;
    std::string memoPath;
    int headerLength = 0;
    uint8_t version = 0;
    bool memoIV = false;
    uint32_t blockSize = kMemoBlock;
    std::string blankRecord;
    bool holding = false;

    // Records read ahead; kept in step with every write to the table file.
    mutable std::string cache;
    mutable uint32_t cacheFirst = 0;
    mutable uint32_t cacheCount = 0;
    mutable size_t readAhead = kMinReadAhead;
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
            put32(bytes(data), 0x0008FFFF);
            put32(bytes(data) + 4, static_cast<uint32_t>(gbk.size() + 8));
            data += gbk;
        } else {
            data = std::move(gbk);
            data += kEndMark;
            data += kEndMark;
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
            ahead.size = forward ? std::min(ahead.size * 2, kMaxReadAhead) : kMinReadAhead;
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

DbfFile::DbfFile(std::string name, std::unique_ptr<FileIo> dbf, std::unique_ptr<FileIo> memo)
    : DbfFile(OpenedFiles{"", std::move(name), LockMode::Shared, std::move(dbf), std::move(memo),
                          ""}) {}

DbfFile::DbfFile(OpenedFiles files)
    : m_impl(std::make_unique<Impl>()),
      m_path(std::move(files.path)),
      m_name(std::move(files.name)),
      m_lock(files.lock),
      m_index(std::make_unique<RecordIndex>(this)) {
    m_impl->setFiles(std::move(files.dbf), std::move(files.memo));
    m_impl->memoPath = std::move(files.memoPath);
    load();
    refreshIdentity();
}

DbfFile::~DbfFile() {
    try {
        while (inTransaction()) {
            rollbackTransaction();
        }
    } catch (const std::exception&) {
        // The file is closing; what could not be undone stays as written.
    }
}

const std::string& DbfFile::displayPath() const {
    return m_path.empty() ? m_name : m_path;
}

void DbfFile::refuse(const std::string& what) const {
    throw EngineError("数据表文件 " + displayPath() + " 已损坏，不能打开：" + what);
}

void DbfFile::fault(const std::string& what) const {
    throw EngineError("数据表文件 " + displayPath() + " 已损坏：" + what);
}

void DbfFile::markDamaged(const std::string& what) {
    if (m_damage.empty()) {
        m_damage = "数据表文件 " + displayPath() + " 已损坏：" + what +
                   "。为保护其中的数据，程序只读取它，不修改也不整理它";
    }
}

void DbfFile::valueFault(int index, const std::string& what) const {
    throw ValueError("数据表 " + m_name + " 的字段 " + m_fields[index].name + "：" + what);
}

void DbfFile::load() {
    Impl& d = *m_impl;
    m_damage.clear();
    m_pointersChecked = false;
    uint64_t size = d.dbf->size();
    if (size < kHeaderSize) {
        refuse("文件太短，不是 dBase 数据表");
    }
    unsigned char head[kHeaderSize];
    d.dbf->readAt(0, head, kHeaderSize);
    d.version = head[0];
    if (d.version != kVersionPlain && d.version != kVersionMemo3 && d.version != kVersionMemo4) {
        refuse("不认识的版本字节 " + hexByte(d.version));
    }
    d.headerLength = get16(head + 8);
    m_recordLength = get16(head + 10);
    if (d.headerLength < kHeaderSize + kDescriptorSize + 1) {
        refuse("文件头长度 " + std::to_string(d.headerLength) + " 太小");
    }
    if (static_cast<uint64_t>(d.headerLength) > size) {
        refuse("文件头长度 " + std::to_string(d.headerLength) + " 超出了文件的长度（" +
               std::to_string(size) + " 字节）");
    }
    if (m_recordLength < 2) {
        refuse("记录长度 " + std::to_string(m_recordLength) + " 太小");
    }
    std::string header(d.headerLength, '\0');
    if (d.dbf->readAt(0, header.data(), header.size()) != header.size()) {
        refuse("读不到文件头");
    }
    m_fields.clear();
    int offset = 1;
    bool hasMemo = false;
    int pos = kHeaderSize;
    for (; pos + kDescriptorSize <= d.headerLength; pos += kDescriptorSize) {
        const unsigned char* desc = bytes(header) + pos;
        if (desc[0] == kTerminator) {
            break;
        }
        std::string number = "第 " + std::to_string(m_fields.size() + 1) + " 个字段";
        const void* nul = std::memchr(desc, 0, 11);
        if (!nul) {
            refuse(number + "的名字在 11 个字节内没有结束");
        }
        std::string_view rawName(reinterpret_cast<const char*>(desc),
                                 static_cast<const unsigned char*>(nul) - desc);
        if (rawName.empty()) {
            refuse(number + "的名字是空的");
        }
        if (std::any_of(rawName.begin(), rawName.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
            refuse(number + "的名字中有控制字符");
        }
        FieldDef field;
        field.name = GbkCodec::decode(rawName);
        number = "字段 " + field.name;
        field.length = desc[16];
        field.decimals = desc[17];
        int minLength = 1, maxLength = 255;
        switch (desc[11]) {
            case 'C':
                // Clipper and FoxPro keep the high byte of long text widths in the decimals.
                field.length |= field.decimals << 8;
                field.decimals = 0;
                maxLength = 65535;
                break;
            case 'N':
            case 'F':
                if (field.decimals >= field.length && field.decimals > 0) {
                    refuse(number + "的 " + std::to_string(field.decimals) + " 位小数放不进宽度 " +
                           std::to_string(field.length));
                }
                break;
            case 'D':
                minLength = maxLength = 8;
                break;
            case 'L':
                minLength = maxLength = 1;
                break;
            case 'M':
                minLength = maxLength = kMemoPointerWidth;
                hasMemo = true;
                break;
            case 'I':
                minLength = maxLength = 4;
                break;
            default:
                refuse(number + "的类型 " + hexByte(desc[11]) + " 不认识");
        }
        field.type = static_cast<FieldType>(desc[11]);
        if (field.type != FieldType::Numeric && field.type != FieldType::Float) {
            field.decimals = 0;
        }
        if (field.length < minLength || field.length > maxLength) {
            refuse(number + "的宽度 " + std::to_string(field.length) + " 不适合类型 " +
                   std::string(1, static_cast<char>(field.type)));
        }
        if (fieldIndex(field.name) >= 0) {
            refuse(number + "的名字用了两次");
        }
        field.offset = offset;
        offset += field.length;
        if (offset > m_recordLength) {
            refuse(number + "超出了记录长度 " + std::to_string(m_recordLength) +
                   "（各字段宽度之和加 1 至少是 " + std::to_string(offset) + "）");
        }
        m_fields.push_back(std::move(field));
    }
    if (m_fields.empty()) {
        refuse("表中没有字段");
    }

    // What the fields take against what the header says; the rows stay readable.
    if (pos >= d.headerLength || header[pos] != kTerminator) {
        markDamaged("字段说明后面没有结束标记 0x0D");
    }
    const int descriptorsEnd = pos + 1;
    if (d.headerLength != descriptorsEnd &&
        !(d.headerLength == descriptorsEnd + 1 && header[descriptorsEnd] == '\0')) {
        markDamaged("文件头长度 " + std::to_string(d.headerLength) + " 与 " +
                    std::to_string(m_fields.size()) + " 个字段的说明所占的 " +
                    std::to_string(descriptorsEnd) + " 字节不符");
    }
    if (m_recordLength != offset) {
        markDamaged("记录长度 " + std::to_string(m_recordLength) + " 与各字段宽度之和加 1（" +
                    std::to_string(offset) + "）不符");
    }
    if (hasMemo && d.version == kVersionPlain) {
        markDamaged("版本字节 0x03 表示没有备注文件，表中却有备注字段");
    }

    const uint32_t count = get32(head + 4);
    const uint64_t available = (size - d.headerLength) / m_recordLength;
    m_recordCount = static_cast<uint32_t>(std::min<uint64_t>(count, available));
    if (count > available) {
        markDamaged("记录数是 " + std::to_string(count) + "，文件却只有 " +
                    std::to_string(available) + " 条完整的记录（文件被截断了）");
    } else if (count < available) {
        char next = 0;
        d.dbf->readAt(d.headerLength + uint64_t(count) * m_recordLength, &next, 1);
        if (next != kEndMark) {
            markDamaged("记录数是 " + std::to_string(count) + "，其后却还有 " +
                        std::to_string(available - count) + " 条记录");
        }
    }

    d.blankRecord.assign(m_recordLength, ' ');
    for (const auto& field : m_fields) {
        if (field.type == FieldType::Integer) {
            std::fill_n(d.blankRecord.begin() + field.offset, 4, '\0');
        }
    }

    if (!hasMemo) {
        d.memo.reset();
        return;
    }
    if (!d.memo) {
        refuse("备注文件 " + (d.memoPath.empty() ? m_name + ".dbt" : d.memoPath) + " 不存在");
    }
    d.memoIV = d.version == kVersionMemo4;
    uint64_t memoSize = d.memo->size();
    if (d.memoIV) {
        unsigned char memoHead[24] = {};
        if (memoSize < sizeof memoHead) {
            refuse("备注文件太短");
        }
        d.memo->readAt(0, memoHead, sizeof memoHead);
        uint32_t blockSize = get16(memoHead + 20);
        if (blockSize == 0) {
            blockSize = get32(memoHead + 4);
        }
        if (blockSize < 32 || blockSize > 65536) {
            refuse("备注文件的块大小 " + std::to_string(blockSize) + " 不对");
        }
        d.blockSize = blockSize;
    } else if (memoSize < 4) {
        refuse("备注文件太短");
    }
}

// Why the memo pointers of record recno do not fit a memo file of blocks blocks; "" when
// they do.
std::string DbfFile::pointerFault(std::string_view record, uint32_t recno, uint64_t blocks) const {
    const Impl& d = *m_impl;
    for (const FieldDef& field : m_fields) {
        if (field.type != FieldType::Memo) {
            continue;
        }
        const std::string_view pointer = trim(record.substr(field.offset, field.length));
        uint64_t block = 0;
        const auto [end, error] =
            std::from_chars(pointer.data(), pointer.data() + pointer.size(), block);
        if (pointer.empty()) {
            continue;
        }
        auto where = [&] {
            return "第 " + std::to_string(recno) + " 条记录的备注字段 " + field.name;
        };
        if (error != std::errc() || end != pointer.data() + pointer.size() || block == 0 ||
            block >= blocks) {
            return where() + " 指向 " + shown(std::string(pointer)) + "，不在备注文件之内";
        }
        if (d.memoIV) {
            const uint64_t start = block * d.blockSize;
            const auto length = memoIVLength(start);
            if (length && !memoLengthFits(start, *length)) {
                return where() + " 的长度 " + std::to_string(*length) + " 超出了备注文件";
            }
        }
    }
    return {};
}

// Every memo pointer within the memo file: otherwise a memo appended later would turn up in
// the rows whose pointers run past the end.
void DbfFile::requireWritable() {
    Impl& d = *m_impl;
    if (m_damage.empty() && !m_pointersChecked && d.memo && !m_index->pointersSound()) {
        const uint64_t blocks = (d.memo->size() + d.blockSize - 1) / d.blockSize;
        // Each slice stops at its first pointer that is out of place; the first one found in
        // file order is reported.
        std::vector<std::string> faultOf(sliceCount());
        const size_t stopped = readInSlices([&](const RecordSlice& slice) {
            for (size_t at = 0; at < slice.records.size(); at += m_recordLength) {
                const uint32_t recno = slice.first + static_cast<uint32_t>(at / m_recordLength);
                faultOf[slice.index] =
                    pointerFault(slice.records.substr(at, m_recordLength), recno, blocks);
                if (!faultOf[slice.index].empty()) {
                    return true;
                }
            }
            return false;
        });
        if (stopped < faultOf.size()) {
            markDamaged(faultOf[stopped]);
        }
    }
    m_pointersChecked = true;
    if (!m_damage.empty()) {
        throw EngineError(m_damage);
    }
    m_index->setPointersSound();
}

// The length that the dBase IV memo at start gives itself, its 8-byte head included; nullopt
// for a memo without the IV mark, which is read to its end mark as a dBase III memo.
std::optional<uint32_t> DbfFile::memoIVLength(uint64_t start) const {
    unsigned char head[8] = {};
    if (m_impl->memo->readAt(start, head, sizeof head) < sizeof head || head[0] != 0xFF ||
        head[1] != 0xFF || head[2] != 0x08 || head[3] != 0x00) {
        return std::nullopt;
    }
    return get32(head + 4);
}

bool DbfFile::memoLengthFits(uint64_t start, uint32_t length) const {
    return length >= 8 && start + length <= m_impl->memo->size() && length - 8 <= kMaxMemo;
}

std::unique_ptr<DbfFile> DbfFile::open(const std::string& path, LockMode lock) {
    Journal::recover(directoryOf(path));
    if (!fileExists(path)) {
        completeSwitch(path);
    }
    for (int attempt = 0;; ++attempt) {
        auto dbf = std::make_unique<PosixFile>(path, lock);
        bool memoFound = false;
        std::string memoPath = memoPathFor(path, &memoFound);
        if (hasSwitchLeftovers(path, memoPath) && attempt < 3) {
            // Clear them under an exclusive lock, then open again as asked.
            dbf.reset();
            PosixFile guard(path, LockMode::Exclusive);
            completeSwitch(path);
            continue;
        }
        std::unique_ptr<FileIo> memo;
        if (memoFound) {
            memo = std::make_unique<PosixFile>(memoPath, lock);
        }
        std::string name = std::filesystem::path(path).stem().string();
        return std::unique_ptr<DbfFile>(new DbfFile(
            OpenedFiles{path, std::move(name), lock, std::move(dbf), std::move(memo), memoPath}));
    }
}

void DbfFile::create(const std::string& path, const std::vector<FieldDef>& fields) {
    std::string tableName = std::filesystem::path(path).stem().string();
    auto refuse = [&](const std::string& what) {
        throw ValueError("不能建立数据表 " + tableName + "：" + what);
    };
    if (fields.empty()) {
        refuse("没有字段");
    }
    int headerLength = kHeaderSize + kDescriptorSize * static_cast<int>(fields.size()) + 1;
    if (headerLength > 0xFFFF) {
        refuse("字段太多");
    }
    std::string header(headerLength, '\0');
    bool hasMemo = false;
    int recordLength = 1;
    for (size_t i = 0; i < fields.size(); ++i) {
        const FieldDef& field = fields[i];
        auto name = GbkCodec::encode(field.name);
        if (field.name.empty() || !name || name->size() > 10 ||
            std::any_of(name->begin(), name->end(),
                        [](char c) { return static_cast<unsigned char>(c) <= ' '; })) {
            refuse("字段名 " + shown(field.name) + " 须是 1 到 10 个 GBK 字节，不含空格");
        }
        for (size_t j = 0; j < i; ++j) {
            if (text::equalsIgnoringCase(fields[j].name, field.name)) {
                refuse("字段名 " + field.name + " 用了两次");
            }
        }
        int length = field.length, decimals = field.decimals;
        auto badWidth = [&] {
            refuse("字段 " + field.name + " 的宽度 " + std::to_string(length) + "," +
                   std::to_string(decimals) + " 不适合它的类型");
        };
        switch (field.type) {
            case FieldType::Character:
                if (length < 1 || length > 254 || decimals != 0)
                    badWidth();
                break;
            case FieldType::Numeric:
            case FieldType::Float:
                if (length < 1 || length > 20 || decimals < 0 || decimals > 15 ||
                    (decimals > 0 && decimals > length - 2))
                    badWidth();
                break;
            case FieldType::Date:
            case FieldType::Logical:
            case FieldType::Memo: {
                int fixed = field.type == FieldType::Date      ? 8
                            : field.type == FieldType::Logical ? 1
                                                               : kMemoPointerWidth;
                if ((length != 0 && length != fixed) || decimals != 0)
                    badWidth();
                length = fixed;
                hasMemo = hasMemo || field.type == FieldType::Memo;
                break;
            }
            default:
                refuse("字段 " + field.name + " 的类型 " +
                       std::string(1, static_cast<char>(field.type)) + " 不能写入");
        }
        unsigned char* desc = bytes(header) + kHeaderSize + kDescriptorSize * i;
        std::memcpy(desc, name->data(), name->size());
        desc[11] = static_cast<unsigned char>(field.type);
        desc[16] = static_cast<unsigned char>(length);
        desc[17] = static_cast<unsigned char>(decimals);
        recordLength += length;
    }
    if (recordLength > 0xFFFF) {
        refuse("记录长度超过 65535 字节");
    }
    unsigned char* head = bytes(header);
    head[0] = hasMemo ? kVersionMemo3 : kVersionPlain;
    putToday(head + 1);
    put16(head + 8, headerLength);
    put16(head + 10, recordLength);
    head[29] = kLanguageGbk;
    header.back() = kTerminator;
    header += kEndMark;

    const std::string memoPath = memoPathFor(path);
    auto table = createFile(path + kPartSuffix);
    std::unique_ptr<PosixFile> memo;
    try {
        table->writeAt(0, header.data(), header.size());
        table->sync();
        if (hasMemo) {
            std::string block(kMemoBlock, '\0');
            put32(bytes(block), 1);
            block[16] = kVersionPlain;
            memo = createFile(memoPath + kNewSuffix);
            memo->writeAt(0, block.data(), block.size());
            memo->sync();
        }
    } catch (...) {
        removeFile(path + kPartSuffix);
        removeFile(memoPath + kNewSuffix);
        throw;
    }
    installFiles(path, memoPath, hasMemo);
}

const std::string& DbfFile::memoPath() const {
    static const std::string none;
    return m_impl->memo ? m_impl->memoPath : none;
}

int DbfFile::fieldIndex(std::string_view name) const {
    for (size_t i = 0; i < m_fields.size(); ++i) {
        if (text::equalsIgnoringCase(m_fields[i].name, name)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void DbfFile::readRecord(uint32_t recno, std::string& buffer) const {
    Impl& d = *m_impl;
    if (recno < 1 || recno > m_recordCount) {
        throw EngineError("数据表 " + m_name + " 中没有第 " + std::to_string(recno) +
                          " 条记录（共 " + std::to_string(m_recordCount) + " 条）");
    }
    if (recno < d.cacheFirst || recno >= d.cacheFirst + d.cacheCount) {
        // In order: at most a window's length past the window read last, as when a list
        // walks the records of one type or year that lie among others.
        const uint32_t end = d.cacheFirst + d.cacheCount;
        const bool inOrder = d.cacheCount > 0 && recno >= end && recno - end < d.cacheCount;
        d.readAhead = inOrder ? std::min(d.readAhead * 2, kMaxReadAhead) : kMinReadAhead;
        uint32_t count = std::min<uint32_t>(std::max<size_t>(1, d.readAhead / m_recordLength),
                                            m_recordCount - recno + 1);
        d.cache.resize(size_t(count) * m_recordLength);
        size_t got = d.dbf->readAt(d.headerLength + uint64_t(recno - 1) * m_recordLength,
                                   d.cache.data(), d.cache.size());
        d.cacheFirst = recno;
        d.cacheCount = static_cast<uint32_t>(got / m_recordLength);
        d.cache.resize(size_t(d.cacheCount) * m_recordLength);
        if (d.cacheCount == 0) {
            fault("第 " + std::to_string(recno) + " 条记录被文件末尾截断");
        }
    }
    buffer.assign(d.cache, size_t(recno - d.cacheFirst) * m_recordLength, m_recordLength);
}

bool DbfFile::isDeleted(uint32_t recno) const {
    std::string record;
    readRecord(recno, record);
    return isDeletedRecord(record);
}

std::string DbfFile::memoBytes(std::string_view record, int index) const {
    return memoBytes(record, index, m_impl->memoAhead);
}

std::optional<uint64_t> DbfFile::memoBlock(std::string_view record, int index) const {
    const FieldDef& field = m_fields[index];
    const std::string_view pointer = trim(record.substr(field.offset, field.length));
    if (pointer.empty()) {
        return std::nullopt;
    }
    uint64_t block = 0;
    auto [end, ec] = std::from_chars(pointer.data(), pointer.data() + pointer.size(), block);
    if (ec != std::errc() || end != pointer.data() + pointer.size()) {
        fault("字段 " + field.name + " 的备注的块号是 " + shown(std::string(pointer)));
    }
    return block;
}

template <class Piece>
bool DbfFile::eachMemoPiece(uint64_t block, int index, MemoReadAhead& ahead, Piece&& piece) const {
    const Impl& d = *m_impl;
    auto where = [&] { return "字段 " + m_fields[index].name + " 的备注"; };
    if (!d.memo) {
        fault(where() + "没有备注文件");
    }
    uint64_t memoSize = d.memo->size();
    uint64_t start = block * d.blockSize;
    if (block == 0 || start >= memoSize) {
        fault(where() + "指向第 " + std::to_string(block) + " 块，不在备注文件之内");
    }
    if (const auto length = d.memoIV ? memoIVLength(start) : std::nullopt) {
        if (!memoLengthFits(start, *length)) {
            fault(where() + "（第 " + std::to_string(block) + " 块）的长度 " +
                  std::to_string(*length) + " 超出了备注文件");
        }
        size_t left = *length - 8;
        for (uint64_t pos = start + 8; left > 0;) {
            const std::string_view window = d.memoWindow(ahead, pos);
            if (window.empty()) {
                break;
            }
            const std::string_view part = window.substr(0, left);
            piece(part);
            left -= part.size();
            pos += part.size();
        }
        return true;
    }
    // A dBase III memo runs to its end mark (or, if that is missing, to the end of the file).
    uint64_t taken = 0;
    for (uint64_t pos = start; pos < memoSize;) {
        const std::string_view window = d.memoWindow(ahead, pos);
        if (window.empty()) {
            break;
        }
        const size_t mark = window.find(kEndMark);
        if (mark != std::string_view::npos) {
            piece(window.substr(0, mark));
            return true;
        }
        piece(window);
        pos += window.size();
        taken += window.size();
        if (taken > kMaxMemo) {
            fault(where() + "（第 " + std::to_string(block) + " 块）没有结束标记");
        }
    }
    return false;
}

std::string DbfFile::memoBytes(std::string_view record, int index, MemoReadAhead& ahead) const {
    std::string data;
    if (const std::optional<uint64_t> block = memoBlock(record, index)) {
        readMemo(*block, index, ahead, data);
    }
    return data;
}

bool DbfFile::readMemo(uint64_t block, int index, MemoReadAhead& ahead, std::string& bytes) const {
    bytes.clear();
    if (!eachMemoPiece(block, index, ahead, [&](std::string_view part) { bytes.append(part); })) {
        bytes.resize(trimRight(bytes).size());
        return false;
    }
    return true;
}

Value DbfFile::decodeField(const std::string& record, int index) const {
    if (index < 0 || index >= static_cast<int>(m_fields.size())) {
        throw EngineError("数据表 " + m_name + " 中没有第 " + std::to_string(index + 1) +
                          " 个字段");
    }
    if (record.size() < static_cast<size_t>(m_recordLength)) {
        throw EngineError("数据表 " + m_name + " 的记录缓冲区太短");
    }
    const FieldDef& field = m_fields[index];
    std::string_view raw(record.data() + field.offset, field.length);
    switch (field.type) {
        case FieldType::Character:
            return textValue(raw);
        case FieldType::Numeric:
        case FieldType::Float: {
            std::string_view digits = trim(raw);
            if (!digits.empty() && digits.front() == '+') {
                digits.remove_prefix(1);
            }
            double number = 0;
            auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number,
                                             std::chars_format::fixed);
            if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() ||
                !std::isfinite(number)) {
                return Value();  // blank, or filled with '*' by another program
            }
            return Value(number);
        }
        case FieldType::Date: {
            auto date = Date::parse(raw);
            if (!date || raw.find_first_not_of("0123456789") != std::string_view::npos) {
                return Value();
            }
            return Value(*date);
        }
        case FieldType::Logical:
            switch (raw[0]) {
                case 'T':
                case 't':
                case 'Y':
                case 'y':
                    return Value(true);
                case 'F':
                case 'f':
                case 'N':
                case 'n':
                    return Value(false);
                default:
                    return Value();
            }
        case FieldType::Memo: {
            std::string data = memoBytes(record, index);
            return data.empty() ? Value() : Value(GbkCodec::decode(data));
        }
        case FieldType::Integer: {
            auto number =
                static_cast<int32_t>(get32(reinterpret_cast<const unsigned char*>(raw.data())));
            return Value(static_cast<double>(number));
        }
    }
    return Value();
}

Value DbfFile::decodeText(std::string_view gbk) {
    return textValue(gbk);
}

Value DbfFile::value(uint32_t recno, int index) const {
    std::string record;
    readRecord(recno, record);
    return decodeField(record, index);
}

Value DbfFile::value(uint32_t recno, std::string_view fieldName) const {
    int index = fieldIndex(fieldName);
    if (index < 0) {
        throw EngineError("数据表 " + m_name + " 中没有字段 " + std::string(fieldName));
    }
    return value(recno, index);
}

std::vector<std::pair<uint32_t, int>> DbfFile::undecodableFields() const {
    if (const auto& known = m_index->undecodable()) {
        return *known;  // from the pack's reading, or kept beside the file
    }
    std::vector<std::vector<std::pair<uint32_t, int>>> foundIn(sliceCount());
    readInSlices([&](const RecordSlice& slice) {
        uint32_t recno = slice.first;
        for (size_t at = 0; at < slice.records.size(); at += m_recordLength, ++recno) {
            const std::string_view record = slice.records.substr(at, m_recordLength);
            for (size_t f = 0; f < m_fields.size() && !isDeletedRecord(record); ++f) {
                const FieldDef& field = m_fields[f];
                const bool undecodable =
                    field.type == FieldType::Character
                        ? !GbkCodec::isValid(record.substr(field.offset, field.length))
                        : field.type == FieldType::Memo && m_impl->memo &&
                              !GbkCodec::isValid(
                                  memoBytes(record, static_cast<int>(f), slice.memos));
                if (undecodable) {
                    foundIn[slice.index].emplace_back(recno, static_cast<int>(f));
                }
            }
        }
        return false;
    });
    std::vector<std::pair<uint32_t, int>> found;
    for (const auto& inSlice : foundIn) {
        found.insert(found.end(), inSlice.begin(), inSlice.end());
    }
    m_index->setUndecodable(found);
    return found;
}

std::string DbfFile::encodeRecord(std::string record,
                                  const std::vector<std::pair<int, Value>>& values,
                                  std::vector<std::pair<int, std::string>>& memos) const {
    for (const auto& [index, value] : values) {
        if (index < 0 || index >= static_cast<int>(m_fields.size())) {
            throw ValueError("数据表 " + m_name + " 中没有第 " + std::to_string(index + 1) +
                             " 个字段");
        }
        const FieldDef& field = m_fields[index];
        char* out = record.data() + field.offset;
        auto put = [&](std::string_view text) { std::memcpy(out, text.data(), text.size()); };
        switch (field.type) {
            case FieldType::Character:
            case FieldType::Memo: {
                std::string text = value.asText();
                auto gbk = GbkCodec::encode(text);
                if (!gbk) {
                    valueFault(index, shown(text) + " 中有 GBK 不能表示的字符");
                }
                if (field.type == FieldType::Memo) {
                    if (gbk->find(kEndMark) != std::string::npos) {
                        valueFault(index, "备注中不能有字符 U+001A");
                    }
                    if (gbk->size() > kMaxMemo) {
                        valueFault(index, "备注最长 16 MB");
                    }
                    std::erase_if(memos,
                                  [at = index](const auto& memo) { return memo.first == at; });
                    memos.emplace_back(index, std::move(*gbk));
                    break;
                }
                if (gbk->size() > static_cast<size_t>(field.length)) {
                    valueFault(index, shown(text) + " 在 GBK 中占 " + std::to_string(gbk->size()) +
                                          " 字节，超过了字段宽度 " + std::to_string(field.length));
                }
                std::memset(out, ' ', field.length);
                put(*gbk);
                break;
            }
            case FieldType::Numeric:
            case FieldType::Float: {
                if (value.kind() == Value::Kind::Date || value.kind() == Value::Kind::Bool) {
                    valueFault(index, shown(value.asText()) + " 不是数字");
                }
                if (isBlank(value)) {
                    std::memset(out, ' ', field.length);
                    break;
                }
                double number = 0;
                try {
                    number = value.asNumber();
                } catch (const ValueError&) {
                    valueFault(index, shown(value.asText()) + " 不是数字");
                }
                if (!std::isfinite(number)) {
                    valueFault(index, "数字不是有限值");
                }
                auto text = formatFixed(number, field.length, field.decimals);
                if (!text) {
                    valueFault(index, formatNumber(number) + " 超出了字段的宽度（" +
                                          std::to_string(field.length) + " 位，其中小数 " +
                                          std::to_string(field.decimals) + " 位）");
                }
                put(*text);
                break;
            }
            case FieldType::Date: {
                if (isBlank(value)) {
                    std::memset(out, ' ', field.length);
                    break;
                }
                auto date = value.kind() == Value::Kind::Number ? std::nullopt : value.asDate();
                if (!date || !date->isValid()) {
                    valueFault(index, shown(value.asText()) + " 不是日期");
                }
                put(date->toDbf());
                break;
            }
            case FieldType::Logical: {
                char flag = ' ';
                if (value.kind() == Value::Kind::Text) {
                    const std::string whole = value.asText();
                    std::string_view text = trim(whole);
                    size_t letter = text.size() == 1 ? std::string_view("TtYyFfNn").find(text[0])
                                                     : std::string_view::npos;
                    if (letter != std::string_view::npos) {
                        flag = letter < 4 ? 'T' : 'F';
                    } else if (!text.empty()) {
                        valueFault(index, shown(value.asText()) + " 不是 T 或 F");
                    }
                } else if (!value.isNull()) {
                    if (value.kind() == Value::Kind::Date) {
                        valueFault(index, shown(value.asText()) + " 不是 T 或 F");
                    }
                    flag = value.asBool() ? 'T' : 'F';
                }
                *out = flag;
                break;
            }
            case FieldType::Integer:
                valueFault(index, "这种字段不能写入");
        }
    }
    return record;
}

void DbfFile::storeMemos(std::string& record, std::vector<std::pair<int, std::string>>& memos) {
    Impl& d = *m_impl;
    for (auto& [index, gbk] : memos) {
        const FieldDef& field = m_fields[index];
        char* pointer = record.data() + field.offset;
        if (gbk.empty()) {
            std::memset(pointer, ' ', field.length);
            continue;
        }
        if (!d.memo) {
            fault("备注文件不存在");
        }
        uint64_t size = d.memo->size();
        uint64_t block = std::max<uint64_t>(1, (size + d.blockSize - 1) / d.blockSize);
        std::string data = d.memoRecord(std::move(gbk));
        uint64_t blocks = data.size() / d.blockSize;
        if (block + blocks > 0xFFFFFFFFu) {
            fault("备注文件已满");
        }
        d.write(Impl::Target::Memo, block * d.blockSize, data.data(), data.size(), inTransaction());
        unsigned char next[4];
        put32(next, static_cast<uint32_t>(block + blocks));
        d.write(Impl::Target::Memo, 0, next, 4, inTransaction());
        putMemoPointer(pointer, block);
    }
}

void DbfFile::writeHeaderCount() {
    unsigned char head[7];
    putToday(head);
    put32(head + 3, m_recordCount);
    m_impl->write(Impl::Target::Dbf, 1, head, sizeof head, inTransaction());
}

uint32_t DbfFile::append(const std::vector<std::pair<int, Value>>& values) {
    Impl& d = *m_impl;
    std::vector<std::pair<int, std::string>> memos;
    std::string record = encodeRecord(d.blankRecord, values, memos);
    requireWritable();
    if (m_recordCount == 0xFFFFFFFFu) {
        throw EngineError("数据表 " + m_name + " 已满");
    }
    storeMemos(record, memos);
    record += kEndMark;
    d.write(Impl::Target::Dbf, d.headerLength + uint64_t(m_recordCount) * m_recordLength,
            record.data(), record.size(), inTransaction());
    ++m_recordCount;
    writeHeaderCount();
    refreshIdentity();
    m_index->stored(m_recordCount, nullptr, record);
    return m_recordCount;
}

void DbfFile::update(uint32_t recno, const std::vector<std::pair<int, Value>>& values) {
    Impl& d = *m_impl;
    std::string old;
    readRecord(recno, old);
    // A value that reads back as given keeps its bytes, even bytes that are not GBK (they read
    // as U+FFFD, which GBK cannot hold), and an unchanged memo keeps its blocks.
    std::map<int, const Value*> given;  // a field given twice takes its last value
    for (const auto& [index, value] : values) {
        given[index] = &value;
    }
    std::vector<std::pair<int, Value>> changed;
    for (const auto& [index, value] : given) {
        if (index >= 0 && index < static_cast<int>(m_fields.size())) {
            try {
                if (decodeField(old, index) == *value) {
                    continue;
                }
            } catch (const EngineError&) {
                // An unreadable memo is replaced.
            }
        }
        changed.emplace_back(index, *value);
    }
    std::vector<std::pair<int, std::string>> memos;
    std::string record = encodeRecord(old, changed, memos);
    if (record == old && memos.empty()) {
        return;
    }
    requireWritable();
    storeMemos(record, memos);
    size_t first = 0;
    while (first < record.size() && record[first] == old[first]) {
        ++first;
    }
    if (first == record.size()) {
        return;
    }
    size_t last = record.size();
    while (record[last - 1] == old[last - 1]) {
        --last;
    }
    d.write(Impl::Target::Dbf, d.headerLength + uint64_t(recno - 1) * m_recordLength + first,
            record.data() + first, last - first, inTransaction());
    refreshIdentity();
    m_index->stored(recno, &old, record);
}

void DbfFile::setDeleted(uint32_t recno, bool deleted) {
    Impl& d = *m_impl;
    std::string record;
    readRecord(recno, record);
    char flag = deleted ? '*' : ' ';
    if (record[0] == flag) {
        return;
    }
    requireWritable();
    d.write(Impl::Target::Dbf, d.headerLength + uint64_t(recno - 1) * m_recordLength, &flag, 1,
            inTransaction());
    refreshIdentity();
    m_index->flagged(recno, deleted);
}

void DbfFile::beginTransaction() {
    Impl& d = *m_impl;
    m_marks.push_back(d.journal.size());
    d.snapshots.push_back({d.dbf->size(), d.memo ? d.memo->size() : 0, m_recordCount});
}

void DbfFile::commitTransaction() {
    Impl& d = *m_impl;
    if (!inTransaction()) {
        throw EngineError("数据表 " + m_name + " 没有可以提交的写入");
    }
    m_marks.pop_back();
    d.snapshots.pop_back();
    if (m_marks.empty()) {
        d.journal.clear();
        d.journal.shrink_to_fit();
    }
}

void DbfFile::rollbackTransaction() {
    Impl& d = *m_impl;
    if (!inTransaction()) {
        throw EngineError("数据表 " + m_name + " 没有可以撤销的写入");
    }
    size_t mark = m_marks.back();
    Impl::Snapshot snapshot = d.snapshots.back();
    m_marks.pop_back();
    d.snapshots.pop_back();
    d.dropCache();
    while (d.journal.size() > mark) {
        const Impl::Undo& undo = d.journal.back();
        d.file(undo.target).writeAt(undo.offset, undo.bytes.data(), undo.bytes.size());
        d.journal.pop_back();
    }
    if (d.dbf->size() != snapshot.dbfSize) {
        d.dbf->truncate(snapshot.dbfSize);
    }
    if (d.memo && d.memo->size() != snapshot.memoSize) {
        d.memo->truncate(snapshot.memoSize);
    }
    m_recordCount = snapshot.recordCount;
    refreshIdentity();
    m_index->forget();
}

void DbfFile::holdWrites(bool hold) {
    Impl& d = *m_impl;
    d.holding = hold;
    d.dbf->setHolding(hold);
    if (d.memo) {
        d.memo->setHolding(hold);
    }
}

std::vector<Journal::Member> DbfFile::journalMembers() {
    Impl& d = *m_impl;
    auto fileName = [](const std::string& path) {
        return std::filesystem::path(path).filename().string();
    };
    std::vector<Journal::Member> members{{fileName(m_path), d.dbf.get()}};
    if (d.memo) {
        members.push_back({fileName(d.memoPath), d.memo.get()});
    }
    return members;
}

void DbfFile::afterUnit() {
    m_impl->dropCache();
    refreshIdentity();
}

void DbfFile::flush() {
    Impl& d = *m_impl;
    writeHeaderCount();
    d.dbf->sync();
    if (d.memo) {
        d.memo->sync();
    }
    refreshIdentity();
}

size_t DbfFile::sliceCount() const {
    return (m_recordCount + recordsPerSlice() - 1) / recordsPerSlice();
}

uint32_t DbfFile::recordsPerSlice() const {
    return std::max<uint32_t>(1, kMaxReadAhead / m_recordLength);
}

size_t DbfFile::readInSlices(const std::function<bool(const RecordSlice&)>& visit) const {
    const Impl& d = *m_impl;
    const size_t slices = sliceCount();
    const uint32_t perSlice = recordsPerSlice();
    std::vector<std::exception_ptr> faults(slices);
    std::atomic<size_t> next{0};
    std::atomic<size_t> firstStopped{slices};
    auto stopAt = [&](size_t k) {
        for (size_t stopped = firstStopped; k < stopped;) {
            firstStopped.compare_exchange_weak(stopped, k);
        }
    };
    auto readSlices = [&] {
        std::string records;
        MemoReadAhead memos;
        for (size_t k; (k = next++) < slices && k < firstStopped;) {
            const uint32_t first = static_cast<uint32_t>(k) * perSlice + 1;
            const uint32_t count = std::min(perSlice, m_recordCount - first + 1);
            try {
                records.resize(size_t(count) * m_recordLength);
                const size_t got =
                    d.dbf->readAt(d.headerLength + uint64_t(first - 1) * m_recordLength,
                                  records.data(), records.size());
                if (got < records.size()) {
                    fault("第 " + std::to_string(first + got / m_recordLength) +
                          " 条记录被文件末尾截断");
                }
                if (visit(RecordSlice{k, first, records, memos})) {
                    stopAt(k);
                }
            } catch (...) {
                faults[k] = std::current_exception();
                stopAt(k);
            }
        }
    };
    std::vector<std::thread> threads;
    try {
        while (threads.size() + 1 < std::min(slices, sliceReaders())) {
            threads.emplace_back(readSlices);
        }
    } catch (const std::system_error&) {
        // no more threads to be had: those running and this one read every slice
    }
    readSlices();
    for (std::thread& thread : threads) {
        thread.join();
    }
    const size_t stopped = firstStopped;
    if (stopped < slices && faults[stopped]) {
        std::rethrow_exception(faults[stopped]);
    }
    return stopped;
}

// Whether the index knows what a pack needs to decide without reading: the deleted records, the
// soundness and the layout of the memos, the key fields; and what the start tells of, the
// fields whose bytes are not GBK.
bool DbfFile::surveyed() {
    const std::optional<bool> deleted = m_index->anyDeleted();
    if (!deleted || !m_index->undecodable()) {
        return false;
    }
    if (*deleted) {
        return true;  // the pack reads every record and indexes the new file
    }
    for (int field : m_index->keyFields()) {
        if (!m_index->keyKnown(field)) {
            return false;
        }
    }
    return !m_impl->memo ||
           ((m_pointersChecked || m_index->pointersSound()) && m_index->memoCompact());
}

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
    RecordIndex::Gathering gathering;
    std::vector<std::vector<MemoExtent>> memosOf;  // by slice, in file order
};

std::optional<DbfFile::MemoExtent> DbfFile::memoExtent(std::string_view record, uint32_t recno,
                                                       int index, MemoReadAhead& ahead,
                                                       std::string& bytes) const {
    const Impl& d = *m_impl;
    const std::optional<uint64_t> block = memoBlock(record, index);
    if (!block) {
        return std::nullopt;
    }
    const bool ended = readMemo(*block, index, ahead, bytes);
    const uint64_t length = bytes.size();
    MemoExtent extent{recno, static_cast<uint32_t>(index), *block, 0, false};
    if (ended && length > 0) {
        const uint64_t start = *block * d.blockSize;
        const uint64_t end = start + d.memoBlocks(length) * d.blockSize;
        // memoRecord() writes every memo of a dBase IV file with its head.
        extent.asStored = d.memoIV
                              ? memoIVLength(start) && memoHolds(ahead, start + 8 + length, end, 0)
                              : memoHolds(ahead, start + length, end, 2);
    }
    extent.blocks = length == 0 ? 0 : d.memoBlocks(length);
    return extent;
}

bool DbfFile::memoHolds(MemoReadAhead& ahead, uint64_t from, uint64_t to, size_t marks) const {
    static const char zeros[4096] = {};
    const Impl& d = *m_impl;
    if (to > d.memo->size()) {
        return false;
    }
    for (uint64_t pos = from; pos < to;) {
        std::string_view part = d.memoWindow(ahead, pos).substr(0, to - pos);
        if (part.empty()) {
            return false;
        }
        pos += part.size();
        for (; marks > 0 && !part.empty(); --marks, part.remove_prefix(1)) {
            if (part.front() != kEndMark) {
                return false;
            }
        }
        for (; !part.empty(); part.remove_prefix(std::min(part.size(), sizeof zeros))) {
            if (std::memcmp(part.data(), zeros, std::min(part.size(), sizeof zeros)) != 0) {
                return false;
            }
        }
    }
    return true;
}

// One reading of every record, on several threads: the deletion marks and the key fields'
// values for the index, the memo pointers' check, and where each live record's memo lies,
// from which it follows whether the memo file holds the live records' memos end to end and
// nothing else.
DbfFile::Survey DbfFile::survey() {
    Impl& d = *m_impl;
    const bool checkPointers =
        d.memo && m_damage.empty() && !m_pointersChecked && !m_index->pointersSound();
    const uint64_t blocks = d.memo ? (d.memo->size() + d.blockSize - 1) / d.blockSize : 0;
    const size_t slices = sliceCount();
    Survey survey{RecordIndex::Gathering(m_index->keyFields(), slices),
                  std::vector<std::vector<MemoExtent>>(slices)};
    std::vector<std::string> faultOf(slices);
    // A table with a pointer out of place is not packed: its memos are not wanted.
    std::atomic<bool> memosWanted{d.memo != nullptr};
    readInSlices([&](const RecordSlice& slice) {
        std::string& fault = faultOf[slice.index];
        std::vector<MemoExtent>& memos = survey.memosOf[slice.index];
        std::string memo;
        for (size_t at = 0; at < slice.records.size(); at += m_recordLength) {
            const std::string_view record = slice.records.substr(at, m_recordLength);
            const uint32_t recno = slice.first + static_cast<uint32_t>(at / m_recordLength);
            survey.gathering.record(*this, slice.index, recno, record);
            if (checkPointers && fault.empty()) {
                fault = pointerFault(record, recno, blocks);
                if (!fault.empty()) {
                    memosWanted = false;
                }
            }
            if (isDeletedRecord(record)) {
                continue;
            }
            for (size_t f = 0; f < m_fields.size(); ++f) {
                const FieldDef& field = m_fields[f];
                const int index = static_cast<int>(f);
                if (field.type == FieldType::Character) {
                    if (!GbkCodec::isValid(record.substr(field.offset, field.length))) {
                        survey.gathering.undecodable(slice.index, recno, index);
                    }
                } else if (field.type == FieldType::Memo && memosWanted) {
                    if (auto extent = memoExtent(record, recno, index, slice.memos, memo)) {
                        memos.push_back(*extent);
                        if (!GbkCodec::isValid(memo)) {
                            survey.gathering.undecodable(slice.index, recno, index);
                        }
                    }
                }
            }
        }
        return false;
    });
    if (!d.memo || memosWanted) {
        survey.gathering.checkedText();
    }
    m_index->learn(survey.gathering);
    if (checkPointers) {
        for (const std::string& fault : faultOf) {
            if (!fault.empty()) {
                markDamaged(fault);
                break;
            }
        }
        m_pointersChecked = true;
    }
    if (!memosWanted || *m_index->anyDeleted()) {
        return survey;  // a pack rewrites the memo file, or refuses
    }
    std::vector<std::pair<uint64_t, uint64_t>> used;  // block, blocks
    for (const auto& ofSlice : survey.memosOf) {
        for (const MemoExtent& extent : ofSlice) {
            if (extent.blocks > 0) {
                used.emplace_back(extent.block, extent.blocks);
            }
        }
    }
    std::sort(used.begin(), used.end());
    uint64_t next = 1;
    bool compact = true;
    for (const auto& [block, count] : used) {
        compact = compact && block == next;
        next += count;
    }
    unsigned char head[4] = {};
    d.memo->readAt(0, head, 4);
    m_index->setMemoCompact(compact && d.memo->size() == next * d.blockSize && get32(head) == next);
    return survey;
}

// Whether a pack would change anything: deleted records, memo blocks that no live record
// uses, bytes after the records, or an index flag to clear.
bool DbfFile::needsPack() {
    const Impl& d = *m_impl;
    unsigned char flag = 0;
    d.dbf->readAt(kIndexFlag, &flag, 1);
    const uint64_t recordsEnd = d.headerLength + uint64_t(m_recordCount) * m_recordLength;
    const uint64_t size = d.dbf->size();
    if (flag != 0 || size > recordsEnd + 1) {
        return true;
    }
    if (size == recordsEnd + 1) {
        char mark = 0;
        d.dbf->readAt(recordsEnd, &mark, 1);
        if (mark != kEndMark) {
            return true;
        }
    }
    return *m_index->anyDeleted() || (d.memo && !*m_index->memoCompact());
}

namespace {

// Writes a new file from front to back in large writes and has each part start on its way to
// the disk once written, so that the sync at the end has little left to wait for.
class SequentialWriter {
public:
    explicit SequentialWriter(FileIo& file) : m_file(file) {}

    // Appends bytes; returns where their copy lies until the next append.
    char* append(std::string_view bytes) {
        if (m_pending.size() + bytes.size() > kWritePiece) {
            writePending();
        }
        const size_t at = m_pending.size();
        m_pending.append(bytes);
        return m_pending.data() + at;
    }
    // Appends size bytes of from at offset, copied file to file where the files allow it;
    // returns false when from ends before them.
    bool copy(const FileIo& from, uint64_t offset, uint64_t size) {
        writePending();
        const uint64_t copied = m_file.copyFrom(from, offset, m_written, size);
        advance(copied);
        return copied == size;
    }
    // Writes the rest and syncs the file.
    void finish() {
        writePending();
        m_file.sync();
    }

private:
    static constexpr size_t kWritePiece = 4 * 1024 * 1024;
    static constexpr uint64_t kWriteBackPiece = 16 * 1024 * 1024;

    void writePending() {
        if (!m_pending.empty()) {
            m_file.writeAt(m_written, m_pending.data(), m_pending.size());
            advance(m_pending.size());
            m_pending.clear();
        }
    }
    void advance(uint64_t bytes) {
        m_written += bytes;
        if (m_written - m_onItsWay >= kWriteBackPiece) {
            m_file.startWriteBack(m_onItsWay, m_written - m_onItsWay);
            m_onItsWay = m_written;
        }
    }

    FileIo& m_file;
    std::string m_pending;
    uint64_t m_written = 0;   // bytes in the file
    uint64_t m_onItsWay = 0;  // bytes before this are on their way to the disk
};

}  // namespace

// The live records, each memo pointer set to the memo's place in the new memo file.
void DbfFile::writePackedRecords(FileIo& file, const Survey& survey) const {
    const Impl& d = *m_impl;
    const std::vector<uint32_t> deleted = survey.gathering.deleted();
    const uint32_t live = m_recordCount - static_cast<uint32_t>(deleted.size());
    std::string header(d.headerLength, '\0');
    d.dbf->readAt(0, header.data(), header.size());
    header[kIndexFlag] = 0;  // no production index is kept
    putToday(bytes(header) + 1);
    put32(bytes(header) + 4, live);
    SequentialWriter out(file);
    out.append(header);
    auto truncated = [&](uint32_t recno) {
        fault("第 " + std::to_string(recno) + " 条记录被文件末尾截断");
    };
    auto offsetOf = [&](uint32_t recno) {
        return d.headerLength + uint64_t(recno - 1) * m_recordLength;
    };
    if (!d.memo) {
        // Runs of live records as they are.
        uint32_t first = 1;
        for (size_t k = 0; k <= deleted.size(); ++k) {
            const uint32_t end = k < deleted.size() ? deleted[k] : m_recordCount + 1;
            if (first < end &&
                !out.copy(*d.dbf, offsetOf(first), uint64_t(end - first) * m_recordLength)) {
                truncated(first);
            }
            first = end + 1;
        }
    } else {
        // The survey's memos, in the order of the records and fields they belong to.
        size_t slice = 0, next = 0;
        auto memoOf = [&](uint32_t recno, size_t field) -> const MemoExtent* {
            while (slice < survey.memosOf.size() && next == survey.memosOf[slice].size()) {
                ++slice;
                next = 0;
            }
            if (slice == survey.memosOf.size()) {
                return nullptr;
            }
            const MemoExtent& extent = survey.memosOf[slice][next];
            if (extent.recno != recno || extent.field != field) {
                return nullptr;  // an empty pointer
            }
            ++next;
            return &extent;
        };
        uint64_t nextBlock = 1;  // after the head block
        uint32_t written = 0;
        std::string records;
        const uint32_t perSlice = recordsPerSlice();
        for (uint32_t first = 1; first <= m_recordCount; first += perSlice) {
            const uint32_t count = std::min(perSlice, m_recordCount - first + 1);
            records.resize(size_t(count) * m_recordLength);
            const size_t got = d.dbf->readAt(offsetOf(first), records.data(), records.size());
            if (got < records.size()) {
                truncated(first + static_cast<uint32_t>(got / m_recordLength));
            }
            for (uint32_t k = 0; k < count; ++k) {
                const std::string_view record =
                    std::string_view(records).substr(size_t(k) * m_recordLength, m_recordLength);
                if (isDeletedRecord(record)) {
                    continue;
                }
                char* placed = out.append(record);
                ++written;
                for (size_t f = 0; f < m_fields.size(); ++f) {
                    if (m_fields[f].type != FieldType::Memo) {
                        continue;
                    }
                    char* pointer = placed + m_fields[f].offset;
                    const MemoExtent* memo = memoOf(first + k, f);
                    if (memo && memo->blocks > 0) {
                        putMemoPointer(pointer, nextBlock);
                        nextBlock += memo->blocks;
                    } else {
                        std::memset(pointer, ' ', m_fields[f].length);
                    }
                }
            }
        }
        if (written != live) {
            throw EngineError("数据表 " + m_name + " 在整理时被改动了");
        }
    }
    out.append(std::string_view(&kEndMark, 1));
    out.finish();
}

// The live records' memos in file order, end to end after the head block.
void DbfFile::writePackedMemos(FileIo& file, const Survey& survey) const {
    const Impl& d = *m_impl;
    uint64_t blocks = 1;
    for (const auto& ofSlice : survey.memosOf) {
        for (const MemoExtent& extent : ofSlice) {
            blocks += extent.blocks;
        }
    }
    std::string head(d.blockSize, '\0');
    d.memo->readAt(0, head.data(), std::min<size_t>(head.size(), 24));
    put32(bytes(head), static_cast<uint32_t>(blocks));
    SequentialWriter out(file);
    out.append(head);
    // Memos that lie one after another as memoRecord() stores them are copied in one piece.
    uint64_t runBlock = 0, runBlocks = 0;
    auto copyRun = [&] {
        if (runBlocks > 0 && !out.copy(*d.memo, runBlock * d.blockSize, runBlocks * d.blockSize)) {
            fault("备注文件第 " + std::to_string(runBlock) + " 块后被文件末尾截断");
        }
        runBlocks = 0;
    };
    MemoReadAhead ahead;
    std::string memo;
    for (const auto& ofSlice : survey.memosOf) {
        for (const MemoExtent& extent : ofSlice) {
            if (extent.blocks == 0) {
                continue;
            }
            if (extent.asStored) {
                if (runBlocks == 0 || runBlock + runBlocks != extent.block) {
                    copyRun();
                    runBlock = extent.block;
                }
                runBlocks += extent.blocks;
                continue;
            }
            copyRun();
            readMemo(extent.block, static_cast<int>(extent.field), ahead, memo);
            const std::string stored = d.memoRecord(memo);
            if (stored.size() != extent.blocks * d.blockSize) {
                throw EngineError("数据表 " + m_name + " 在整理时被改动了");
            }
            out.append(stored);
        }
    }
    copyRun();
    out.finish();
}

// The memo file is written on a thread of its own while this one writes the table file.
void DbfFile::writePacked(FileIo& dbf, FileIo* memo, const Survey& survey) const {
    std::exception_ptr memoFault;
    std::thread memoWriter;
    if (memo) {
        auto writeMemos = [&] {
            try {
                writePackedMemos(*memo, survey);
            } catch (...) {
                memoFault = std::current_exception();
            }
        };
        try {
            memoWriter = std::thread(writeMemos);
        } catch (const std::system_error&) {
            writeMemos();  // no thread to be had
        }
    }
    std::exception_ptr recordFault;
    try {
        writePackedRecords(dbf, survey);
    } catch (...) {
        recordFault = std::current_exception();
    }
    if (memoWriter.joinable()) {
        memoWriter.join();
    }
    for (const std::exception_ptr& thrown : {recordFault, memoFault}) {
        if (thrown) {
            std::rethrow_exception(thrown);
        }
    }
}

void DbfFile::pack() {
    Impl& d = *m_impl;
    if (inTransaction()) {
        throw EngineError("数据表 " + m_name + " 正在写入，不能整理");
    }
    if (!m_path.empty() && !isExclusive()) {
        throw EngineError("数据表 " + m_name + " 须独占打开才能整理：" + m_path);
    }
    if (!m_damage.empty()) {
        requireWritable();
    }
    std::optional<Survey> read;
    if (!surveyed()) {
        read = survey();
    }
    requireWritable();
    if (!needsPack()) {
        if (read) {
            m_index->keep();
        }
        return;
    }
    if (!read) {
        read = survey();  // the deleted records were known, where the memos lie was not
    }
    if (m_path.empty()) {
        // A table in memory is packed in place: the same file objects get the new bytes.
        MemoryFile newDbf, newMemo;
        writePacked(newDbf, d.memo ? &newMemo : nullptr, *read);
        for (auto [file, bytes] : {std::pair{d.dbf.get(), &newDbf}, {d.memo.get(), &newMemo}}) {
            if (file) {
                file->truncate(0);
                file->writeAt(0, bytes->bytes().data(), bytes->bytes().size());
            }
        }
    } else {
        const std::string& memoPath = d.memoPath;
        auto dbfFile = createFile(m_path + kPartSuffix);
        std::unique_ptr<PosixFile> memoFile;
        try {
            if (d.memo) {
                memoFile = createFile(memoPath + kNewSuffix);
            }
            writePacked(*dbfFile, memoFile.get(), *read);
            installFiles(m_path, memoPath, memoFile != nullptr);
        } catch (...) {
            // Before the old table file is renamed aside nothing has changed; after it,
            // opening the table completes the switch.
            if (fileExists(m_path)) {
                removeFile(m_path + kPartSuffix);
                removeFile(m_path + kNewSuffix);
                removeFile(memoPath + kNewSuffix);
            }
            throw;
        }
        dbfFile->setPath(m_path);
        if (memoFile) {
            memoFile->setPath(memoPath);
        }
        // Nothing names the old files any more; closing them frees their blocks, beside what
        // follows.
        closeAside(std::move(d.dbf));
        closeAside(std::move(d.memo));
        d.setFiles(std::move(dbfFile), std::move(memoFile));
    }
    d.dropCache();
    load();
    refreshIdentity();
    m_index->packed();
    m_index->learn(read->gathering.afterPack());
}

namespace {

DbfFile::Identity identityFrom(const struct stat& info) {
    return DbfFile::Identity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino),
                             static_cast<uint64_t>(info.st_size),
                             int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
                             int64_t(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec};
}

}  // namespace

void DbfFile::refreshIdentity() {
    auto identityOfFile = [](BufferedFile& file) {
        struct stat info {};
        const auto* posix = dynamic_cast<const PosixFile*>(&file.base());
        if (!posix) {
            return Identity{0, 0, file.size(), 0, 0};
        }
        return ::fstat(posix->descriptor(), &info) == 0 ? identityFrom(info) : Identity{};
    };
    m_identity = identityOfFile(*m_impl->dbf);
    m_memoIdentity = m_impl->memo ? identityOfFile(*m_impl->memo) : Identity{};
}

DbfFile::Identity DbfFile::identityOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return {};
    }
    return identityFrom(info);
}

}  // namespace store
