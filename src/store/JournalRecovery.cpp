// The recovery of a journal that a unit left behind: its files read and checked against the
// tables, then rolled back, or set aside with a notice when they must not be applied.

#include "JournalFormat.h"

#include <algorithm>
#include <ctime>
#include <filesystem>

#include "Errors.h"
#include "Notices.h"

namespace store {

using namespace journal;

namespace {

bool isPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

}  // namespace

std::string journal::readJournal(const JournalParts& parts, JournalContent& content) {
    uint64_t nonce = 0;
    for (size_t index = 0; index < parts.files.size(); ++index) {
        const FileIo& journal = *parts.files[index];
        const std::string& name = parts.names[index];
        const uint64_t batch = index + 1;
        const uint64_t size = journal.size();
        auto damaged = [&](uint64_t at) {
            return "它已损坏（" + name + " 第 " + std::to_string(at) + " 字节起的内容读不出来）";
        };
        std::string header(kHeaderSize, '\0');
        header.resize(journal.readAt(0, header.data(), header.size()));
        if (size == 0) {
            return "它是空的（" + name + "）";
        }
        if (header.starts_with(kOldMagic)) {
            return "它是本程序的旧版本写下的，无法确认数据表仍是那次写入留下的样子";
        }
        if (header.size() < kHeaderSize || !header.starts_with(kMagic) ||
            getNumber(header.data() + 32, kChecksumSize) !=
                checksum(0, std::string_view(header).substr(0, 32))) {
            return damaged(0);
        }
        const uint64_t ownNonce = getNumber(header.data() + kMagic.size(), 8);
        if (batch == 1) {
            nonce = ownNonce;
        }
        if (ownNonce != nonce || getNumber(header.data() + 24, 8) != batch) {
            return "它的各个部分不属于同一次写入（" + name + "）";
        }
        const uint64_t seed = nonce + batch;
        std::string record;
        uint32_t count = 0;
        for (uint64_t at = kHeaderSize;; ++count) {
            if (at + kRecordHead + kChecksumSize > size) {
                return damaged(at);
            }
            record.resize(kRecordHead);
            journal.readAt(at, record.data(), kRecordHead);
            const char kind = record[0];
            const auto number = static_cast<uint32_t>(getNumber(record.data() + 1, 4));
            const uint64_t value = getNumber(record.data() + 5, 8);
            const uint64_t length = getNumber(record.data() + 13, 4);
            if (length > size - at - kRecordHead - kChecksumSize) {
                return damaged(at);
            }
            record.resize(kRecordHead + length + kChecksumSize);
            journal.readAt(at + kRecordHead, record.data() + kRecordHead, length + kChecksumSize);
            const std::string_view body = std::string_view(record).substr(0, kRecordHead + length);
            const std::string_view data = body.substr(kRecordHead);
            if (getNumber(record.data() + body.size(), kChecksumSize) != checksum(seed, body)) {
                return damaged(at);
            }
            auto file = content.files.find(number);
            const bool known = file != content.files.end();
            switch (kind) {
                case kDirectoryRecord:
                    if (batch != 1 || length != kIdentitySize || content.directory) {
                        return damaged(at);
                    }
                    content.directory = identityFrom(data);
                    break;
                case kFileRecord: {
                    std::string fileName(data.substr(std::min<size_t>(length, kIdentitySize)));
                    if (known || length <= kIdentitySize || !isPlainFileName(fileName)) {
                        return damaged(at);
                    }
                    content.files[number] = {
                        std::move(fileName), identityFrom(data), value, value, value, {}};
                    break;
                }
                case kImageRecord:
                    if (!known || value + length > file->second.oldSize) {
                        return damaged(at);
                    }
                    content.images.push_back(
                        {number, value, &journal, at + kRecordHead, static_cast<uint32_t>(length)});
                    break;
                case kWrittenRecord:
                    if (!known || length % 8 != 0) {
                        return damaged(at);
                    }
                    for (uint64_t i = 0; i < length / 8; ++i) {
                        file->second.written[value + i * kWriteBlock].push_back(
                            getNumber(data.data() + i * 8, 8));
                    }
                    break;
                case kSizeRecord:
                    if (!known) {
                        return damaged(at);
                    }
                    file->second.smallest = std::min(file->second.smallest, value);
                    file->second.largest = std::max(file->second.largest, value);
                    break;
                case kEndRecord:
                    if (value != count || at + record.size() != size) {
                        return damaged(at);
                    }
                    break;
                default:
                    return damaged(at);
            }
            at += record.size();
            if (kind == kEndRecord) {
                break;
            }
        }
    }
    if (!content.directory) {
        return "它已损坏（" + parts.names.front() + " 中没有数据目录的记录）";
    }
    return {};
}

void journal::putBack(const JournalContent& content, const std::map<uint32_t, FileIo*>& targets) {
    std::string bytes;
    for (auto image = content.images.rbegin(); image != content.images.rend(); ++image) {
        if (FileIo* target = targets.at(image->file)) {
            bytes.resize(image->length);
            image->journal->readAt(image->at, bytes.data(), bytes.size());
            target->writeAt(image->offset, bytes.data(), bytes.size());
        }
    }
    for (const auto& [number, file] : content.files) {
        if (FileIo* target = targets.at(number); target && target->size() > file.oldSize) {
            target->truncate(file.oldSize);
        }
    }
    for (const auto& [number, target] : targets) {
        if (target) {
            target->sync();
        }
    }
}

namespace {

// Why the files are not in a state the journal's unit could have left them in; "" when they
// are. files holds the unit's files by number, opened (nullptr: not there).
std::string mismatch(const std::string& directory, const JournalContent& content,
                     const std::map<uint32_t, PosixFile*>& files) {
    if (identityOf(directory) != content.directory) {
        return "它是在别的数据目录中写下的（可能随数据表从别处复制而来）";
    }
    // Files put back from a backup or copied in from elsewhere are the usual cause.
    const std::string likely = "（可能是从备份恢复或从别处复制来的）";
    for (const auto& [number, file] : content.files) {
        const PosixFile* target = files.at(number);
        const std::string table = "数据表文件 " + file.name;
        if (!target) {
            return table + " 已经不在了";
        }
        if (identityOf(*target) != file.identity) {
            return table + " 已不是那次写入的那个文件" + likely;
        }
        const uint64_t size = target->size();
        if (size < file.smallest || size > file.largest) {
            const std::string sizes =
                file.smallest == file.largest
                    ? std::to_string(file.smallest)
                    : std::to_string(file.smallest) + " 到 " + std::to_string(file.largest);
            return table + " 现在有 " + std::to_string(size) + " 字节，而那次写入只会留下 " +
                   sizes + " 字节" + likely;
        }
    }
    std::string old, now;
    for (const JournalContent::Image& image : content.images) {
        const JournalContent::File& file = content.files.at(image.file);
        old.resize(image.length);
        image.journal->readAt(image.at, old.data(), old.size());
        now.resize(image.length);
        now.resize(files.at(image.file)->readAt(image.offset, now.data(), now.size()));
        for (uint64_t from = 0; from < image.length; from += kWriteBlock) {
            const std::string_view before = std::string_view(old).substr(from, kWriteBlock);
            const std::string_view current =
                from < now.size() ? std::string_view(now).substr(from, kWriteBlock) : "";
            if (current == before) {
                continue;
            }
            const auto written = file.written.find(image.offset + from);
            if (written != file.written.end() &&
                std::ranges::count(written->second, checksum(0, current)) > 0) {
                continue;
            }
            return "数据表文件 " + file.name + " 第 " + std::to_string(image.offset + from) +
                   " 字节起的内容既不是那次写入之前的，也不是那次写入写下的" + likely;
        }
    }
    return {};
}

std::string timeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

// The highest number of a later write-out's file in directory; 1 when there is none.
uint32_t lastBatchOnDisk(const std::string& directory) {
    const std::string prefix = std::string(Journal::kFileName) + ".";
    uint32_t last = 1;
    std::error_code error;
    for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.starts_with(prefix) && name.size() > prefix.size() &&
            name.size() < prefix.size() + 10 &&
            name.find_first_not_of("0123456789", prefix.size()) == std::string::npos) {
            last = std::max(last, static_cast<uint32_t>(std::stoul(name.substr(prefix.size()))));
        }
    }
    return last;
}

