#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Database.h"
#include "DbfFile.h"
#include "FilterExpression.h"
#include "RowNumbers.h"
#include "Value.h"

namespace store {

class Dataset;

enum class DatasetEvent {
    Opened,        // the dataset was opened
    Closed,        // the dataset was closed
    Reset,         // the row set changed (refresh, filter, master scroll, append, delete, pack)
    RowChanged,    // the current row's values were posted
    Scrolled,      // the current row moved
    StateChanged,  // browse / edit / insert
};

class DatasetObserver {
public:
    virtual ~DatasetObserver() = default;
    virtual void datasetEvent(Dataset& dataset, DatasetEvent event) = 0;
};

// A display-only field that shows the text of a stored code: the row of lookup whose
// lookupKeyField equals this row's keyField gives resultField.
struct LookupField {
    std::string name;           // "V_181"
    std::string keyField;       // "ITEM_181"
    Dataset* lookup = nullptr;  // an option list such as TblCgwcr_181
    std::string lookupKeyField = "xxdm";
    std::string resultField = "xxmc";
};

// Accessor of one field of a dataset's current row (or of its edit buffer).
class Field {
public:
    Field(Dataset& dataset, int index) : m_dataset(&dataset), m_index(index) {}

    const FieldDef& def() const;
    const std::string& name() const { return def().name; }
    int index() const { return m_index; }

    Value value() const;
    std::string asText() const { return value().asText(); }
    double asNumber() const { return value().asNumber(); }
    std::optional<Date> asDate() const { return value().asDate(); }
    bool isNull() const { return value().isNull(); }

    // Needs the dataset in edit or insert state.
    void set(Value value);
    void clear() { set(Value()); }

private:
    Dataset* m_dataset;
    int m_index;
};

// Rows of a table or a query with a cursor, in the manner of the desktop database components:
// navigation, editing through an edit buffer, filters, master-detail links and lookup fields,
// and observers (grids) told of every change unless suspended with disableControls().
class Dataset {
public:
    enum class State { Inactive, Browse, Edit, Insert };

    explicit Dataset(Database& db);
    virtual ~Dataset();
    Dataset(const Dataset&) = delete;
    Dataset& operator=(const Dataset&) = delete;

    Database& database() const { return m_db; }

    void open();
    void close();
    bool active() const { return m_state != State::Inactive; }
    State state() const { return m_state; }
    // Reads the rows again and keeps the cursor on the same record where it still exists.
    void refresh();

    // Navigation over the rows; the cursor is a position 1..recordCount (0 when empty).
    void first();
    void last();
    void next();
    void prior();
    void moveBy(int rows);
    bool eof() const;  // true after next() past the last row, or when empty
    bool bof() const;
    int recordCount() const;
    int recNo() const;
    void setRecNo(int position);
    // Moves to the first row whose field equals value (text ignoring trailing blanks);
    // returns false and leaves the cursor where it was when none does.
    bool locate(std::string_view fieldName, const Value& value);

    using Bookmark = int64_t;  // the record number of the row
    Bookmark bookmark() const;
    bool gotoBookmark(Bookmark bookmark);

    // Change. edit() and append() start an edit buffer; post() checks every value (GBK,
    // width, number, date), then writes them all in one write, or throws and writes nothing,
    // staying in edit state; cancel() drops the buffer. deleteRecord() marks the current row
    // deleted and leaves the cursor on the row that took its place.
    void edit();
    void append();
    void post();
    void cancel();
    void deleteRecord();

    // Fields: the stored ones, by index in file order or by name without regard to case.
    int fieldCount() const;
    const FieldDef& fieldDef(int index) const;
    int fieldIndex(std::string_view name) const;  // -1 when none (lookup fields included)
    Field field(int index);
    // Throws EngineError naming the table and the field when there is none.
    Field field(std::string_view name);
    Field operator[](std::string_view name) { return field(name); }

    // Filter "field='text' and field=number ..."; a text ending in "*" matches by prefix
    // ("**" is a "*" of the text, see filterText()); trailing blanks are ignored. Stays set until
    // replaced; "" means none. Throws EngineError for an expression it cannot read.
    void setFilter(std::string expression);
    const std::string& filter() const { return m_filter; }

    // Restricts the rows to those whose fields equal the master's current values of the same
    // fields ("item_4;item_dqdm"), following the master as it moves.
    void setMaster(Dataset* master, std::string fields);

    void addLookupField(LookupField field);
    const std::vector<LookupField>& lookupFields() const { return m_lookups; }

    void addObserver(DatasetObserver* observer);
    void removeObserver(DatasetObserver* observer);
    // Suspends notifications around a bulk loop; the last enableControls() sends one Reset.
    void disableControls();
    void enableControls();

