#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class THelpForm_rj;
}

// "帮助信息" for soft science and basic theory.
class THelpForm_rj : public QDialog {
    Q_OBJECT

public:
    explicit THelpForm_rj(QWidget* parent = nullptr);
    ~THelpForm_rj() override;

private:
    std::unique_ptr<Ui::THelpForm_rj> ui;
};

// The program's help window for soft science and basic theory, created at start-up.
extern THelpForm_rj* HelpForm_rj;
