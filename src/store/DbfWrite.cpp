// Writes of a table: records encoded and checked, appended, updated and marked deleted;
// the transactions that undo them, and writes held for a unit under the journal.

#include "DbfFormat.h"

#include <cmath>
#include <filesystem>

#include "Errors.h"
#include "GbkCodec.h"

namespace store {

using namespace dbf;

namespace {

// Null, or text of blanks only: what a blank number or date field holds.
bool isBlank(const Value& value) {
    if (value.kind() != Value::Kind::Text) {
        return value.isNull();
    }
    const std::string text = value.asText();
    return trim(text).empty();
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

}  // namespace

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

}  // namespace store
