#pragma once

#include <memory>

#include "ListPage.h"

namespace Ui {
class TFinto7;
}

// Adds or edits one member of the evaluation committee.
class TFinto7 : public RowDialog {
    Q_OBJECT

public:
    explicit TFinto7(QWidget* parent = nullptr);
    ~TFinto7() override;

    Ui::TFinto7* form() const { return ui.get(); }

protected:
    void fillLists() override;
    // A new member: "副主任委员", the first sex and the second title option.
    void clearForAdd() override;

private:
    std::unique_ptr<Ui::TFinto7> ui;
};

// The program's committee member dialog, created at start-up.
extern TFinto7* Finto7;
