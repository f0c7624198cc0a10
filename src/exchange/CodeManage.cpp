#include "CodeManage.h"

#include <unistd.h>

#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "Archiver.h"
#include "Database.h"
#include "Dataset.h"
#include "DbfFile.h"
#include "Dialogs.h"
#include "ExchangeTextFile.h"
#include "ListPage.h"
#include "Text.h"
#include "Unit1.h"
#include "UnitDM.h"
#include "ui_CodeManage.h"

namespace fs = std::filesystem;

TFcodeManage* FcodeManage = nullptr;

const TFcodeManage::CodeTable TFcodeManage::Dfjhzdxx = {"DFJHXX.ARJ", "DFJHXX.TXT", "DFJHZDXX.DBF",
                                                        "更新“课题来源”下级菜单成功!"};
const TFcodeManage::CodeTable TFcodeManage::Ztflh = {"ZTFLB.ARJ", "ZTFL.TXT", "ZTFLH.DBF",
                                                     "更新“中图分类号”菜单成功!"};
const TFcodeManage::CodeTable TFcodeManage::Xkfl = {"XKFLB.ARJ", "XKFL.TXT", "XKFL.DBF",
                                                    "更新“学科分类”菜单成功!"};
const TFcodeManage::CodeTable TFcodeManage::Lsbw = {"LSBWB.ARJ", "LSBW.TXT", "LSBW.DBF",
                                                    "更新“隶属部委”菜单成功!"};

namespace {

std::string fileError(const char* what, const fs::path& path) {
    return std::string(what) + " \"" + path.string() + "\": " + std::strerror(errno);
}

// Copies source to target byte for byte and makes it durable; returns the bytes written.
uintmax_t copyFile(const fs::path& source, const fs::path& target) {
    std::FILE* in = std::fopen(source.c_str(), "rb");
    if (in == nullptr) {
        throw exchange::ExchangeIoError(fileError("Cannot open file", source));
    }
    std::FILE* out = std::fopen(target.c_str(), "wb");
    if (out == nullptr) {
        std::fclose(in);
        throw exchange::ExchangeIoError(fileError("Cannot create file", target));
    }
    uintmax_t copied = 0;
    char buffer[65536];
    bool failed = false;
    while (size_t n = std::fread(buffer, 1, sizeof buffer, in)) {
        if (std::fwrite(buffer, 1, n, out) != n) {
            failed = true;
            break;
        }
        copied += n;
    }
    failed = failed || std::ferror(in) != 0 || std::fflush(out) != 0 || ::fsync(fileno(out)) != 0;
    std::fclose(in);
    if (std::fclose(out) != 0 || failed) {
        throw exchange::ExchangeIoError(fileError("Cannot write file", target));
    }
    return copied;
}

bool endsWithIgnoringCase(const QString& text, const QString& tail) {
    return text.toUpper().endsWith(tail.toUpper());
}

}  // namespace

