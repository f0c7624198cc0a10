#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "DataModuleFixture.h"
#include "Database.h"
#include "ExchangeTextFile.h"

// Exchange packages and staged rows made by the tests.
namespace testsupport {

// A record, a person and a patent as another installation sends them.
inline Row staged(const char* key, const char* name, const char* type = "1",
                  const char* region = "A01") {
    return {{"ITEM_4", key}, {"ITEM_DQDM", region}, {"ITEM_CGLB", type}, {"ITEM_3", name}};
}

inline Row stagedPerson(const char* key, const char* name, const char* unit = "单位",
                        const char* region = "A01") {
    return {{"ITEM_4", key},
            {"ITEM_DQDM", region},
            {"ITEM_187", "1"},
            {"ITEM_180", name},
            {"ITEM_185", unit}};
}

inline Row stagedPatent(const char* key, const char* number, const char* region = "A01") {
    return {{"ITEM_4", key}, {"ITEM_DQDM", region}, {"ITEM_NO", "1"}, {"PATENT_NO", number}};
}

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

// Adds to the package in folder a main record cut after 40 columns (named "cut", without a
// type) and a person with a column too many.
inline void appendMalformedRecords(const std::filesystem::path& folder) {
    std::string cut;
    for (int i = 0; i < 40; ++i) {
        cut += (i ? "\t" : "") + std::string(i == 20 ? "cut" : i == 22 ? "2023000002" : "");
    }
    std::ofstream(folder / "HVEL.TXT", std::ios::binary | std::ios::app) << cut << "\r\n";
    std::ofstream(folder / "CGWCR.TXT", std::ios::binary | std::ios::app)
        << "2023000002\tA01\t2\twang\t\t\t\t\t\t\t0\t1\r\n";
}

// The files of an old-style package of code in folder, each holding its name's prefix; the
// patents only withPatents.
inline void writeOldPackage(const std::filesystem::path& folder, const std::string& code,
                            bool withPatents = true) {
    for (const char* prefix : {"HVEL", "CGDW", "CGWCR", "JDMD", "ZLQK"}) {
        if (withPatents || std::string_view(prefix) != "ZLQK") {
            std::ofstream(folder / (prefix + code + ".TXT")) << prefix;
        }
    }
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
