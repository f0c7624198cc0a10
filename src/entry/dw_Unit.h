#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <memory>

#include "UnitFacts.h"

class QCloseEvent;

namespace store {
class Query;
}

namespace Ui {
class Tdw_Form;
}

// The reporting unit's profile (dwqk, one row): the facts that "按照本单位情况填入" copies into a
// record's first completing unit.
class Tdw_Form : public QDialog {
    Q_OBJECT

public:
    explicit Tdw_Form(QWidget* parent = nullptr);
    ~Tdw_Form() override;

    Ui::Tdw_Form* form() const { return ui.get(); }
    const UnitFactsControls& controls() const { return m_controls; }

    // FormShow, then the window modally through the dialogs seam.
    int showForm();
    // Reads the profile again and fills the controls from its first row.
    void FormShow();
    // "存储": writes the profile, copies it into the first completing unit page and closes;
    // false when a check stopped it.
    bool Button1Click();
    // "退出": check, then ask about a change.
    void Button2Click();
    void cb_62Change();

    // Warns and throws SilentAbort at the first missing fact.
    void CheckDwForm();
    bool IsDwFormUnchanged();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    // The statement that stores the controls: the update of the profile's row when it has
    // one (its record number, -1 for none), else the insert of the first.
    QString saveStatement(int64_t profileRow) const;
    // The close box and Esc: an unchanged profile closes, a changed one is asked about first.
    void leaveWithoutCheck();

    std::unique_ptr<Ui::Tdw_Form> ui;
    UnitFactsControls m_controls;
};

// The profile read again from dwqk, on its first row (no row when none is set).
store::Query& ReportingUnitRow();

// The program's reporting-unit profile window, created at start-up.
extern Tdw_Form* dw_Form;
