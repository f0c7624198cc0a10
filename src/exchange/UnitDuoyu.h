#pragma once

#include <QDialog>
#include <memory>

#include "DatasetModel.h"

class QCloseEvent;

namespace Ui {
class TFormDuoyu;
}

// The list of records that share a name (Query2): the user deletes the surplus ones, and the
// window does not close while two or more remain.
class TFormDuoyu : public QDialog {
    Q_OBJECT

public:
    explicit TFormDuoyu(QWidget* parent = nullptr);
    ~TFormDuoyu() override;

    Ui::TFormDuoyu* form() const { return ui.get(); }

    // The window modally through the dialogs seam.
    int showDialog();
    // "删除": deletes the current row while more than one remains, then closes.
    void Button1Click();
    // "退出".
    void Button2Click();
    // Whether the window may close; says why not.
    bool FormCloseQuery();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    widgets::DatasetModel m_model;
    std::unique_ptr<Ui::TFormDuoyu> ui;
};

// The program's duplicate list, created at start-up.
extern TFormDuoyu* FormDuoyu;
