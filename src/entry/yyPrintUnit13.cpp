#include "yyPrintUnit13.h"

#include "ui_yyPrintUnit13.h"

THelpForm_rj* HelpForm_rj = nullptr;

THelpForm_rj::THelpForm_rj(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::THelpForm_rj>()) {
    ui->setupUi(this);
    setFixedSize(size());
    connect(ui->Button1, &QPushButton::clicked, this, &QDialog::accept);
}

THelpForm_rj::~THelpForm_rj() = default;
