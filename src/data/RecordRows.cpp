#include "RecordRows.h"

#include <algorithm>

#include "Database.h"
#include "Dataset.h"
#include "SqlText.h"
#include "UnitDM.h"

namespace recordrows {

std::array<store::Table*, 4> childTables() {
    return {&DM->TblCgwcdw, &DM->tblzlqk, &DM->Tbljdwyhmd, &DM->TblCgwcr};
}

void filterToRecord(store::Table& table, const QString& key, const QString& region) {
    TDM::FilterToRecord(table, key.toStdString(), region.toStdString());
}

void reopenChildTables() {
    for (store::Table* children : childTables()) {
        children->close();
        children->open();
    }
}

QString nextRecordKey(const QString& year) {
    store::Query& query = DM->tempquery;
    RunQuerySql(query, QStringLiteral("select item_4 from hvel where item_4 like '") +
                           QuoteSqlText(year) + QStringLiteral("%'"));
    // Keys are compared as numbers; a key that is not ten digits takes no part.
    const auto isDigit = [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); };
    qlonglong highest = -1;
    for (query.first(); !query.eof(); query.next()) {
        const QString key = QString::fromStdString(query.field("item_4").asText());
        bool ok = false;
        const qlonglong number = key.toLongLong(&ok);
        if (key.size() == 10 && std::all_of(key.begin(), key.end(), isDigit) && ok &&
            number > highest) {
            highest = number;
        }
    }
    qlonglong next = highest >= 0 ? highest + 1 : (year + QStringLiteral("000001")).toLongLong();
    // The successor of a year's last serial belongs to the next year, which may have it.
    for (;; ++next) {
        RunQuerySql(query, QStringLiteral("select item_4 from hvel where item_4='") +
                               QString::number(next) + QStringLiteral("'"));
        if (query.recordCount() == 0) {
            return QString::number(next);
        }
    }
}

QString personName(store::Dataset& rows, int row) {
    return QString::fromStdString(rows.valueAt(row, rows.fieldIndex("ITEM_180")).asText())
        .trimmed();
}

void copyRowByPosition(store::Dataset& from, int row, store::Dataset& to) {
    const int columns = std::min(from.fieldCount(), to.fieldCount());
    for (int i = 0; i < columns; ++i) {
        to.field(i).set(from.valueAt(row, i));
    }
}

void copyRowByName(store::Dataset& from, int row, store::Dataset& to) {
    for (int i = 0; i < to.fieldCount(); ++i) {
        const int source = from.fieldIndex(to.fieldDef(i).name);
        if (source >= 0) {
            to.field(i).set(from.valueAt(row, source));
        }
    }
}

void enterKnownPerson(store::Dataset& from, int row) {
    const QString name = personName(from, row);
    if (name.isEmpty()) {
        return;
    }
    store::Table& known = DM->TblwcrNew;
    known.close();
    known.setFilter((QStringLiteral("item_180 ='") + QuoteFilterText(name) + QStringLiteral("'"))
                        .toStdString());
    known.open();
    if (known.recordCount() > 1) {
        return;
    }
    if (known.recordCount() == 0) {
        known.append();
    } else {
        known.first();
        known.edit();
    }
    try {
        copyRowByName(from, row, known);
        known.post();
    } catch (...) {
        known.cancel();
        throw;
    }
}

}  // namespace recordrows

void rereadRows(store::Dataset& rows) {
    if (rows.state() == store::Dataset::State::Edit ||
        rows.state() == store::Dataset::State::Insert) {
        rows.cancel();
    }
    if (rows.active()) {
        rows.refresh();
    }
}

void renumberRows(store::Dataset& rows, const std::string& field,
                  const std::function<void(store::Dataset&)>& perRow) {
    if (!rows.active()) {
        rows.open();
    }
    rows.disableControls();
    try {
        store::Database::Transaction unit(rows.database());
        int number = 0;
        for (rows.first(); !rows.eof(); rows.next()) {
            rows.edit();
            rows.field(field).set(store::Value(static_cast<double>(++number)));
            if (perRow) {
                perRow(rows);
            }
            rows.post();
        }
        unit.commit();
    } catch (...) {
        rereadRows(rows);
        rows.enableControls();
        throw;
    }
    rows.enableControls();
}
