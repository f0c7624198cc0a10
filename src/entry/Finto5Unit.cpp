#include "Finto5Unit.h"

#include "UnitDM.h"
#include "ui_Finto5Unit.h"

TFinto5* Finto5 = nullptr;

TFinto5::TFinto5(QWidget* parent)
    : RowDialog(QStringLiteral("合作完成单位情况"), DM->TblCgwcdw, "ITEM_176", parent),
      ui(std::make_unique<Ui::TFinto5>()) {
    ui->setupUi(this);
    setUpFrame(ui->Button1, ui->Button2);
    digitsOnly(ui->edtdw_172, 6);
    setFields({
        textField(ui->edtdw_170, "ITEM_170"),
        textField(ui->edtdw_171, "ITEM_171"),
        textField(ui->edtdw_172, "ITEM_172"),
        textField(ui->edtdw_173, "ITEM_173"),
    });
    setMainEdits({ui->edtdw_170, ui->edtdw_171, ui->edtdw_172, ui->edtdw_173});
}

TFinto5::~TFinto5() = default;
