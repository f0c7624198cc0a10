#include "Unitin.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QMouseEvent>
#include <vector>

#include "Archiver.h"
#include "Dialogs.h"
#include "ExchangeTextFile.h"
#include "GbkLimit.h"
#include "PackageConversion.h"
#include "RecordGrid.h"
#include "SqlText.h"
#include "UnitDM.h"
#include "Warnings.h"
#include "ui_Unitin.h"

TFormin* Formin = nullptr;

namespace {

const QString kPackageName = QStringLiteral("DOVAQY.ARJ");
const QString kAttention = QStringLiteral("请注意！");

// What the reading panel says while each file of the package is read, in package order.
const QString kReadingTexts[] = {
    QStringLiteral("正在导入科技成果主表……"), QStringLiteral("正在导入成果完成单位……"),
    QStringLiteral("正在导入成果完成人……"),   QStringLiteral("正在导入鉴定委员会名单……"),
    QStringLiteral("正在导入专利情况……"),     QStringLiteral("正在导入专利情况……")};

std::filesystem::path fsPath(const QString& path) {
    return std::filesystem::path(path.toStdString());
}

// Shows what an archiver failure means for the user; a cancelled run needs no message.
void showArchiverError(const exchange::ArchiverError& error) {
    if (dynamic_cast<const exchange::ArchiverCancelled*>(&error) != nullptr) {
        return;
    }
    const std::string text = dynamic_cast<const exchange::ArchiveFormatError*>(&error) != nullptr
                                 ? exchange::BadFormatText(error.what())
                                 : std::string(error.what());
    widgets::ShowWarning(QString::fromStdString(text));
}

// What the user is told beside "导入完毕！": files the package lacked, and per file the records
// whose columns did not match the table's fields.
QString readingNotes(const exchange::PackageReading& reading) {
    QString notes;
    if (!reading.missing.isEmpty()) {
        notes += QStringLiteral("\n包中缺少文件：") + reading.missing.join(QStringLiteral("、")) +
                 QStringLiteral("。");
    }
    for (const auto& [file, counts] : reading.read) {
        if (counts.shortRecords > 0) {
            notes += QStringLiteral("\n%1中有%2条记录的列数少于表的字段数，缺少的字段为空。")
                         .arg(file)
                         .arg(counts.shortRecords);
        }
        if (counts.longRecords > 0) {
            notes +=
                QStringLiteral("\n%1中有%2条记录的列数多于表的字段数，多出的列未能照原样导入。")
                    .arg(file)
                    .arg(counts.longRecords);
        }
    }
    return notes;
}

}  // namespace

TFormin::TFormin(widgets::MainWindowOperations& mainWindow, QWidget* parent)
    : QDialog(parent),
      m_mainWindow(mainWindow),
      ui(std::make_unique<Ui::TFormin>()),
      m_import(*DM),
      m_merge(*DM, m_import) {
    ui->setupUi(this);
    // A tool window without a close box: "退出" is the way out.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    widgets::limitGbkBytes(ui->Edit2, 140);
    showRecordNames(*ui->DBGrid1, m_model, 300, 240);
    ui->Panel1->hide();
    ui->Panel4->hide();
    ui->Panelstat->hide();

    connect(ui->Button1, &QPushButton::clicked, this, &TFormin::Button1Click);
    connect(ui->Button2, &QPushButton::clicked, this, &TFormin::Button2Click);
    connect(ui->Button3, &QPushButton::clicked, this, &TFormin::Button3Click);
    connect(ui->Button4, &QPushButton::clicked, this, &TFormin::Button4Click);
    connect(ui->Button5, &QPushButton::clicked, this, &TFormin::Button5Click);
    connect(ui->Button6, &QPushButton::clicked, this, &TFormin::Button6Click);
    connect(ui->Button7, &QPushButton::clicked, this, &TFormin::Button7Click);
    connect(ui->Button8, &QPushButton::clicked, this, &TFormin::Button8Click);
    ui->Label7->installEventFilter(this);
    ui->Button3->setEnabled(false);
    ui->Button4->setEnabled(false);
    ui->Button6->setEnabled(false);
}

