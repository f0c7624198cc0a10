#include "CodeManage.h"

#include <QFileInfo>
#include <filesystem>
#include <optional>

#include "Archiver.h"
#include "Database.h"
#include "Dataset.h"
#include "DbfFile.h"
#include "Dialogs.h"
#include "Errors.h"
#include "ExchangeTextFile.h"
#include "RecordRows.h"
#include "Text.h"
#include "UnitDM.h"
#include "Warnings.h"
#include "ui_CodeManage.h"

namespace fs = std::filesystem;

TFcodeManage* FcodeManage = nullptr;

const TFcodeManage::CodeTable TFcodeManage::Dfjhzdxx = {"DFJHXX.ARJ",
                                                        "DFJHXX.TXT",
                                                        "DFJHZDXX.DBF",
                                                        "更新“课题来源”下级菜单成功!",
                                                        {"item_126", "item_41_", "xxmc"}};
const TFcodeManage::CodeTable TFcodeManage::Ztflh = {
    "ZTFLB.ARJ", "ZTFL.TXT", "ZTFLH.DBF", "更新“中图分类号”菜单成功!", {"jb", "xxdm", "xxmc"}};
const TFcodeManage::CodeTable TFcodeManage::Xkfl = {
    "XKFLB.ARJ", "XKFL.TXT", "XKFL.DBF", "更新“学科分类”菜单成功!", {"jb", "xxdm", "xxmc"}};
const TFcodeManage::CodeTable TFcodeManage::Lsbw = {
    "LSBWB.ARJ", "LSBW.TXT", "LSBW.DBF", "更新“隶属部委”菜单成功!", {"Bwdm", "Bwmc"}};

namespace {

// What is wrong with the fields of a replacement table file, or an empty text when it begins
// with the fields the program reads, as text fields.
std::string wrongColumns(const std::vector<store::FieldDef>& fields,
                         const std::vector<const char*>& columns, const std::string& fileName) {
    bool fits = fields.size() >= columns.size();
    for (size_t i = 0; fits && i < columns.size(); ++i) {
        fits = store::text::equalsIgnoringCase(fields[i].name, columns[i]) &&
               fields[i].type == store::FieldType::Character;
    }
    if (fits) {
        return {};
    }
    std::string wanted;
    for (const char* column : columns) {
        wanted += (wanted.empty() ? "" : "、") + std::string(column);
    }
    std::string found;
    for (const store::FieldDef& field : fields) {
        found += (found.empty() ? "" : "、") + field.name;
    }
    return "“" + fileName + "”的字段应依次为" + wanted + "（文字型），而它的字段是" +
           (found.empty() ? std::string("（无）") : found) + "。";
}

// What keeps the table file at path (shown as fileName) from replacing a code table, or an
// empty text when nothing does.
std::string tableFileProblem(const fs::path& path, const std::vector<const char*>& columns,
                             const std::string& fileName) {
    std::unique_ptr<store::DbfFile> file;
    try {
        file = store::DbfFile::open(path.string());
    } catch (const store::StoreError&) {
        return "“" + fileName + "”不是可以读取的表文件。";
    }
    return wrongColumns(file->fields(), columns, fileName);
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
    widgets::ShowWarning(text);
}

void TFcodeManage::refuse(const std::string& detail) {
    warn(QString::fromStdString(exchange::BadFormatText(detail + "\n代码表没有改动。")));
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
    // The text file is unpacked into a folder of its own in the temporary space, removed once
    // it is read: the package's folder is only read (it may be on a read-only medium).
    std::optional<exchange::UnpackFolder> unpacked;
    try {
        unpacked.emplace();
        exchange::Archiver::instance().extract(chosen.trimmed().toStdString(), unpacked->path(),
                                               {code.textFile});
    } catch (const exchange::ArchiverCancelled&) {
        return;
    } catch (const exchange::ArchiveFormatError& error) {
        refuse(error.what());
        return;
    } catch (const exchange::ArchiverError& error) {
        warn(QString::fromStdString(error.what()));
        return;
    }
    const std::optional<fs::path> textFile =
        exchange::findIgnoringCase(unpacked->path(), code.textFile);
    if (!textFile) {
        warn(QStringLiteral("导入包中没有“") + QString::fromUtf8(code.textFile) +
             QStringLiteral("”！"));
        return;
    }

    if (!table.active()) {
        table.open();
    }
    table.disableControls();
    std::string problem;
    try {
        store::Database::Transaction unit(table.database());
        while (table.recordCount() > 0) {
            table.first();
            table.deleteRecord();
        }
        const exchange::ExchangeReadCounts counts = exchange::ReadExchangeFile(
            textFile->string(), table, exchange::ExchangeVariant::CodeTable);
        // A record of other columns would put its values into the wrong fields.
        if (const int wrong = counts.shortRecords + counts.longRecords; wrong > 0) {
            problem = "“" + textFile->filename().string() + "”中有" + std::to_string(wrong) +
                      "条记录的列数不是代码表的" + std::to_string(table.fieldCount()) + "列。";
        } else {
            unit.commit();
        }
    } catch (const exchange::ExchangeFormatError& error) {
        problem = error.what();
    } catch (...) {
        rereadRows(table);
        table.enableControls();
        throw;
    }
    if (!problem.empty()) {
        rereadRows(table);
        table.enableControls();
        refuse(problem);
        return;
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
                    const uintmax_t copied = exchange::copyFile(source, beside);
                    std::error_code sizeUnknown;
                    if (copied == fs::file_size(source, sizeUnknown) && !sizeUnknown) {
                        const std::string problem = tableFileProblem(
                            beside, code.columns, QFileInfo(chosen).fileName().toStdString());
                        if (problem.empty()) {
                            exchange::moveFile(beside, target);
                            warn(QString::fromUtf8(code.copiedMessage));
                        } else {
                            exchange::removeFile(beside);
                            refuse(problem);
                        }
                    } else {
                        exchange::removeFile(beside);
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
