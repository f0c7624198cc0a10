#pragma once

#include <memory>

#include "ListPage.h"

namespace Ui {
class TFinto6;
}

// Adds or edits one patent of the record: number, name, status and type, all required.
class TFinto6 : public RowDialog {
    Q_OBJECT

public:
    explicit TFinto6(QWidget* parent = nullptr);
    ~TFinto6() override;

    Ui::TFinto6* form() const { return ui.get(); }

    // The required fields in order: warns and throws SilentAbort at the first one missing.
    void CheckPatentRow();

protected:
    void fillLists() override;
    // A new patent: empty number and name, the first status and the first type.
    void clearForAdd() override;
    void checkRow() override { CheckPatentRow(); }
    // A stored patent changes the record's stored counts with it.
    void writeAlongside() override;
    void rereadAlongside() override;

private:
    std::unique_ptr<Ui::TFinto6> ui;
};

// The program's patent dialog, created at start-up.
extern TFinto6* Finto6;
