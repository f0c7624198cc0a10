#include "DbfFile.h"
#include "Text.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>

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
// Records are read ahead, more the longer a run of reads goes on in record order (or skims
// forward): one record costs one small read, a scan runs at the speed of large reads.
constexpr size_t kMinReadAhead = 8 * 1024;
constexpr size_t kMaxReadAhead = 1024 * 1024;
constexpr uint64_t kMaxMemo = 16 * 1024 * 1024;

// Suffixes of the files a pack (and create) writes beside the table.
constexpr const char* kNewSuffix = ".packnew";
constexpr const char* kBackupSuffix = ".packbak";

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
    return "\"" + utf8.substr(0, cut) + (cut < utf8.size() ? "...\"" : "\"");
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

std::string directoryOf(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

void syncDirectory(const std::string& directory) {
    int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

void renameFile(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        throw EngineError("Cannot rename " + from + " to " + to + ": " + std::strerror(errno));
    }
    // rename() leaves both names when they are links to one file.
    if (exists(from)) {
        ::unlink(from.c_str());
    }
}

void removeFile(const std::string& path) {
    ::unlink(path.c_str());
}

// Makes an empty file (replacing one that is there) and opens it locked.
std::unique_ptr<PosixFile> createFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        throw EngineError("Cannot create " + path + ": " + std::strerror(errno));
    }
    ::close(fd);
    return std::make_unique<PosixFile>(path, LockMode::Exclusive);
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
    if (exists(preferred)) {
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

// Finishes or undoes a pack that was interrupted. A pack writes T.packnew beside each file T,
// links T.packbak to each old file, renames the table's new file and then the memo's into
// place, and removes the backups. While the memo's new file is there, the renames are not
// complete: the old files come back from the backups. Otherwise they are complete and only
// leftovers are removed. Returns whether anything was found.
bool recoverPack(const std::string& dbfPath, const std::string& memoPath) {
    const std::string files[2] = {dbfPath, memoPath};
    bool found = false;
    for (const auto& file : files) {
        found = found || exists(file + kNewSuffix) || exists(file + kBackupSuffix);
    }
    if (!found) {
        return false;
    }
    bool renamesIncomplete = exists(memoPath + kNewSuffix);
    for (const auto& file : files) {
        if (renamesIncomplete && exists(file + kBackupSuffix)) {
            renameFile(file + kBackupSuffix, file);
        }
        removeFile(file + kNewSuffix);
        removeFile(file + kBackupSuffix);
    }
    syncDirectory(directoryOf(dbfPath));
    return true;
}

}  // namespace

struct DbfFile::OpenedFiles {
    std::string path;
    std::string name;
    LockMode lock = LockMode::Shared;
    std::unique_ptr<FileIo> dbf;
    std::unique_ptr<FileIo> memo;
    std::string memoPath;
};

struct DbfFile::Impl {
    enum class Target { Dbf, Memo };

    std::unique_ptr<FileIo> dbf;
    std::unique_ptr<FileIo> memo;
    std::string memoPath;
    int headerLength = 0;
    bool memoIV = false;
    uint32_t blockSize = kMemoBlock;
    std::string blankRecord;

    // Records read ahead; kept in step with every write to the table file.
    mutable std::string cache;
    mutable uint32_t cacheFirst = 0;
    mutable uint32_t cacheCount = 0;
    mutable size_t readAhead = kMinReadAhead;

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

