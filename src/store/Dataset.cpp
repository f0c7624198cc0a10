// The dataset: opening and its rows, values, locate and lookup, editing through the edit
// buffer, fields and lookup fields, filtering, the master/detail link and observers (its
// cursor is in DatasetCursor.cpp).

#include "Dataset.h"

#include <algorithm>
#include <optional>

#include "Errors.h"
#include "GbkCodec.h"
#include "Text.h"

namespace store {

using text::equalsIgnoringCase;
using text::trimBlanks;
using text::trimTrailingBlanks;

namespace {

// Text equality as the tables compare it: trailing blanks do not count.
bool sameText(const Value& a, const Value& b) {
    if (a.kind() == Value::Kind::Number && b.kind() == Value::Kind::Number) {
        return a.asNumber() == b.asNumber();
    }
    return trimTrailingBlanks(a.asText()) == trimTrailingBlanks(b.asText());
}

}  // namespace

// Keeps a detail dataset on the rows of its master's current row.
class Dataset::MasterLink : public DatasetObserver {
public:
    explicit MasterLink(Dataset& detail) : m_detail(detail) {}
    // Following the master means reading the detail's rows again, so it is done at once only
    // for a detail that is on show; otherwise when the detail is next used.
    void datasetEvent(Dataset&, DatasetEvent event) override {
        if (event == DatasetEvent::Scrolled || event == DatasetEvent::Reset ||
            event == DatasetEvent::Opened || event == DatasetEvent::RowChanged) {
            m_detail.m_masterStale = true;
            if (!m_detail.m_observers.empty() && m_detail.m_disabled == 0) {
                m_detail.followMaster();
            }
        }
    }

private:
    Dataset& m_detail;
};

// ---- Field -----------------------------------------------------------------------------

const FieldDef& Field::def() const {
    return m_dataset->fieldDef(m_index);
}

Value Field::value() const {
    return m_dataset->currentValue(m_index);
}

void Field::set(Value value) {
    m_dataset->setFieldValue(m_index, std::move(value));
}

// ---- Dataset ---------------------------------------------------------------------------

Dataset::Dataset(Database& db) : m_db(db) {}

Dataset::~Dataset() {
    if (m_master != nullptr) {
        m_master->removeObserver(m_masterLink.get());
    }
}

std::string Dataset::sourceName() const {
    return m_file ? "数据表 " + m_file->name() : "查询结果";
}

void Dataset::requireActive() const {
    if (m_state == State::Inactive) {
        throw EngineError(sourceName() + "没有打开，不能进行这项操作");
    }
    if (m_masterStale && m_state == State::Browse) {
        const_cast<Dataset*>(this)->followMaster();
    }
}

void Dataset::requireBrowse(const char* operation) const {
    requireActive();
    if (m_state != State::Browse) {
        throw EngineError(sourceName() + "正在编辑，不能" + operation);
    }
}

void Dataset::notify(DatasetEvent event) {
    if (m_disabled > 0) {
        m_pendingReset = true;
        return;
    }
    // An observer may remove itself while being told.
    const auto observers = m_observers;
    for (DatasetObserver* observer : observers) {
        if (std::find(m_observers.begin(), m_observers.end(), observer) != m_observers.end()) {
            observer->datasetEvent(*this, event);
        }
    }
}

void Dataset::addObserver(DatasetObserver* observer) {
    if (std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end()) {
        m_observers.push_back(observer);
    }
}

void Dataset::removeObserver(DatasetObserver* observer) {
    std::erase(m_observers, observer);
}

void Dataset::disableControls() {
    ++m_disabled;
}

void Dataset::enableControls() {
    if (m_disabled == 0) {
        return;
    }
    if (--m_disabled == 0 && m_pendingReset) {
        m_pendingReset = false;
        notify(DatasetEvent::Reset);
    }
}

void Dataset::open() {
    if (active()) {
        return;
    }
    m_rows.clear();
    m_values.clear();
    m_changes.clear();
    m_recordNo = -1;
    doOpen();
    m_state = State::Browse;
    m_masterStale = false;
    try {
        m_filterTerms = filterTerms(m_filter);
        if (m_master != nullptr) {
            setMaster(m_master, m_masterFields);
        }
    } catch (...) {
        close();
        throw;
    }
    applyRowFilters();
    m_pos = 0;
    m_bof = true;
    m_eof = recordCount() == 0;
    notify(DatasetEvent::Opened);
}

void Dataset::close() {
    if (!active()) {
        return;
    }
    doClose();
    m_state = State::Inactive;
    m_file.reset();
    m_fields.clear();
    m_rows.clear();
    m_values.clear();
    m_changes.clear();
    m_recordNo = -1;
    m_pos = 0;
    m_eof = m_bof = true;
    notify(DatasetEvent::Closed);
}

void Dataset::refresh() {
    requireBrowse("刷新");
    const Bookmark mark = recordCount() > 0 ? bookmark() : -1;
    const size_t oldPos = m_pos;
    reloadRows();
    const size_t row = rowOfBookmark(mark);
    m_pos = row < static_cast<size_t>(recordCount())
                ? row
                : std::min(oldPos, static_cast<size_t>(std::max(recordCount() - 1, 0)));
    m_bof = m_pos == 0;
    notify(DatasetEvent::Reset);
}

void Dataset::reloadRows() {
    m_rows.clear();
    m_values.clear();
    m_recordNo = -1;
    doOpen();
    applyRowFilters();
    m_pos = 0;
    m_bof = true;
    m_eof = recordCount() == 0;
}

// ---- rows and values -------------------------------------------------------------------

int Dataset::recordCount() const {
    requireActive();
    return static_cast<int>(m_file ? m_rows.size() : m_values.size());
}

Value Dataset::storedValue(size_t row, int index) {
    if (!m_file) {
        const auto& values = m_values[row];
        return static_cast<size_t>(index) < values.size() ? values[index] : Value();
    }
    const int64_t recno = m_rows[row];
    if (recno != m_recordNo) {
        m_file->readRecord(static_cast<uint32_t>(recno), m_record);
        m_recordNo = recno;
    }
    return m_file->decodeField(m_record, index);
}

Value Dataset::currentValue(int index) {
    requireActive();
    if (index >= fieldCount()) {
        const LookupField& lookupField = m_lookups.at(index - fieldCount());
        return lookupText(lookupField, currentValue(fieldIndex(lookupField.keyField)));
    }
    if (m_state == State::Edit || m_state == State::Insert) {
        if (auto it = m_changes.find(index); it != m_changes.end()) {
            return it->second;
        }
        if (m_state == State::Insert) {
            return Value();
        }
    }
    if (recordCount() == 0) {
        return Value();
    }
    return storedValue(m_pos, index);
}

Value Dataset::valueAt(int row, int index) {
    requireActive();
    if (row < 0 || row >= recordCount()) {
        throw EngineError(sourceName() + "中没有第 " + std::to_string(row + 1) + " 行");
    }
    if (index >= fieldCount()) {
        const LookupField& lookupField = m_lookups.at(index - fieldCount());
        return lookupText(lookupField, valueAt(row, fieldIndex(lookupField.keyField)));
    }
    return storedValue(static_cast<size_t>(row), index);
}

Value Dataset::lookupText(const LookupField& lookupField, const Value& key) {
    if (key.isNull() || lookupField.lookup == nullptr) {
        return Value();
    }
    return lookupField.lookup->lookup(lookupField.lookupKeyField, key, lookupField.resultField);
}

void Dataset::setFieldValue(int index, Value value) {
    requireActive();
    if (m_state != State::Edit && m_state != State::Insert) {
        throw EngineError(sourceName() + "不在编辑状态，不能修改字段 " + fieldDef(index).name);
    }
    if (index < 0 || index >= fieldCount()) {
        throw EngineError(sourceName() + "的字段 " + fieldDef(index).name +
                          " 是显示代码含义的字段，不能修改");
    }
    m_changes[index] = std::move(value);
}

bool Dataset::rowPasses(size_t row) {
    for (const FilterTerm& term : m_filterTerms) {
        const Value stored = storedValue(row, term.field);
        if (term.prefix) {
            const std::string text = stored.asText();
            const std::string prefix = term.value.asText();
            if (text.compare(0, prefix.size(), prefix) != 0) {
                return false;
            }
        } else if (term.value.kind() == Value::Kind::Number) {
            if (stored.isNull() || stored.asNumber() != term.value.asNumber()) {
                return false;
            }
        } else if (!sameText(stored, term.value)) {
            return false;
        }
    }
    if (m_master != nullptr && !m_masterPairs.empty()) {
        if (!m_master->active() || m_master->recordCount() == 0) {
            return false;
        }
        for (auto [own, theirs] : m_masterPairs) {
            if (!sameText(storedValue(row, own), m_master->currentValue(theirs))) {
                return false;
            }
        }
    }
    return true;
}

void Dataset::applyRowFilters() {
    if (m_filterTerms.empty() && (m_master == nullptr || m_masterPairs.empty())) {
        return;
    }
    if (m_file) {
        // Only the rows whose records the index names can pass; each is still checked.
        if (auto candidates = m_file->index().candidates(indexConditions())) {
            std::vector<uint32_t> named;
            if (m_rows.isAllUpTo()) {
                for (uint32_t recno : *candidates) {
                    if (recno <= m_rows.size()) {
                        named.push_back(recno);
                    }
                }
            } else {
                for (size_t row = 0; row < m_rows.size(); ++row) {
                    if (std::binary_search(candidates->begin(), candidates->end(), m_rows[row])) {
                        named.push_back(m_rows[row]);
                    }
                }
            }
            m_rows = RowNumbers(std::move(named));
        }
        std::vector<uint32_t> kept;
        for (size_t row = 0; row < m_rows.size(); ++row) {
            if (rowPasses(row)) {
                kept.push_back(m_rows[row]);
            }
        }
        m_rows = RowNumbers(std::move(kept));
    } else {
        std::vector<std::vector<Value>> kept;
        for (size_t row = 0; row < m_values.size(); ++row) {
            if (rowPasses(row)) {
                kept.push_back(std::move(m_values[row]));
            }
        }
        m_values = std::move(kept);
    }
    m_recordNo = -1;
}

// ---- locate and lookup ----------------------------------------------------------------

bool Dataset::locate(std::string_view fieldName, const Value& value) {
    requireActive();
    const int index = field(fieldName).index();
    const int count = recordCount();
    // Only the rows whose records the index names can hold the text; each is still compared.
    std::optional<std::vector<uint32_t>> named;
    if (m_file && m_state == State::Browse && index < static_cast<int>(m_fields.size()) &&
        value.kind() == Value::Kind::Text) {
        const std::string whole = value.asText();
        const std::string_view text = trimTrailingBlanks(whole);
        if (auto gbk = GbkCodec::encode(text); gbk && !text.empty()) {
            named = m_file->index().candidates({{index, std::move(*gbk), false}});
        }
    }
    for (int row = 0; row < count; ++row) {
        if (named &&
            !std::binary_search(named->begin(), named->end(), m_rows[static_cast<size_t>(row)])) {
            continue;
        }
        if (sameText(storedValue(row, index), value)) {
            if (m_state != State::Browse) {
                post();
            }
            m_pos = static_cast<size_t>(row);
            m_bof = m_eof = false;
            notify(DatasetEvent::Scrolled);
            return true;
        }
    }
    return false;
}

Value Dataset::lookup(std::string_view keyField, const Value& key, std::string_view resultField) {
    if (!active()) {
        return Value();
    }
    const int keyIndex = field(keyField).index();
    const int resultIndex = field(resultField).index();
    const int count = recordCount();
    for (int row = 0; row < count; ++row) {
        if (sameText(storedValue(row, keyIndex), key)) {
            return storedValue(row, resultIndex);
        }
    }
    return Value();
}

// ---- change ----------------------------------------------------------------------------

void Dataset::edit() {
    requireActive();
    if (m_state == State::Edit || m_state == State::Insert) {
        return;
    }
    if (!m_file) {
        throw EngineError(sourceName() + "只能读取，不能修改");
    }
    if (recordCount() == 0) {
        append();
        return;
    }
    m_changes.clear();
    m_state = State::Edit;
    notify(DatasetEvent::StateChanged);
}

void Dataset::append() {
    requireActive();
    if (m_state != State::Browse) {
        post();
    }
    if (!m_file) {
        throw EngineError(sourceName() + "只能读取，不能修改");
    }
    m_changes.clear();
    // A detail row belongs to its master's current row.
    if (m_master != nullptr && m_master->active() && m_master->recordCount() > 0) {
        for (auto [own, theirs] : m_masterPairs) {
            m_changes[own] = m_master->currentValue(theirs);
        }
    }
    m_posBeforeInsert = m_pos;
    m_state = State::Insert;
    notify(DatasetEvent::StateChanged);
}

void Dataset::post() {
    requireActive();
    if (m_state == State::Browse) {
        return;
    }
    std::vector<std::pair<int, Value>> values(m_changes.begin(), m_changes.end());
    uint32_t appended = 0;
    {
        // One post is a unit of writes, or part of the one open.
        Database::Transaction unit(m_db);
        m_db.touch(m_file);
        if (m_state == State::Insert) {
            appended = m_file->append(values);
        } else if (!values.empty()) {
            m_file->update(static_cast<uint32_t>(m_rows[m_pos]), values);
        }
        unit.commit();
    }
    if (m_state == State::Insert) {
        m_rows.push_back(appended);
        m_pos = m_rows.size() - 1;
    }
    m_recordNo = -1;
    m_changes.clear();
    const bool inserted = m_state == State::Insert;
    m_state = State::Browse;
    m_bof = m_eof = false;
    // A row that no longer meets the filter or the master link leaves the set; the cursor
    // then rests on the row that took its place.
    if (!rowPasses(m_pos)) {
        m_rows.erase(m_pos);
        if (m_pos >= m_rows.size()) {
            m_eof = true;
            m_pos = m_rows.empty() ? 0 : m_rows.size() - 1;
        }
        notify(DatasetEvent::Reset);
        return;
    }
    notify(DatasetEvent::StateChanged);
    notify(inserted ? DatasetEvent::Reset : DatasetEvent::RowChanged);
}

void Dataset::cancel() {
    requireActive();
    if (m_state == State::Browse) {
        return;
    }
    if (m_state == State::Insert) {
        m_pos = m_posBeforeInsert;
    }
    m_changes.clear();
    m_state = State::Browse;
    notify(DatasetEvent::StateChanged);
}

void Dataset::deleteRecord() {
    requireActive();
    if (m_state == State::Insert) {
        cancel();
        return;
    }
    if (!m_file) {
        throw EngineError(sourceName() + "只能读取，不能修改");
    }
    if (recordCount() == 0) {
        throw EngineError(sourceName() + "中没有记录，不能删除");
    }
    m_changes.clear();
    m_state = State::Browse;
    {
        Database::Transaction unit(m_db);
        m_db.touch(m_file);
        m_file->setDeleted(static_cast<uint32_t>(m_rows[m_pos]), true);
        unit.commit();
    }
    m_rows.erase(m_pos);
    m_recordNo = -1;
    m_eof = m_rows.empty();
    if (m_pos >= m_rows.size()) {
        m_pos = m_rows.empty() ? 0 : m_rows.size() - 1;
    }
    notify(DatasetEvent::Reset);
}

// ---- fields ----------------------------------------------------------------------------

int Dataset::fieldCount() const {
    requireActive();
    return static_cast<int>(m_fields.size());
}

const FieldDef& Dataset::fieldDef(int index) const {
    requireActive();
    const int count = fieldCount();
    if (index >= 0 && index < count) {
        return m_fields[index];
    }
    if (index >= count && index < count + static_cast<int>(m_lookupDefs.size())) {
        return m_lookupDefs[index - count];
    }
    throw EngineError(sourceName() + "中没有第 " + std::to_string(index + 1) + " 个字段");
}

int Dataset::fieldIndex(std::string_view name) const {
    requireActive();
    name = trimBlanks(name);
    for (size_t i = 0; i < m_fields.size(); ++i) {
        if (equalsIgnoringCase(m_fields[i].name, name)) {
            return static_cast<int>(i);
        }
    }
    for (size_t i = 0; i < m_lookups.size(); ++i) {
        if (equalsIgnoringCase(m_lookups[i].name, name)) {
            return static_cast<int>(m_fields.size() + i);
        }
    }
    return -1;
}

Field Dataset::field(int index) {
    fieldDef(index);  // range check
    return Field(*this, index);
}

Field Dataset::field(std::string_view name) {
    const int index = fieldIndex(name);
    if (index < 0) {
        throw EngineError(sourceName() + "中没有字段 " + std::string(trimBlanks(name)));
    }
    return Field(*this, index);
}

void Dataset::addLookupField(LookupField lookupField) {
    FieldDef def;
    def.name = lookupField.name;
    def.type = FieldType::Character;
    m_lookupDefs.push_back(def);
    m_lookups.push_back(std::move(lookupField));
}

// ---- filter and master -----------------------------------------------------------------

void Dataset::setFilter(std::string expression) {
    if (!active()) {
        m_filter = std::move(expression);
        return;
    }
    std::vector<FilterTerm> terms = filterTerms(expression);
    m_filter = std::move(expression);
    const bool wasFiltered = !m_filterTerms.empty();
    m_filterTerms = std::move(terms);
    if (m_state == State::Browse && (wasFiltered || !m_filterTerms.empty())) {
        // Re-read the candidate rows: a filter can widen the set as well as narrow it.
        reloadRows();
        notify(DatasetEvent::Reset);
    }
}

std::vector<FilterTerm> Dataset::filterTerms(const std::string& text) const {
    return parseFilter(text, sourceName(), [&](const std::string& name) {
        const int field = fieldIndex(name);
        return field < fieldCount() ? field : -1;
    });
}

std::vector<RecordIndex::Condition> Dataset::indexConditions() {
    std::vector<RecordIndex::Condition> conditions;
    auto add = [&](int field, const Value& value, bool prefix) {
        if (value.kind() != Value::Kind::Text) {
            return;  // numbers and nulls compare otherwise
        }
        const std::string text = value.asText();
        // A value GBK cannot hold matches only what the index cannot name: no narrowing.
        if (auto gbk = GbkCodec::encode(prefix ? text : trimTrailingBlanks(text))) {
            conditions.push_back({field, std::move(*gbk), prefix});
        }
    };
    for (const FilterTerm& term : m_filterTerms) {
        add(term.field, term.value, term.prefix);
    }
    if (m_master != nullptr && !m_masterPairs.empty() && m_master->active() &&
        m_master->recordCount() > 0) {
        for (auto [own, theirs] : m_masterPairs) {
            add(own, m_master->currentValue(theirs), false);
        }
    }
    return conditions;
}

void Dataset::setMaster(Dataset* master, std::string fields) {
    if (m_master != nullptr && m_master != master) {
        m_master->removeObserver(m_masterLink.get());
    }
    m_master = master;
    m_masterFields = std::move(fields);
    if (master == nullptr) {
        m_masterPairs.clear();
        return;
    }
    if (!m_masterLink) {
        m_masterLink = std::make_unique<MasterLink>(*this);
    }
    master->addObserver(m_masterLink.get());
    if (!active() || !master->active()) {
        return;
    }
    m_masterPairs.clear();
    std::string_view rest = m_masterFields;
    while (!rest.empty()) {
        const size_t semicolon = rest.find(';');
        const std::string_view name = trimBlanks(rest.substr(0, semicolon));
        rest =
            semicolon == std::string_view::npos ? std::string_view() : rest.substr(semicolon + 1);
        if (name.empty()) {
            continue;
        }
        const int own = fieldIndex(name);
        const int theirs = master->fieldIndex(name);
        if (own < 0 || theirs < 0) {
            throw EngineError((own < 0 ? sourceName() : master->sourceName()) + "中没有字段 " +
                              std::string(name));
        }
        m_masterPairs.emplace_back(own, theirs);
    }
}

void Dataset::followMaster() {
    if (m_state != State::Browse || m_master == nullptr) {
        return;
    }
    m_masterStale = false;
    if (m_masterPairs.empty() && m_master->active()) {
        setMaster(m_master, m_masterFields);
    }
    reloadRows();
    notify(DatasetEvent::Reset);
}

}  // namespace store
