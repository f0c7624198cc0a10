#include "Unitout.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QStorageInfo>
#include <algorithm>
#include <optional>
#include <string>

#include "Archiver.h"
#include "Database.h"
#include "Dialogs.h"
#include "ExchangeTables.h"
#include "ExchangeTextFile.h"
#include "ExportRows.h"
#include "RecordRows.h"
#include "SqlText.h"
#include "Text.h"
#include "UnitDM.h"
#include "Warnings.h"
#include "ui_Unitout.h"

TFormout* Formout = nullptr;

const char* const TFormout::PackageName = "dovaqy.arj";

namespace fs = std::filesystem;

namespace {

const QString kTitle = QStringLiteral("提示信息");

// The packaged files after the main table: the four child tables.
constexpr int kFirstChild = 1;
constexpr int kChildCount = 4;
// Closing removes the files of the main table and the child tables that an unfinished export
// left behind.
constexpr int kLeftoverCount = 5;

// Fills combo with the distinct first four characters of the trimmed keys of an open query
// over item_4, skipping a prefix equal to the one added last and blank ones; selects the
// first.
void FillYearPrefixes(store::Dataset& query, QComboBox* combo) {
    combo->clear();
    QString last;
    for (query.first(); !query.eof(); query.next()) {
        const QString prefix =
            QString::fromStdString(query.field("item_4").asText()).trimmed().left(4);
        if (prefix != last && !prefix.trimmed().isEmpty()) {
            combo->addItem(prefix);
            last = prefix;
        }
    }
    combo->setCurrentIndex(combo->count() > 0 ? 0 : -1);
}

// Closes the dataset, sets its filter and opens it again.
void SetDataSetFilter(store::Dataset& dataset, const QString& filter) {
    dataset.close();
    dataset.setFilter(filter.toStdString());
    dataset.open();
}

// The file name of an exchange data set in the package.
std::string packageFile(int table) {
    return (ExchangeTables.at(table).toUpper() + QStringLiteral(".TXT")).toStdString();
}

std::string fieldText(store::Dataset& dataset, int index) {
    return exchange::ExchangeText(dataset.field(index).value());
}

// The hourglass while an export runs; the default cursor again when it ends, however it ends.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// The package that the user agreed to overwrite, kept aside while the new one is made and put
// back when it fails, so that a failed export never costs the user the old package.
class OldPackage {
public:
    explicit OldPackage(fs::path package)
        : m_package(std::move(package)),
          m_aside(m_package.parent_path() / ("." + m_package.filename().string() + ".old")) {
        exchange::moveFile(m_package, m_aside);
    }
    ~OldPackage() {
        if (!m_aside.empty()) {
            std::error_code error;
            fs::rename(m_aside, m_package, error);
        }
    }
    OldPackage(const OldPackage&) = delete;
    OldPackage& operator=(const OldPackage&) = delete;

    void drop() {
        exchange::removeFile(m_aside);
        m_aside.clear();
    }

private:
    fs::path m_package;
    fs::path m_aside;
};

// Suspends a dataset's observers for a bulk loop and puts its cursor back afterwards, so the
// windows that share the dataset find their row where they left it.
class QuietRows {
public:
    explicit QuietRows(store::Dataset& rows) : m_rows(rows) {
        if (m_rows.active() && m_rows.recordCount() > 0) {
            m_mark = m_rows.bookmark();
        }
        m_rows.disableControls();
    }
    ~QuietRows() {
        if (m_mark && m_rows.active() && m_rows.state() == store::Dataset::State::Browse) {
            m_rows.gotoBookmark(*m_mark);  // false when the row is gone
        }
        m_rows.enableControls();
    }
    QuietRows(const QuietRows&) = delete;
    QuietRows& operator=(const QuietRows&) = delete;

private:
    store::Dataset& m_rows;
    std::optional<store::Dataset::Bookmark> m_mark;
};

// Runs body over records as one unit of writes: all of its changes or none.
template <typename Body>
void inOneUnit(store::Table& records, Body body) {
    const QuietRows quiet(records);
    try {
        store::Database::Transaction unit(records.database());
        body();
        unit.commit();
    } catch (...) {
        rereadRows(records);
        throw;
    }
}

// Sets the export mark of the current record.
void setExportMark(store::Table& records, const char* value) {
    if (records.field("ITEM_SJDC").asText() != value) {
        records.edit();
        records.field("ITEM_SJDC").set(store::Value(value));
        records.post();
    }
}

}  // namespace

