// The memo file: reading a record's memos (dBase III and IV), read ahead, and storing the
// memos of a record that is written.

#include "DbfFormat.h"

#include "Errors.h"
#include "GbkCodec.h"

namespace store {

using namespace dbf;

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

}  // namespace store
