#pragma once

#include <QDialog>
#include <QString>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "Dataset.h"
#include "DatasetModel.h"
#include "ExportRows.h"
#include "MainWindowOperations.h"

class QFileSystemModel;

namespace Ui {
class TFormout;
}

// The export dialog: the chosen records with their child rows, the registering unit and its
// discipline leaders are written as exchange text files into a folder and packed there into
// one package.
class TFormout : public QDialog {
    Q_OBJECT

public:
    explicit TFormout(widgets::MainWindowOperations& mainWindow, QWidget* parent = nullptr);
    ~TFormout() override;

    Ui::TFormout* form() const { return ui.get(); }
    widgets::DatasetModel& model() { return m_model; }

    // The package's name, exactly as written.
    static const char* const PackageName;
    // The folder of an export folder's text: trimmed, with a separator at the end.
    static QString PackageFolder(const QString& folderText);
    // A folder as the folder edit shows it: without a trailing separator, except the root.
    static QString FolderText(const QString& path);

    // FormShow, then the window modally through the dialogs seam.
    int showDialog();
    // Year list, export marks reset, the grid empty until a range is chosen.
    void FormShow();
    // "全部" (click and double click): every record, selected.
    void RadioButton5Click();
    // "年份": the year list.
    void RadioButton7Click();
    // A year chosen: the records of that year, selected.
    void ComboBox2Change();
    void DriveComboBox1Change();
    void DirectoryListBox1Change();
    // "导出": writes the files of the package and packs them.
    void Button2Click();
    // "退出".
    void Button1Click();
    // Removes the files an unfinished export left and refreshes the main window.
    void FormClose();

    // Escape leaves as "退出" does, so the record table is never left closed or filtered.
    void reject() override;

private:
    void selectEveryRow();
    void showSelectedCount();
    void showRadioHint();
    // The record numbers of the selected rows, in grid order.
    std::vector<store::Dataset::Bookmark> selectedRecords();
    // Writes the main file of records; returns the keys of the records written, in order.
    std::vector<exchange::RecordKey> writeMainFile(
        const std::filesystem::path& path, const std::vector<store::Dataset::Bookmark>& records);
    void writeUnitFile(const std::filesystem::path& path);
    void writeExpertFile(const std::filesystem::path& path);
    // Writes the files of the selected records into folder and packs them there; the old
    // package, when there is one, is replaced only by a package that stands.
    void packSelection(const std::filesystem::path& folder,
                       const std::optional<std::filesystem::path>& oldPackage);
    void markExported(const std::vector<store::Dataset::Bookmark>& records);
    void showFolder(const QString& path);

    widgets::DatasetModel m_model;
    QFileSystemModel* m_folders = nullptr;
    // The folder the folder list is on; the next showing starts there.
    QString m_folder;
    // The package folder of this showing's last export, where closing removes leftovers.
    QString m_exportFolder;
    widgets::MainWindowOperations& m_mainWindow;
    std::unique_ptr<Ui::TFormout> ui;
};

// The program's export window, created at start-up.
extern TFormout* Formout;
