#include "CodeManage.h"

#include "Dialogs.h"
#include "ExchangeTextFile.h"
#include "UnitDM.h"
#include "Warnings.h"
#include "WindowHost.h"
#include "ui_CodeManage.h"

TFcodeManage* FcodeManage = nullptr;

TFcodeManage::TFcodeManage(TDM& dm, QWidget* parent)
    : QDialog(parent), ui(new Ui::TFcodeManage), m_dm(dm) {
    ui->setupUi(this);
    connect(ui->Button4, &QPushButton::clicked, this, &TFcodeManage::Button4Click);
    connect(ui->Button6, &QPushButton::clicked, this, &TFcodeManage::Button6Click);
    connect(ui->Button8, &QPushButton::clicked, this, &TFcodeManage::Button8Click);
    connect(ui->Button10, &QPushButton::clicked, this, &TFcodeManage::Button10Click);
    connect(ui->Button2, &QPushButton::clicked, this, &TFcodeManage::Button2Click);
    connect(ui->Button7, &QPushButton::clicked, this, &TFcodeManage::Button7Click);
    connect(ui->Button9, &QPushButton::clicked, this, &TFcodeManage::Button9Click);
    connect(ui->Button11, &QPushButton::clicked, this, &TFcodeManage::Button11Click);
    connect(ui->Button3, &QPushButton::clicked, this, &TFcodeManage::Button3Click);
}

TFcodeManage::~TFcodeManage() = default;

void TFcodeManage::Button4Click() {
    updateFromPackage(exchange::kDfjhzdxx, m_dm.TblDFJHZDXX, ui->Edit1);
}

void TFcodeManage::Button6Click() {
    updateFromPackage(exchange::kZtflh, m_dm.Tztflh2, ui->Edit3);
}

void TFcodeManage::Button8Click() {
    updateFromPackage(exchange::kXkfl, m_dm.Txkfl2, ui->Edit4);
}

void TFcodeManage::Button10Click() {
    updateFromPackage(exchange::kLsbw, m_dm.tblLsbw, ui->Edit5);
}

void TFcodeManage::Button2Click() {
    updateFromTableFile(exchange::kDfjhzdxx, m_dm.TblDFJHZDXX, "更新“课题来源”下级菜单成功!");
}

void TFcodeManage::Button7Click() {
    updateFromTableFile(exchange::kZtflh, m_dm.Tztflh2, "更新“中图分类号”菜单成功!");
}

void TFcodeManage::Button9Click() {
    updateFromTableFile(exchange::kXkfl, m_dm.Txkfl2, "更新“学科分类”菜单成功!");
}

void TFcodeManage::Button11Click() {
    updateFromTableFile(exchange::kLsbw, m_dm.tblLsbw, "更新“隶属部委”菜单成功!");
}

void TFcodeManage::Button3Click() {
    close();
}

void TFcodeManage::updateFromPackage(const exchange::CodeTable& code, store::Table& table,
                                     QLineEdit* edit) {
    const QString packageName = QString::fromUtf8(code.packageName);
    const QString chosen =
        widgets::Dialogs::instance().openFileName(this, QString(), QString(), QString());
    if (chosen.isEmpty()) {
        edit->clear();
        return;
    }
    edit->setText(chosen);
    if (!chosen.trimmed().toUpper().endsWith(packageName)) {
        widgets::Dialogs::instance().message(
            this, widgets::Icon::None, QStringLiteral("请注意！"),
            QStringLiteral("请选择正确导入包,名字是") + packageName + QStringLiteral("!"),
            widgets::Ok, widgets::Ok);
        return;
    }
    WindowHost host;
    const exchange::CodeTableUpdate update =
        exchange::UpdateFromPackage(code, table, chosen.trimmed().toStdString(), host);
    tell(code, update, QStringLiteral("导入更新成功！"));
}

QString TFcodeManage::chooseTableFile() {
    const QString chosen =
        widgets::Dialogs::instance().openFileName(this, QString(), m_lastTableFile, QString());
    if (!chosen.isEmpty()) {
        m_lastTableFile = chosen;
    }
    return chosen;
}

void TFcodeManage::updateFromTableFile(const exchange::CodeTable& code, store::Table& table,
                                       const char* copiedMessage) {
    tell(code, exchange::UpdateFromTableFile(m_dm, code, table, *this),
         QString::fromUtf8(copiedMessage));
}

void TFcodeManage::tell(const exchange::CodeTable& code, const exchange::CodeTableUpdate& update,
                        const QString& updated) {
    if (const QString text = told(code, update, updated); !text.isEmpty()) {
        widgets::ShowWarning(text);
    }
}

QString TFcodeManage::told(const exchange::CodeTable& code, const exchange::CodeTableUpdate& update,
                           const QString& updated) {
    using Result = exchange::CodeTableResult;
    switch (update.result) {
        case Result::Updated:
            return updated;
        case Result::WrongName:
            return QStringLiteral("请选择正确的文件（%1）！")
                .arg(QString::fromUtf8(code.tableFile));
        case Result::ArchiverFailed:
            return QString::fromStdString(update.detail);
        case Result::NoTextFile:
            return QStringLiteral("导入包中没有“%1”！").arg(QString::fromUtf8(code.textFile));
        case Result::Refused:
            return QString::fromStdString(
                exchange::BadFormatText(update.detail + "\n代码表没有改动。"));
        case Result::Cancelled:  // by the user
        case Result::ShortCopy:  // nothing replaced, nothing to tell
            break;
    }
    return {};
}
