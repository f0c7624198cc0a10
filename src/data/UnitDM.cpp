#include "UnitDM.h"

#include <algorithm>

#include "Errors.h"
#include "FileIo.h"
#include "Notices.h"

TDM* DM = nullptr;

const std::array<const char*, 18> TDM::PackedTables = {
    "hvel.DBF",        "hveltemp.DBF",   "cgwcr.DBF",      "cgwcrtemp.DBF", "jdwyhmd.DBF",
    "jdwyhmdtemp.DBF", "cgwcdw.DBF",     "cgwcdwtemp.DBF", "zlqk.DBF",      "zlqktemp.DBF",
    "cgwcrNew.dbf",    "ZTFLH.dbf",      "XKFL.dbf",       "LSBW.dbf",      "DFJHZDXX.DBF",
    "unit.dbf",        "unitexpert.dbf", "gxjs.dbf"};

namespace {

std::string dataDirOf(const std::filesystem::path& programDir) {
    std::string dir = programDir.string();
    if (!dir.empty() && dir.back() != '/') {
        dir += '/';
    }
    return dir + "data";
}

}  // namespace

TDM::TDM(const std::filesystem::path& programDir)
    : DataDir(dataDirOf(programDir)),
      m_db(std::make_unique<store::Database>(DataDir)),
      Query1(*m_db),
      Query2(*m_db),
      Qryhvel(*m_db),
      QryCgwcdw(*m_db),
      QryJdwyhmd(*m_db),
      QryCgwcr(*m_db),
      Qrydwqk(*m_db),
      tempquery(*m_db),
      QryCheckUp(*m_db),
      Qryunit(*m_db),
      Qryexpert(*m_db),
      T_temp_in(*m_db),
      T_temp_out(*m_db, "hvel.DBF"),
      Tblhvel(*m_db, "hvel"),
      TblCgwcdw(*m_db, "cgwcdw"),
      Tbljdwyhmd(*m_db, "jdwyhmd"),
      TblCgwcr(*m_db, "cgwcr"),
      tblzlqk(*m_db, "zlqk"),
      TableWcrTemp(*m_db, "cgwcr"),
      TblwcrNew(*m_db, "cgwcrNew"),
      Tblunit(*m_db, "unit"),
      Tblexpert(*m_db, "unitexpert"),
      Tblzdxx(*m_db, "zdxx"),
      tblzdxx1(*m_db, "zdxx1"),
      Tblgxjs(*m_db, "gxjs"),
      Txkfl2(*m_db, "xkfl"),
      Tztflh2(*m_db, "ztflh"),
      tblLsbw(*m_db, "lsbw"),
      tblProvince(*m_db, "province"),
      TblDFJHZDXX(*m_db, "DFJHZDXX"),
      TblCgwcr_181(*m_db, "zdxx"),
      TblCgwcr_183(*m_db, "zdxx"),
      TblCgwcr_184(*m_db, "zdxx"),
      TblCgwcr_188(*m_db, "zdxx"),
      Tbljdwyhmd_191(*m_db, "zdxx"),
      Tbljdwyhmd_193(*m_db, "zdxx"),
      Tbljdwyhmd_198(*m_db, "zdxx"),
      Tblzlqk_st(*m_db, "zdxx"),
      Tblzlqk_ty(*m_db, "zdxx"),
      Tblexpert_181(*m_db, "zdxx"),
      Tblexpert_183(*m_db, "zdxx"),
      Tblexpert_184(*m_db, "zdxx"),
      Tblexpert_124_1(*m_db, "zdxx"),
      Table1(*m_db),
      Table_pack(*m_db),
      Table2(*m_db) {
    const std::pair<store::Table*, const char*> optionLists[] = {
        {&TblCgwcr_181, "item_181"},     {&TblCgwcr_183, "item_183"},
        {&TblCgwcr_184, "item_184"},     {&TblCgwcr_188, "item_188"},
        {&Tbljdwyhmd_191, "item_191"},   {&Tbljdwyhmd_193, "item_193"},
        {&Tbljdwyhmd_198, "item_198"},   {&Tblzlqk_st, "patent_st"},
        {&Tblzlqk_ty, "patent_ty"},      {&Tblexpert_181, "item_181"},
        {&Tblexpert_183, "item_183"},    {&Tblexpert_184, "item_184"},
        {&Tblexpert_124_1, "item_124_1"}};
    for (auto [table, list] : optionLists) {
        table->setFilter(std::string("zddm='") + list + "'");
    }

    TblCgwcr.addLookupField({"V_181", "ITEM_181", &TblCgwcr_181});
    TblCgwcr.addLookupField({"V_183", "ITEM_183", &TblCgwcr_183});
    TblCgwcr.addLookupField({"V_184", "ITEM_184", &TblCgwcr_184});
    TblCgwcr.addLookupField({"V_188", "ITEM_188", &TblCgwcr_188});
    Tbljdwyhmd.addLookupField({"V_191", "ITEM_191", &Tbljdwyhmd_191});
    Tbljdwyhmd.addLookupField({"V_193", "ITEM_193", &Tbljdwyhmd_193});
    Tbljdwyhmd.addLookupField({"V_198", "ITEM_198", &Tbljdwyhmd_198});
    tblzlqk.addLookupField({"V_st", "PATENT_ST", &Tblzlqk_st});
    tblzlqk.addLookupField({"V_ty", "PATENT_TY", &Tblzlqk_ty});
    Tblexpert.addLookupField({"V_181", "item_181", &TblCgwcr_181});
    Tblexpert.addLookupField({"V_124_1", "item_124_1", &Tblexpert_124_1});

    Tblhvel.setMaster(&Qryhvel, "item_4;item_dqdm");
    // Records and their child rows are looked up by their key.
    m_db->setKeyFields({"item_4"});
}

