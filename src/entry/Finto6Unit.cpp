#include "Finto6Unit.h"

#include "CodeLists.h"
#include "RecordRows.h"
#include "SilentAbort.h"
#include "UnitDM.h"
#include "Unitpage6.h"
#include "Warnings.h"
#include "ui_Finto6Unit.h"

TFinto6* Finto6 = nullptr;

TFinto6::TFinto6(QWidget* parent)
    : RowDialog(QStringLiteral("专利情况"), DM->tblzlqk, "ITEM_NO", parent),
      ui(std::make_unique<Ui::TFinto6>()) {
    ui->setupUi(this);
    setUpFrame(ui->Button1, ui->Button2);

    setFields({
        textField(ui->edtzl_no, "PATENT_NO"),
        textField(ui->edtzl_name, "PATENT_NAM"),
        codeField(ui->cb_st, "PATENT_ST"),
        codeField(ui->cb_ty, "PATENT_TY"),
    });
    setMainEdits({ui->edtzl_no, ui->edtzl_name});
}

TFinto6::~TFinto6() = default;

void TFinto6::fillLists() {
    widgets::FillCodeList(DM->Tblzdxx, QStringLiteral("patent_st"), ui->cb_st, true);
    widgets::FillCodeList(DM->Tblzdxx, QStringLiteral("patent_ty"), ui->cb_ty, true);
}

void TFinto6::clearForAdd() {
    RowDialog::clearForAdd();
    ui->cb_st->setCurrentIndex(0);
    ui->cb_ty->setCurrentIndex(0);
}

void TFinto6::CheckPatentRow() {
    const std::pair<bool, const char*> rules[] = {
        {ui->cb_st->currentText().trimmed().isEmpty(), "\"专利状况\"不能为空！"},
        {ui->cb_ty->currentText().trimmed().isEmpty(), "\"专利类型\"不能为空！"},
        {ui->edtzl_no->text().trimmed().isEmpty(), "\"专利号\"不能为空！"},
        {ui->edtzl_name->text().trimmed().isEmpty(), "\"专利名称\"不能为空！"},
    };
    for (const auto& [missing, message] : rules) {
        if (missing) {
            widgets::ShowWarning(QString::fromUtf8(message));
            throw SilentAbort();
        }
    }
}

void TFinto6::writeAlongside() {
    TFpage6::StorePatentCounts();
}

void TFinto6::rereadAlongside() {
    rereadRows(DM->Qryhvel);
}