// Renames the journal's files first..last that are there aside, under names that tell what
// they are and when they were set aside; returns the new name of the first. The first
// write-out goes first and the later ones from the last down, so that what an interruption
// leaves under the journal's names is never part of a journal that could be applied, and the
// later ones left start at the second.
std::string setAside(const std::string& directory, uint32_t first, uint32_t last) {
    const std::string stamp = timeStamp();
    std::string suffix = kAsideSuffix + stamp;
    for (int again = 2;; ++again) {
        bool taken = false;
        for (uint32_t batch = first; batch <= last; ++batch) {
            taken = taken || fileExists(Journal::batchPath(directory, batch) + suffix);
        }
        if (!taken) {
            break;
        }
        suffix = kAsideSuffix + stamp + "-" + std::to_string(again);
    }
    std::vector<uint32_t> order;
    if (first == 1) {
        order.push_back(1);
    }
    for (uint32_t batch = last; batch >= std::max<uint32_t>(first, 2); --batch) {
        order.push_back(batch);
    }
    for (uint32_t batch : order) {
        if (const std::string path = Journal::batchPath(directory, batch); fileExists(path)) {
            renameFile(path, path + suffix);
        }
    }
    syncDirectory(directory);
    return fileNameOf(Journal::batchPath(directory, first)) + suffix;
}