TDM::~TDM() {
    DataDir.clear();
}

bool TDM::PackIfExclusive(store::Table& table) {
    if (!table.active() || !table.exclusive()) {
        return false;
    }
    table.pack();
    return true;
}

void TDM::PackTableFile(store::Table& table, const std::string& fileName) {
    table.close();
    table.setTableName(fileName);
    table.setExclusive(true);
    table.open();
    PackIfExclusive(table);
    table.close();
}

void TDM::OpenQuerySql(store::Query& query, const std::string& sql) {
    query.close();
    query.setSql(sql);
    query.open();
}

void TDM::FilterToRecord(store::Table& table, const std::string& key, const std::string& region) {
    table.close();
    table.setFilter("item_4='" + store::filterText(key) + "' and item_dqdm='" +
                    store::filterText(region) + "'");
    table.open();
}

void TDM::FilterChildTables(const std::string& key, const std::string& region) {
    for (store::Table* children : {&TblCgwcdw, &tblzlqk, &Tbljdwyhmd, &TblCgwcr}) {
        FilterToRecord(*children, key, region);
    }
}

namespace {

// Keeps error unless it was kept before: each fault is told once, however many steps meet it.
void report(std::vector<std::string>& errors, const std::string& error) {
    if (std::find(errors.begin(), errors.end(), error) == errors.end()) {
        errors.push_back(error);
    }
}

// Runs one step of the start; a failure is kept in errors and the start goes on.
template <class Action>
void step(std::vector<std::string>& errors, Action&& action) {
    try {
        action();
    } catch (const std::exception& e) {
        report(errors, e.what());
    }
}

}  // namespace

std::vector<std::string> TDM::DataModuleCreate() {
    std::vector<std::string> errors = PackTables();
    for (const std::string& error : OpenDatasets()) {
        report(errors, error);
    }
    // What the store did on its own while opening the tables (a journal it set aside) first.
    std::vector<std::string> notices = store::takeNotices();
    errors.insert(errors.begin(), notices.begin(), notices.end());
    return errors;
}

std::vector<std::string> TDM::PackTables() {
    std::vector<std::string> errors;
    // A folder that cannot be written is read as it is: no pack, and every save refuses with
    // the same message.
    if (std::string refusal = store::directoryWriteRefusal(DataDir); !refusal.empty()) {
        errors.push_back(refusal);
        return errors;
    }
    for (const char* file : PackedTables) {
        step(errors, [&] { PackTableFile(Table_pack, file); });
    }
    return errors;
}

std::vector<std::string> TDM::OpenDatasets() {
    std::vector<std::string> errors;
    const std::pair<store::Query*, const char*> queries[] = {
        {&Query1, "select * from hvel"},         {&Query2, "select * from hvel"},
        {&Qryhvel, "select * from hvel"},        {&QryCgwcdw, "select * from cgwcdw"},
        {&QryJdwyhmd, "select * from jdwyhmd"},  {&QryCgwcr, "select * from cgwcr"},
        {&Qrydwqk, "select * from dwqk"},        {&tempquery, "select * from hvel"},
        {&QryCheckUp, "select * from CheckUp"},  {&Qryunit, "select * from unit"},
        {&Qryexpert, "select * from unitexpert"}};
    for (auto [query, sql] : queries) {
        step(errors, [&] { OpenQuerySql(*query, sql); });
    }

    step(errors, [&] { T_temp_out.open(); });

    for (store::Table* list : {&TblCgwcr_183, &TblCgwcr_184, &TblCgwcr_188, &TblCgwcr_181,
                               &Tbljdwyhmd_193, &Tbljdwyhmd_198, &Tbljdwyhmd_191, &Tblzlqk_st,
                               &Tblzlqk_ty, &Tblexpert_181, &Tblexpert_124_1}) {
        step(errors, [&] { list->open(); });
    }

    HasClcTable = !m_db->tablePath("ztflh").empty();
    if (HasClcTable) {
        step(errors, [&] { Tztflh2.open(); });
    }
    HasDisciplineTable = !m_db->tablePath("xkfl").empty();
    if (HasDisciplineTable) {
        step(errors, [&] { Txkfl2.open(); });
    }

    for (store::Table* table :
         {&Tblgxjs, &TblDFJHZDXX, &Tblzdxx, &Tblhvel, &TblCgwcdw, &Tbljdwyhmd}) {
        step(errors, [&] { table->open(); });
    }

    if (HasDisciplineTable) {
        Table1.setTableName("xkfl");
    } else if (HasClcTable) {
        Table1.setTableName("ztflh");
    }

    for (store::Table* table : {&TblCgwcr, &Tblunit, &Tblexpert, &tblzlqk, &tblzdxx1, &tblProvince,
                                &tblLsbw, &TblwcrNew}) {
        step(errors, [&] { table->open(); });
    }
    // A damaged table that can still be read is open; it is told of all the same.
    for (const std::string& damage : m_db->damageReports()) {
        report(errors, damage);
    }
    for (const std::string& undecodable : m_db->undecodableReports()) {
        report(errors, undecodable);
    }
    return errors;
}
