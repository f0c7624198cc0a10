#pragma once

#include <memory>

#include "ListPage.h"

namespace Ui {
class TFinto11;
}

// Adds or edits one discipline leader of the registering unit.
class TFinto11 : public RowDialog {
    Q_OBJECT

public:
    explicit TFinto11(QWidget* parent = nullptr);
    ~TFinto11() override;

    Ui::TFinto11* form() const { return ui.get(); }

    // Leaving the year edit: a year that is not four digits from 1900 to 2050 is pointed out;
    // the input stays.
    void Edt_both_1Exit();
    // Leaving the month edit: one digit gets its leading "0"; a month outside 1..12 is pointed
    // out; the input stays.
    void edt_both_2Exit();
    // Every control equals the current leader's column.
    bool IsLeaderUnchanged() { return isRowUnchanged(); }

protected:
    void fillLists() override;
    // A new leader: the first sex, no research field and no birth month.
    void clearForAdd() override;
    // The next leader after one was added: no name, description or birth month.
    void clearForNext() override;
    void checkRow() override;
    // A new leader belongs to the registering unit.
    void setNewRowKeys(store::Dataset& row) override;

private:
    std::unique_ptr<Ui::TFinto11> ui;
};

// The program's leader dialog, created at start-up.
extern TFinto11* Finto11;
