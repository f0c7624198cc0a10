#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace print {

// An in-memory table of string fields behind a list page: emptied, filled row by row (append,
// set fields by name, post) and read in order by the list band.
class MemoryTable {
public:
    // Every field holds a string of at most this many characters.
    static constexpr int kFieldWidth = 254;

    MemoryTable(QString name, QStringList fieldNames);

    const QString& name() const { return m_name; }
    const QStringList& fieldNames() const { return m_fields; }
    int fieldIndex(const QString& name) const;  // -1 when there is none

    // Removes every row.
    void emptyTable();
    // Starts a new row with every field empty; post() adds it at the end.
    void append();
    // Sets a field of the row being appended. Throws PrintError for a field the table lacks, a
    // text longer than the field, or when no row is being appended.
    void setField(const QString& name, const QString& text);
    void post();

    void first() { m_pos = 0; }
    void next() { ++m_pos; }
    bool eof() const { return m_pos >= rowCount(); }
    int recordCount() const { return rowCount(); }
    // A field of the current row.
    QString field(const QString& name) const;

    int rowCount() const { return static_cast<int>(m_rows.size()); }
    const QString& value(int row, int field) const { return m_rows[row][field]; }

private:
    int requireField(const QString& name) const;

    QString m_name;
    QStringList m_fields;
    std::vector<QStringList> m_rows;
    QStringList m_pending;
    bool m_appending = false;
    int m_pos = 0;
};

}  // namespace print