    FileIo& file(Target target) { return target == Target::Dbf ? *dbf : *memo; }

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
            patchCache(offset, data, size);
        }
    }

    void patchCache(uint64_t offset, const void* data, size_t size) {
        if (cacheCount == 0) {
            return;
        }
        uint64_t start = headerLength + uint64_t(cacheFirst - 1) * (blankRecord.size());
        uint64_t end = start + cache.size();
        uint64_t from = std::max(offset, start), to = std::min(offset + size, end);
        if (from < to) {
            std::memcpy(cache.data() + (from - start),
                        static_cast<const char*>(data) + (from - offset), to - from);
        }
    }

    void dropCache() const {
        cacheCount = 0;
        cache.clear();
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
    m_impl->dbf = std::move(files.dbf);
    m_impl->memo = std::move(files.memo);
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

void DbfFile::fault(const std::string& what) const {
    throw EngineError("Table file " + (m_path.empty() ? m_name : m_path) + " is damaged: " + what);
}

void DbfFile::valueFault(int index, const std::string& what) const {
    throw ValueError("Field " + m_fields[index].name + " of table " + m_name + ": " + what);
}

void DbfFile::load() {
    Impl& d = *m_impl;
    uint64_t size = d.dbf->size();
    if (size < kHeaderSize) {
        fault("the file is too short to be a dBase table");
    }
    unsigned char head[kHeaderSize];
    d.dbf->readAt(0, head, kHeaderSize);
    uint8_t version = head[0];
    if (version != kVersionPlain && version != kVersionMemo3 && version != kVersionMemo4) {
        char text[64];
        std::snprintf(text, sizeof text, "unsupported version byte 0x%02X", version);
        fault(text);
    }
    d.headerLength = get16(head + 8);
    m_recordLength = get16(head + 10);
    if (d.headerLength < kHeaderSize + kDescriptorSize + 1) {
        fault("header length " + std::to_string(d.headerLength) + " is too small");
    }
    if (static_cast<uint64_t>(d.headerLength) > size) {
        fault("header length " + std::to_string(d.headerLength) +
              " is beyond the end of the file (" + std::to_string(size) + " bytes)");
    }
    if (m_recordLength < 2) {
        fault("record length " + std::to_string(m_recordLength) + " is too small");
    }
    std::string header(d.headerLength, '\0');
    if (d.dbf->readAt(0, header.data(), header.size()) != header.size()) {
        fault("the header cannot be read");
    }
    m_fields.clear();
    int offset = 1;
    bool hasMemo = false;
    for (int pos = kHeaderSize; pos + kDescriptorSize <= d.headerLength; pos += kDescriptorSize) {
        const unsigned char* desc = bytes(header) + pos;
        if (desc[0] == kTerminator) {
            break;
        }
        std::string number = "field " + std::to_string(m_fields.size() + 1);
        const void* nul = std::memchr(desc, 0, 11);
        if (!nul) {
            fault(number + ": the name is not ended within 11 bytes");
        }
        std::string_view rawName(reinterpret_cast<const char*>(desc),
                                 static_cast<const unsigned char*>(nul) - desc);
        if (rawName.empty()) {
            fault(number + ": the name is empty");
        }
        if (std::any_of(rawName.begin(), rawName.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
            fault(number + ": the name holds control characters");
        }
        FieldDef field;
        field.name = GbkCodec::decode(rawName);
        number = "field " + field.name;
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
                    fault(number + ": " + std::to_string(field.decimals) +
                          " decimals do not fit in width " + std::to_string(field.length));
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
            default: {
                char text[80];
                std::snprintf(text, sizeof text, ": unknown field type 0x%02X", desc[11]);
                fault(number + text);
            }
        }
        field.type = static_cast<FieldType>(desc[11]);
        if (field.type != FieldType::Numeric && field.type != FieldType::Float) {
            field.decimals = 0;
        }
        if (field.length < minLength || field.length > maxLength) {
            fault(number + ": width " + std::to_string(field.length) + " is not valid for type " +
                  std::string(1, static_cast<char>(field.type)));
        }
        if (fieldIndex(field.name) >= 0) {
            fault(number + ": the name is used twice");
        }
        field.offset = offset;
        offset += field.length;
        if (offset > m_recordLength) {
            fault(number + ": the field ends past the record length " +
                  std::to_string(m_recordLength));
        }
        m_fields.push_back(std::move(field));
    }
    if (m_fields.empty()) {
        fault("the table has no fields");
    }

    uint32_t count = get32(head + 4);
    uint64_t available = (size - d.headerLength) / m_recordLength;
    m_recordCount = static_cast<uint32_t>(std::min<uint64_t>(count, available));

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
        fault("the memo file " + (d.memoPath.empty() ? m_name + ".dbt" : d.memoPath) +
              " is missing");
    }
    d.memoIV = version == kVersionMemo4;
    uint64_t memoSize = d.memo->size();
    if (d.memoIV) {
        unsigned char memoHead[24] = {};
        if (memoSize < sizeof memoHead) {
            fault("the memo file is too short");
        }
        d.memo->readAt(0, memoHead, sizeof memoHead);
        uint32_t blockSize = get16(memoHead + 20);
        if (blockSize == 0) {
            blockSize = get32(memoHead + 4);
        }
        if (blockSize < 32 || blockSize > 65536) {
            fault("the memo file's block size " + std::to_string(blockSize) + " is not valid");
        }
        d.blockSize = blockSize;
    } else if (memoSize < 4) {
        fault("the memo file is too short");
    }
}