    // The value of field index (a lookup field too) in row 0..recordCount()-1, read without
    // moving the cursor; a row being edited shows its stored values.
    Value valueAt(int row, int index);

    // The value of lookupField in the first row whose keyField equals key (text compared
    // without trailing blanks), or null; the cursor does not move.
    Value lookup(std::string_view keyField, const Value& key, std::string_view resultField);

protected:
    // A subclass opens its source: either a table file whose records make the rows (m_file,
    // with candidate record numbers in m_rows before filtering), or rows of values that
    // cannot be changed (m_values with m_fields describing their columns).
    virtual void doOpen() = 0;
    virtual void doClose() {}

    // What messages call the dataset: "数据表 hvel" or "查询结果".
    virtual std::string sourceName() const;
    void notify(DatasetEvent event);
    // Reads the rows from the source again and puts the cursor on the first.
    void reloadRows();
    // Drops rows that fail the filter or the master link.
    void applyRowFilters();
    bool rowPasses(size_t row);
    Value storedValue(size_t row, int index);
    Value currentValue(int index);
    static Value lookupText(const LookupField& lookupField, const Value& key);
    void setFieldValue(int index, Value value);
    void requireActive() const;
    void requireBrowse(const char* operation) const;
    void followMaster();

    Database& m_db;
    State m_state = State::Inactive;
    std::shared_ptr<DbfFile> m_file;
    std::vector<FieldDef> m_fields;
    RowNumbers m_rows;                         // record numbers (file-backed rows)
    std::vector<std::vector<Value>> m_values;  // rows of a read-only result
    size_t m_pos = 0;
    bool m_eof = true;
    bool m_bof = true;
    // Cache of the current record's bytes.
    std::string m_record;
    int64_t m_recordNo = -1;
    // Edit buffer: the changed fields of the row being edited or inserted.
    std::map<int, Value> m_changes;
    size_t m_posBeforeInsert = 0;

    // The terms of a filter over the dataset's stored fields (see parseFilter()).
    std::vector<FilterTerm> filterTerms(const std::string& text) const;
    // The filter's and the master link's text comparisons, as the file's index takes them.
    std::vector<RecordIndex::Condition> indexConditions();
    size_t rowOfBookmark(Bookmark mark) const;  // recordCount() when not there
    std::string m_filter;
    std::vector<FilterTerm> m_filterTerms;

    Dataset* m_master = nullptr;
    std::string m_masterFields;
    std::vector<std::pair<int, int>> m_masterPairs;  // (own field, master field)
    class MasterLink;
    std::unique_ptr<MasterLink> m_masterLink;
    mutable bool m_masterStale = false;

    std::vector<LookupField> m_lookups;
    std::vector<FieldDef> m_lookupDefs;
    std::vector<DatasetObserver*> m_observers;
    int m_disabled = 0;
    bool m_pendingReset = false;

    friend class Field;
};

// A table file of the database's directory. The file can be switched while closed.
class Table : public Dataset {
public:
    explicit Table(Database& db, std::string tableName = {});
    ~Table() override;
    void setTableName(std::string name);  // only while closed
    const std::string& tableName() const { return m_tableName; }
    void setExclusive(bool exclusive);  // only while closed
    bool exclusive() const { return m_exclusive; }
    // Purges deleted rows; needs the table open exclusively.
    void pack();

protected:
    void doOpen() override;
    void doClose() override;
    std::string sourceName() const override;

private:
    std::string m_tableName;
    bool m_exclusive = false;
};

// The rows of one SQL statement. "select * from <table> [where ...] [order by ...]" is live:
// its rows are the table's records in the statement's order, and can be edited, posted and
// deleted. Any other select is read-only.
class Query : public Dataset {
public:
    explicit Query(Database& db);
    ~Query() override;
    void setSql(std::string sql);  // only while closed
    const std::string& sql() const { return m_sql; }
    void setParam(std::string name, Value value);
    // ReadOnly: opening refuses a statement that could change anything.
    void setAccess(Database::Access access) { m_access = access; }
    // Whether the text is a select of every field of one table, whose rows can be changed.
    bool isLive() const { return !m_liveTable.empty(); }
    // Runs a statement that returns no rows (insert, update, delete); returns the rows changed.
    int execSql();

protected:
    void doOpen() override;
    std::string sourceName() const override;

private:
    std::string m_sql;
    std::string m_liveTable;    // the table of a live select, else empty
    std::string m_rowidSql;     // the live select asking only for record numbers
    bool m_wholeTable = false;  // the live select has no condition and no order
    Params m_params;
    Database::Access m_access = Database::Access::ReadWrite;
};

}  // namespace store