TFormout::TFormout(widgets::MainWindowOperations& mainWindow, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_mainWindow(mainWindow),
      ui(std::make_unique<Ui::TFormout>()) {
    ui->setupUi(this);
    ui->ComboBox2->hide();

    m_model.setColumns(
        {widgets::listColumn(QStringLiteral("ITEM_3"), QStringLiteral("成果名称"), 220),
         widgets::listColumn(QStringLiteral("ITEM_9"), QStringLiteral("完成单位"), 160)});
    m_model.setDataset(&DM->T_temp_out);
    ui->DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    widgets::showDataset(*ui->DBGrid1, m_model);
    connect(ui->DBGrid1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TFormout::showSelectedCount);
    connect(&m_model, &QAbstractItemModel::modelReset, this, &TFormout::showSelectedCount);

    m_folders = new QFileSystemModel(this);
    m_folders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_folders->setRootPath(QDir::rootPath());
    ui->DirectoryListBox1->setModel(m_folders);
    for (int column = 1; column < m_folders->columnCount(); ++column) {
        ui->DirectoryListBox1->hideColumn(column);
    }
    QStringList drives;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady()) {
            drives << volume.rootPath();
        }
    }
    drives.sort();
    drives.removeDuplicates();
    ui->DriveComboBox1->addItems(drives);
    m_folder = QDir::currentPath();

    connect(ui->RadioButton5, &QRadioButton::clicked, this, &TFormout::RadioButton5Click);
    connect(ui->RadioButton5, &QRadioButton::toggled, this, &TFormout::showRadioHint);
    connect(ui->RadioButton7, &QRadioButton::clicked, this, &TFormout::RadioButton7Click);
    connect(ui->ComboBox2, &QComboBox::activated, this, &TFormout::ComboBox2Change);
    connect(ui->DriveComboBox1, &QComboBox::activated, this, &TFormout::DriveComboBox1Change);
    connect(ui->DirectoryListBox1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TFormout::DirectoryListBox1Change);
    connect(ui->Button2, &QPushButton::clicked, this, &TFormout::Button2Click);
    connect(ui->Button1, &QPushButton::clicked, this, &TFormout::Button1Click);
    connect(this, &QDialog::finished, this, &TFormout::FormClose);
}

TFormout::~TFormout() {
    m_model.setDataset(nullptr);
}

QString TFormout::PackageFolder(const QString& folderText) {
    QString folder = folderText.trimmed();
    if (!folder.endsWith(QLatin1Char('/'))) {
        folder += QLatin1Char('/');
    }
    return folder;
}

QString TFormout::FolderText(const QString& path) {
    return QDir::toNativeSeparators(QDir::cleanPath(path));
}

int TFormout::showDialog() {
    FormShow();
    return widgets::Dialogs::instance().exec(*this);
}

void TFormout::FormShow() {
    TDM::OpenQuerySql(DM->tempquery, "select distinct item_4 from hvel order by item_4 desc");
    FillYearPrefixes(DM->tempquery, ui->ComboBox2);

    for (QRadioButton* range : {ui->RadioButton5, ui->RadioButton7}) {
        range->setAutoExclusive(false);
        range->setChecked(false);
        range->setAutoExclusive(true);
    }
    ui->ComboBox2->hide();

    store::Table& records = DM->T_temp_out;
    SetDataSetFilter(records, {});
    inOneUnit(records, [&records] {
        for (records.first(); !records.eof(); records.next()) {
            setExportMark(records, "0");
        }
    });
    records.close();

    ui->Button2->setEnabled(false);
    m_exportFolder.clear();
    showFolder(m_folder);
}

void TFormout::selectEveryRow() {
    SetDataSetFilter(DM->T_temp_out, {});
    ui->Button2->setEnabled(true);
    ui->DBGrid1->selectAll();
    showSelectedCount();
}

void TFormout::RadioButton5Click() {
    ui->ComboBox2->hide();
    selectEveryRow();
}

