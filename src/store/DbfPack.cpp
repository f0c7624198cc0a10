// The pack: deleted records removed and the memo file compacted, written beside the table
// and switched into place.

#include "DbfFormat.h"

#include <thread>

#include "Errors.h"

namespace store {

using namespace dbf;

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

}  // namespace store
