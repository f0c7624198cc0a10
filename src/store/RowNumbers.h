#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace store {

// The record numbers of a dataset's rows, in row order. Every record of a table from 1 to n
// in file order, what an unfiltered table of a packed file holds, takes no memory; any other
// list is held as numbers of four bytes.
class RowNumbers {
public:
    RowNumbers() = default;
    // Records 1 to count.
    static RowNumbers allUpTo(uint32_t count) {
        RowNumbers rows;
        rows.m_count = count;
        return rows;
    }
    explicit RowNumbers(std::vector<uint32_t> list) : m_list(std::move(list)), m_listed(true) {}

    size_t size() const { return m_listed ? m_list.size() : m_count; }
    // Whether the rows are records 1 to size() in order.
    bool isAllUpTo() const { return !m_listed; }
    bool empty() const { return size() == 0; }
    uint32_t operator[](size_t row) const {
        return m_listed ? m_list[row] : static_cast<uint32_t>(row + 1);
    }

    void push_back(uint32_t recno) {
        if (!m_listed && recno == m_count + 1) {
            ++m_count;
            return;
        }
        list().push_back(recno);
    }
    void erase(size_t row) {
        if (!m_listed && row + 1 == m_count) {
            --m_count;
            return;
        }
        auto& numbers = list();
        numbers.erase(numbers.begin() + static_cast<std::ptrdiff_t>(row));
    }
    void clear() { *this = RowNumbers(); }

    // The row holding recno, or size() when none does.
    size_t find(uint64_t recno) const {
        if (!m_listed) {
            return recno >= 1 && recno <= m_count ? static_cast<size_t>(recno - 1) : size();
        }
        for (size_t row = 0; row < m_list.size(); ++row) {
            if (m_list[row] == recno) {
                return row;
            }
        }
        return size();
    }

private:
    std::vector<uint32_t>& list() {
        if (!m_listed) {
            m_list.reserve(m_count + 1);
            for (uint32_t recno = 1; recno <= m_count; ++recno) {
                m_list.push_back(recno);
            }
            m_listed = true;
        }
        return m_list;
    }

    uint32_t m_count = 0;  // records 1..m_count while not listed
    std::vector<uint32_t> m_list;
    bool m_listed = false;
};

}  // namespace store
