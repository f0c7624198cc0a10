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
    explicit TFpage2(widgets::MainWindowOperations& mainWindow, QWidget* parent = nullptr);
    ~TFpage2() override;

    Ui::TFpage2* form() const { return ui.get(); }

    // Clears the choice boxes and fills the controls from the row.
    void loadRecord(store::Dataset& row) override;
    void FormShow() override;

    void CheckPage2() { checkPage(); }
    bool IsPage2Unchanged() { return isUnchanged(); }

    // Shows the controls of the chosen form of intellectual property: the counts of the
    // record's patents for patents, the software authorship right for that form. The patent
    // rows themselves change only with a save (confirmSave, writeAlongside).
    void UpdatePatentInfo();
    // The user chose another form: its controls are shown.
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

protected:
    // Saving a form other than patents over a record that has patent rows asks first; No
    // puts back the form the record had.
    bool confirmSave() override;
    // That save deletes the record's patent rows with the row.
    void writeAlongside() override;
    void rereadAlongside() override;

private:
    // The status rules: reasons only for a status other than stable application, benefits
    // only for an applied one; withOwnTransfer takes Edt_162 along.
    void applyStatus(bool withOwnTransfer);
    void reasonClick(int group);
    QString formCode() const;
    QString statusCode() const;
    // The number of the record's patent rows, any status; leaves tblzlqk filtered to them.
    int recordPatentRows() const;
    void showPatentControls(bool shown);
    void showSoftwareControls(bool shown);
    // Runs handler; an error it raises is reported as a loading error.
    void guarded(void (TFpage2::*handler)());

    std::unique_ptr<Ui::TFpage2> ui;
    int m_loadedForm = -1;  // the index of the record's stored form in cb_51
};

// The program's intellectual property page, created at start-up.
extern TFpage2* Fpage2;
