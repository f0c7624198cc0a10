#pragma once

#include <memory>

#include "RecordPage.h"
#include "UnitFacts.h"

namespace Ui {
class TFpage4;
}

// "第一完成单位情况": the first completing unit of the record. The reporting unit's own profile
// can be copied in, or set, from here.
class TFpage4 : public RecordPage {
    Q_OBJECT

public:
    explicit TFpage4(widgets::MainWindowOperations& mainWindow, QWidget* parent = nullptr);
    ~TFpage4() override;

    Ui::TFpage4* form() const { return ui.get(); }
    const UnitFactsControls& controls() const { return m_controls; }

    // Fills the controls from the row; the enterprise fields follow the stored unit attribute.
    void loadRecord(store::Dataset& row) override;
    void checkPage() override;
    bool isUnchanged() override;

    void CheckPage4() { checkPage(); }
    bool IsPage4Unchanged() { return isUnchanged(); }

    void cb_62Change();
    // "按照本单位情况填入": copies the reporting unit's profile into the page, unsaved.
    void Button1Click();
    // "设置单位基本情况": opens the reporting unit's profile.
    void Button2Click();
    // A record without unit attribute and province takes the reporting unit's profile
    // (Button1Click), or has it set first when there is none (Button2Click).
    void useProfileWhenUnset();

private:
    std::unique_ptr<Ui::TFpage4> ui;
    UnitFactsControls m_controls;
};

// The program's first completing unit page, created at start-up.
extern TFpage4* Fpage4;
