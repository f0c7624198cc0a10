#include "RecordIndex.h"

#include <algorithm>
#include <iterator>
#include <limits>

#include "DbfFile.h"

namespace store {

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
std::string_view keyOf(const std::string& record, const FieldDef& field) {
    std::string_view key(record.data() + field.offset, static_cast<size_t>(field.length));
    while (!key.empty() && (key.back() == ' ' || key.back() == '\0')) {
        key.remove_suffix(1);
    }
    return key;
}

uint32_t hashOf(std::string_view key) {
    uint32_t hash = 2166136261u;  // FNV-1a
    for (char c : key) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    }
    return hash;
}

}  // namespace

// The records of each distinct value of one text field. Each value keeps the first and the
// last record holding it; every record links to the next record with the same value, so a
// value's records come out in file order without any search.
class RecordIndex::KeyIndex {
public:
    explicit KeyIndex(uint32_t records) : m_next(size_t(records) + 1, 0) {}

    size_t distinct() const { return m_keys.size(); }

    void add(uint32_t recno, std::string_view text) {
        Key& key = m_keys[findOrAdd(text)];
        if (m_next.size() <= recno) {
            m_next.resize(size_t(recno) + 1, 0);
        }
        m_next[recno] = 0;
        if (key.count == 0) {
            key.head = key.tail = recno;
        } else if (recno > key.tail) {
            m_next[key.tail] = recno;
            key.tail = recno;
        } else if (recno < key.head) {
            m_next[recno] = key.head;
            key.head = recno;
        } else {
            uint32_t before = key.head;
            while (m_next[before] != 0 && m_next[before] < recno) {
                before = m_next[before];
            }
            m_next[recno] = m_next[before];
            m_next[before] = recno;
        }
        ++key.count;
    }

    void remove(uint32_t recno, std::string_view text) {
        const uint32_t found = find(text);
        if (found == kNone || recno >= m_next.size()) {
            return;
        }
        Key& key = m_keys[found];
        if (key.count == 0) {
            return;
        }
        if (key.head == recno) {
            key.head = m_next[recno];
        } else {
            uint32_t before = key.head;
            while (before != 0 && m_next[before] != recno) {
                before = m_next[before];
            }
            if (before == 0) {
                return;  // not among this value's records
            }
            m_next[before] = m_next[recno];
            if (key.tail == recno) {
                key.tail = before;
            }
        }
        m_next[recno] = 0;
        if (--key.count == 0) {
            key.head = key.tail = 0;
        }
    }

    size_t count(std::string_view text) const {
        const uint32_t found = find(text);
        return found == kNone ? 0 : m_keys[found].count;
    }

    void collect(std::string_view text, std::vector<uint32_t>& out) const {
        if (const uint32_t found = find(text); found != kNone) {
            out.reserve(m_keys[found].count);
            collectKey(m_keys[found], out);
        }
    }

    size_t prefixCount(std::string_view prefix) const {
        size_t total = 0;
        for (const Key& key : m_keys) {
            if (startsWith(key, prefix)) {
                total += key.count;
            }
        }
        return total;
    }

    // Each value with its first record (0 for a value no record holds any more).
    template <class Visit>
    void eachKey(Visit&& visit) const {
        for (const Key& key : m_keys) {
            visit(bytesOf(key), key.head);
        }
    }
    uint32_t next(uint32_t recno) const { return m_next[recno]; }

    // In file order.
    void collectPrefix(std::string_view prefix, std::vector<uint32_t>& out) const {
        out.reserve(prefixCount(prefix));
        for (const Key& key : m_keys) {
            if (startsWith(key, prefix)) {
                collectKey(key, out);
            }
        }
        std::sort(out.begin(), out.end());
    }

private:
    static constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();

    struct Key {
        uint32_t hash = 0;
        uint32_t offset = 0;  // of its bytes in m_bytes
        uint32_t length = 0;
        uint32_t head = 0;  // first and last record, 0 when none
        uint32_t tail = 0;
        uint32_t count = 0;
    };

