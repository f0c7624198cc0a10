#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "Dataset.h"
#include "DbfFile.h"

namespace testsupport {

// The live rows of a table file as read afresh from the disk: field name -> text (null and
// empty read as "").
inline std::vector<std::map<std::string, std::string>> readRows(const std::filesystem::path& path) {
    auto file = store::DbfFile::open(path.string());
    std::vector<std::map<std::string, std::string>> rows;
    for (uint32_t recno = 1; recno <= file->recordCount(); ++recno) {
        if (file->isDeleted(recno)) {
            continue;
        }
        std::map<std::string, std::string> row;
        for (size_t i = 0; i < file->fields().size(); ++i) {
            row[file->fields()[i].name] = file->value(recno, static_cast<int>(i)).asText();
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

// The row whose field equals value; an empty row when there is none.
inline std::map<std::string, std::string> findRow(const std::filesystem::path& path,
                                                  const std::string& field,
                                                  const std::string& value) {
    for (auto& row : readRows(path)) {
        if (row[field] == value) {
            return row;
        }
    }
    return {};
}

// The rows of an open dataset, each its fields' texts in field order (null reads as "").
inline std::vector<std::vector<std::string>> datasetRows(store::Dataset& dataset) {
    std::vector<std::vector<std::string>> rows;
    for (dataset.first(); !dataset.eof(); dataset.next()) {
        std::vector<std::string> row;
        for (int i = 0; i < dataset.fieldCount(); ++i) {
            row.push_back(dataset.field(i).asText());
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace testsupport
