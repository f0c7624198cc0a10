#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "DataDir.h"
#include "DbfFile.h"
#include "TableRows.h"
#include "TableText.h"
#include "UnitDM.h"

namespace testsupport {

using Row = std::map<std::string, std::string>;

inline Row record(const char* key, const char* type, Row more = {}) {
    more["ITEM_4"] = key;
    more["ITEM_DQDM"] = ".";
    more["ITEM_CGLB"] = type;
    more.emplace("ITEM_3", std::string("成果") + key);
    return more;
}

inline Row person(const char* key) {
    return {{"ITEM_4", key}, {"ITEM_DQDM", "."}, {"ITEM_180", "张三"}};
}

// A program folder with the delivered tables, a registering unit, the given records and
// persons, and a small rule table: ITEM_1 for section 01 of every type, ITEM_51 for section
// 02 of applied technology, ITEM_127 for section 03 of soft science and basic theory; and the
// data module over it, published as DM, without any window.
class DataModuleTest : public ::testing::Test {
protected:
    void startData(const std::vector<Row>& records, const std::vector<Row>& persons = {},
                   bool withUnit = true) {
        append("hvel.DBF", records);
        append("cgwcr.DBF", persons);
        if (withUnit) {
            append("unit.dbf", {{{"unitcode", "9990001000"}, {"unitlevel", "1"}}});
        }
        replaceTable("CheckUp.dbf",
                     "id C(10)\tbutton C(2)\tlb C(1)\n"
                     "ITEM_1\t01\ta\n"
                     "ITEM_51\t02\t1\n"
                     "ITEM_127\t03\t2\n");
        m_dm = std::make_unique<TDM>(m_program.path());
        DM = m_dm.get();
        const auto errors = m_dm->DataModuleCreate();
        ASSERT_TRUE(errors.empty()) << errors.front();
    }

    void TearDown() override {
        DM = nullptr;
        m_dm.reset();
    }

    // Replaces a delivered table with one built from its text form.
    void replaceTable(const std::string& table, const std::string& text) {
        store::writeTable(store::parseTableText(text, table), m_program.file(table).string());
    }

    void append(const std::string& table, const std::vector<Row>& rows) {
        store::appendRows(m_program.file(table).string(), rows);
    }

    // Gives the option code of list ("item_32") another text, as a code-table update may.
    void setOptionText(const char* list, const char* code, const char* text) {
        auto file = store::DbfFile::open(m_program.file("zdxx.dbf").string());
        const int zddm = file->fieldIndex("zddm");
        const int xxdm = file->fieldIndex("xxdm");
        for (uint32_t recno = 1; recno <= file->recordCount(); ++recno) {
            if (file->value(recno, zddm).asText() == list &&
                file->value(recno, xxdm).asText() == code) {
                file->update(recno, {{file->fieldIndex("xxmc"), store::Value(text)}});
            }
        }
        file->flush();
    }

    // The rows of a table file of the data directory, read afresh.
    std::vector<Row> rows(const std::string& table) const {
        return readRows(m_program.file(table));
    }

    std::vector<std::string> column(const std::string& table, const std::string& field) const {
        std::vector<std::string> values;
        for (auto& row : rows(table)) {
            values.push_back(row[field]);
        }
        return values;
    }

    ProgramDir m_program;
    std::unique_ptr<TDM> m_dm;
};

}  // namespace testsupport