TFormin::~TFormin() {
    m_model.setDataset(nullptr);
}

int TFormin::showDialog() {
    FormShow();
    return widgets::Dialogs::instance().exec(*this);
}

void TFormin::FormShow() {
    ui->Edit1->clear();
    m_model.setDataset(nullptr);
    m_import.clear();
    m_model.setDataset(&DM->T_temp_in);

    ui->Button1->setEnabled(true);
    ui->Button5->setEnabled(true);
    for (QPushButton* button : {ui->Button3, ui->Button4, ui->Button6, ui->Button7, ui->Button8}) {
        button->setEnabled(false);
    }
    ui->DBGrid1->setEnabled(true);
    ui->Panel1->hide();
    ui->Panel4->hide();
    ui->Panelstat->hide();
    ui->Label6->clear();
    ui->Label2->clear();
}

void TFormin::Button1Click() {
    auto& dialogs = widgets::Dialogs::instance();
    const QString chosen = dialogs.openFileName(this, QStringLiteral("请选择要导入的文件夹"),
                                                QString(), QStringLiteral("arj(*.arj)"));
    if (chosen.isEmpty()) {
        ui->Edit1->clear();
        return;
    }
    // The path as chosen: on Linux a name in capitals would be another file.
    ui->Edit1->setText(chosen);
    if (chosen.trimmed().right(kPackageName.size()).toUpper() != kPackageName) {
        dialogs.message(this, widgets::Icon::Warning, kAttention,
                        QStringLiteral("请选择正确导入包,名字是DOVAQY.ARJ!"), widgets::Ok,
                        widgets::Ok);
        return;
    }
    const QFileInfo package(chosen.trimmed());
    ImportFolder = package.absolutePath() + QLatin1Char('/');
    // The archive is the file the user chose, under its own name (Linux names are
    // case-sensitive); the package's folder is only read (it may be on a read-only medium).
    try {
        m_import.unpack(fsPath(package.absoluteFilePath()));
    } catch (const exchange::ArchiverError& e) {
        showArchiverError(e);
        return;
    }
    ui->Button3->setEnabled(true);
}

void TFormin::detachGrids() {
    m_model.setDataset(nullptr);
    DM->Qryhvel.disableControls();
}

void TFormin::attachGrids() {
    DM->Qryhvel.enableControls();
    m_model.setDataset(&DM->T_temp_in);
}

void TFormin::readingStarts() {
    detachGrids();
    ui->Panel4->show();
}

void TFormin::readingFile(int table) {
    ui->Label5->setText(kReadingTexts[table]);
    ui->Label5->repaint();
}

void TFormin::readingEnds() {
    attachGrids();
    ui->Panel4->hide();
}

void TFormin::Button3Click() {
    if (!m_import.hasUnpacked()) {
        return;
    }
    exchange::PackageReading reading;
    try {
        reading = m_import.read(*this, m_host);
    } catch (const exchange::ExchangeFormatError& e) {
        ui->Button3->setEnabled(false);
        widgets::ShowWarning(QString::fromStdString(exchange::BadFormatText(e.what())));
        return;
    }
    if (!reading.complete) {
        widgets::ShowWarning(QStringLiteral("文件的格式不正确"));
        return;
    }

    ui->Button3->setEnabled(false);
    for (QPushButton* button : {ui->Button2, ui->Button4, ui->Button7, ui->Button8}) {
        button->setEnabled(true);
    }
    ShowStagedCounts();
    ui->Button1->setEnabled(false);
    widgets::ShowWarning(QStringLiteral("导入完毕！") + readingNotes(reading));
}

void TFormin::ShowStagedCounts() {
    const exchange::StagedCounts counts = m_import.counts();
    ui->Label6->setText(QStringLiteral("记录条数:") + QString::number(counts.records) +
                        QStringLiteral("条；"));
    ui->Label2->setText(QStringLiteral("其中：应用技术") +
                        QString::number(counts.appliedTechnology) + QStringLiteral("条，基础理论") +
                        QString::number(counts.basicTheory) + QStringLiteral("条，软科学") +
                        QString::number(counts.softScience) + QStringLiteral("条。"));
}

