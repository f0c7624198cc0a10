#pragma once

#include <memory>

#include "ListPage.h"

namespace Ui {
class TFpage5;
}

// "合作完成单位情况": the record's co-completing units.
class TFpage5 : public ListPage {
    Q_OBJECT

public:
    explicit TFpage5(widgets::MainWindowOperations& mainWindow, QWidget* parent = nullptr);
    ~TFpage5() override;

    Ui::TFpage5* form() const { return ui.get(); }

protected:
    RowDialog* rowDialog() const override;

private:
    std::unique_ptr<Ui::TFpage5> ui;
};

// The program's co-completing unit list, created at start-up.
extern TFpage5* Fpage5;
