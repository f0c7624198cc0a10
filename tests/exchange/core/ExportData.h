#pragma once

#include <vector>

#include "DataModuleFixture.h"

namespace testsupport {

// What the export tests start from: four records (two of 2025, one of 2024, one whose key is
// not a year), a person of each, child rows of two, two units and a discipline leader. Appends
// the rows beside the records and persons, which it returns for the data module's start.
struct ExportData {
    std::vector<Row> records;
    std::vector<Row> persons;
};

inline ExportData appendExportData(const ProgramDir& program) {
    const auto append = [&program](const char* table, const std::vector<Row>& rows) {
        store::appendRows(program.file(table).string(), rows);
    };
    append("cgwcdw.DBF", {{{"ITEM_4", "2025000001"}, {"ITEM_DQDM", "."}, {"ITEM_170", "甲"}},
                          {{"ITEM_4", "2024000001"}, {"ITEM_DQDM", "."}, {"ITEM_170", "乙"}}});
    append("jdwyhmd.DBF", {{{"ITEM_4", "2024000001"}, {"ITEM_DQDM", "."}}});
    append("zlqk.DBF", {{{"ITEM_4", "2025000002"}, {"ITEM_DQDM", "."}}});
    append("unit.dbf",
           {{{"unitcode", "9990001001"}, {"unitlevel", "2"}, {"studydirec", "方向\"一\""}}});
    append("unitexpert.dbf", {{{"unitcode", "9990001000"},
                               {"item_187", "1"},
                               {"item_180", "李四"},
                               {"item_124_1", "01"}}});
    return {
        {record("2025000001", "1", {{"ITEM_SJDC", "1"}, {"NO", "7"}}),
         record("2025000002", "1", {{"outcomeb", "x"}}), record("2024000001", "2"),
         record("abc0000001", "3")},
        {person("2025000001"), person("2025000002"), person("2024000001"), person("abc0000001")}};
}

}  // namespace testsupport