    std::string_view bytesOf(const Key& key) const {
        return std::string_view(m_bytes).substr(key.offset, key.length);
    }

    bool startsWith(const Key& key, std::string_view prefix) const {
        return key.count > 0 && bytesOf(key).substr(0, prefix.size()) == prefix;
    }

    void collectKey(const Key& key, std::vector<uint32_t>& out) const {
        for (uint32_t recno = key.head; recno != 0; recno = m_next[recno]) {
            out.push_back(recno);
        }
    }

    uint32_t find(std::string_view text) const {
        if (m_slots.empty()) {
            return kNone;
        }
        const uint32_t hash = hashOf(text);
        const size_t mask = m_slots.size() - 1;
        for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
            const uint32_t entry = m_slots[slot];
            if (entry == 0) {
                return kNone;
            }
            const Key& key = m_keys[entry - 1];
            if (key.hash == hash && bytesOf(key) == text) {
                return entry - 1;
            }
        }
    }

    uint32_t findOrAdd(std::string_view text) {
        // Records of one value usually follow each other.
        if (m_last != kNone && bytesOf(m_keys[m_last]) == text) {
            return m_last;
        }
        if ((m_keys.size() + 1) * 2 > m_slots.size()) {
            grow();
        }
        const uint32_t hash = hashOf(text);
        const size_t mask = m_slots.size() - 1;
        size_t slot = hash & mask;
        for (;; slot = (slot + 1) & mask) {
            const uint32_t entry = m_slots[slot];
            if (entry == 0) {
                break;
            }
            const Key& key = m_keys[entry - 1];
            if (key.hash == hash && bytesOf(key) == text) {
                return m_last = entry - 1;
            }
        }
        Key key;
        key.hash = hash;
        key.offset = static_cast<uint32_t>(m_bytes.size());
        key.length = static_cast<uint32_t>(text.size());
        m_bytes.append(text);
        m_keys.push_back(key);
        m_slots[slot] = static_cast<uint32_t>(m_keys.size());
        return m_last = static_cast<uint32_t>(m_keys.size() - 1);
    }

    void grow() {
        std::vector<uint32_t> slots(std::max<size_t>(64, m_slots.size() * 2), 0);
        const size_t mask = slots.size() - 1;
        for (size_t i = 0; i < m_keys.size(); ++i) {
            size_t slot = m_keys[i].hash & mask;
            while (slots[slot] != 0) {
                slot = (slot + 1) & mask;
            }
            slots[slot] = static_cast<uint32_t>(i + 1);
        }
        m_slots = std::move(slots);
    }

    std::string m_bytes;
    std::vector<Key> m_keys;
    std::vector<uint32_t> m_slots;  // open addressing: key number + 1, 0 for a free slot
    std::vector<uint32_t> m_next;   // by record number: the next record of the same value
    uint32_t m_last = kNone;        // the value found last
};

RecordIndex::RecordIndex(const DbfFile* file) : m_file(file) {}

RecordIndex::~RecordIndex() = default;

void RecordIndex::forget() {
    m_deletedKnown = false;
    m_deleted.clear();
    m_deleted.shrink_to_fit();
    m_keys.clear();
}

void RecordIndex::packed() {
    forget();
    noneDeleted();
}

void RecordIndex::noneDeleted() {
    m_deleted.clear();
    m_deletedKnown = true;
}

void RecordIndex::adopt(RecordIndex& other) {
    m_deletedKnown = other.m_deletedKnown;
    m_deleted = std::move(other.m_deleted);
    m_keys = std::move(other.m_keys);
    other.forget();
}

bool RecordIndex::isDeleted(uint32_t recno) const {
    return std::binary_search(m_deleted.begin(), m_deleted.end(), recno);
}

