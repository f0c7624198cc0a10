#include "Unitpage7.h"

#include "Finto7Unit.h"
#include "UnitDM.h"
#include "ui_Unitpage7.h"

TFpage7* Fpage7 = nullptr;

TFpage7::TFpage7(widgets::MainWindowOperations& mainWindow, QWidget* parent)
    : ListPage(mainWindow, QStringLiteral("评价委员会名单"), QStringLiteral("07"), DM->Tbljdwyhmd,
               "ITEM_190", parent),
      ui(std::make_unique<Ui::TFpage7>()) {
    ui->setupUi(this);
    setUpFrame(ui->DBGrid3,
               {widgets::listColumn(QStringLiteral("ITEM_190"), QStringLiteral("序号"), 40),
                widgets::listColumn(QStringLiteral("ITEM_191"), QStringLiteral("鉴定会职务"), 90),
                widgets::listColumn(QStringLiteral("ITEM_192"), QStringLiteral("姓名"), 80),
                widgets::listColumn(QStringLiteral("V_193"), QStringLiteral("性别"), 40),
                widgets::listColumn(QStringLiteral("ITEM_195"), QStringLiteral("工作单位"), 200),
                widgets::listColumn(QStringLiteral("ITEM_196"), QStringLiteral("所学专业"), 110),
                widgets::listColumn(QStringLiteral("ITEM_197"), QStringLiteral("从事专业"), 110),
                widgets::listColumn(QStringLiteral("V_198"), QStringLiteral("职称"), 70)},
               {ui->Button2, ui->btnSave01, ui->Button1, ui->Button3, ui->quit01});
}

TFpage7::~TFpage7() = default;

RowDialog* TFpage7::rowDialog() const {
    return Finto7;
}

void TFpage7::FormClose() {
    ListPage::FormClose();
    mainWindow().LockUntilComplete();
}
