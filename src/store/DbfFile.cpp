// DbfFile: opening a table, reading its records and decoding their fields, the errors it
// raises, and the identity of its files on disk.

#include "DbfFormat.h"

#include <sys/stat.h>

#include <cmath>
#include <filesystem>

#include "Errors.h"
#include "GbkCodec.h"
#include "Text.h"

namespace store {

using namespace dbf;

namespace {

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

DbfFile::Identity identityFrom(const struct stat& info) {
    return DbfFile::Identity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino),
                             static_cast<uint64_t>(info.st_size),
                             int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
                             int64_t(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec};
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
