#include "Unitpage9.h"

#include "ui_Unitpage9.h"

TFpage9* Fpage9 = nullptr;

TFpage9::TFpage9(widgets::MainWindowOperations& mainWindow, QWidget* parent)
    : RecordPage(mainWindow, QStringLiteral("09"), parent), ui(std::make_unique<Ui::TFpage9>()) {
    ui->setupUi(this);
    setUpFrame(ui->btnSave01, ui->Button1, ui->Button2);
    for (QPlainTextEdit* memo : {ui->Mo_13_2, ui->Mo_13_3, ui->Mo_133, ui->Mo_303}) {
        clearBlankOnClick(memo);
    }
    ui->PageControl1->setCurrentIndex(0);
    setFields({
        textField(ui->Edt_301, "ITEM_301", QStringLiteral("鉴定证书号")),
        textDateField({ui->CheckBox_302, ui->DTP_302, ui->EDT_302}, "ITEM_302",
                      QStringLiteral("鉴定批准日期"), QStringLiteral("本项登记日期：'"),
                      QStringLiteral("'不是正确的时间格式！现在已经更换。")),
        memoField(ui->Mo_13_2, "ITEM_13_2", QStringLiteral("推广应用前景与措施")),
        memoField(ui->Mo_13_3, "ITEM_13_3", QStringLiteral("主要技术文件目录及来源")),
        memoField(ui->Mo_133, "ITEM_133", QStringLiteral("鉴定委员会专家测试报告")),
        memoField(ui->Mo_303, "ITEM_303", QStringLiteral("鉴定意见")),
    });
}

TFpage9::~TFpage9() = default;
