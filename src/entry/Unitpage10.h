#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <memory>

#include "ClassPicker.h"
#include "DatasetModel.h"
#include "RecordPage.h"

namespace Ui {
class TFpage10;
}

// The second-level unit page's selector of the classification picker: one byte for each edit
// of its two code lists of ten edits.
extern std::array<unsigned char, 20> TreeTargetSubUnit;

// "二级单位情况": the second-level units of a unit, further rows of unit.dbf that carry the
// unit's code as their upunitcode. The grid lists them; the edits show the selected one and
// "存储" writes them back into it.
class TFpage10 : public RecordPage {
    Q_OBJECT

public:
    TFpage10(widgets::MainWindowOperations& mainWindow, widgets::ClassPicker& picker,
             QWidget* parent = nullptr);
    ~TFpage10() override;

    Ui::TFpage10* form() const { return ui.get(); }

    // Lists the units under unit's current row and shows the page modally.
    int showUnitsOf(store::Dataset& unit);

    // Fills the controls from the selected unit (emptied when there is none).
    void loadRecord(store::Dataset& row) override;

    // "增加": a new unit under the listed units' parent, selected and ready for typing.
    void Button2Click();
    // "删除": the selected unit, after a question; refused while units or discipline leaders
    // are under it.
    void Button3Click();
    // "学科带头人情况": the persons list.
    void BitBtndtrClick();
    // The drop-down beside a code-list edit: byte of TreeTargetSubUnit (0..19) names the edit.
    void codeListDropDown(int byte);

    // The code of a new unit under parent when largest is the largest code among its units
    // (empty when it has none): the parent's first seven characters and "010", else the
    // largest code's first nine characters (two past the parent's seven) counted on by one,
    // followed by "0"; empty when that leaves the parent's block (codes that begin with its
    // first seven characters), after the 99th unit. Throws std::invalid_argument when those
    // characters are not a number.
    static QString nextUnitCode(const QString& parent, const QString& largest);

protected:
    store::Dataset& record() const override;
    bool checksOnSave() const override { return false; }
    bool checksOnExit() const override { return false; }
    bool asksOnExit() const override { return false; }
    void FormClose() override {}

private:
    // The largest unit code under parent, empty when it has no units.
    static QString largestUnitCode(const QString& parent);
    // Whether some unit of unit.dbf already carries code.
    static bool unitCodeUsed(const QString& code);
    struct Dependants {
        int units = 0;    // units whose upunitcode is the code
        int leaders = 0;  // discipline leaders whose unitcode is the code
    };
    static Dependants dependantsOf(const QString& code);
    // Loads the unit under the grid's cursor unless it is the one shown.
    void followSelection();

    widgets::ClassPicker& m_picker;
    std::unique_ptr<Ui::TFpage10> ui;
    widgets::DatasetModel m_model;
    int64_t m_shownRow = -1;  // the record number of the unit on show, -1 for none
};

// The program's second-level unit page, created at start-up.
extern TFpage10* Fpage10;
