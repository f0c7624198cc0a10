#pragma once

#include <QString>
#include <array>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "ClassPicker.h"
#include "RecordPage.h"
#include "UnitFacts.h"

class QLineEdit;
class QPlainTextEdit;

namespace Ui {
class TFpage4a;
}

// The registering unit page's selector of the classification picker: one byte for each edit of
// its four code lists of ten edits.
extern std::array<unsigned char, 40> TreeTargetUnit;

namespace registeringunit {

// The registering unit is always this unit, at the top level.
inline const char* const kUnitCode = "9990001000";

// The columns that make a row the registering unit.
std::vector<std::pair<std::string, store::Value>> identityColumns();

// Puts the unit row into edit state: the current row, or a new registering unit row when
// unit.dbf has none yet.
void editUnitRow(store::Dataset& unit);

// The code an edit of a code list shows: the trimmed text up to its first blank, or the whole
// trimmed text when it has none.
QString listedCode(const QLineEdit* edit);

// The stored form of a code list: for each filled edit, in order, its code, one blank and ";".
QString codeListValue(const std::vector<QLineEdit*>& edits);

// Refuses, with a warning and SilentAbort, the first edit whose code its classification table
// (the disciplines or the high-tech fields) lacks, unless the edit still shows the stored code
// it was loaded with.
void requireListedCodes(const std::vector<QLineEdit*>& edits, bool disciplines);

// The ten edits of a code list on page by their name prefix ("edt_124_2_"), in order.
std::vector<QLineEdit*> codeListEdits(const QWidget& page, const QString& prefix);

// A code list of ten edits stored in column; each listed code is shown as "code  name" from
// the disciplines (xkfl) or the high-tech fields (gxjs), and a typed code must be one of
// them.
PageField codeListField(std::vector<QLineEdit*> edits, std::string column, bool disciplines);

// The drop-down beside a code-list edit: byte alone is set in selector and picker fills edit
// from the disciplines or the high-tech fields.
void pickCode(widgets::ClassPicker& picker, std::span<unsigned char> selector, int byte,
              QLineEdit* edit, bool disciplines);

}  // namespace registeringunit

// "单位情况": the registering unit itself, the row of unit.dbf that travels with every exchange
// package. The main window loads it before each showing; the page posts on "存储", touches no
// record's section marks, asks before "退出" drops a change and, left, has the main window
// open its record functions as the stored unit and the current record allow.
class TFpage4a : public RecordPage {
    Q_OBJECT

public:
    TFpage4a(widgets::MainWindowOperations& mainWindow, widgets::ClassPicker& picker,
             QWidget* parent = nullptr);
    ~TFpage4a() override;

    Ui::TFpage4a* form() const { return ui.get(); }

    // Fills the controls from the unit row (none when unit.dbf is empty).
    void loadRecord(store::Dataset& row) override;

    // The required fields, tested as the exit tests them.
    void CheckUnitPage() { checkPage(); }

    void cb_62Change();
    // "学科带头人情况": the unit's discipline leaders.
    void BitBtndtrClick();
    // The memos open their editors.
    void Memo1Click();
    void Memo2Click();
    void Memo3Click();
    // The drop-down beside a code-list edit: byte of TreeTargetUnit (0..39) names the edit.
    void codeListDropDown(int byte);

    // The ten edits of a code list by their name prefix ("edt_124_2_"), in order.
    std::vector<QLineEdit*> codeListEdits(const QString& prefix) const;

    // The hidden "所属二级单位情况": the second-level units of the unit row.
    void Button5Click();

protected:
    store::Dataset& record() const override;
    bool checksOnSave() const override { return false; }
    void editRecord(store::Dataset& row) override;
    void beforeExitClose() override;
    void FormClose() override {}

private:
    PageField pageMemoField(QPlainTextEdit* memo, std::string column, QString label = {});

    widgets::ClassPicker& m_picker;
    std::unique_ptr<Ui::TFpage4a> ui;
    UnitFactsControls m_enterprise;  // cb_62, CB_41_3 and cb_163
};

// The program's registering-unit page, created at start-up.
extern TFpage4a* Fpage4a;
