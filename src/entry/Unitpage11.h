#pragma once

#include <memory>

#include "ListPage.h"

namespace Ui {
class TFpage11;
}

// "学科带头人情况": the discipline leaders of the registering unit, as the unit's page has
// filtered them. Unlike a record's lists it keeps its numbering when it shows and closes and has
// no help.
class TFpage11 : public ListPage {
    Q_OBJECT

public:
    explicit TFpage11(widgets::MainWindowOperations& mainWindow, QWidget* parent = nullptr);
    ~TFpage11() override;

    Ui::TFpage11* form() const { return ui.get(); }

    // The grid over the leaders as they are numbered.
    void FormShow() override;

protected:
    RowDialog* rowDialog() const override;
    void FormClose() override {}

private:
    std::unique_ptr<Ui::TFpage11> ui;
};

// The program's leader list, created at start-up.
extern TFpage11* Fpage11;