void RecordIndex::flagged(uint32_t recno, bool deleted) {
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
    if (!old || old->empty() || (*old)[0] != record[0]) {
        flagged(recno, DbfFile::isDeletedRecord(record));
    }
    for (const auto& [field, index] : m_keys) {
        if (!index) {
            continue;
        }
        const FieldDef& def = m_file->fields()[static_cast<size_t>(field)];
        const std::string_view key = keyOf(record, def);
        if (!old) {
            index->add(recno, key);
        } else if (const std::string_view before = keyOf(*old, def); before != key) {
            index->remove(recno, before);
            index->add(recno, key);
        }
    }
}

void RecordIndex::scan(const std::vector<int>& fields) {
    if (fields.empty()) {
        scanDeletionMarks();
        return;
    }
    const uint32_t count = m_file->recordCount();
    std::vector<std::unique_ptr<KeyIndex>> built;
    for (size_t i = 0; i < fields.size(); ++i) {
        built.push_back(std::make_unique<KeyIndex>(count));
    }
    std::vector<uint32_t> deleted;
    std::string record;
    for (uint32_t recno = 1; recno <= count; ++recno) {
        m_file->readRecord(recno, record);
        if (DbfFile::isDeletedRecord(record)) {
            deleted.push_back(recno);
        }
        for (size_t i = 0; i < fields.size(); ++i) {
            built[i]->add(recno, keyOf(record, m_file->fields()[static_cast<size_t>(fields[i])]));
        }
    }
    m_deleted = std::move(deleted);
    m_deletedKnown = true;
    for (size_t i = 0; i < fields.size(); ++i) {
        const bool unselective =
            count >= kFewRecords && built[i]->distinct() * kUnselectiveAverage < count;
        m_keys[fields[i]] = unselective ? nullptr : std::move(built[i]);
    }
}

// The deletion marks alone are read on several threads at once (the keys are gathered in file
// order by scan()).
void RecordIndex::scanDeletionMarks() {
    std::vector<std::vector<uint32_t>> deletedOf(m_file->sliceCount());
    const size_t length = static_cast<size_t>(m_file->recordLength());
    m_file->readInSlices([&](const DbfFile::RecordSlice& slice) {
        for (size_t at = 0; at < slice.records.size(); at += length) {
            if (DbfFile::isDeletedRecord(slice.records.substr(at, length))) {
                deletedOf[slice.index].push_back(slice.first + static_cast<uint32_t>(at / length));
            }
        }
        return false;
    });
    m_deleted.clear();
    for (const std::vector<uint32_t>& ofSlice : deletedOf) {
        m_deleted.insert(m_deleted.end(), ofSlice.begin(), ofSlice.end());
    }
    m_deletedKnown = true;
}

std::optional<bool> RecordIndex::anyDeleted() const {
    if (!m_deletedKnown) {
        return std::nullopt;
    }
    return !m_deleted.empty();
}

RowNumbers RecordIndex::liveRecords() {
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
    if (const KeyIndex* index = m_keys[field].get()) {
        records.reserve(m_file->recordCount());
        index->eachKey([&](std::string_view gbk, uint32_t head) {
            addValue(gbk);
            for (uint32_t recno = head; recno != 0; recno = index->next(recno)) {
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
    std::stable_sort(byText.begin(), byText.end(), [&](uint32_t a, uint32_t b) {
        const int order = compare(ordered.values[a], ordered.values[b]);
        return descending ? order > 0 : order < 0;
    });
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
    const auto& fields = m_file->fields();
    auto indexable = [&](const Condition& condition) {
        return condition.field >= 0 && static_cast<size_t>(condition.field) < fields.size() &&
               fields[static_cast<size_t>(condition.field)].type == FieldType::Character &&
               !(condition.prefix && condition.gbk.empty());
    };
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
        const KeyIndex* index;
        size_t estimate;
    };
    std::vector<Choice> choices;
    for (const Condition& condition : conditions) {
        if (!indexable(condition)) {
            continue;
        }
        const auto known = m_keys.find(condition.field);
        if (const KeyIndex* index = known == m_keys.end() ? nullptr : known->second.get()) {
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