void TFormout::RadioButton7Click() {
    ui->ComboBox2->show();
    ui->Button2->setEnabled(true);
}

void TFormout::ComboBox2Change() {
    SetDataSetFilter(DM->T_temp_out, QStringLiteral("item_4='") +
                                         QuoteSqlText(ui->ComboBox2->currentText()) +
                                         QStringLiteral("*'"));
    ui->Button2->setEnabled(true);
    ui->DBGrid1->selectAll();
    showSelectedCount();
}

void TFormout::showSelectedCount() {
    ui->Label1->setText(QStringLiteral("选择了") +
                        QString::number(ui->DBGrid1->selectionModel()->selectedRows().size()) +
                        QStringLiteral("记录！"));
}

void TFormout::showRadioHint() {
    ui->RadioButton5->setToolTip(
        ui->RadioButton5->isChecked() ? QStringLiteral("再次选择全部项目请双击") : QString());
}

void TFormout::showFolder(const QString& path) {
    const QModelIndex folder = m_folders->index(path);
    if (folder.isValid()) {
        ui->DirectoryListBox1->setCurrentIndex(folder);
        ui->DirectoryListBox1->scrollTo(folder);
    }
    m_folder = path;
    ui->Edit1->setText(FolderText(path));
}

void TFormout::DriveComboBox1Change() {
    showFolder(ui->DriveComboBox1->currentText());
}

void TFormout::DirectoryListBox1Change() {
    const QModelIndex current = ui->DirectoryListBox1->currentIndex();
    if (current.isValid()) {
        m_folder = m_folders->filePath(current);
        ui->Edit1->setText(FolderText(m_folder));
    }
}

