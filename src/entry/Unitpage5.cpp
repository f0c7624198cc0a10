#include "Unitpage5.h"

#include "Finto5Unit.h"
#include "UnitDM.h"
#include "ui_Unitpage5.h"

TFpage5* Fpage5 = nullptr;

TFpage5::TFpage5(widgets::MainWindowOperations& mainWindow, QWidget* parent)
    : ListPage(mainWindow, QStringLiteral("合作完成单位情况"), QStringLiteral("05"), DM->TblCgwcdw,
               "ITEM_176", parent),
      ui(std::make_unique<Ui::TFpage5>()) {
    ui->setupUi(this);
    setUpFrame(
        ui->DBGrid2,
        {widgets::listColumn(QStringLiteral("ITEM_176"), QStringLiteral("序号"), 40),
         widgets::listColumn(QStringLiteral("ITEM_170"), QStringLiteral("单位名称"), 220),
         widgets::listColumn(QStringLiteral("ITEM_171"), QStringLiteral("详细通讯地址"), 260),
         widgets::listColumn(QStringLiteral("ITEM_172"), QStringLiteral("邮政编码"), 70),
         widgets::listColumn(QStringLiteral("ITEM_173"), QStringLiteral("联系人"), 90)},
        {ui->Button2, ui->btnSave01, ui->Button1, ui->Button3, ui->quit01});
}

TFpage5::~TFpage5() = default;

RowDialog* TFpage5::rowDialog() const {
    return Finto5;
}
