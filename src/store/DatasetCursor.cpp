// The dataset's cursor: moving over its rows, the position as a number, and bookmarks.

#include "Dataset.h"

#include "Errors.h"

namespace store {

void Dataset::first() {
    requireActive();
    if (m_state != State::Browse) {
        post();
    }
    m_pos = 0;
    m_bof = true;
    m_eof = recordCount() == 0;
    notify(DatasetEvent::Scrolled);
}

void Dataset::last() {
    requireActive();
    if (m_state != State::Browse) {
        post();
    }
    const int count = recordCount();
    m_pos = count > 0 ? count - 1 : 0;
    m_eof = true;
    m_bof = count == 0;
    notify(DatasetEvent::Scrolled);
}

void Dataset::moveBy(int rows) {
    requireActive();
    if (m_state != State::Browse) {
        post();
    }
    const int count = recordCount();
    if (count == 0) {
        m_eof = m_bof = true;
        return;
    }
    const long target = static_cast<long>(m_pos) + rows;
    m_eof = target >= count;
    m_bof = target < 0;
    m_pos = static_cast<size_t>(std::clamp<long>(target, 0, count - 1));
    notify(DatasetEvent::Scrolled);
}

void Dataset::next() {
    moveBy(1);
}

void Dataset::prior() {
    moveBy(-1);
}

bool Dataset::eof() const {
    requireActive();
    return m_eof;
}

bool Dataset::bof() const {
    requireActive();
    return m_bof;
}

int Dataset::recNo() const {
    requireActive();
    return recordCount() == 0 ? 0 : static_cast<int>(m_pos) + 1;
}

void Dataset::setRecNo(int position) {
    requireActive();
    if (position < 1 || position > recordCount()) {
        return;
    }
    if (m_state != State::Browse) {
        post();
    }
    m_pos = static_cast<size_t>(position - 1);
    m_bof = m_eof = false;
    notify(DatasetEvent::Scrolled);
}

Dataset::Bookmark Dataset::bookmark() const {
    requireActive();
    if (recordCount() == 0) {
        return -1;
    }
    return m_file ? m_rows[m_pos] : static_cast<Bookmark>(m_pos) + 1;
}

size_t Dataset::rowOfBookmark(Bookmark mark) const {
    if (m_file) {
        return m_rows.find(static_cast<uint64_t>(mark));
    }
    return mark >= 1 && mark <= static_cast<Bookmark>(m_values.size())
               ? static_cast<size_t>(mark - 1)
               : m_values.size();
}

bool Dataset::gotoBookmark(Bookmark mark) {
    requireActive();
    const size_t row = rowOfBookmark(mark);
    if (row >= static_cast<size_t>(recordCount())) {
        return false;
    }
    if (m_state != State::Browse) {
        post();
    }
    m_pos = row;
    m_bof = m_eof = false;
    notify(DatasetEvent::Scrolled);
    return true;
}

}  // namespace store
