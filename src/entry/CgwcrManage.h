#pragma once

#include <QDialog>
#include <memory>

#include "DatasetModel.h"

namespace Ui {
class TFormWcr;
}

// The quick add: the persons known to this installation (cgwcrNew), of which the chosen ones
// are copied into the current record's persons.
class TFormWcr : public QDialog {
    Q_OBJECT

public:
    explicit TFormWcr(QWidget* parent = nullptr);
    ~TFormWcr() override;

    Ui::TFormWcr* form() const { return ui.get(); }
    widgets::DatasetModel& model() { return m_model; }

    // FormShow, then the window modally through the dialogs seam.
    int showDialog();
    // Every known person on show, unfiltered.
    void FormShow();
    // "添加到项目中": the selected persons, or on request all of them, become persons of the
    // current record, except those whose name the record already lists (how many were skipped
    // is said); the record's persons are renumbered and the window closes.
    void BitBtn1Click();
    // "退出".
    void BitBtn5Click();
    // "删除": asks, then forgets the current known person.
    void Button1Click();
    // Builds cgwcrNew afresh from every record's persons, the first row of each name.
    void BuildeWcrTable();

private:
    QString selectedCountText() const;
    void showSelectedCount();

    widgets::DatasetModel m_model;
    std::unique_ptr<Ui::TFormWcr> ui;
};

// The program's quick-add window, created at start-up.
extern TFormWcr* FormWcr;