std::vector<store::Dataset::Bookmark> TFormout::selectedRecords() {
    std::vector<int> rows;
    for (const QModelIndex& index : ui->DBGrid1->selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    store::Table& records = DM->T_temp_out;
    const QuietRows quiet(records);
    std::vector<store::Dataset::Bookmark> marks;
    for (const int row : rows) {
        records.setRecNo(row + 1);
        marks.push_back(records.bookmark());
    }
    return marks;
}

std::vector<exchange::RecordKey> TFormout::writeMainFile(
    const fs::path& path, const std::vector<store::Dataset::Bookmark>& records) {
    store::Table& main = DM->T_temp_out;
    const QuietRows quiet(main);
    const int fields = main.fieldCount();
    const int mark = main.fieldIndex("ITEM_SJDC");
    exchange::ExchangeTextWriter file(path.string());
    std::vector<exchange::RecordKey> written;
    for (const store::Dataset::Bookmark record : records) {
        if (!main.gotoBookmark(record)) {
            continue;
        }
        written.push_back({std::string(store::text::trimBlanks(main.field("ITEM_4").asText())),
                           std::string(store::text::trimBlanks(main.field("ITEM_DQDM").asText()))});
        for (int i = 0; i <= fields - 4; ++i) {
            file.column(i == mark ? std::string("0") : fieldText(main, i));
        }
        file.column({});
        file.raw(fieldText(main, fields - 2));
        file.raw("\t");
        file.lastColumn(fieldText(main, fields - 1));
    }
    file.close();
    return written;
}

void TFormout::writeUnitFile(const fs::path& path) {
    store::Table& units = DM->Tblunit;
    const QuietRows quiet(units);
    const int fields = units.fieldCount();
    exchange::ExchangeTextWriter file(path.string());
    for (units.first(); !units.eof(); units.next()) {
        for (int i = 0; i < fields - 1; ++i) {
            file.column(fieldText(units, i));
        }
        file.lastColumn("\"" + fieldText(units, fields - 1) + "\"");
    }
    file.close();
}

void TFormout::writeExpertFile(const fs::path& path) {
    static const char* const kColumns[] = {"unitcode", "item_187", "item_180",
                                           "item_181", "item_182", "item_186"};
    store::Table& experts = DM->Tblexpert;
    const QuietRows quiet(experts);
    exchange::ExchangeTextWriter file(path.string());
    for (experts.first(); !experts.eof(); experts.next()) {
        for (const char* column : kColumns) {
            file.column(exchange::ExchangeText(experts.field(column).value()));
        }
        file.lastColumn(exchange::ExchangeText(experts.field("item_124_1").value()));
    }
    file.close();
}

void TFormout::Button2Click() {
    const QString folderText = PackageFolder(ui->Edit1->text());
    const fs::path folder(folderText.toStdString());
    widgets::Dialogs& dialogs = widgets::Dialogs::instance();

    const std::optional<fs::path> oldPackage = exchange::findIgnoringCase(folder, PackageName);
    if (oldPackage &&
        dialogs.message(this, widgets::Icon::Information, kTitle,
                        QStringLiteral("该路径存在上报文件！选择“是”该文件将被覆盖；选择“否”放弃操"
                                       "作。如果需要保存现存文件，需要把该文件保存到到别的文件夹内"
                                       "，再执行该操作！"),
                        widgets::Yes | widgets::No, widgets::Yes) != widgets::Yes) {
        return;
    }
    if (ui->DBGrid1->selectionModel()->selectedRows().isEmpty()) {
        if (dialogs.message(this, widgets::Icon::Information, kTitle,
                            QStringLiteral("请选择您要导出的项目，是否全部选择？"),
                            widgets::Yes | widgets::No, widgets::Yes) != widgets::Yes) {
            return;
        }
        selectEveryRow();
    }

    packSelection(folder, oldPackage);
    widgets::ShowWarning(QStringLiteral("你已打包成功!文件在") + folderText +
                         QString::fromLatin1(PackageName));
}

void TFormout::packSelection(const fs::path& folder, const std::optional<fs::path>& oldPackage) {
    const WaitCursor wait;
    const std::vector<store::Dataset::Bookmark> records = selectedRecords();
    m_exportFolder = QString::fromStdString(folder.string());
    const std::vector<exchange::RecordKey> written =
        writeMainFile(folder / packageFile(0), records);
    // Only the exported records' own rows leave: not the persons, units, committees and patents
    // of the installation's other records.
    for (int table = kFirstChild; table < kFirstChild + kChildCount; ++table) {
        exchange::WriteChildRows(DM->database(), ExchangeTables.at(table).toStdString(), written,
                                 (folder / packageFile(table)).string());
    }
    writeUnitFile(folder / packageFile(kFirstChild + kChildCount));
    writeExpertFile(folder / packageFile(kFirstChild + kChildCount + 1));
    SetDataSetFilter(DM->T_temp_out, {});
    ui->DBGrid1->clearSelection();

    std::vector<std::string> files;
    for (int table = 0; table < ExchangeTables.size(); ++table) {
        files.push_back(packageFile(table));
    }
    std::optional<OldPackage> replaced;
    if (oldPackage) {
        replaced.emplace(*oldPackage);
    }
    exchange::Archiver::instance().pack(folder, PackageName, files);
    // The package stands: the marks follow, and the old package goes.
    markExported(records);
    // Following the cursor selected its row again; nothing stays chosen after an export.
    ui->DBGrid1->clearSelection();
    if (replaced) {
        replaced->drop();
    }
    for (const std::string& file : files) {
        exchange::removeIgnoringCase(folder, file);
    }
}

void TFormout::markExported(const std::vector<store::Dataset::Bookmark>& records) {
    store::Table& main = DM->T_temp_out;
    inOneUnit(main, [&main, &records] {
        for (const store::Dataset::Bookmark record : records) {
            if (main.gotoBookmark(record)) {
                setExportMark(main, "1");
            }
        }
    });
}

void TFormout::Button1Click() {
    SetDataSetFilter(DM->T_temp_out, {});
    ui->Edit1->clear();
    done(QDialog::Accepted);
}

void TFormout::reject() {
    Button1Click();
}

void TFormout::FormClose() {
    if (!m_exportFolder.isEmpty()) {
        const fs::path folder(m_exportFolder.toStdString());
        for (int table = 0; table < kLeftoverCount; ++table) {
            exchange::removeIgnoringCase(folder, packageFile(table));
        }
        m_exportFolder.clear();
    }
    m_mainWindow.QueryRecordList();
    m_mainWindow.MarkIncompletePages();
    m_mainWindow.RenumberList();
    m_mainWindow.LockUntilComplete();
}
