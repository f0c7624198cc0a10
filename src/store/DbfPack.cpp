// The pack: deleted records removed and the memo file compacted, written beside the table
// and switched into place.

#include "DbfFormat.h"

#include <thread>

#include "Errors.h"

namespace store {

using namespace dbf;

namespace {

// Writes a new file from front to back in large writes and has each part start on its way to
// the disk once written, so that the sync at the end has little left to wait for. The file's
// head, known only at the end, is written last.
class SequentialWriter {
public:
    SequentialWriter(FileIo& file, size_t headSize) : m_file(file), m_written(headSize) {}

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
    // Writes the rest and the head, and syncs the file.
    void finish(std::string_view head) {
        writePending();
        m_file.writeAt(0, head.data(), head.size());
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
    uint64_t m_written;       // bytes in the file, the head's included
    uint64_t m_onItsWay = 0;  // bytes before this are on their way to the disk
};

}  // namespace

// Whether the table file alone shows that a pack changes it: an index flag to clear, or bytes
// after the records.
bool DbfFile::fileNeedsPack() const {
    const Impl& d = *m_impl;
    unsigned char flag = 0;
    d.dbf->readAt(kIndexFlag, &flag, 1);
    const uint64_t recordsEnd = d.headerLength + uint64_t(m_recordCount) * m_recordLength;
    const uint64_t size = d.dbf->size();
    if (flag != 0 || size > recordsEnd + 1) {
        return true;
    }
    char mark = kEndMark;
    if (size == recordsEnd + 1) {
        d.dbf->readAt(recordsEnd, &mark, 1);
    }
    return mark != kEndMark;
}

// Whether a pack would change anything: deleted records, memo blocks that no live record
// uses, or what fileNeedsPack() finds.
bool DbfFile::needsPack() {
    return fileNeedsPack() || *m_index->anyDeleted() || (m_impl->memo && !*m_index->memoCompact());
}

// The live records, each memo pointer set to the memo's place in the new memo file; each slice
// once the survey is done with it. Returns early when the pack is cancelled.
void DbfFile::writePackedRecords(FileIo& file, const Survey& survey,
                                 SurveyProgress& progress) const {
    const Impl& d = *m_impl;
    SequentialWriter out(file, d.headerLength);
    auto truncated = [&](uint32_t recno) {
        fault("第 " + std::to_string(recno) + " 条记录被文件末尾截断");
    };
    auto offsetOf = [&](uint32_t recno) {
        return d.headerLength + uint64_t(recno - 1) * m_recordLength;
    };
    const uint32_t perSlice = recordsPerSlice();
    uint32_t live = m_recordCount;
    uint32_t written = 0;
    uint64_t nextBlock = 1;  // after the memo file's head block
    std::string records;
    for (size_t k = 0; k < sliceCount(); ++k) {
        if (!progress.await(k + 1)) {
            return;
        }
        const uint32_t first = static_cast<uint32_t>(k) * perSlice + 1;
        const uint32_t count = std::min(perSlice, m_recordCount - first + 1);
        const std::vector<uint32_t>& deleted = survey.gathering.deletedIn(k);
        live -= static_cast<uint32_t>(deleted.size());
        if (!d.memo) {
            // Runs of live records as they are.
            uint32_t from = first;
            for (size_t i = 0; i <= deleted.size(); ++i) {
                const uint32_t to = i < deleted.size() ? deleted[i] : first + count;
                if (from < to &&
                    !out.copy(*d.dbf, offsetOf(from), uint64_t(to - from) * m_recordLength)) {
                    truncated(from);
                }
                written += to - from;
                from = to + 1;
            }
            continue;
        }
        // The survey's memos of the slice, in the order of the records and fields they belong to.
        const std::vector<MemoExtent>& memos = survey.memosOf[k];
        size_t next = 0;
        records.resize(size_t(count) * m_recordLength);
        const size_t got = d.dbf->readAt(offsetOf(first), records.data(), records.size());
        if (got < records.size()) {
            truncated(first + static_cast<uint32_t>(got / m_recordLength));
        }
        for (uint32_t r = 0; r < count; ++r) {
            const std::string_view record =
                std::string_view(records).substr(size_t(r) * m_recordLength, m_recordLength);
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
                const bool own = next < memos.size() && memos[next].recno == first + r &&
                                 memos[next].field == f;  // else an empty pointer
                const uint64_t blocks = own ? memos[next++].blocks : 0;
                if (blocks > 0) {
                    putMemoPointer(pointer, nextBlock);
                    nextBlock += blocks;
                } else {
                    std::memset(pointer, ' ', m_fields[f].length);
                }
            }
        }
    }
    if (written != live) {
        throw EngineError("数据表 " + m_name + " 在整理时被改动了");
    }
    std::string header(d.headerLength, '\0');
    d.dbf->readAt(0, header.data(), header.size());
    header[kIndexFlag] = 0;  // no production index is kept
    putToday(bytes(header) + 1);
    put32(bytes(header) + 4, live);
    out.append(std::string_view(&kEndMark, 1));
    out.finish(header);
}

// The live records' memos in file order, end to end after the head block; each slice's once
// the survey is done with it. Returns early when the pack is cancelled.
void DbfFile::writePackedMemos(FileIo& file, const Survey& survey, SurveyProgress& progress) const {
    const Impl& d = *m_impl;
    SequentialWriter out(file, d.blockSize);
    // Memos that lie one after another as memoRecord() stores them are copied in one piece.
    uint64_t runBlock = 0, runBlocks = 0;
    auto copyRun = [&] {
        if (runBlocks > 0 && !out.copy(*d.memo, runBlock * d.blockSize, runBlocks * d.blockSize)) {
            fault("备注文件第 " + std::to_string(runBlock) + " 块后被文件末尾截断");
        }
        runBlocks = 0;
    };
    uint64_t blocks = 1;
    MemoReadAhead ahead;
    std::string memo;
    for (size_t k = 0; k < sliceCount(); ++k) {
        if (!progress.await(k + 1)) {
            return;
        }
        for (const MemoExtent& extent : survey.memosOf[k]) {
            blocks += extent.blocks;
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
        copyRun();  // what the survey has done goes on its way while it does the next
    }
    std::string head(d.blockSize, '\0');
    d.memo->readAt(0, head.data(), std::min<size_t>(head.size(), 24));
    put32(bytes(head), static_cast<uint32_t>(blocks));
    out.finish(head);
}

// The memo file is written on a thread of its own while this one writes the table file.
void DbfFile::writePacked(FileIo& dbf, FileIo* memo, const Survey& survey,
                          SurveyProgress& progress) const {
    std::exception_ptr memoFault;
    std::thread memoWriter;
    if (memo) {
        auto writeMemos = [&] {
            try {
                writePackedMemos(*memo, survey, progress);
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
        writePackedRecords(dbf, survey, progress);
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

// The new files are written beside the survey, on a thread of their own, from the moment the
// survey finds a reason to pack; a survey that ends in no pack, or in damage, cancels them.
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
    const bool known = surveyed();
    if (known) {
        requireWritable();
        if (!needsPack()) {
            return;
        }
    }
    Survey read(m_index->keyFields(), sliceCount());
    SurveyProgress progress(sliceCount());
    if (known || fileNeedsPack()) {
        progress.start();
    }
    MemoryFile newDbf, newMemo;  // for a table in memory
    std::unique_ptr<PosixFile> dbfFile, memoFile;
    std::exception_ptr writeFault;
    auto write = [&] {
        try {
            if (!progress.await(0)) {
                return;
            }
            FileIo* dbfOut = &newDbf;
            FileIo* memoOut = d.memo ? &newMemo : nullptr;
            if (!m_path.empty()) {
                dbfOut = (dbfFile = createFile(m_path + kPartSuffix)).get();
                if (d.memo) {
                    memoOut = (memoFile = createFile(d.memoPath + kNewSuffix)).get();
                }
            }
            writePacked(*dbfOut, memoOut, read, progress);
        } catch (...) {
            writeFault = std::current_exception();
        }
    };
    std::thread writer;
    try {
        writer = std::thread(write);
    } catch (const std::system_error&) {
        // no thread to be had: the files are written after the survey
    }
    // Once cancelled, a writer on this thread returns at once.
    auto waitForWriter = [&] {
        if (writer.joinable()) {
            writer.join();
        } else {
            write();
        }
    };
    // Before the old table file is renamed aside nothing has changed; after it, opening the
    // table completes the switch.
    auto abandon = [&] {
        progress.cancel();
        waitForWriter();
        if (!m_path.empty() && fileExists(m_path)) {
            removeFile(m_path + kPartSuffix);
            removeFile(m_path + kNewSuffix);
            removeFile(d.memoPath + kNewSuffix);
        }
    };
    try {
        survey(read, progress);
        requireWritable();
        if (!needsPack()) {
            abandon();
            m_index->keep();
            return;
        }
        progress.start();
        waitForWriter();
        if (writeFault) {
            std::rethrow_exception(writeFault);
        }
        if (!m_path.empty()) {
            installFiles(m_path, d.memoPath, memoFile != nullptr);
        }
    } catch (...) {
        abandon();
        throw;
    }
    if (m_path.empty()) {
        // A table in memory is packed in place: the same file objects get the new bytes.
        for (auto [file, bytes] : {std::pair{d.dbf.get(), &newDbf}, {d.memo.get(), &newMemo}}) {
            if (file) {
                file->truncate(0);
                file->writeAt(0, bytes->bytes().data(), bytes->bytes().size());
            }
        }
    } else {
        dbfFile->setPath(m_path);
        if (memoFile) {
            memoFile->setPath(d.memoPath);
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
    m_index->learn(read.gathering.afterPack());
}

}  // namespace store
