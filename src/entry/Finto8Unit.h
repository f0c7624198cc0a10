#pragma once

#include <memory>

#include "ListPage.h"

namespace Ui {
class TFinto8;
}

// Adds or edits one completing person. A person added is also recorded among the persons
// known to this installation (cgwcrNew), for the quick add.
class TFinto8 : public RowDialog {
    Q_OBJECT

public:
    explicit TFinto8(QWidget* parent = nullptr);
    ~TFinto8() override;

    Ui::TFinto8* form() const { return ui.get(); }

    // The birth month can be any from 1900 to this month.
    void FormShow() override;

protected:
    void fillLists() override;
    // A new person: the usual options, born thirty years ago, working at the first
    // completing unit.
    void clearForAdd() override;
    void checkRow() override;
    // Records the person in cgwcrNew: a new name is appended, a name known once is
    // overwritten, a name known more than once is left alone.
    void afterAppend(store::Dataset& row) override;

private:
    // The birth month "YYYY.MM" into the picker; a text that is no month is reported.
    void loadBirth(const QString& stored);

    std::unique_ptr<Ui::TFinto8> ui;
};

// The program's person dialog, created at start-up.
extern TFinto8* Finto8;