std::unique_ptr<DbfFile> DbfFile::open(const std::string& path, LockMode lock) {
    for (int attempt = 0;; ++attempt) {
        auto dbf = std::make_unique<PosixFile>(path, lock);
        bool memoFound = false;
        std::string memoPath = memoPathFor(path, &memoFound);
        bool leftovers = exists(path + kNewSuffix) || exists(path + kBackupSuffix) ||
                         exists(memoPath + kNewSuffix) || exists(memoPath + kBackupSuffix);
        if (leftovers && attempt < 3) {
            // Repair under an exclusive lock, then open again as asked.
            dbf.reset();
            PosixFile guard(path, LockMode::Exclusive);
            recoverPack(path, memoPath);
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
        throw ValueError("Cannot create table " + tableName + ": " + what);
    };
    if (fields.empty()) {
        refuse("it has no fields");
    }
    int headerLength = kHeaderSize + kDescriptorSize * static_cast<int>(fields.size()) + 1;
    if (headerLength > 0xFFFF) {
        refuse("too many fields");
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
            refuse("field name " + shown(field.name) +
                   " must be 1 to 10 bytes in GBK without blanks");
        }
        for (size_t j = 0; j < i; ++j) {
            if (text::equalsIgnoringCase(fields[j].name, field.name)) {
                refuse("field name " + field.name + " is used twice");
            }
        }
        int length = field.length, decimals = field.decimals;
        auto badWidth = [&] {
            refuse("field " + field.name + ": width " + std::to_string(length) + "," +
                   std::to_string(decimals) + " is not valid for its type");
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
                refuse("field " + field.name + ": type " +
                       std::string(1, static_cast<char>(field.type)) + " cannot be written");
        }
        unsigned char* desc = bytes(header) + kHeaderSize + kDescriptorSize * i;
        std::memcpy(desc, name->data(), name->size());
        desc[11] = static_cast<unsigned char>(field.type);
        desc[16] = static_cast<unsigned char>(length);
        desc[17] = static_cast<unsigned char>(decimals);
        recordLength += length;
    }
    if (recordLength > 0xFFFF) {
        refuse("the record is longer than 65535 bytes");
    }
    unsigned char* head = bytes(header);
    head[0] = hasMemo ? kVersionMemo3 : kVersionPlain;
    putToday(head + 1);
    put16(head + 8, headerLength);
    put16(head + 10, recordLength);
    head[29] = kLanguageGbk;
    header.back() = kTerminator;
    header += kEndMark;

    // Written beside and renamed into place, table file first: a crash between the renames
    // leaves the new empty table beside the old memo file, which it does not reference.
    bool memoFound = false;
    std::string memoPath = memoPathFor(path, &memoFound);
    auto table = createFile(path + kNewSuffix);
    table->writeAt(0, header.data(), header.size());
    table->sync();
    std::unique_ptr<PosixFile> memo;
    if (hasMemo) {
        std::string block(kMemoBlock, '\0');
        put32(bytes(block), 1);
        block[16] = kVersionPlain;
        memo = createFile(memoPath + kNewSuffix);
        memo->writeAt(0, block.data(), block.size());
        memo->sync();
    }
    std::string directory = directoryOf(path);
    syncDirectory(directory);
    renameFile(path + kNewSuffix, path);
    if (memo) {
        renameFile(memoPath + kNewSuffix, memoPath);
    } else if (memoFound) {
        removeFile(memoPath);
    }
    syncDirectory(directory);
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
        throw EngineError("Record " + std::to_string(recno) + " is not in table " + m_name + " (" +
                          std::to_string(m_recordCount) + " records)");
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
            fault("record " + std::to_string(recno) + " is cut short by the end of the file");
        }
    }
    buffer.assign(d.cache, size_t(recno - d.cacheFirst) * m_recordLength, m_recordLength);
}

