// Creating a table's files, finding the memo file beside a table, and the switch of files
// by which create and pack put new files in place.

#include "DbfFormat.h"

#include <dirent.h>

#include <filesystem>

#include "Errors.h"
#include "GbkCodec.h"
#include "Text.h"

namespace store {

using namespace dbf;

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

std::string DbfFile::installedName(const std::string& fileName) {
    if (fileName.ends_with(kNewSuffix)) {
        return fileName.substr(0, fileName.size() - std::strlen(kNewSuffix));
    }
    return {};
}

namespace dbf {

std::unique_ptr<PosixFile> createFile(const std::string& path) {
    auto file = std::make_unique<PosixFile>(path, LockMode::Exclusive, PosixFile::Create::Yes);
    if (file->size() != 0) {
        file->truncate(0);
    }
    return file;
}

std::string memoPathFor(const std::string& dbfPath, bool* found) {
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

}  // namespace dbf

}  // namespace store
