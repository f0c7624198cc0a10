#pragma once

#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Database.h"
#include "Dataset.h"

// The data module: the data directory, the database over it and every dataset that the
// windows share. Created before any window; nothing else opens table files.
class TDM {
public:
    // programDir is the folder of the program file; the data directory is programDir + "data".
    explicit TDM(const std::filesystem::path& programDir);
    ~TDM();
    TDM(const TDM&) = delete;
    TDM& operator=(const TDM&) = delete;

    // Packs the table files and opens the datasets. A step that fails (a table file that is
    // missing, damaged or locked) is skipped and its error kept; the steps that can still run
    // do. Returns the errors in the order they happened, each once, with the damage of every
    // table that opened for reading only and the places of text that is not GBK, after what
    // the store did on its own (a journal it set aside). A data directory that cannot be
    // written is told of and not packed; its tables are opened as they are.
    std::vector<std::string> DataModuleCreate();
    // The two halves of DataModuleCreate(): packing the table files, then opening the datasets.
    std::vector<std::string> PackTables();
    std::vector<std::string> OpenDatasets();

    // Packs fileName through table (switched to it, opened exclusively, packed, closed).
    void PackTableFile(store::Table& table, const std::string& fileName);
    // Packs table when it is open exclusively; false otherwise.
    static bool PackIfExclusive(store::Table& table);
    // Replaces the query's statement with sql and opens it.
    static void OpenQuerySql(store::Query& query, const std::string& sql);
    // Closes table, filters it to the rows of one record ("item_4='key' and
    // item_dqdm='region'", quotes in the values doubled) and opens it again.
    static void FilterToRecord(store::Table& table, const std::string& key,
                               const std::string& region);
    // Filters the four child tables (co-operating units, patents, committee, persons) to the
    // record, as printing needs them.
    void FilterChildTables(const std::string& key, const std::string& region);

    std::string DataDir;
    bool HasClcTable = false;
    bool HasDisciplineTable = false;

    store::Database& database() { return *m_db; }

private:
    std::unique_ptr<store::Database> m_db;

public:
    // Queries over hvel and the other tables.
    store::Query Query1, Query2, Qryhvel, QryCgwcdw, QryJdwyhmd, QryCgwcr, Qrydwqk, tempquery,
        QryCheckUp, Qryunit, Qryexpert;

    // Tables of the record store.
    store::Table T_temp_in, T_temp_out, Tblhvel, TblCgwcdw, Tbljdwyhmd, TblCgwcr, tblzlqk,
        TableWcrTemp, TblwcrNew, Tblunit, Tblexpert;

    // Option, rule, query-item and classification tables.
    store::Table Tblzdxx, tblzdxx1, Tblgxjs, Txkfl2, Tztflh2, tblLsbw, tblProvince, TblDFJHZDXX;

    // Option-list copies of zdxx behind the lookup fields, each filtered to one list.
    store::Table TblCgwcr_181, TblCgwcr_183, TblCgwcr_184, TblCgwcr_188, Tbljdwyhmd_191,
        Tbljdwyhmd_193, Tbljdwyhmd_198, Tblzlqk_st, Tblzlqk_ty, Tblexpert_181, Tblexpert_183,
        Tblexpert_184, Tblexpert_124_1;

    // Scratch tables: the tree picker's table, the pack table and a spare.
    store::Table Table1, Table_pack, Table2;

    // The table files packed at every start, in this order.
    static const std::array<const char*, 18> PackedTables;
};

// The program's data module, published by ProgramWindows.
extern TDM* DM;
