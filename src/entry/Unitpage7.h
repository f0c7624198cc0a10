#pragma once

#include <memory>

#include "ListPage.h"

namespace Ui {
class TFpage7;
}

// "评价委员会名单": the record's evaluation committee.
class TFpage7 : public ListPage {
    Q_OBJECT

public:
    explicit TFpage7(widgets::MainWindowOperations& mainWindow, QWidget* parent = nullptr);
    ~TFpage7() override;

    Ui::TFpage7* form() const { return ui.get(); }

protected:
    RowDialog* rowDialog() const override;
    // The main window's lock follows the record's completeness.
    void FormClose() override;

private:
    std::unique_ptr<Ui::TFpage7> ui;
};

// The program's committee list, created at start-up.
extern TFpage7* Fpage7;
