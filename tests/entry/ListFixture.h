#pragma once

#include <QDialog>
#include <QSignalSpy>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "PageFixture.h"

namespace testsupport {

// A child row of the record key, to append before the record is opened.
inline Row child(Row fields, const char* key = "2004000001") {
    fields["ITEM_4"] = key;
    fields["ITEM_DQDM"] = ".";
    return fields;
}

// The main window over one applied-technology record, with scripted modal windows: a window
// shown modally runs the script given for it (if any) and returns without blocking.
class ListFixture : public PageFixture {
protected:
    static constexpr const char* kKey = "2004000001";

    void openRecord(Row fields = {}) {
        openRecords({record(kKey, "1", std::move(fields))});
        m_boxes.onExec = [this](QDialog& dialog) {
            ++m_shownCount[&dialog];
            const auto script = m_scripts.find(&dialog);
            if (script != m_scripts.end()) {
                script->second();
            }
        };
    }

    // Runs script whenever window is shown modally.
    void onShow(QDialog* window, std::function<void()> script) {
        m_scripts[window] = std::move(script);
    }

    int timesShown(QDialog* window) { return m_shownCount[window]; }

    std::vector<Row> fileRows(const char* table) const { return readRows(m_program.file(table)); }

    // One column of every row of a table file, in file order.
    std::vector<std::string> column(const char* table, const char* field) const {
        std::vector<std::string> values;
        for (auto& row : fileRows(table)) {
            values.push_back(row[field]);
        }
        return values;
    }

    std::map<QDialog*, std::function<void()>> m_scripts;
    std::map<QDialog*, int> m_shownCount;
};

}  // namespace testsupport
