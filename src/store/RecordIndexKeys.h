#pragma once

// The key indexes of a RecordIndex, shared by the index in memory (RecordIndex.cpp) and the
// index kept beside the table file (KeptIndex.cpp): what a search asks of a key index (Keys)
// and the key index in memory (KeyIndex).

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "RecordIndex.h"

namespace store {

namespace keys {

inline uint32_t hashOf(std::string_view key) {
    uint32_t hash = 2166136261u;  // FNV-1a
    for (char c : key) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    }
    return hash;
}

// A kept file's body that does not hold what its head says: what it would have told is
// learnt by reading the table instead.
struct KeptFault {};

}  // namespace keys

// The records of each distinct value of one text field, as a search asks for them. Counts and
// records include deleted records.
class RecordIndex::Keys {
public:
    virtual ~Keys() = default;
    virtual size_t count(std::string_view text) const = 0;
    // In file order.
    virtual void collect(std::string_view text, std::vector<uint32_t>& out) const = 0;
    virtual size_t prefixCount(std::string_view prefix) const = 0;
    virtual void collectPrefix(std::string_view prefix, std::vector<uint32_t>& out) const = 0;
    // The same in memory, where writes can change it; null for one that is.
    virtual std::unique_ptr<KeyIndex> inMemory(uint32_t records) const = 0;
    // Each value that a record holds with its records in file order.
    using ValueVisit = std::function<void(std::string_view, const std::vector<uint32_t>&)>;
    virtual void eachValue(const ValueVisit& visit) const = 0;
};

// In memory. Each value keeps the first and the last record holding it; every record links to
// the next record with the same value, so a value's records come out in file order without
// any search.
class RecordIndex::KeyIndex : public Keys {
public:
    explicit KeyIndex(uint32_t records) : m_next(size_t(records) + 1, 0) {}

    size_t distinct() const { return m_keys.size(); }
    // The records it has room for, plus one.
    size_t size() const { return m_next.size(); }

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

    // Records first .. first + count - 1, all holding text, after every record added so far.
    void addRun(uint32_t first, uint32_t count, std::string_view text) {
        Key& key = m_keys[findOrAdd(text)];
        if (key.count > 0 && first <= key.tail) {
            for (uint32_t recno = first; recno < first + count; ++recno) {
                add(recno, text);
            }
            return;
        }
        const uint32_t last = first + count - 1;
        if (m_next.size() <= last) {
            m_next.resize(size_t(last) + 1, 0);
        }
        if (key.count == 0) {
            key.head = first;
        } else {
            m_next[key.tail] = first;
        }
        for (uint32_t recno = first; recno < last; ++recno) {
            m_next[recno] = recno + 1;
        }
        m_next[last] = 0;
        key.tail = last;
        key.count += count;
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

    size_t count(std::string_view text) const override {
        const uint32_t found = find(text);
        return found == kNone ? 0 : m_keys[found].count;
    }

    void collect(std::string_view text, std::vector<uint32_t>& out) const override {
        if (const uint32_t found = find(text); found != kNone) {
            out.reserve(m_keys[found].count);
            collectKey(m_keys[found], out);
        }
    }

    size_t prefixCount(std::string_view prefix) const override {
        size_t total = 0;
        for (const Key& key : m_keys) {
            if (startsWith(key, prefix)) {
                total += key.count;
            }
        }
        return total;
    }

    std::unique_ptr<KeyIndex> inMemory(uint32_t) const override { return nullptr; }

    void eachValue(const ValueVisit& visit) const override { visitInOrder(heldKeys(), visit); }

    // The same, the values in byte order.
    void eachValueInByteOrder(const ValueVisit& visit) const {
        std::vector<uint32_t> held = heldKeys();
        std::sort(held.begin(), held.end(),
                  [&](uint32_t a, uint32_t b) { return bytesOf(m_keys[a]) < bytesOf(m_keys[b]); });
        visitInOrder(held, visit);
    }

    void collectPrefix(std::string_view prefix, std::vector<uint32_t>& out) const override {
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

    // The values that some record holds.
    std::vector<uint32_t> heldKeys() const {
        std::vector<uint32_t> held;
        for (uint32_t i = 0; i < m_keys.size(); ++i) {
            if (m_keys[i].count > 0) {
                held.push_back(i);
            }
        }
        return held;
    }

    void visitInOrder(const std::vector<uint32_t>& keys, const ValueVisit& visit) const {
        std::vector<uint32_t> records;
        for (uint32_t i : keys) {
            records.clear();
            collectKey(m_keys[i], records);
            visit(bytesOf(m_keys[i]), records);
        }
    }

    uint32_t find(std::string_view text) const {
        if (m_slots.empty()) {
            return kNone;
        }
        const uint32_t hash = keys::hashOf(text);
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
        const uint32_t hash = keys::hashOf(text);
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

}  // namespace store
