#include "ImportMerge.h"

#include <array>
#include <exception>
#include <stdexcept>

#include "Database.h"
#include "Dataset.h"
#include "ExchangeHost.h"
#include "PackageImport.h"
#include "RecordRows.h"
#include "SqlText.h"
#include "UnitDM.h"

namespace exchange {

namespace {

QString text(store::Dataset& dataset, const char* field) {
    return QString::fromStdString(dataset.field(field).asText()).trimmed();
}

QString quoted(const QString& value) {
    return QLatin1Char('\'') + QuoteSqlText(value) + QLatin1Char('\'');
}

void runSql(store::Database& db, const QString& sql) {
    db.run(sql.toStdString());
}

// The staged child tables, in the order their rows are stored, with the live table each goes
// to.
struct ChildCopy {
    const char* staged;
    store::Table* live;
    bool persons;
};

std::array<ChildCopy, 4> childCopies(TDM& dm) {
    return {{{"zlqktemp", &dm.tblzlqk, false},
             {"cgwcrtemp", &dm.TblCgwcr, true},
             {"jdwyhmdtemp", &dm.Tbljdwyhmd, false},
             {"cgwcdwtemp", &dm.TblCgwcdw, false}}};
}

// Appends row of rows to live, field by field by position, under key and region ".".
void copyRow(store::Dataset& rows, int row, store::Table& live, const QString& key) {
    if (!live.active()) {
        live.open();
    }
    live.append();
    recordrows::copyRowByPosition(rows, row, live);
    live.field("item_4").set(store::Value(key.toStdString()));
    live.field("item_dqdm").set(store::Value("."));
    live.post();
}

// The datasets a merge writes read their files again after a unit of writes was rolled back.
void rereadMergedTables(TDM& dm) {
    for (store::Dataset* rows : std::initializer_list<store::Dataset*>{
             &dm.T_temp_in, &dm.T_temp_out, &dm.tblzlqk, &dm.TblCgwcr, &dm.Tbljdwyhmd,
             &dm.TblCgwcdw, &dm.TblwcrNew}) {
        rereadRows(*rows);
    }
}

bool isDigits(const QString& text) {
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return false;
        }
    }
    return !text.isEmpty();
}

// Why the current staged record cannot be stored, or an empty text when it can: a record
// without one of the three types shows in no list of the main window, and its key must begin
// with the year that the new key is made from.
QString refusal(store::Dataset& staged) {
    const QString name = QString::fromStdString(staged.field("ITEM_3").asText());
    const QString type = text(staged, "ITEM_CGLB");
    const QString key = text(staged, "ITEM_4");
    const QString record = QStringLiteral("“") + name + QStringLiteral("”：");
    if (type != QLatin1String("1") && type != QLatin1String("2") && type != QLatin1String("3")) {
        return record + QStringLiteral("成果类别“") + type + QStringLiteral("”不是1、2或3");
    }
    if (key.size() != 10 || !isDigits(key)) {
        return record + QStringLiteral("成果编号“") + key +
               QStringLiteral("”不是四位年份加六位序号");
    }
    return {};
}

// The key a staged record is stored under: above the highest key of its year, or its own key
// when this installation has no record of that year.
QString newRecordKey(store::Database& db, const QString& stagedKey) {
    const QString year = stagedKey.left(4);
    const store::ResultSet same =
        db.run("select count(*) from hvel where item_4 like '" + year.toStdString() + "%'", {},
               store::Database::Access::ReadOnly);
    const bool yearKnown = !same.rows.empty() && same.rows[0][0].asNumber() > 0;
    return yearKnown ? recordrows::nextRecordKey(year) : stagedKey;
}

}  // namespace

void DeleteRecordChildren(store::Database& db, const QString& key, const QString& region) {
    for (const char* table : {"zlqk", "cgwcdw", "cgwcr", "jdwyhmd"}) {
        runSql(db, QStringLiteral("delete from ") + QLatin1String(table) +
                       QStringLiteral(" where ") + RecordCondition(key, region));
    }
}

ImportMerge::ImportMerge(TDM& dm, PackageImport& staging) : m_dm(dm), m_staging(staging) {}

std::optional<QString> ImportMerge::removeDuplicates(DuplicateQuestions& questions) {
    store::Table& staged = m_dm.T_temp_in;
    staged.first();
    while (!staged.eof()) {
        RunQuerySql(m_dm.tempquery, QStringLiteral("select * from hvel where item_3=") +
                                        quoted(text(staged, "ITEM_3")));
        if (m_dm.tempquery.recordCount() == 0) {
            staged.next();
            continue;
        }
        const QString name = QString::fromStdString(staged.field("ITEM_3").asText());
        if (!questions.dropDuplicate(name)) {
            return name;
        }
        m_staging.deleteStagedRecord();
        staged.first();
        questions.stagedRecordDropped();
    }
    return std::nullopt;
}

