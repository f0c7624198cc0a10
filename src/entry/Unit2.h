#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class THelpForm;
}

// "帮助信息" for applied technology: how to fill the pages and what each item means.
class THelpForm : public QDialog {
    Q_OBJECT

public:
    explicit THelpForm(QWidget* parent = nullptr);
    ~THelpForm() override;

private:
    std::unique_ptr<Ui::THelpForm> ui;
};

// The program's help window for applied technology, created at start-up.
extern THelpForm* HelpForm;
