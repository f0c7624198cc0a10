#include "Unitout.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QStorageInfo>

#include "Dialogs.h"
#include "RecordGrid.h"
#include "SqlText.h"
#include "UnitDM.h"
#include "Warnings.h"
#include "ui_Unitout.h"

TFormout* Formout = nullptr;

namespace {

const QString kTitle = QStringLiteral("提示信息");

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

}  // namespace

TFormout::TFormout(widgets::MainWindowOperations& mainWindow, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_export(*DM),
      m_mainWindow(mainWindow),
      ui(std::make_unique<Ui::TFormout>()) {
    ui->setupUi(this);
    ui->ComboBox2->hide();

    showRecordNames(*ui->DBGrid1, m_model, 220, 160);
    m_model.setDataset(&DM->T_temp_out);
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

    m_export.reset();
    DM->T_temp_out.close();

    ui->Button2->setEnabled(false);
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

bool TFormout::replacePackage() {
    return widgets::Dialogs::instance().message(
               this, widgets::Icon::Information, kTitle,
               QStringLiteral("该路径存在上报文件！选择“是”该文件将被覆盖；选择“否”放弃操作。如果"
                              "需要保存现存文件，需要把该文件保存到到别的文件夹内，再执行该操作！"),
               widgets::Yes | widgets::No, widgets::Yes) == widgets::Yes;
}

std::vector<int> TFormout::chosenRows() {
    std::vector<int> rows;
    for (const QModelIndex& index : ui->DBGrid1->selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    return rows;
}

bool TFormout::chooseEveryRecord() {
    if (widgets::Dialogs::instance().message(this, widgets::Icon::Information, kTitle,
                                             QStringLiteral("请选择您要导出的项目，是否全部选择？"),
                                             widgets::Yes | widgets::No,
                                             widgets::Yes) != widgets::Yes) {
        return false;
    }
    selectEveryRow();
    return true;
}

void TFormout::busy(bool writing) {
    if (writing) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void TFormout::Button2Click() {
    const QString folderText = PackageFolder(ui->Edit1->text());
    if (!m_export.exportInto(folderText.toStdString(), *this)) {
        return;
    }
    // The grid selected the row its cursor moved to; nothing stays chosen after an export.
    ui->DBGrid1->clearSelection();
    widgets::ShowWarning(QStringLiteral("你已打包成功!文件在") + folderText +
                         QString::fromLatin1(exchange::PackageExport::PackageName));
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
    m_export.removeLeftovers();
    m_mainWindow.QueryRecordList();
    m_mainWindow.MarkIncompletePages();
    m_mainWindow.RenumberList();
    m_mainWindow.LockUntilComplete();
}
