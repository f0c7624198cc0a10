#include "PackageImport.h"

#include <string>

#include "Database.h"
#include "Dataset.h"
#include "ExchangeHost.h"
#include "ExchangeTables.h"
#include "RecordRows.h"
#include "SqlText.h"
#include "UnitDM.h"

namespace exchange {

namespace {

// The package files read into staging tables: the first six exchange tables.
constexpr int kStagedFiles = 6;

QString quoted(const QString& value) {
    return QLatin1Char('\'') + QuoteSqlText(value) + QLatin1Char('\'');
}

QString text(store::Dataset& dataset, const char* field) {
    return QString::fromStdString(dataset.field(field).asText()).trimmed();
}

}  // namespace

QString RecordCondition(const QString& key, const QString& region) {
    const QString regionTerm = region.isEmpty()
                                   ? QStringLiteral("(item_dqdm is null or item_dqdm='')")
                                   : QStringLiteral("item_dqdm=") + quoted(region);
    return QStringLiteral("item_4=") + quoted(key) + QStringLiteral(" and ") + regionTerm;
}

PackageImport::PackageImport(TDM& dm) : m_dm(dm) {}

void PackageImport::openStagingTable(const QString& exchangeName) {
    store::Table& staged = m_dm.T_temp_in;
    staged.close();
    staged.setTableName((exchangeName.toUpper() + QStringLiteral("temp.dbf")).toStdString());
    staged.setFilter({});
    staged.open();
}

void PackageImport::clear() {
    m_unpacked.reset();
    m_dm.T_temp_in.close();
    // The unit file's staging table, where there is one, is emptied too: nothing merges it,
    // so it would only grow.
    for (const char* table :
         {"zlqktemp", "jdwyhmdtemp", "cgwcrtemp", "cgwcdwtemp", "hveltemp", "UNITtemp"}) {
        if (!m_dm.database().tablePath(table).empty()) {
            m_dm.database().run(std::string("delete from ") + table);
        }
    }
    openStagingTable(ExchangeTables.first());
}

void PackageImport::unpack(const std::filesystem::path& package) {
    std::vector<std::string> members;
    for (int table = 0; table < ExchangeTables.size(); ++table) {
        members.push_back(PackageFileName(table));
    }
    m_unpacked.reset();
    try {
        m_unpacked.emplace();
        Archiver::instance().extract(package, m_unpacked->path(), members);
    } catch (const ArchiverError&) {
        m_unpacked.reset();
        throw;
    }
}

PackageReading PackageImport::read(ReadingProgress& progress, ExchangeHost& host) {
    PackageReading reading;
    if (!m_unpacked) {
        return reading;
    }
    const QStringList& tables = ExchangeTables;
    std::vector<std::optional<std::filesystem::path>> files;
    int present = 0;
    for (int i = 0; i < kStagedFiles; ++i) {
        files.push_back(findIgnoringCase(m_unpacked->path(),
                                         (tables[i] + QStringLiteral(".txt")).toStdString()));
        present += files.back() ? 1 : 0;
    }
    if (present < kStagedFiles - 1) {
        return reading;
    }

    // A package is staged whole or not at all: a file that fails leaves the staging tables as
    // they were before this reading.
    store::Database& db = m_dm.database();
    auto restore = [&] {
        rereadRows(m_dm.T_temp_in);
        openStagingTable(tables.first());
        progress.readingEnds();
    };
    progress.readingStarts();
    try {
        store::Database::Transaction unit(db);
        // Child rows left from records that are no longer staged would join this package's.
        if (countStaged(QString()) == 0) {
            EmptyTempChildTables();
        }
        for (int i = 0; i < kStagedFiles; ++i) {
            const QString fileName = tables[i] + QStringLiteral(".TXT");
            if (!files[i]) {
                reading.missing << fileName;
                continue;
            }
            // An installation without the unit file's staging table skips that file.
            const QString staging = tables[i].toUpper() + QStringLiteral("temp");
            if (db.tablePath(staging.toStdString()).empty()) {
                continue;
            }
            progress.readingFile(i);
            openStagingTable(tables[i]);
            reading.read.emplace_back(fileName,
                                      ReadExchangeFile(files[i]->string(), m_dm.T_temp_in, host));
        }
        unit.commit();
    } catch (const ExchangeFormatError&) {
        restore();
        // A file that cannot be read will not read later either: the unpacked files go.
        m_unpacked.reset();
        throw;
    } catch (...) {
        restore();
        throw;
    }
    restore();
    m_unpacked.reset();
    reading.complete = true;
    return reading;
}

int PackageImport::countStaged(const QString& condition) const {
    const store::ResultSet result =
        m_dm.database().run("select count(*) from hveltemp" + condition.toStdString(), {},
                            store::Database::Access::ReadOnly);
    return result.rows.empty() ? 0 : static_cast<int>(result.rows[0][0].asNumber());
}

StagedCounts PackageImport::counts() const {
    auto ofType = [this](const char* type) {
        return countStaged(QStringLiteral(" where item_cglb='%1'").arg(QLatin1String(type)));
    };
    return {countStaged(QString()), ofType("1"), ofType("2"), ofType("3")};
}

void PackageImport::deleteStagedRecord() {
    store::Table& staged = m_dm.T_temp_in;
    try {
        store::Database::Transaction unit(staged.database());
        DeleteTempChildren();
        staged.deleteRecord();
        // With the last staged record go all staged child rows, those of no staged record
        // too: they would otherwise join the records of the next package.
        if (staged.recordCount() == 0) {
            EmptyTempChildTables();
        }
        unit.commit();
    } catch (...) {
        rereadRows(staged);
        throw;
    }
}

void PackageImport::DeleteTempChildren() {
    store::Table& staged = m_dm.T_temp_in;
    const QString condition = RecordCondition(text(staged, "ITEM_4"), text(staged, "ITEM_DQDM"));
    for (const char* table : {"zlqktemp", "cgwcdwtemp", "cgwcrtemp", "jdwyhmdtemp"}) {
        m_dm.database().run((QStringLiteral("delete from ") + QLatin1String(table) +
                             QStringLiteral(" where ") + condition)
                                .toStdString());
    }
}

void PackageImport::EmptyTempChildTables() {
    for (const char* table : {"zlqktemp", "cgwcdwtemp", "cgwcrtemp", "jdwyhmdtemp"}) {
        m_dm.database().run(std::string("delete from ") + table);
    }
}

}  // namespace exchange
