#pragma once

#include <memory>

#include "RecordPage.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace store {
class Dataset;
}

namespace Ui {
class TFpage3;
}

// "课题立项，评价情况": where the project came from (one ordinary source, optionally with the
// national plan and its programme, and a plan under the source), its number and name, the
// funds by source with their running sums, and the evaluation.
class TFpage3 : public RecordPage {
    Q_OBJECT

public:
    explicit TFpage3(widgets::MainWindowOperations& mainWindow, QWidget* parent = nullptr);
    ~TFpage3() override;

    Ui::TFpage3* form() const { return ui.get(); }

    // Shows the evaluation list of the selected type and fills the controls from the row.
    void loadRecord(store::Dataset& row) override;
    void FormShow() override;

    void CheckPage3() { checkPage(); }
    bool IsPage3Unchanged() { return isUnchanged(); }

    // Fills combo with the plans of source code from table ("code  text"); " " last unless
    // keepWithoutBlank. Combo and label are shown when the source has plans, else hidden.
    void GetItem41List(store::Dataset& table, const QString& code, bool keepWithoutBlank,
                       QLabel* label, QComboBox* combo);

    // A source box clicked: the other ordinary source goes and the source's plans are listed.
    void cb_126OnClick(QCheckBox* box);
    // A programme chosen: the project is a national-plan one.
    void RB_140_1Click();
    // "清除": neither the national plan nor a programme.
    void SpeedButton11Click();
    // The label of the project number shows whether the national plan is chosen.
    void cb_126_01Click();
    // The running sums: the local amounts into 地方投入, every amount into 总计.
    void Edt_142_1Change();
    void Edt_141Change();

private:
    bool isNationalPlan() const;
    // A national-plan project needs the edit's text.
    void requireForNationalPlan(const QLineEdit* edit, const QString& label) const;
    // A money edit: digits and ".", seven characters, a text that is no number reported with
    // prefix and set to "0"; an empty prefix marks a sum, which only the page writes.
    PageField moneyField(QLineEdit* edit, std::string field, const QString& prefix);
    void showPlans(const QString& sourceCode, const QString& planCode);
    // No plan list and no plan.
    void hidePlans();
    QString requiredMessage(const QString& label) const override;

    std::unique_ptr<Ui::TFpage3> ui;
};

// The program's project page, created at start-up.
extern TFpage3* Fpage3;
