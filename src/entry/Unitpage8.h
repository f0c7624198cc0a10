#pragma once

#include <memory>

#include "ListPage.h"

namespace Ui {
class TFpage8;
}

// "成果完成人员名单": the persons who completed the record. A record needs at least one.
class TFpage8 : public ListPage {
    Q_OBJECT

public:
    explicit TFpage8(widgets::MainWindowOperations& mainWindow, QWidget* parent = nullptr);
    ~TFpage8() override;

    Ui::TFpage8* form() const { return ui.get(); }

    // "快速添加": the known persons to copy into the record.
    void Button5Click();

protected:
    RowDialog* rowDialog() const override;
    // Returned from study abroad is "1" or else "0".
    void prepareShownRow(store::Dataset& row) override;
    // An empty list cannot be left.
    bool mayLeave() override;
    // The main window's lock follows the record's completeness.
    void FormClose() override;

private:
    std::unique_ptr<Ui::TFpage8> ui;
};

// The program's person list, created at start-up.
extern TFpage8* Fpage8;