TFcodeManage::TFcodeManage(QWidget* parent) : QDialog(parent), ui(new Ui::TFcodeManage) {
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

void TFcodeManage::warn(const QString& text) {
    MainForm->ShowWarning(text);
}

void TFcodeManage::Button4Click() {
    updateFromPackage(Dfjhzdxx, DM->TblDFJHZDXX, ui->Edit1);
}

void TFcodeManage::Button6Click() {
    updateFromPackage(Ztflh, DM->Tztflh2, ui->Edit3);
}

void TFcodeManage::Button8Click() {
    updateFromPackage(Xkfl, DM->Txkfl2, ui->Edit4);
}

void TFcodeManage::Button10Click() {
    updateFromPackage(Lsbw, DM->tblLsbw, ui->Edit5);
}

void TFcodeManage::Button2Click() {
    updateFromTableFile(Dfjhzdxx, DM->TblDFJHZDXX);
}

void TFcodeManage::Button7Click() {
    updateFromTableFile(Ztflh, DM->Tztflh2);
}

void TFcodeManage::Button9Click() {
    updateFromTableFile(Xkfl, DM->Txkfl2);
}

void TFcodeManage::Button11Click() {
    updateFromTableFile(Lsbw, DM->tblLsbw);
}

void TFcodeManage::Button3Click() {
    close();
}

// The table keeps its rows until a package of the right name has been unpacked; then the old
// rows are deleted and the file's rows appended as one unit, so a package that fails half way
// leaves the table as it was.
void TFcodeManage::updateFromPackage(const CodeTable& code, store::Table& table, QLineEdit* edit) {
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
    const QFileInfo package(chosen.trimmed());
    const fs::path folder = package.absolutePath().toStdString();
    exchange::removeIgnoringCase(folder, code.textFile);
    try {
        exchange::Archiver::instance().extract(folder, package.fileName().toStdString());
    } catch (const exchange::ArchiverError& error) {
        warn(QStringLiteral("解压“") + package.fileName() + QStringLiteral("”失败：") +
             QString::fromStdString(error.what()));
        return;
    }
    const std::optional<fs::path> textFile = exchange::findIgnoringCase(folder, code.textFile);
    if (!textFile) {
        warn(QStringLiteral("导入包中没有“") + QString::fromUtf8(code.textFile) +
             QStringLiteral("”！"));
        return;
    }

    if (!table.active()) {
        table.open();
    }
    table.disableControls();
    try {
        store::Database::Transaction unit(table.database());
        while (table.recordCount() > 0) {
            table.first();
            table.deleteRecord();
        }
        exchange::ReadExchangeFile(textFile->string(), table, exchange::ExchangeVariant::CodeTable);
        unit.commit();
    } catch (...) {
        rereadRows(table);
        table.enableControls();
        throw;
    }
    table.enableControls();
    warn(QStringLiteral("导入更新成功！"));
}

// The chosen file is copied beside the table file and renamed over it once complete and
// readable as a table, so the table is at every moment either the old file or the new one.
void TFcodeManage::updateFromTableFile(const CodeTable& code, store::Table& table) {
    const QString fileName = QString::fromUtf8(code.tableFile);
    const std::string baseName = fs::path(code.tableFile).stem().string();
    store::Table& table1 = DM->Table1;
    const bool sharesTable1 =
        table1.active() &&
        store::text::equalsIgnoringCase(fs::path(table1.tableName()).stem().string(), baseName);
    table.close();
    if (sharesTable1) {
        table1.close();
    }
    auto reopen = [&] {
        table.open();
        if (sharesTable1) {
            table1.open();
        }
    };

    try {
        const QString chosen =
            widgets::Dialogs::instance().openFileName(this, QString(), m_lastTableFile, QString());
        if (!chosen.isEmpty()) {
            m_lastTableFile = chosen;
            if (!endsWithIgnoringCase(chosen, QLatin1Char('/') + fileName)) {
                warn(QStringLiteral("请选择正确的文件（") + fileName + QStringLiteral("）！"));
            } else {
                store::Database& db = DM->database();
                fs::path target = db.tablePath(baseName);
                if (target.empty()) {
                    target = db.directory() / code.tableFile;
                }
                const fs::path source = chosen.toStdString();
                const fs::path beside =
                    target.parent_path() / ("." + target.filename().string() + ".new");
                try {
                    const uintmax_t copied = copyFile(source, beside);
                    if (copied == fs::file_size(source)) {
                        store::DbfFile::open(beside.string());  // refuses a file that is no table
                        fs::rename(beside, target);
                        warn(QString::fromUtf8(code.copiedMessage));
                    } else {
                        fs::remove(beside);
                    }
                } catch (...) {
                    std::error_code ignored;
                    fs::remove(beside, ignored);
                    throw;
                }
            }
        }
    } catch (...) {
        reopen();
        throw;
    }
    reopen();
}
