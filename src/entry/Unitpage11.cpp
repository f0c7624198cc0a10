#include "Unitpage11.h"

#include "Finto11Unit.h"
#include "UnitDM.h"
#include "ui_Unitpage11.h"

TFpage11* Fpage11 = nullptr;

TFpage11::TFpage11(widgets::MainWindowOperations& mainWindow, QWidget* parent)
    : ListPage(mainWindow, QStringLiteral("学科带头人情况"), QString(), DM->Tblexpert, "item_187",
               parent),
      ui(std::make_unique<Ui::TFpage11>()) {
    ui->setupUi(this);
    setUpFrame(ui->DBGrid4,
               {widgets::listColumn(QStringLiteral("item_180"), QStringLiteral("姓名"), 90),
                widgets::listColumn(QStringLiteral("item_182"), QStringLiteral("出生年月"), 80),
                widgets::listColumn(QStringLiteral("V_181"), QStringLiteral("性别"), 50),
                widgets::listColumn(QStringLiteral("V_124_1"), QStringLiteral("研究领域"), 150),
                widgets::listColumn(QStringLiteral("item_186"), QStringLiteral("简要说明"), 380)},
               {ui->Button2, ui->Button3, ui->Button1, nullptr, ui->quit01});
}

TFpage11::~TFpage11() = default;

RowDialog* TFpage11::rowDialog() const {
    return Finto11;
}

void TFpage11::FormShow() {
    showRows();
}
