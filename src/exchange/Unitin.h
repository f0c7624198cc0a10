#pragma once

#include <QDialog>
#include <QString>
#include <memory>
#include <optional>

#include "Archiver.h"
#include "DatasetModel.h"
#include "MainWindowOperations.h"

class QCloseEvent;

namespace Ui {
class TFormin;
}

// The import dialog: unpacks an exchange package, reads its text files into the staging
// tables, lets the user drop or rename staged records whose names the live records already
// bear, and merges the staged records into the live tables under keys of this installation.
// The handlers of the merge are in UnitinMerge.cpp.
class TFormin : public QDialog {
    Q_OBJECT

public:
    explicit TFormin(widgets::MainWindowOperations& mainWindow, QWidget* parent = nullptr);
    ~TFormin() override;

    Ui::TFormin* form() const { return ui.get(); }
    widgets::DatasetModel& model() { return m_model; }

    // FormShow, then the dialog modally through the dialogs seam.
    int showDialog();

    // Empties the staging tables and sets the buttons for choosing a package.
    void FormShow();
    // "请选择导入文件": chooses the package and unpacks it into a folder of the temporary space.
    void Button1Click();
    // "导入": reads the unpacked text files into the staging tables.
    void Button3Click();
    // "删除": drops the current staged record with its staged child rows.
    void Button7Click();
    // "退出": offers to store what is staged, refreshes the main window and closes.
    void Button5Click();

    // "排重": each staged record whose name a live record bears is dropped or renamed.
    void Button4Click();
    // "确定" of the rename panel.
    void Button2Click();
    // "保存": every staged record is stored under a new key.
    void Button6Click();
    // "同名覆盖": live records of a staged record's name are replaced by it.
    void Button8Click();
    // "改名": converts an old-style package "DOVA<code>.ARJ" into "dovaqy.arj" in its folder.
    void Label7Click();

    // Button states set as a whole: 1 during a merge (everything off), 3 after it (choose and
    // leave), 2 with staged records to work on.
    void SetImportButtons(int state);
    // Shows the staged counts by type.
    void ShowStagedCounts();

    // Stores the current staged record with its staged child rows under a new key and removes
    // them from the staging tables, as one unit of writes; returns the key. On failure nothing
    // of it has been written and the error is thrown.
    QString CommitImportedRecord();
    // Deletes the staged child rows of the current staged record.
    void DeleteTempChildren();
    // Empties the four staged child tables.
    void EmptyTempChildTables();

    // The folder of the chosen or converted package, with its trailing "/"; empty until one is
    // chosen.
    QString ImportFolder;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Esc leaves through "退出".
    void reject() override;

private:
    // Switches T_temp_in to the staging table of exchange name (closed, unfiltered, opened).
    void openStagingTable(const QString& exchangeName);
    // The staged record under the cursor and its staged child rows go, as one unit.
    void deleteStagedRecord();
    // The names of every file of a package.
    QStringList allTextFiles() const;
    // Stores every staged record; overwrite replaces live records of the same name first.
    void mergeAll(bool overwrite);
    // Stores the current staged record, replacing the live record of its name when overwrite;
    // true when it replaced one.
    bool mergeCurrent(bool overwrite);
    void showError(const QString& text);
    // Grids of this dialog and of the main window, detached around bulk work.
    void detachGrids();
    void attachGrids();

    widgets::DatasetModel m_model;
    widgets::MainWindowOperations& m_mainWindow;
    std::unique_ptr<Ui::TFormin> ui;
    // The files of the chosen package, unpacked, until "导入" has read them.
    std::optional<exchange::UnpackFolder> m_unpacked;
    bool m_merging = false;
};

// Deletes the child rows (patents, co-completing units, persons, committee) of the record
// keyed key and region.
void DeleteRecordChildren(const QString& key, const QString& region);

// The program's import dialog, created at start-up.
extern TFormin* Formin;
