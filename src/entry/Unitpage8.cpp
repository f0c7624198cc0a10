#include "Unitpage8.h"

#include "CgwcrManage.h"
#include "Dataset.h"
#include "Finto8Unit.h"
#include "UnitDM.h"
#include "Warnings.h"
#include "ui_Unitpage8.h"

TFpage8* Fpage8 = nullptr;

TFpage8::TFpage8(widgets::MainWindowOperations& mainWindow, QWidget* parent)
    : ListPage(mainWindow, QStringLiteral("成果完成人员名单"), QStringLiteral("08"), DM->TblCgwcr,
               "ITEM_187", parent),
      ui(std::make_unique<Ui::TFpage8>()) {
    ui->setupUi(this);
    setUpFrame(
        ui->DBGrid4,
        {widgets::listColumn(QStringLiteral("ITEM_187"), QStringLiteral("序号"), 36),
         widgets::listColumn(QStringLiteral("ITEM_180"), QStringLiteral("姓名"), 64),
         widgets::listColumn(QStringLiteral("V_181"), QStringLiteral("性别"), 36),
         widgets::listColumn(QStringLiteral("ITEM_182"), QStringLiteral("出生年月"), 64),
         widgets::listColumn(QStringLiteral("V_183"), QStringLiteral("技术职称"), 64),
         widgets::listColumn(QStringLiteral("V_184"), QStringLiteral("文化程度"), 72),
         widgets::listColumn(QStringLiteral("V_188"), QStringLiteral("是否留学归国"), 80),
         widgets::listColumn(QStringLiteral("ITEM_185"), QStringLiteral("工作单位"), 160),
         widgets::listColumn(QStringLiteral("ITEM_186"), QStringLiteral("对成果创造性贡献"), 200)},
        {ui->Button2, ui->Button3, ui->Button1, ui->Button4, ui->quit01});
    connect(ui->Button5, &QAbstractButton::clicked, this, &TFpage8::Button5Click);
}

TFpage8::~TFpage8() = default;

RowDialog* TFpage8::rowDialog() const {
    return Finto8;
}

void TFpage8::Button5Click() {
    if (FormWcr != nullptr) {
        FormWcr->showDialog();
    }
}

void TFpage8::prepareShownRow(store::Dataset& row) {
    if (row.field("ITEM_188").asText() != "1") {
        row.field("ITEM_188").set(store::Value("0"));
    }
}

bool TFpage8::mayLeave() {
    if (rows().recordCount() > 0) {
        return true;
    }
    widgets::ShowWarning(QStringLiteral("成果完成人员名单不能为空！"));
    return false;
}

void TFpage8::FormClose() {
    ListPage::FormClose();
    mainWindow().LockUntilComplete();
}
