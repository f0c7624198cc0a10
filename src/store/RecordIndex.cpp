// The index of a table file in memory: deleted records, key indexes kept in step with the
// file's writes, what one reading of every record gathers, and the searches by key.

#include "RecordIndexKeys.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <unordered_map>

#include "DbfFile.h"

namespace store {

using keys::KeptFault;

namespace {

// A field whose values are shared by more records than this on average (in a table of at
// least kFewRecords) narrows no search: its index is not kept.
constexpr size_t kUnselectiveAverage = 64;
constexpr size_t kFewRecords = 1024;
// A further condition is intersected with the candidates found so far only when it does not
// name many more records than they are.
constexpr size_t kIntersectFactor = 4;
// Candidates that make more than this part of a table (of at least kFewRecords) are read as
// fast by reading every record in order.
constexpr size_t kScanShare = 4;

// The value of field in a raw record as the index keys it: without trailing blanks and NULs.
std::string_view keyOf(std::string_view record, const FieldDef& field) {
    std::string_view key(record.data() + field.offset, static_cast<size_t>(field.length));
    while (!key.empty() && (key.back() == ' ' || key.back() == '\0')) {
        key.remove_suffix(1);
    }
    return key;
}

}  // namespace

RecordIndex::RecordIndex(const DbfFile* file) : m_file(file) {}

RecordIndex::~RecordIndex() = default;

void RecordIndex::forget() {
    m_deletedKnown = false;
    m_deleted.clear();
    m_deleted.shrink_to_fit();
    m_undecodable.reset();
    m_keys.clear();
    m_pointersSound = false;
    m_memoCompact.reset();
    m_recalled = true;  // a kept file describes the file as it was before
}

void RecordIndex::packed() {
    forget();
    m_deletedKnown = true;
    m_pointersSound = true;
    m_memoCompact = true;
}

void RecordIndex::adopt(RecordIndex& other) {
    m_deletedKnown = other.m_deletedKnown;
    m_deleted = std::move(other.m_deleted);
    m_undecodable = std::move(other.m_undecodable);
    m_keys = std::move(other.m_keys);
    m_pointersSound = other.m_pointersSound;
    m_memoCompact = other.m_memoCompact;
    m_recalled = m_recalled || other.m_recalled;
    other.forget();
}

bool RecordIndex::isDeleted(uint32_t recno) const {
    return std::binary_search(m_deleted.begin(), m_deleted.end(), recno);
}

void RecordIndex::flagged(uint32_t recno, bool deleted) {
    if (m_undecodable) {
        if (deleted) {
            std::erase_if(*m_undecodable, [&](const auto& place) { return place.first == recno; });
        } else {
            m_undecodable.reset();  // its fields were not checked
        }
    }
    if (!m_deletedKnown) {
        return;
    }
    const auto at = std::lower_bound(m_deleted.begin(), m_deleted.end(), recno);
    const bool listed = at != m_deleted.end() && *at == recno;
    if (deleted && !listed) {
        m_deleted.insert(at, recno);
    } else if (!deleted && listed) {
        m_deleted.erase(at);
    }
}

void RecordIndex::stored(uint32_t recno, const std::string* old, const std::string& record) {
    if (record.empty()) {
        return;
    }
    m_undecodable.reset();  // the record's fields are not checked
    if (!old || old->empty() || (*old)[0] != record[0]) {
        flagged(recno, DbfFile::isDeletedRecord(record));
    }
    if (old && m_memoCompact == true) {
        // A memo replaced leaves its blocks unused; one appended at the end of the file
        // leaves none.
        for (const FieldDef& def : m_file->fields()) {
            if (def.type == FieldType::Memo && !keyOf(*old, def).empty() &&
                keyOf(*old, def) != keyOf(record, def)) {
                m_memoCompact = false;
            }
        }
    }
    std::vector<int> fields;
    for (const auto& [field, index] : m_keys) {
        if (index) {
            fields.push_back(field);
        }
    }
    for (int field : fields) {
        const FieldDef& def = m_file->fields()[static_cast<size_t>(field)];
        const std::string_view key = keyOf(record, def);
        const std::string_view before = old ? keyOf(*old, def) : std::string_view();
        if (old && before == key) {
            continue;
        }
        if (KeyIndex* index = inMemory(field)) {
            if (old) {
                index->remove(recno, before);
            }
            index->add(recno, key);
        }
    }
}

RecordIndex::KeyIndex* RecordIndex::inMemory(int field) {
    const auto known = m_keys.find(field);
    if (known == m_keys.end() || !known->second) {
        return nullptr;
    }
    try {
        if (std::unique_ptr<KeyIndex> built = known->second->inMemory(m_file->recordCount())) {
            known->second = std::move(built);
        }
    } catch (const KeptFault&) {
        m_keys.erase(known);  // not known: learnt again by the next reading
        return nullptr;
    }
    return static_cast<KeyIndex*>(known->second.get());
}

void RecordIndex::dropKept() {
    std::erase_if(m_keys, [](const auto& entry) {
        return entry.second && !dynamic_cast<const KeyIndex*>(entry.second.get());
    });
}

// ---- one reading of every record --------------------------------------------------------

// Records first .. first + count - 1 of a slice hold one value, whose bytes lie in the
// slice's bytes at offset.
struct RecordIndex::Gathering::Run {
    uint32_t first;
    uint32_t count;
    uint32_t offset;
    uint32_t length;
};

struct RecordIndex::Gathering::OfSlice {
    std::vector<uint32_t> deleted;
    std::vector<std::pair<uint32_t, int>> undecodable;
    std::vector<std::string> bytes;      // by key field
    std::vector<std::vector<Run>> runs;  // by key field
};

RecordIndex::Gathering::Gathering(std::vector<int> fields, size_t slices)
    : m_fields(std::move(fields)), m_slices(slices) {
    for (OfSlice& slice : m_slices) {
        slice.bytes.resize(m_fields.size());
        slice.runs.resize(m_fields.size());
    }
}

RecordIndex::Gathering::~Gathering() = default;
RecordIndex::Gathering::Gathering(Gathering&&) noexcept = default;
RecordIndex::Gathering& RecordIndex::Gathering::operator=(Gathering&&) noexcept = default;

void RecordIndex::Gathering::addRun(std::vector<Run>& runs, std::string& bytes, uint32_t first,
                                    uint32_t count, std::string_view key) {
    if (!runs.empty()) {
        Run& last = runs.back();
        if (last.first + last.count == first &&
            std::string_view(bytes).substr(last.offset, last.length) == key) {
            last.count += count;
            return;
        }
    }
    runs.push_back(
        {first, count, static_cast<uint32_t>(bytes.size()), static_cast<uint32_t>(key.size())});
    bytes.append(key);
}

void RecordIndex::Gathering::record(const DbfFile& file, size_t slice, uint32_t recno,
                                    std::string_view record) {
    OfSlice& of = m_slices[slice];
    if (DbfFile::isDeletedRecord(record)) {
        of.deleted.push_back(recno);
    }
    for (size_t i = 0; i < m_fields.size(); ++i) {
        addRun(of.runs[i], of.bytes[i], recno, 1,
               keyOf(record, file.fields()[static_cast<size_t>(m_fields[i])]));
    }
}

void RecordIndex::Gathering::undecodable(size_t slice, uint32_t recno, int field) {
    m_slices[slice].undecodable.emplace_back(recno, field);
}

std::vector<uint32_t> RecordIndex::Gathering::deleted() const {
    std::vector<uint32_t> all;
    for (const OfSlice& slice : m_slices) {
        all.insert(all.end(), slice.deleted.begin(), slice.deleted.end());
    }
    return all;
}

const std::vector<uint32_t>& RecordIndex::Gathering::deletedIn(size_t slice) const {
    return m_slices[slice].deleted;
}

RecordIndex::Gathering RecordIndex::Gathering::afterPack() const {
    const std::vector<uint32_t> gone = deleted();
    Gathering packed(m_fields, 1);
    OfSlice& into = packed.m_slices[0];
    packed.m_textChecked = m_textChecked;
    for (const OfSlice& slice : m_slices) {
        for (const auto& [recno, field] : slice.undecodable) {  // live records only
            const auto before = std::lower_bound(gone.begin(), gone.end(), recno) - gone.begin();
            into.undecodable.emplace_back(recno - static_cast<uint32_t>(before), field);
        }
    }
    for (size_t i = 0; i < m_fields.size(); ++i) {
        size_t before = 0;  // of the deleted records, those before recno
        for (const OfSlice& slice : m_slices) {
            for (const Run& run : slice.runs[i]) {
                const std::string_view key =
                    std::string_view(slice.bytes[i]).substr(run.offset, run.length);
                const uint32_t end = run.first + run.count;
                for (uint32_t recno = run.first; recno < end;) {
                    while (before < gone.size() && gone[before] < recno) {
                        ++before;
                    }
                    const uint32_t stop = before < gone.size() ? std::min(end, gone[before]) : end;
                    if (recno < stop) {
                        addRun(into.runs[i], into.bytes[i], recno - static_cast<uint32_t>(before),
                               stop - recno, key);
                    }
                    recno = stop + 1;  // past the deleted record that stopped the run
                }
            }
        }
    }
    return packed;
}

void RecordIndex::learn(const Gathering& gathering) {
    m_deleted = gathering.deleted();
    m_deletedKnown = true;
    if (gathering.m_textChecked) {
        std::vector<std::pair<uint32_t, int>> undecodable;
        for (const Gathering::OfSlice& slice : gathering.m_slices) {
            undecodable.insert(undecodable.end(), slice.undecodable.begin(),
                               slice.undecodable.end());
        }
        std::sort(undecodable.begin(), undecodable.end());
        m_undecodable = std::move(undecodable);
    }
    const uint32_t count = m_file->recordCount();
    for (size_t i = 0; i < gathering.m_fields.size(); ++i) {
        auto built = std::make_unique<KeyIndex>(count);
        for (const Gathering::OfSlice& slice : gathering.m_slices) {
            const std::string_view bytes = slice.bytes[i];
            for (const Gathering::Run& run : slice.runs[i]) {
                built->addRun(run.first, run.count, bytes.substr(run.offset, run.length));
            }
        }
        const bool unselective =
            count >= kFewRecords && built->distinct() * kUnselectiveAverage < count;
        m_keys[gathering.m_fields[i]] = unselective ? nullptr : std::move(built);
    }
}

// Read on several threads at once; what it learns is kept beside the file.
void RecordIndex::scan(const std::vector<int>& fields) {
    std::vector<int> all = fields;
    for (int field : m_keyFields) {
        if (!m_keys.contains(field) && std::find(all.begin(), all.end(), field) == all.end()) {
            all.push_back(field);
        }
    }
    Gathering gathering(all, m_file->sliceCount());
    const size_t length = static_cast<size_t>(m_file->recordLength());
    m_file->readInSlices([&](const DbfFile::RecordSlice& slice) {
        for (size_t at = 0; at < slice.records.size(); at += length) {
            gathering.record(*m_file, slice.index, slice.first + static_cast<uint32_t>(at / length),
                             slice.records.substr(at, length));
        }
        return false;
    });
    learn(gathering);
    keep();
}

const std::optional<std::vector<std::pair<uint32_t, int>>>& RecordIndex::undecodable() {
    recall();
    return m_undecodable;
}

std::optional<bool> RecordIndex::anyDeleted() {
    recall();
    if (!m_deletedKnown) {
        return std::nullopt;
    }
    return !m_deleted.empty();
}

RowNumbers RecordIndex::liveRecords() {
    recall();
    if (!m_deletedKnown) {
        scan({});
    }
    const uint32_t count = m_file->recordCount();
    if (m_deleted.empty()) {
        return RowNumbers::allUpTo(count);
    }
    std::vector<uint32_t> live;
    live.reserve(count - m_deleted.size());
    auto deleted = m_deleted.begin();
    for (uint32_t recno = 1; recno <= count; ++recno) {
        if (deleted != m_deleted.end() && *deleted == recno) {
            ++deleted;
        } else {
            live.push_back(recno);
        }
    }
    return RowNumbers(std::move(live));
}

RecordIndex::Ordered RecordIndex::inOrderOf(int field, bool descending, Compare compare) {
    try {
        return orderOf(field, descending, compare);
    } catch (const KeptFault&) {
        dropKept();
        return orderOf(field, descending, compare);
    }
}

RecordIndex::Ordered RecordIndex::orderOf(int field, bool descending, Compare compare) {
    recall();
    if (!m_keys.contains(field)) {
        scan({field});
    }
    // Each value (GBK) with its live records in file order, all in one array: value i has
    // records[starts[i] .. starts[i + 1]).
    std::vector<std::string> gbkValues;
    std::vector<uint32_t> records;
    std::vector<size_t> starts;
    auto addValue = [&](std::string_view gbk) {
        gbkValues.emplace_back(gbk);
        starts.push_back(records.size());
    };
    if (const Keys* index = m_keys[field].get()) {
        records.reserve(m_file->recordCount());
        index->eachValue([&](std::string_view gbk, const std::vector<uint32_t>& ofValue) {
            addValue(gbk);
            for (uint32_t recno : ofValue) {
                if (!isDeleted(recno)) {
                    records.push_back(recno);
                }
            }
        });
    } else {
        // Few values: gathered from a reading of every record.
        std::map<std::string, std::vector<uint32_t>> byValue;
        const FieldDef& def = m_file->fields()[static_cast<size_t>(field)];
        std::string record;
        for (uint32_t recno = 1; recno <= m_file->recordCount(); ++recno) {
            m_file->readRecord(recno, record);
            if (!DbfFile::isDeletedRecord(record)) {
                byValue[std::string(keyOf(record, def))].push_back(recno);
            }
        }
        for (const auto& [gbk, ofValue] : byValue) {
            addValue(gbk);
            records.insert(records.end(), ofValue.begin(), ofValue.end());
        }
    }
    starts.push_back(records.size());
    Ordered ordered;
    std::vector<uint32_t> group;  // by value number: the value's place in gbkValues
    for (size_t i = 0; i < gbkValues.size(); ++i) {
        if (starts[i] < starts[i + 1]) {
            const Value text = DbfFile::decodeText(gbkValues[i]);
            ordered.values.push_back(text.isNull() ? std::string() : text.asText());
            group.push_back(static_cast<uint32_t>(i));
        }
    }
    std::vector<uint32_t> byText(group.size());
    for (size_t i = 0; i < byText.size(); ++i) {
        byText[i] = static_cast<uint32_t>(i);
    }
    // Values that come in ascending order, each before the next (a kept index holds them in
    // byte order), need only be turned round for a descending order.
    bool ascending = true;
    for (size_t i = 1; ascending && i < byText.size(); ++i) {
        ascending = compare(ordered.values[i - 1], ordered.values[i]) < 0;
    }
    if (ascending && descending) {
        std::reverse(byText.begin(), byText.end());
    } else if (!ascending) {
        std::stable_sort(byText.begin(), byText.end(), [&](uint32_t a, uint32_t b) {
            const int order = compare(ordered.values[a], ordered.values[b]);
            return descending ? order > 0 : order < 0;
        });
    }
    ordered.records.reserve(records.size());
    ordered.valueOf.reserve(records.size());
    for (uint32_t value : byText) {
        for (size_t at = starts[group[value]]; at < starts[group[value] + 1]; ++at) {
            ordered.records.push_back(records[at]);
            ordered.valueOf.push_back(value);
        }
    }
    return ordered;
}

std::optional<std::vector<uint32_t>> RecordIndex::candidates(
    const std::vector<Condition>& conditions) {
    try {
        return candidatesOf(conditions);
    } catch (const KeptFault&) {
        dropKept();
        return candidatesOf(conditions);
    }
}

std::optional<std::vector<uint32_t>> RecordIndex::candidatesOf(
    const std::vector<Condition>& conditions) {
    const auto& fields = m_file->fields();
    auto indexable = [&](const Condition& condition) {
        return condition.field >= 0 && static_cast<size_t>(condition.field) < fields.size() &&
               fields[static_cast<size_t>(condition.field)].type == FieldType::Character &&
               !(condition.prefix && condition.gbk.empty());
    };
    recall();
    // The fields not indexed yet are indexed (in one reading of the file) unless a field of
    // the conditions already has its index: then that one serves, without a reading.
    std::vector<int> unknown;
    bool served = false;
    for (const Condition& condition : conditions) {
        if (!indexable(condition)) {
            continue;
        }
        const auto known = m_keys.find(condition.field);
        served = served || (known != m_keys.end() && known->second != nullptr);
        if (known == m_keys.end() &&
            std::find(unknown.begin(), unknown.end(), condition.field) == unknown.end()) {
            unknown.push_back(condition.field);
        }
    }
    if (!unknown.empty() && !served) {
        scan(unknown);
    }

    struct Choice {
        const Condition* condition;
        const Keys* index;
        size_t estimate;
    };
    std::vector<Choice> choices;
    for (const Condition& condition : conditions) {
        if (!indexable(condition)) {
            continue;
        }
        const auto known = m_keys.find(condition.field);
        if (const Keys* index = known == m_keys.end() ? nullptr : known->second.get()) {
            choices.push_back({&condition, index,
                               condition.prefix ? index->prefixCount(condition.gbk)
                                                : index->count(condition.gbk)});
        }
    }
    std::stable_sort(choices.begin(), choices.end(),
                     [](const Choice& a, const Choice& b) { return a.estimate < b.estimate; });
    const uint32_t count = m_file->recordCount();
    if (choices.empty() ||
        (count >= kFewRecords && choices.front().estimate * kScanShare > count)) {
        return std::nullopt;
    }
    auto collect = [](const Choice& choice) {
        std::vector<uint32_t> records;
        if (choice.condition->prefix) {
            choice.index->collectPrefix(choice.condition->gbk, records);
        } else {
            choice.index->collect(choice.condition->gbk, records);
        }
        return records;
    };
    std::vector<uint32_t> result = collect(choices.front());
    for (size_t i = 1; i < choices.size() && !result.empty(); ++i) {
        if (choices[i].estimate > kIntersectFactor * result.size()) {
            break;
        }
        const std::vector<uint32_t> other = collect(choices[i]);
        std::vector<uint32_t> both;
        std::set_intersection(result.begin(), result.end(), other.begin(), other.end(),
                              std::back_inserter(both));
        result = std::move(both);
    }
    std::erase_if(result, [this](uint32_t recno) { return isDeleted(recno); });
    return result;
}

}  // namespace store
