#pragma once

#include <QDialog>
#include <QString>
#include <memory>
#include <vector>

#include "DatasetModel.h"
#include "MainWindowOperations.h"
#include "PackageExport.h"

class QFileSystemModel;

namespace Ui {
class TFormout;
}

// The export dialog: the user chooses the records and the folder, and exchange::PackageExport
// writes them with their child rows, the registering unit and its discipline leaders into one
// package there; this dialog asks its questions.
class TFormout : public QDialog, private exchange::ExportQuestions {
    Q_OBJECT

public:
    explicit TFormout(widgets::MainWindowOperations& mainWindow, QWidget* parent = nullptr);
    ~TFormout() override;

    Ui::TFormout* form() const { return ui.get(); }
    widgets::DatasetModel& model() { return m_model; }

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
    // The export's questions.
    bool replacePackage() override;
    std::vector<int> chosenRows() override;
    bool chooseEveryRecord() override;
    // The hourglass while the files are written and packed.
    void busy(bool writing) override;

    void selectEveryRow();
    void showSelectedCount();
    void showRadioHint();
    void showFolder(const QString& path);

    widgets::DatasetModel m_model;
    QFileSystemModel* m_folders = nullptr;
    // The folder the folder list is on; the next showing starts there.
    QString m_folder;
    exchange::PackageExport m_export;
    widgets::MainWindowOperations& m_mainWindow;
    std::unique_ptr<Ui::TFormout> ui;
};

// The program's export window, created at start-up.
extern TFormout* Formout;