// Sets aside the journal files first..last and tells the user so, once; what names the
// journal and why it was not applied, as the notice says it.
void setAsideAndTell(const std::string& directory, uint32_t first, uint32_t last,
                     const std::string& what, const std::string& why) {
    const std::string told = "数据目录 " + directory + " 中有一次中断的写入留下的记录 " + what +
                             "，但" + why + "，所以没有用它撤回那次写入，数据表保持现在的样子";
    std::string aside;
    try {
        aside = setAside(directory, first, last);
    } catch (const EngineError& e) {
        throw EngineError(told + "；这份记录也不能改名保留：" + e.what());
    }
    std::string kept = "。这份记录已改名为 " + aside + " 保留在数据目录中";
    if (first == 1 && last > 1) {
        kept += "（它的后续部分同样改名）";
    }
    addNotice(told + kept + "。");
}

// Without a journal's first write-out on disk: removes a first write-out that its writer left
// unfinished (none of its bytes reached the files), and sets aside later write-outs whose
// first was set aside by an interrupted recovery.
void clearLeftovers(const std::string& directory) {
    const std::string part = Journal::batchPath(directory, 1) + kPartSuffix;
    if (fileExists(part)) {
        try {
            PosixFile guard(part, LockMode::Exclusive);
            removeFile(part);
            syncDirectory(directory);
        } catch (const StoreError&) {
            // still being written, or in a folder that cannot be written: harmless either way
        }
    }
    if (fileExists(Journal::batchPath(directory, 2))) {
        setAsideAndTell(directory, 2, lastBatchOnDisk(directory),
                        fileNameOf(Journal::batchPath(directory, 2)),
                        "它只是一份记录的后续部分，没有开头 " + std::string(Journal::kFileName));
    }
}

}  // namespace

bool Journal::recover(const std::string& directory) {
    const std::string path = batchPath(directory, 1);
    if (!fileExists(path)) {
        clearLeftovers(directory);
        return false;
    }
    std::unique_ptr<PosixFile> first;
    try {
        first = std::make_unique<PosixFile>(path, LockMode::Exclusive);
    } catch (const BusyError&) {
        return false;  // its unit is being written right now
    } catch (const EngineError&) {
        if (!fileExists(path)) {
            return false;  // ended meanwhile
        }
        throw;
    }
    // With the first locked, no writer of the unit is left: a later write-out still under its
    // part name had not reached the files.
    const JournalParts parts(directory, *first);
    removeFile(batchPath(directory, parts.count() + 1) + kPartSuffix);

    JournalContent content;
    std::string fault = readJournal(parts, content);
    const uint32_t last = std::max(parts.count(), lastBatchOnDisk(directory));
    if (fault.empty() && last > parts.count()) {
        fault = "它缺了一部分（没有 " + fileNameOf(batchPath(directory, parts.count() + 1)) + "）";
    }
    std::vector<std::unique_ptr<PosixFile>> opened;
    std::map<uint32_t, PosixFile*> files;
    if (fault.empty()) {
        // Every file is opened (and locked) before any is checked or written.
        try {
            for (const auto& [number, file] : content.files) {
                PosixFile*& target = files[number];
                if (const std::string name = directory + "/" + file.name; fileExists(name)) {
                    opened.push_back(std::make_unique<PosixFile>(name, LockMode::Exclusive));
                    target = opened.back().get();
                }
            }
        } catch (const BusyError& e) {
            throw BusyError(unfinished(directory) + e.what());
        } catch (const EngineError& e) {
            throw EngineError(unfinished(directory) + e.what());
        }
        fault = mismatch(directory, content, files);
    }
    if (!fault.empty()) {
        opened.clear();
        setAsideAndTell(directory, 1, last, kFileName, fault);
        return false;
    }
    try {
        putBack(content, std::map<uint32_t, FileIo*>(files.begin(), files.end()));
    } catch (const BusyError& e) {
        throw BusyError(unfinished(directory) + e.what());
    } catch (const EngineError& e) {
        throw EngineError(unfinished(directory) + e.what());
    }
    for (uint32_t batch = parts.count(); batch >= 1; --batch) {
        removeFile(batchPath(directory, batch));
    }
    syncDirectory(directory);
    return true;
}

}  // namespace store