bool DbfFile::isDeleted(uint32_t recno) const {
    std::string record;
    readRecord(recno, record);
    return isDeletedRecord(record);
}

std::string DbfFile::memoBytes(const std::string& record, int index) const {
    const Impl& d = *m_impl;
    const FieldDef& field = m_fields[index];
    std::string_view pointer = trim(std::string_view(record).substr(field.offset, field.length));
    if (pointer.empty()) {
        return {};
    }
    const std::string where = "the memo of field " + field.name;
    uint64_t block = 0;
    auto [end, ec] = std::from_chars(pointer.data(), pointer.data() + pointer.size(), block);
    if (ec != std::errc() || end != pointer.data() + pointer.size()) {
        fault(where + " has the block number " + shown(std::string(pointer)));
    }
    if (!d.memo) {
        fault(where + " has no memo file");
    }
    uint64_t memoSize = d.memo->size();
    uint64_t start = block * d.blockSize;
    if (block == 0 || start >= memoSize) {
        fault(where + " points to block " + std::to_string(block) + ", outside the memo file");
    }
    if (d.memoIV) {
        unsigned char head[8] = {};
        if (d.memo->readAt(start, head, 8) == 8 && head[0] == 0xFF && head[1] == 0xFF &&
            head[2] == 0x08 && head[3] == 0x00) {
            uint32_t length = get32(head + 4);
            if (length < 8 || start + length > memoSize || length - 8 > kMaxMemo) {
                fault(where + " at block " + std::to_string(block) + " has the length " +
                      std::to_string(length) + ", outside the memo file");
            }
            std::string data(length - 8, '\0');
            data.resize(d.memo->readAt(start + 8, data.data(), data.size()));
            return data;
        }
    }
    // A dBase III memo runs to its end mark (or, if that is missing, to the end of the file).
    std::string data;
    uint64_t pos = start;
    std::string chunk(d.blockSize, '\0');
    while (pos < memoSize) {
        size_t got = d.memo->readAt(pos, chunk.data(), chunk.size());
        if (got == 0) {
            break;
        }
        auto mark = std::memchr(chunk.data(), kEndMark, got);
        if (mark) {
            data.append(chunk.data(), static_cast<const char*>(mark) - chunk.data());
            return data;
        }
        data.append(chunk.data(), got);
        pos += got;
        if (data.size() > kMaxMemo) {
            fault(where + " at block " + std::to_string(block) + " has no end mark");
        }
    }
    return std::string(trimRight(data));
}

Value DbfFile::decodeField(const std::string& record, int index) const {
    if (index < 0 || index >= static_cast<int>(m_fields.size())) {
        throw EngineError("Table " + m_name + " has no field number " + std::to_string(index));
    }
    if (record.size() < static_cast<size_t>(m_recordLength)) {
        throw EngineError("Record buffer of table " + m_name + " is too short");
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
        throw EngineError("Field not found: " + std::string(fieldName) + " in table " + m_name);
    }
    return value(recno, index);
}