void TFormin::Button7Click() {
    store::Table& staged = DM->T_temp_in;
    if (!staged.active() || staged.recordCount() == 0) {
        return;
    }
    const int answer = widgets::Dialogs::instance().message(
        this, widgets::Icon::Question, kAttention, QStringLiteral("是否删除数据？"),
        widgets::Yes | widgets::No, widgets::No);
    if (answer != widgets::Yes) {
        return;
    }
    m_import.deleteStagedRecord();
    if (staged.recordCount() == 0) {
        ui->Button1->setEnabled(true);
        ui->Button4->setEnabled(false);
        ui->Button8->setEnabled(false);
        ui->Button7->setEnabled(false);
    }
    ShowStagedCounts();
}

void TFormin::Button5Click() {
    // The question comes before the refresh, so that the main window shows what was stored.
    if (ui->Button6->isEnabled()) {
        const int answer = widgets::Dialogs::instance().message(
            this, widgets::Icon::Question, kAttention, QStringLiteral("是否保存导入数据？"),
            widgets::Yes | widgets::No, widgets::Yes);
        if (answer == widgets::Yes) {
            Button6Click();
        }
    }

    RunQuerySql(DM->tempquery, QStringLiteral("select item_4 from hvel order by item_4 desc"));
    m_mainWindow.FillYearList(DM->tempquery);
    m_mainWindow.QueryRecordList();
    m_mainWindow.MarkIncompletePages();
    m_mainWindow.RenumberList();
    m_mainWindow.LockUntilComplete();

    m_import.forgetUnpacked();
    ui->Button1->setEnabled(true);
    ui->Button5->setEnabled(true);
    for (QPushButton* button : {ui->Button3, ui->Button4, ui->Button6, ui->Button7, ui->Button8}) {
        button->setEnabled(false);
    }
    ui->Panel1->hide();
    done(QDialog::Accepted);
}

bool TFormin::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui->Label7 && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        Label7Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TFormin::Label7Click() {
    auto& dialogs = widgets::Dialogs::instance();
    const QString chosen = dialogs.openFileName(this, QStringLiteral("请选择要改名的文件夹"),
                                                QString(), QStringLiteral("arj(*.arj)"));
    if (chosen.isEmpty()) {
        return;
    }
    const QFileInfo package(chosen);
    const std::optional<QString> code = exchange::OldPackageCode(package.fileName());
    if (!code) {
        dialogs.message(this, widgets::Icon::Warning, kAttention,
                        QStringLiteral("请选择正确文件,被改名的文件类似DOVAXXX.ARJ(XXX为数字)!"),
                        widgets::Ok, widgets::Ok);
        return;
    }
    const QString folder = package.absolutePath() + QLatin1Char('/');
    ImportFolder = folder;
    exchange::ConversionResult result;
    try {
        result = exchange::ConvertOldPackage(fsPath(package.absoluteFilePath()), *code);
    } catch (const exchange::ArchiverError& e) {
        showArchiverError(e);
        return;
    }
    if (result == exchange::ConversionResult::FilesMissing) {
        dialogs.message(this, widgets::Icon::Warning, kAttention,
                        QStringLiteral("包内文件不正确，可能有缺失!"), widgets::Ok, widgets::Ok);
        return;
    }
    widgets::ShowWarning(QStringLiteral("你已改名成功!文件在") + folder +
                         QStringLiteral("dovaqy.arj"));
}

void TFormin::closeEvent(QCloseEvent* event) {
    // Only "退出" closes the dialog, so the main window is always refreshed.
    event->ignore();
    if (ui->Button5->isEnabled()) {
        Button5Click();
    }
}

void TFormin::reject() {
    if (ui->Button5->isEnabled()) {
        Button5Click();
    }
}
