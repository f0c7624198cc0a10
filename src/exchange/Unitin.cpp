#include "Unitin.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QMouseEvent>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "Archiver.h"
#include "Database.h"
#include "Dataset.h"
#include "Dialogs.h"
#include "ExchangeTables.h"
#include "ExchangeTextFile.h"
#include "GbkLimit.h"
#include "RecordRows.h"
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

// The package files read into staging tables: the first six exchange tables.
constexpr int kStagedFiles = 6;

std::filesystem::path fsPath(const QString& path) {
    return std::filesystem::path(path.toStdString());
}

std::vector<std::string> stdNames(const QStringList& names) {
    std::vector<std::string> out;
    for (const QString& name : names) {
        out.push_back(name.toStdString());
    }
    return out;
}

// Puts file at target through a copy beside it, so that target is at every moment either the
// file it was or the new one whole.
void placeFile(const std::filesystem::path& file, const std::filesystem::path& target) {
    const std::filesystem::path beside =
        target.parent_path() / ("." + target.filename().string() + ".new");
    try {
        exchange::copyFile(file, beside);
        exchange::moveFile(beside, target);
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(beside, ignored);
        throw;
    }
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
QString readingNotes(const QStringList& missing,
                     const std::vector<std::pair<QString, exchange::ExchangeReadCounts>>& read) {
    QString notes;
    if (!missing.isEmpty()) {
        notes += QStringLiteral("\n包中缺少文件：") + missing.join(QStringLiteral("、")) +
                 QStringLiteral("。");
    }
    for (const auto& [file, counts] : read) {
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

int countStaged(const QString& condition) {
    const store::ResultSet result =
        DM->database().run("select count(*) from hveltemp" + condition.toStdString(), {},
                           store::Database::Access::ReadOnly);
    return result.rows.empty() ? 0 : static_cast<int>(result.rows[0][0].asNumber());
}

}  // namespace

TFormin::TFormin(widgets::MainWindowOperations& mainWindow, QWidget* parent)
    : QDialog(parent), m_mainWindow(mainWindow), ui(std::make_unique<Ui::TFormin>()) {
    ui->setupUi(this);
    // A tool window without a close box: "退出" is the way out.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    widgets::limitGbkBytes(ui->Edit2, 140);
    m_model.setColumns(
        {widgets::listColumn(QStringLiteral("ITEM_3"), QStringLiteral("成果名称"), 300),
         widgets::listColumn(QStringLiteral("ITEM_9"), QStringLiteral("完成单位"), 240)});
    ui->DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    widgets::showDataset(*ui->DBGrid1, m_model);
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

void TFormin::openStagingTable(const QString& exchangeName) {
    store::Table& staged = DM->T_temp_in;
    staged.close();
    staged.setTableName((exchangeName.toUpper() + QStringLiteral("temp.dbf")).toStdString());
    staged.setFilter({});
    staged.open();
}

void TFormin::FormShow() {
    ui->Edit1->clear();
    m_unpacked.reset();
    m_model.setDataset(nullptr);
    DM->T_temp_in.close();
    // The unit file's staging table, where there is one, is emptied too: nothing merges it,
    // so it would only grow.
    for (const char* table :
         {"zlqktemp", "jdwyhmdtemp", "cgwcrtemp", "cgwcdwtemp", "hveltemp", "UNITtemp"}) {
        if (!DM->database().tablePath(table).empty()) {
            DM->database().run(std::string("delete from ") + table);
        }
    }
    openStagingTable(ExchangeTables.first());
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
    // case-sensitive). Its files are unpacked into a folder of their own in the temporary
    // space, where "导入" reads them: the package's folder is only read (it may be on a
    // read-only medium).
    m_unpacked.reset();
    try {
        m_unpacked.emplace();
        exchange::Archiver::instance().extract(fsPath(package.absoluteFilePath()),
                                               m_unpacked->path(), stdNames(allTextFiles()));
    } catch (const exchange::ArchiverError& e) {
        m_unpacked.reset();
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

void TFormin::Button3Click() {
    if (!m_unpacked) {
        return;
    }
    const QStringList& tables = ExchangeTables;
    std::vector<std::optional<std::filesystem::path>> files;
    int present = 0;
    for (int i = 0; i < kStagedFiles; ++i) {
        files.push_back(exchange::findIgnoringCase(
            m_unpacked->path(), (tables[i] + QStringLiteral(".txt")).toStdString()));
        present += files.back() ? 1 : 0;
    }
    if (present < kStagedFiles - 1) {
        widgets::ShowWarning(QStringLiteral("文件的格式不正确"));
        return;
    }

    // A package is staged whole or not at all: a file that fails leaves the staging tables as
    // they were before this reading.
    store::Database& db = DM->database();
    QStringList missing;
    std::vector<std::pair<QString, exchange::ExchangeReadCounts>> read;
    auto restore = [&] {
        rereadRows(DM->T_temp_in);
        openStagingTable(tables.first());
        attachGrids();
        ui->Panel4->hide();
    };
    detachGrids();
    ui->Panel4->show();
    try {
        store::Database::Transaction unit(db);
        // Child rows left from records that are no longer staged would join this package's.
        if (countStaged(QString()) == 0) {
            EmptyTempChildTables();
        }
        for (int i = 0; i < kStagedFiles; ++i) {
            const QString fileName = tables[i] + QStringLiteral(".TXT");
            if (!files[i]) {
                missing << fileName;
                continue;
            }
            // An installation without the unit file's staging table skips that file.
            const QString staging = tables[i].toUpper() + QStringLiteral("temp");
            if (db.tablePath(staging.toStdString()).empty()) {
                continue;
            }
            ui->Label5->setText(kReadingTexts[i]);
            ui->Label5->repaint();
            openStagingTable(tables[i]);
            read.emplace_back(fileName,
                              exchange::ReadExchangeFile(files[i]->string(), DM->T_temp_in));
        }
        unit.commit();
    } catch (const exchange::ExchangeFormatError& e) {
        restore();
        // A file that cannot be read will not read later either: the unpacked files go.
        m_unpacked.reset();
        ui->Button3->setEnabled(false);
        widgets::ShowWarning(QString::fromStdString(exchange::BadFormatText(e.what())));
        return;
    } catch (...) {
        restore();
        throw;
    }
    restore();

    ui->Button3->setEnabled(false);
    for (QPushButton* button : {ui->Button2, ui->Button4, ui->Button7, ui->Button8}) {
        button->setEnabled(true);
    }
    ShowStagedCounts();
    ui->Button1->setEnabled(false);
    m_unpacked.reset();
    widgets::ShowWarning(QStringLiteral("导入完毕！") + readingNotes(missing, read));
}

QStringList TFormin::allTextFiles() const {
    QStringList names;
    for (const QString& table : ExchangeTables) {
        names << table.toUpper() + QStringLiteral(".TXT");
    }
    return names;
}

void TFormin::ShowStagedCounts() {
    ui->Label6->setText(QStringLiteral("记录条数:") + QString::number(countStaged(QString())) +
                        QStringLiteral("条；"));
    auto ofType = [](const char* type) {
        return QString::number(
            countStaged(QStringLiteral(" where item_cglb='%1'").arg(QLatin1String(type))));
    };
    // Type "2" is soft science and "3" basic theory.
    ui->Label2->setText(QStringLiteral("其中：应用技术") + ofType("1") +
                        QStringLiteral("条，基础理论") + ofType("3") +
                        QStringLiteral("条，软科学") + ofType("2") + QStringLiteral("条。"));
}

void TFormin::deleteStagedRecord() {
    store::Table& staged = DM->T_temp_in;
    try {
        store::Database::Transaction unit(staged.database());
        DeleteTempChildren();
        staged.deleteRecord();
        // With the last staged record go all staged child rows, those of no staged record
        // too: they would otherwise join the records of the next package.
        if (staged.recordCount() == 0) {
            EmptyTempChildTables();
        }
        unit.commit();
    } catch (...) {
        rereadRows(staged);
        throw;
    }
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
    deleteStagedRecord();
    if (staged.recordCount() == 0) {
        ui->Button1->setEnabled(true);
        ui->Button4->setEnabled(false);
        ui->Button8->setEnabled(false);
        ui->Button7->setEnabled(false);
    }
    ShowStagedCounts();
}

void TFormin::Button5Click() {
    if (m_merging) {
        return;
    }
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

    m_unpacked.reset();
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
    const QString name = package.fileName();
    const QString base = name.left(name.size() - 4);
    if (base.size() < 5 || base.size() > 7 || !name.toUpper().endsWith(QStringLiteral(".ARJ")) ||
        !base.toUpper().startsWith(QStringLiteral("DOVA"))) {
        dialogs.message(this, widgets::Icon::Warning, kAttention,
                        QStringLiteral("请选择正确文件,被改名的文件类似DOVAXXX.ARJ(XXX为数字)!"),
                        widgets::Ok, widgets::Ok);
        return;
    }
    const QString code = base.mid(4);
    // Old name prefix, new name; the last one, the patents, may be missing.
    const std::pair<const char*, const char*> names[] = {{"HVEL", "HVEL.TXT"},
                                                         {"CGDW", "CGWCDW.TXT"},
                                                         {"CGWCR", "CGWCR.TXT"},
                                                         {"JDMD", "JDWYHMD.TXT"},
                                                         {"ZLQK", "ZLQK.TXT"}};
    auto oldName = [&](const char* prefix) {
        return QLatin1String(prefix) + code + QStringLiteral(".TXT");
    };
    // Such a package holds the old names; files under their new names count as present.
    QStringList all;
    for (const auto& [prefix, newName] : names) {
        all << QLatin1String(newName) << oldName(prefix);
    }
    const QString folder = package.absolutePath() + QLatin1Char('/');
    ImportFolder = folder;

    // The files are unpacked, renamed and packed again in a folder of their own in the
    // temporary space; only the converted package goes into the package's folder.
    exchange::Archiver& archiver = exchange::Archiver::instance();
    std::optional<exchange::UnpackFolder> unpacked;
    try {
        unpacked.emplace();
        archiver.extract(fsPath(package.absoluteFilePath()), unpacked->path(), stdNames(all));
    } catch (const exchange::ArchiverError& e) {
        showArchiverError(e);
        return;
    }
    const std::filesystem::path work = unpacked->path();
    // The archiver has finished: every file it was going to write is there, so one look at
    // the names suffices.
    std::vector<std::string> packed;
    for (const auto& [prefix, newName] : names) {
        const std::filesystem::path target = work / newName;
        if (auto old = exchange::findIgnoringCase(work, oldName(prefix).toStdString())) {
            exchange::moveFile(*old, target);
        } else if (auto renamed = exchange::findIgnoringCase(work, newName)) {
            exchange::moveFile(*renamed, target);
        } else if (std::string_view(prefix) != "ZLQK") {
            dialogs.message(this, widgets::Icon::Warning, kAttention,
                            QStringLiteral("包内文件不正确，可能有缺失!"), widgets::Ok,
                            widgets::Ok);
            return;
        } else {
            continue;
        }
        packed.push_back(newName);
    }

    const QString converted = QStringLiteral("dovaqy.arj");
    try {
        archiver.pack(work, converted.toStdString(), packed);
    } catch (const exchange::ArchiverError& e) {
        showArchiverError(e);
        return;
    }
    // A package left from before is replaced, not added to: it would keep files that this one
    // lacks.
    placeFile(work / converted.toStdString(), fsPath(folder + converted));
    widgets::ShowWarning(QStringLiteral("你已改名成功!文件在") + folder + converted);
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

void TFormin::showError(const QString& text) {
    widgets::Dialogs::instance().message(this, widgets::Icon::None, QStringLiteral("提示"), text,
                                         widgets::Ok, widgets::Ok);
}
