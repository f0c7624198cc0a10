// The table header read and checked on open against itself and the file, and the checks
// of memo pointers before a table is written.

#include "DbfFormat.h"

#include "Errors.h"
#include "GbkCodec.h"

namespace store {

using namespace dbf;

namespace {

std::string hexByte(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
    return text;
}

}  // namespace

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

}  // namespace store
