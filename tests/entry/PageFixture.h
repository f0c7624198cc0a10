#pragma once

#include <QSignalBlocker>
#include <QStringList>
#include <vector>

#include "Dialogs.h"
#include "MainWindowFixture.h"
#include "QtPrinters.h"
#include "TableRows.h"

namespace testsupport {

// The main window over records of one year, its list on the first record of the type, and
// scripted message boxes.
class PageFixture : public MainWindowTest {
protected:
    void openRecords(const std::vector<Row>& records, int typeIndex = 0) {
        start(records);
        {
            const QSignalBlocker blocker(ui->ComboBox1);
            ui->ComboBox1->setCurrentIndex(typeIndex);
        }
        m_form->QueryRecordList(DM->Qryhvel, ui->ComboBox1, ui->cbYear, ui->btn_page02);
    }

    Row stored(const char* key) const { return findRow(m_program.file("hvel.DBF"), "ITEM_4", key); }

    QStringList boxTexts() const {
        QStringList texts;
        for (const auto& box : m_boxes.boxes) {
            texts << box.text;
        }
        return texts;
    }

    widgets::ScriptedDialogs m_boxes;
};

}  // namespace testsupport
