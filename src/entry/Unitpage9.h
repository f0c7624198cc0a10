#pragma once

#include <memory>

#include "RecordPage.h"

namespace Ui {
class TFpage9;
}

// "鉴定证书内容": the appraisal certificate's number, approval date and four long texts.
// No field is required; the section is not among those a complete record needs.
class TFpage9 : public RecordPage {
    Q_OBJECT

public:
    explicit TFpage9(widgets::MainWindowOperations& mainWindow, QWidget* parent = nullptr);
    ~TFpage9() override;

    Ui::TFpage9* form() const { return ui.get(); }

private:
    std::unique_ptr<Ui::TFpage9> ui;
};

// The program's appraisal certificate page, created at start-up.
extern TFpage9* Fpage9;
