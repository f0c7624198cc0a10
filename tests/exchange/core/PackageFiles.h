#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "DataModuleFixture.h"
#include "Database.h"
#include "ExchangeTextFile.h"

// Exchange packages and staged rows made by the tests.
namespace testsupport {

// Writes file with one record per row, the columns in the field order of table of db (which
// need not exist for no rows); the fields a row does not name are empty.
inline void writeExchangeRows(const std::filesystem::path& file, store::Database& db,
                              const std::string& table, const std::vector<Row>& rows) {
    exchange::ExchangeTextWriter writer(file.string());
    for (const Row& row : rows) {
        const auto fields = db.file(table)->fields();
        for (size_t i = 0; i < fields.size(); ++i) {
            auto it = row.find(fields[i].name);
            const std::string value = it == row.end() ? std::string() : it->second;
            if (i + 1 < fields.size()) {
                writer.column(value);
            } else {
                writer.lastColumn(value);
            }
        }
    }
    writer.close();
}

// The six files of a package in folder: the main records, the persons and the patents given,
// and no co-completing units, committee members or unit rows.
inline void writePackage(const std::filesystem::path& folder, store::Database& db,
                         const std::vector<Row>& records, const std::vector<Row>& persons = {},
                         const std::vector<Row>& patents = {}) {
    writeExchangeRows(folder / "HVEL.TXT", db, "hveltemp", records);
    writeExchangeRows(folder / "CGWCDW.TXT", db, "cgwcdwtemp", {});
    writeExchangeRows(folder / "CGWCR.TXT", db, "cgwcrtemp", persons);
    writeExchangeRows(folder / "JDWYHMD.TXT", db, "jdwyhmdtemp", {});
    writeExchangeRows(folder / "ZLQK.TXT", db, "zlqktemp", patents);
    writeExchangeRows(folder / "UNIT.TXT", db, "UNITtemp", {});
}

// Rows put straight into table of db.
inline void insertRows(store::Database& db, const std::string& table,
                       const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        std::string columns;
        std::string values;
        store::Params params;
        for (const auto& [name, value] : row) {
            columns += (columns.empty() ? "" : ",") + name;
            values += (values.empty() ? ":" : ",:") + name;
            params.emplace_back(name, store::Value(value));
        }
        db.run("insert into " + table + " (" + columns + ") values (" + values + ")", params);
    }
}

}  // namespace testsupport
