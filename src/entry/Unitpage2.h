#pragma once

#include <exception>
#include <memory>

#include "RecordPage.h"

class QAbstractButton;

namespace Ui {
class TFpage2;
}

// "知识产权，成果应用情况" of an applied-technology record: the form of intellectual property
// (patents with their counts, or a software authorship right), the application status with
// the reasons for non-application, the benefits, the forms of promotion and the expected
// investment and profit.
class TFpage2 : public RecordPage {
    Q_OBJECT

public:
    explicit TFpage2(QWidget* parent = nullptr);
    ~TFpage2() override;

    Ui::TFpage2* form() const { return ui.get(); }

    // Clears the choice boxes and fills the controls from the row.
    void loadRecord(store::Dataset& row) override;
    void FormShow() override;

    void CheckPage2() { checkPage(); }
    bool IsPage2Unchanged() { return isUnchanged(); }

    // Shows the controls of the chosen form of intellectual property and keeps the record's
    // patents in step with it: counted for patents, deleted for any other form.
    void UpdatePatentInfo();
    // The user chose another form; leaving counted patents for a software authorship right
    // asks first.
    void cb_51Change();
    // "进入填写专利": the patent list of the record.
    void Button1Click();
    // The user chose another status.
    void cb_32Change();
    // A reason of group 1..5 was chosen: its group box follows.
    void rb_160_11Click() { reasonClick(1); }
    void rb_160_21Click() { reasonClick(2); }
    void rb_160_31Click() { reasonClick(3); }
    void rb_160_41Click() { reasonClick(4); }
    void rb_160_51Click() { reasonClick(5); }
    void cb_32_1OnClick(QAbstractButton* box);
    // The counts of patents applied for and granted, as the patent list hands them back.
    void showPatentCounts(int applied, int granted);

    // An error while the page loads or is open: "读入数据时出错:" with the error's text.
    static void ShowLoadError(const std::exception& error);

private:
    // The status rules: reasons only for a status other than stable application, benefits
    // only for an applied one; withOwnTransfer takes Edt_162 along.
    void applyStatus(bool withOwnTransfer);
    void reasonClick(int group);
    QString formCode() const;
    void showPatentControls(bool shown);
    void showSoftwareControls(bool shown);
    // Runs handler; an error it raises is reported as a loading error.
    void guarded(void (TFpage2::*handler)());

    std::unique_ptr<Ui::TFpage2> ui;
};

// The program's intellectual property page, created at start-up.
extern TFpage2* Fpage2;
