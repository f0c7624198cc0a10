// The sliced reading of a table: every record once, in slices on several threads; and the
// survey a pack takes from it (deletion marks, key values, where the memos lie).

#include "DbfFormat.h"

#include <atomic>
#include <exception>
#include <thread>

#include "Errors.h"
#include "GbkCodec.h"

namespace store {

using namespace dbf;

namespace {

// Threads that read the slices of a table at once (readInSlices): one a processor, at most.
constexpr size_t kMaxSliceReaders = 8;

size_t sliceReaders() {
    return std::clamp<size_t>(std::thread::hardware_concurrency(), 1, kMaxSliceReaders);
}

}  // namespace

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
// nothing else. Each slice goes to progress once read; a deleted record in it starts the pack.
void DbfFile::survey(Survey& survey, SurveyProgress& progress) {
    Impl& d = *m_impl;
    const bool checkPointers =
        d.memo && m_damage.empty() && !m_pointersChecked && !m_index->pointersSound();
    const uint64_t blocks = d.memo ? (d.memo->size() + d.blockSize - 1) / d.blockSize : 0;
    std::vector<std::string> faultOf(sliceCount());
    // A table with a pointer out of place is not packed: its memos are not wanted.
    std::atomic<bool> memosWanted{d.memo != nullptr};
    readInSlices([&](const RecordSlice& slice) {
        std::string& fault = faultOf[slice.index];
        std::vector<MemoExtent>& memos = survey.memosOf[slice.index];
        std::string memo;
        bool anyDeleted = false;
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
                anyDeleted = true;
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
        if (anyDeleted) {
            progress.start();
        }
        progress.sliceDone(slice.index);
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
        return;  // a pack rewrites the memo file, or refuses
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
}

}  // namespace store
