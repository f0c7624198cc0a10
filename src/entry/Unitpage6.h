#pragma once

#include <QDialog>
#include <memory>

#include "DatasetModel.h"

namespace Ui {
class TFpage6;
}

// The patents of a record counted by status.
struct PatentCounts {
    int applied = 0;  // PATENT_ST "1"
    int granted = 0;  // PATENT_ST "2"
};

// "专利情况": the patents of the current record (the rows of tblzlqk as its opener filtered
// them) in a read-only grid, added and changed through the row dialog TFinto6. Closing the
// list hands the counts of patents applied for and granted back to its opener.
class TFpage6 : public QDialog {
    Q_OBJECT

public:
    static const QString Title;

    explicit TFpage6(QWidget* parent = nullptr);
    ~TFpage6() override;

    Ui::TFpage6* form() const { return ui.get(); }

    // FormShow, then the page modally through the dialogs seam.
    int showPage();
    // Numbers the rows 1..n and puts the cursor on the first.
    void FormShow();

    // "新增", "修改", "删除", "帮助" and "退出".
    void Button2Click();
    void btnSave01Click();
    void Button1Click();
    void Button3Click();
    void quit01Click();

    // Walks the patents from the first row with their grids quiet, writing ITEM_NO 1..n when
    // renumber is set (all rows or none), and counts them by status. The cursor is left past
    // the last row.
    static PatentCounts WalkPatents(bool renumber);

signals:
    // The page closed with these counts.
    void patentsCounted(int applied, int granted);

protected:
    // FormClose: numbers and counts the rows, hands the counts on, and the main window's lock
    // follows the record's completeness.
    void done(int result) override;

private:
    std::unique_ptr<Ui::TFpage6> ui;
    widgets::DatasetModel m_model;
};

// The program's patent list, created at start-up.
extern TFpage6* Fpage6;