std::string DbfFile::encodeRecord(std::string record,
                                  const std::vector<std::pair<int, Value>>& values,
                                  std::vector<std::pair<int, std::string>>& memos) const {
    for (const auto& [index, value] : values) {
        if (index < 0 || index >= static_cast<int>(m_fields.size())) {
            throw ValueError("Table " + m_name + " has no field number " + std::to_string(index));
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
                    valueFault(index, shown(text) + " holds a character that GBK cannot hold");
                }
                if (field.type == FieldType::Memo) {
                    if (gbk->find(kEndMark) != std::string::npos) {
                        valueFault(index, "a memo cannot hold the character U+001A");
                    }
                    if (gbk->size() > kMaxMemo) {
                        valueFault(index, "a memo holds at most 16 MB");
                    }
                    std::erase_if(memos,
                                  [at = index](const auto& memo) { return memo.first == at; });
                    memos.emplace_back(index, std::move(*gbk));
                    break;
                }
                if (gbk->size() > static_cast<size_t>(field.length)) {
                    valueFault(index, shown(text) + " is " + std::to_string(gbk->size()) +
                                          " bytes in GBK, wider than the field's " +
                                          std::to_string(field.length));
                }
                std::memset(out, ' ', field.length);
                put(*gbk);
                break;
            }
            case FieldType::Numeric:
            case FieldType::Float: {
                if (value.kind() == Value::Kind::Date || value.kind() == Value::Kind::Bool) {
                    valueFault(index, shown(value.asText()) + " is not a number");
                }
                if (isBlank(value)) {
                    std::memset(out, ' ', field.length);
                    break;
                }
                double number = 0;
                try {
                    number = value.asNumber();
                } catch (const ValueError&) {
                    valueFault(index, shown(value.asText()) + " is not a number");
                }
                if (!std::isfinite(number)) {
                    valueFault(index, "the number is not finite");
                }
                auto text = formatFixed(number, field.length, field.decimals);
                if (!text) {
                    valueFault(index, formatNumber(number) + " is too wide for the field (" +
                                          std::to_string(field.length) + " characters, " +
                                          std::to_string(field.decimals) + " decimals)");
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
                    valueFault(index, shown(value.asText()) + " is not a date");
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
                        valueFault(index, shown(value.asText()) + " is not T or F");
                    }
                } else if (!value.isNull()) {
                    if (value.kind() == Value::Kind::Date) {
                        valueFault(index, shown(value.asText()) + " is not T or F");
                    }
                    flag = value.asBool() ? 'T' : 'F';
                }
                *out = flag;
                break;
            }
            case FieldType::Integer:
                valueFault(index, "the field cannot be written");
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
            fault("the memo file is missing");
        }
        uint64_t size = d.memo->size();
        uint64_t block = std::max<uint64_t>(1, (size + d.blockSize - 1) / d.blockSize);
        std::string data = d.memoRecord(std::move(gbk));
        uint64_t blocks = data.size() / d.blockSize;
        if (block + blocks > 0xFFFFFFFFu) {
            fault("the memo file is full");
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
    if (m_recordCount == 0xFFFFFFFFu) {
        throw EngineError("Table " + m_name + " is full");
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
    std::vector<std::pair<int, std::string>> memos;
    std::string record = encodeRecord(old, values, memos);
    // An unchanged memo keeps its blocks.
    std::erase_if(memos, [&](const auto& memo) {
        try {
            return memo.second == memoBytes(old, memo.first);
        } catch (const EngineError&) {
            return false;  // a damaged pointer is replaced
        }
    });
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
        throw EngineError("Table " + m_name + ": no transaction to commit");
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
        throw EngineError("Table " + m_name + ": no transaction to roll back");
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

void DbfFile::flush() {
    Impl& d = *m_impl;
    writeHeaderCount();
    d.dbf->sync();
    if (d.memo) {
        d.memo->sync();
    }
    refreshIdentity();
}

void DbfFile::packInto(FileIo& dbf, FileIo* memo) {
    Impl& d = *m_impl;
    std::string header(d.headerLength, '\0');
    d.dbf->readAt(0, header.data(), header.size());
    header[28] = 0;  // no production index is kept
    uint64_t memoSize = 0;
    if (memo) {
        std::string memoHeader(d.memoIV ? d.blockSize : kMemoBlock, '\0');
        d.memo->readAt(0, memoHeader.data(), std::min<uint64_t>(memoHeader.size(), 24));
        memo->writeAt(0, memoHeader.data(), memoHeader.size());
        memoSize = memoHeader.size();
    }
    uint64_t offset = d.headerLength;
    uint32_t live = 0;
    std::string record, batch;
    for (uint32_t recno = 1; recno <= m_recordCount; ++recno) {
        readRecord(recno, record);
        if (isDeletedRecord(record)) {
            continue;
        }
        for (size_t i = 0; memo && i < m_fields.size(); ++i) {
            const FieldDef& field = m_fields[i];
            if (field.type != FieldType::Memo) {
                continue;
            }
            std::string data = memoBytes(record, static_cast<int>(i));
            char* pointer = record.data() + field.offset;
            if (data.empty()) {
                std::memset(pointer, ' ', field.length);
                continue;
            }
            std::string stored = d.memoRecord(std::move(data));
            memo->writeAt(memoSize, stored.data(), stored.size());
            putMemoPointer(pointer, memoSize / d.blockSize);
            memoSize += stored.size();
        }
        batch += record;
        ++live;
        if (batch.size() >= kMaxReadAhead) {
            dbf.writeAt(offset, batch.data(), batch.size());
            offset += batch.size();
            batch.clear();
        }
    }
    batch += kEndMark;
    dbf.writeAt(offset, batch.data(), batch.size());
    putToday(bytes(header) + 1);
    put32(bytes(header) + 4, live);
    dbf.writeAt(0, header.data(), header.size());
    if (memo) {
        unsigned char next[4];
        put32(next, static_cast<uint32_t>(memoSize / d.blockSize));
        memo->writeAt(0, next, 4);
        memo->sync();
    }
    dbf.sync();
}

void DbfFile::pack() {
    Impl& d = *m_impl;
    if (inTransaction()) {
        throw EngineError("Table " + m_name + " cannot be packed inside a transaction");
    }
    if (!m_path.empty() && !isExclusive()) {
        throw EngineError("Table " + m_name +
                          " must be opened exclusively to be packed: " + m_path);
    }
    if (m_path.empty()) {
        // A table in memory is packed in place: the same file objects get the new bytes.
        MemoryFile newDbf, newMemo;
        packInto(newDbf, d.memo ? &newMemo : nullptr);
        for (auto [file, bytes] : {std::pair{d.dbf.get(), &newDbf}, {d.memo.get(), &newMemo}}) {
            if (file) {
                file->truncate(0);
                file->writeAt(0, bytes->bytes().data(), bytes->bytes().size());
            }
        }
    } else {
        // New files beside the old ones; the old ones stay linked as backups until both
        // renames are done, so that opening after a crash finds one whole table (see
        // recoverPack).
        const std::string& memoPath = d.memoPath;
        std::string directory = directoryOf(m_path);
        auto dbfFile = createFile(m_path + kNewSuffix);
        std::unique_ptr<PosixFile> memoFile;
        try {
            if (d.memo) {
                memoFile = createFile(memoPath + kNewSuffix);
            }
            packInto(*dbfFile, memoFile.get());
        } catch (...) {
            removeFile(m_path + kNewSuffix);
            if (d.memo) {
                removeFile(memoPath + kNewSuffix);
            }
            throw;
        }
        if (memoFile) {
            for (const std::string& file : {m_path, memoPath}) {
                if (::link(file.c_str(), (file + kBackupSuffix).c_str()) != 0) {
                    int error = errno;
                    recoverPack(m_path, memoPath);
                    throw EngineError("Cannot pack " + m_path + ": " + std::strerror(error));
                }
            }
            syncDirectory(directory);
        }
        renameFile(m_path + kNewSuffix, m_path);
        syncDirectory(directory);
        dbfFile->setPath(m_path);
        if (memoFile) {
            renameFile(memoPath + kNewSuffix, memoPath);
            syncDirectory(directory);
            memoFile->setPath(memoPath);
            removeFile(memoPath + kBackupSuffix);
            removeFile(m_path + kBackupSuffix);
            syncDirectory(directory);
        }
        d.dbf = std::move(dbfFile);
        d.memo = std::move(memoFile);
    }
    d.dropCache();
    load();
    refreshIdentity();
    m_index->packed();
}

void DbfFile::refreshIdentity() {
    const auto* file = dynamic_cast<const PosixFile*>(m_impl->dbf.get());
    if (!file) {
        m_identity = Identity{0, 0, m_impl->dbf->size(), 0};
        return;
    }
    struct stat info {};
    if (::fstat(file->descriptor(), &info) == 0) {
        m_identity =
            Identity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino),
                     static_cast<uint64_t>(info.st_size),
                     int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
    }
}

DbfFile::Identity DbfFile::identityOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return {};
    }
    return Identity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino),
                    static_cast<uint64_t>(info.st_size),
                    int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

}  // namespace store