void ImportMerge::renameCurrent(const QString& name) {
    store::Table& staged = m_dm.T_temp_in;
    try {
        staged.edit();
        staged.field("ITEM_3").set(store::Value(name.toStdString()));
        staged.post();
    } catch (...) {
        if (staged.state() != store::Dataset::State::Browse) {
            staged.cancel();
        }
        throw;
    }
}

QString ImportMerge::CommitImportedRecord() {
    store::Table& staged = m_dm.T_temp_in;
    const int row = staged.recNo() - 1;
    const QString oldKey = text(staged, "ITEM_4");
    const QString region = text(staged, "ITEM_DQDM");
    if (const QString refused = refusal(staged); !refused.isEmpty()) {
        throw std::runtime_error(refused.toStdString());
    }
    try {
        store::Database::Transaction unit(staged.database());
        const QString key = newRecordKey(m_dm.database(), oldKey);
        store::Query& rows = m_dm.tempquery;
        for (const ChildCopy& child : childCopies(m_dm)) {
            RunQuerySql(rows, QStringLiteral("select * from ") + QLatin1String(child.staged) +
                                  QStringLiteral(" where ") + RecordCondition(oldKey, region));
            for (int i = 0; i < rows.recordCount(); ++i) {
                copyRow(rows, i, *child.live, key);
                if (child.persons) {
                    recordrows::enterKnownPerson(rows, i);
                }
            }
        }
        // The main row is the staged record itself, not a search by its key and name, which
        // could find a record of another region as well.
        copyRow(staged, row, m_dm.T_temp_out, key);
        m_staging.DeleteTempChildren();
        staged.setRecNo(row + 1);
        staged.deleteRecord();
        unit.commit();
        return key;
    } catch (...) {
        rereadMergedTables(m_dm);
        throw;
    }
}

bool ImportMerge::mergeCurrent(bool overwrite) {
    store::Table& staged = m_dm.T_temp_in;
    try {
        store::Database::Transaction unit(staged.database());
        bool replaced = false;
        if (overwrite) {
            store::Query& same = m_dm.tempquery;
            RunQuerySql(same, QStringLiteral("select * from hvel where item_3=") +
                                  quoted(text(staged, "ITEM_3")));
            if (same.recordCount() > 0) {
                same.first();
                const QString key = text(same, "ITEM_4");
                const QString region = text(same, "ITEM_DQDM");
                DeleteRecordChildren(m_dm.database(), key, region);
                runSql(m_dm.database(),
                       QStringLiteral("delete from hvel where ") + RecordCondition(key, region));
                rereadRows(m_dm.T_temp_out);
                replaced = true;
            }
        }
        CommitImportedRecord();
        unit.commit();
        return replaced;
    } catch (...) {
        rereadMergedTables(m_dm);
        throw;
    }
}

MergeOutcome ImportMerge::storeAll(bool overwrite, MergeProgress& progress, ExchangeHost& host) {
    store::Table& staged = m_dm.T_temp_in;
    staged.first();
    progress.mergeStarts(staged.recordCount());
    MergeOutcome outcome;
    // However the merge ends, it ends here once: an error escapes only after mergeEnds().
    std::exception_ptr error;
    try {
        int row = 0;
        while (row < staged.recordCount()) {
            host.keepResponsive();
            staged.setRecNo(row + 1);
            if (overwrite && text(staged, "ITEM_3").isEmpty()) {
                ++row;  // a record without a name is not stored
            } else if (const QString refused = refusal(staged); !refused.isEmpty()) {
                // Told once at the end, with the others; the live record of its name stays.
                outcome.refusals << refused;
                ++outcome.failed;
                ++row;
            } else {
                try {
                    (mergeCurrent(overwrite) ? outcome.replaced : outcome.added) += 1;
                } catch (const std::exception& e) {
                    ++outcome.failed;
                    ++row;
                    progress.recordFailed(QString::fromUtf8(e.what()));
                }
            }
            progress.recordDone();
        }

        if (outcome.failed == 0) {
            // The staging tables are emptied together or not at all.
            store::Database::Transaction unit(m_dm.database());
            m_staging.EmptyTempChildTables();
            runSql(m_dm.database(), QStringLiteral("delete from hveltemp"));
            unit.commit();
        }
        staged.refresh();
        RunQuerySql(m_dm.Qryhvel, QString::fromStdString(m_dm.Qryhvel.sql()));
        progress.liveRecordsStored();
    } catch (...) {
        error = std::current_exception();
    }
    // After an error what is still staged can be stored again or dropped.
    progress.mergeEnds(!error && outcome.failed == 0);
    if (error) {
        std::rethrow_exception(error);
    }
    return outcome;
}

}  // namespace exchange
