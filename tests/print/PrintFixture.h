#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "DataDir.h"
#include "PrintState.h"
#include "QtPrinters.h"
#include "TableText.h"
#include "UnitDM.h"

namespace testsupport {

using Row = std::map<std::string, std::string>;

// A program folder with the delivered tables and the records a test appends, the data module
// over it with one record current and its child tables filtered to it, and the print state.
class PrintTest : public ::testing::Test {
protected:
    static constexpr const char* kKey = "2004000001";

    // A record of the main table: the key, region "." and type, and the given fields.
    static Row record(const char* type, Row fields = {}, const char* key = kKey) {
        fields["ITEM_4"] = key;
        fields["ITEM_DQDM"] = ".";
        fields["ITEM_CGLB"] = type;
        fields.emplace("ITEM_3", std::string("成果") + key);
        return fields;
    }

    // Child rows of the record: the key and region added to each.
    static std::vector<Row> children(std::vector<Row> rows, const char* key = kKey) {
        for (Row& row : rows) {
            row.emplace("ITEM_4", key);
            row.emplace("ITEM_DQDM", ".");
        }
        return rows;
    }

    // n persons (or committee members, units, patents) named by number.
    static std::vector<Row> numbered(int n, const char* field, const char* sequence,
                                     const char* key = kKey) {
        std::vector<Row> rows;
        for (int i = 1; i <= n; ++i) {
            rows.push_back(
                {{field, "第" + std::to_string(i) + "行"}, {sequence, std::to_string(i)}});
        }
        return children(std::move(rows), key);
    }

    void append(const std::string& table, const std::vector<Row>& rows) {
        store::appendRows(m_program.file(table).string(), rows);
    }

    // Opens the data module and makes the record current, as the main window leaves it before
    // printing.
    void open(const char* key = kKey) {
        if (!m_dm) {
            m_dm = std::make_unique<TDM>(m_program.path());
            const auto errors = m_dm->DataModuleCreate();
            ASSERT_TRUE(errors.empty()) << errors.front();
            m_state = std::make_unique<print::PrintState>(*m_dm);
        } else {
            m_dm->Qryhvel.refresh();
        }
        ASSERT_TRUE(m_dm->Qryhvel.locate("ITEM_4", store::Value(key)));
        m_dm->FilterChildTables(key, ".");
    }

    print::ReportForm& prepare(const char* form,
                               print::Numbering numbering = print::Numbering::Form) {
        return m_state->prepare(QString::fromLatin1(form), numbering);
    }

    static QString caption(const print::ReportForm& form, const char* name) {
        return form.caption(QString::fromLatin1(name));
    }

    // The texts of a column of an in-memory table, top to bottom.
    static QStringList column(const print::MemoryTable& table, const char* field) {
        QStringList values;
        const int index = table.fieldIndex(QString::fromLatin1(field));
        for (int row = 0; row < table.rowCount(); ++row) {
            values << table.value(row, index);
        }
        return values;
    }

    ProgramDir m_program;
    std::unique_ptr<TDM> m_dm;
    std::unique_ptr<print::PrintState> m_state;
};

}  // namespace testsupport
