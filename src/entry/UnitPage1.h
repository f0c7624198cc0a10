#pragma once

#include <array>
#include <memory>

#include "ClassPicker.h"
#include "RecordPage.h"

class QLineEdit;

namespace Ui {
class TFpage1;
}

// The page's selector of the classification picker: bytes 0 and 1 stand for the discipline
// edits, 2 and 3 for the library classification edits.
extern std::array<unsigned char, 6> TreeTargetPage1;

// "成果概况": the general facts of a record. Applied technology has its own form, stage,
// transfer range, attribute and high-tech field; the other types their form and social and
// economic goal.
class TFpage1 : public RecordPage {
    Q_OBJECT

public:
    TFpage1(widgets::MainWindowOperations& mainWindow, widgets::ClassPicker& picker,
            QWidget* parent = nullptr);
    ~TFpage1() override;

    Ui::TFpage1* form() const { return ui.get(); }

    // Shows the controls of the selected type and fills them from the row.
    void loadRecord(store::Dataset& row) override;
    void FormShow() override;

    void CheckPage1() { checkPage(); }
    bool IsPage1Unchanged() { return isUnchanged(); }

    // The classification drop-downs open the tree picker for their edit.
    void cb_15DropDown();
    void cb_15_1DropDown();
    void CB_12DropDown();
    void CB_12_1DropDown();
    // Keyword edits: the second and third are open only after the ones before them.
    void edt_14_1Change();
    void edt_14_2Change();
    // Period edits, on leaving them.
    void edt_8_y_sExit();
    void edt_8_y_eExit();
    void edt_8_m_sExit();
    void edt_8_m_eExit();

private:
    widgets::ClassPicker& m_picker;
    void showTypeLayout(bool applied);
    // The period rules of the check: filled, numbers in range, not after the registration
    // date, start not after end; the edits are written back normalised.
    void checkPeriod();
    void checkKeywords();
    QString periodText() const;
    QString keywordsText() const;
    void yearExit(QLineEdit* edit);
    void monthExit(QLineEdit* edit);
    // The disciplines (xkfl) or the library classification (ztflh).
    enum class ClassTable { Discipline, Library };
    static bool hasTable(ClassTable table);
    // A classification code: shown as "code  name" and picked from the tree when its table
    // was there at start, else a plain ten-character edit.
    PageField classField(QLineEdit* edit, std::string field, ClassTable table);
    void openTree(int byte, QLineEdit* edit, ClassTable table);

    std::unique_ptr<Ui::TFpage1> ui;
};

// The program's overview page, created at start-up.
extern TFpage1* Fpage1;
