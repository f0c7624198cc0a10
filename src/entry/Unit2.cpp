#include "Unit2.h"

#include "ui_Unit2.h"

THelpForm* HelpForm = nullptr;

THelpForm::THelpForm(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::THelpForm>()) {
    ui->setupUi(this);
    setFixedSize(size());
    connect(ui->Button1, &QPushButton::clicked, this, &QDialog::accept);
}

THelpForm::~THelpForm() = default;
