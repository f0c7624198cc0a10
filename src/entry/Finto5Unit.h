#pragma once

#include <memory>

#include "ListPage.h"

namespace Ui {
class TFinto5;
}

// Adds or edits one co-completing unit: name, address, postcode and contact person.
class TFinto5 : public RowDialog {
    Q_OBJECT

public:
    explicit TFinto5(QWidget* parent = nullptr);
    ~TFinto5() override;

    Ui::TFinto5* form() const { return ui.get(); }

private:
    std::unique_ptr<Ui::TFinto5> ui;
};

// The program's co-completing unit dialog, created at start-up.
extern TFinto5* Finto5;
