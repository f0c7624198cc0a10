// The writing of a unit's journal: the old bytes of its files saved before they are
// written, and the journal removed at the unit's end or put back by its rollback.

#include "Journal.h"

#include <algorithm>
#include <chrono>
#include <random>

#include "Errors.h"
#include "JournalFormat.h"

namespace store {

using namespace journal;

namespace {

uint64_t randomNumber() {
    std::random_device device;
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    return (uint64_t(device()) << 32) ^ device() ^ static_cast<uint64_t>(now);
}

}  // namespace

// The records of one write-out, as they are put together.
struct Journal::RecordWriter {
    explicit RecordWriter(uint64_t seed) : seed(seed) {}

    uint64_t seed;
    std::string bytes;
    uint32_t count = 0;

    void put(char kind, uint32_t file, uint64_t value, std::string_view data) {
        const size_t start = bytes.size();
        bytes += kind;
        putNumber(bytes, file, 4);
        putNumber(bytes, value, 8);
        putNumber(bytes, data.size(), 4);
        bytes += data;
        putNumber(bytes, checksum(seed, std::string_view(bytes).substr(start)), kChecksumSize);
        ++count;
    }
};

std::string Journal::batchPath(const std::string& directory, uint32_t batch) {
    const std::string path = directory + "/" + kFileName;
    return batch == 1 ? path : path + "." + std::to_string(batch);
}

Journal::Journal(std::string directory) : m_directory(std::move(directory)) {}

// A unit still open here has written out and not ended: its journal stays for the next open
// to roll back, as after a crash.
Journal::~Journal() = default;

void Journal::save(FileState& state, BufferedFile& file, uint64_t from, uint64_t to,
                   RecordWriter& writer) {
    to = std::min(to, state.originalSize);
    while (from < to) {
        // Skip what is saved already; save up to the next saved range.
        auto next = state.saved.upper_bound(from);
        if (next != state.saved.begin()) {
            auto previous = std::prev(next);
            if (previous->second > from) {
                from = previous->second;
                continue;
            }
        }
        const uint64_t stop = next == state.saved.end() ? to : std::min(to, next->first);
        std::string old(stop - from, '\0');
        old.resize(file.base().readAt(from, old.data(), old.size()));
        writer.put(kImageRecord, state.id, from, old);
        // Merge [from, stop) into the saved ranges.
        uint64_t start = from, end = stop;
        auto before = state.saved.upper_bound(start);
        if (before != state.saved.begin() && std::prev(before)->second >= start) {
            --before;
            start = before->first;
        }
        auto after = before;
        while (after != state.saved.end() && after->first <= end) {
            end = std::max(end, after->second);
            ++after;
        }
        state.saved.erase(before, after);
        state.saved.emplace(start, end);
        from = stop;
    }
}

void Journal::writeOut(const std::vector<Member>& members) {
    if (!m_journal) {
        m_nonce = randomNumber();
        m_batches = 0;
    }
    const uint32_t batch = m_batches + 1;
    RecordWriter writer(m_nonce + batch);
    if (batch == 1) {
        writer.put(kDirectoryRecord, 0, 0,
                   identityBytes(identityOf(m_directory).value_or(Identity{})));
    }
    std::vector<BufferedFile*> changed;
    for (const Member& member : members) {
        BufferedFile& file = *member.file;
        if (!file.hasHeldChanges()) {
            continue;
        }
        changed.push_back(&file);
        auto [entry, added] = m_files.try_emplace(member.name);
        FileState& state = entry->second;
        if (added) {
            state.id = static_cast<uint32_t>(m_files.size());
            state.originalSize = file.baseSize();
            const std::string path = m_directory + "/" + member.name;
            writer.put(kFileRecord, state.id, state.originalSize,
                       identityBytes(identityOf(path).value_or(Identity{})) + member.name);
            // The first block is saved whether the unit writes it or not: it holds the table's
            // header, which another table (or this one at another time) does not share.
            save(state, file, 0, kWriteBlock, writer);
        }
        // The blocks this write-out changes below the old size, in file order.
        std::vector<std::pair<uint64_t, uint64_t>> spans;
        auto touch = [&](uint64_t from, uint64_t to) {
            from = blockStart(from);
            to = std::min(blockEnd(to), state.originalSize);
            if (from >= to) {
                return;
            }
            if (!spans.empty() && from <= spans.back().second) {
                spans.back().second = std::max(spans.back().second, to);
            } else {
                spans.emplace_back(from, to);
            }
        };
        for (const auto& [offset, bytes] : file.heldWrites()) {
            touch(offset, offset + bytes.size());
        }
        if (file.size() < file.baseSize()) {
            touch(file.size(), file.baseSize());
        }
        std::string block;
        for (const auto& [from, to] : spans) {
            save(state, file, from, to, writer);
            std::string sums;
            for (uint64_t at = from; at < to; at += kWriteBlock) {
                block.resize(std::min(kWriteBlock, to - at));
                block.resize(file.readAt(at, block.data(), block.size()));
                putNumber(sums, checksum(0, block), 8);
            }
            writer.put(kWrittenRecord, state.id, from, sums);
        }
        writer.put(kSizeRecord, state.id, file.size(), {});
    }
    if (changed.empty()) {
        return;
    }
    writer.put(kEndRecord, 0, writer.count, {});

    std::unique_ptr<PosixFile> part = startBatch(batch);
    std::string header(kMagic);
    putNumber(header, m_nonce, 8);
    putNumber(header, batch, 8);
    putNumber(header, checksum(0, header), kChecksumSize);
    try {
        part->writeAt(0, header.data(), header.size());
        part->writeAt(header.size(), writer.bytes.data(), writer.bytes.size());
        part->sync();
    } catch (const StoreError&) {
        removeFile(part->path());  // a disk that is full, say: no byte of the files has changed
        throw;
    }
    // Under its name, and durably so, before any byte of the files changes.
    const std::string path = batchPath(m_directory, batch);
    renameFile(part->path(), path);
    part->setPath(path);
    syncDirectory(m_directory);
    m_batches = batch;
    if (batch == 1) {
        m_journal = std::move(part);  // its lock keeps every other open from the unit
    }
    for (BufferedFile* file : changed) {
        file->writeOut();
    }
    for (BufferedFile* file : changed) {
        file->sync();
    }
}

std::unique_ptr<PosixFile> Journal::startBatch(uint32_t batch) {
    const std::string path = batchPath(m_directory, batch);
    auto part = std::make_unique<PosixFile>(path + kPartSuffix, LockMode::Exclusive,
                                            PosixFile::Create::Yes);
    if (fileExists(path)) {
        removeFile(part->path());
        if (batch == 1) {
            PosixFile left(path, LockMode::Exclusive);  // BusyError: another unit is being written
        }
        throw EngineError("数据目录 " + m_directory + " 中留有一次中断的写入（" + kFileName +
                          "），请重新启动程序后再试");
    }
    if (part->size() != 0) {
        part->truncate(0);  // left by a writer that stopped
    }
    return part;
}

void Journal::commit(const std::vector<Member>& members) {
    writeOut(members);
    if (m_journal) {
        finish();
    }
}

void Journal::rollback(const std::vector<Member>& members) {
    for (const Member& member : members) {
        member.file->dropHeld();
    }
    if (!m_journal) {
        m_files.clear();
        return;
    }
    std::map<std::string, FileIo*> bases;
    for (const Member& member : members) {
        bases[member.name] = &member.file->base();
    }
    try {
        // The unit's own journal, over the files it holds open: put back without a check.
        const JournalParts parts(m_directory, *m_journal);
        JournalContent content;
        if (std::string fault = readJournal(parts, content); !fault.empty()) {
            throw EngineError(unfinished(m_directory) + fault);
        }
        std::vector<std::unique_ptr<PosixFile>> opened;
        std::map<uint32_t, FileIo*> targets;
        for (const auto& [number, file] : content.files) {
            FileIo*& target = targets[number];
            if (auto base = bases.find(file.name); base != bases.end()) {
                target = base->second;
            } else if (const std::string path = m_directory + "/" + file.name; fileExists(path)) {
                opened.push_back(std::make_unique<PosixFile>(path, LockMode::Shared));
                target = opened.back().get();
            }
        }
        putBack(content, targets);
    } catch (...) {
        // The journal stays on disk, unlocked, for the next open to roll back.
        m_journal.reset();
        m_files.clear();
        m_batches = 0;
        throw;
    }
    for (const Member& member : members) {
        member.file->dropHeld();
    }
    finish();
}

void Journal::finish() {
    // The first write-out goes last: while it is there, so is every later one.
    for (uint32_t batch = m_batches; batch >= 1; --batch) {
        removeFile(batchPath(m_directory, batch));
    }
    syncDirectory(m_directory);  // the unit is durable once its journal is gone for good
    m_journal.reset();
    m_files.clear();
    m_batches = 0;
}

}  // namespace store
