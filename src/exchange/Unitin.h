#pragma once

#include <QDialog>
#include <QString>
#include <memory>

#include "DatasetModel.h"
#include "ImportMerge.h"
#include "MainWindowOperations.h"
#include "PackageImport.h"
#include "WindowHost.h"

class QCloseEvent;

namespace Ui {
class TFormin;
}

// The import dialog: the user chooses an exchange package, exchange::PackageImport reads its
// text files into the staging tables, and exchange::ImportMerge drops or renames the staged
// records whose names the live records already bear and merges the staged records into the
// live tables under keys of this installation; this dialog asks their questions and shows their
// progress. It also converts old-style packages. The handlers of the merge are in
// UnitinMerge.cpp.
class TFormin : public QDialog,
                private exchange::ReadingProgress,
                private exchange::DuplicateQuestions,
                private exchange::MergeProgress {
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

    // Button states set as a whole: 1 during a merge (everything off, "退出" too, through which
    // alone the window closes), 3 after it (choose and leave), 2 with staged records to work on.
    void SetImportButtons(int state);
    // Shows the staged counts by type.
    void ShowStagedCounts();

    // The folder of the chosen or converted package, with its trailing "/"; empty until one is
    // chosen.
    QString ImportFolder;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Esc leaves through "退出".
    void reject() override;

private:
    // The reading's progress: the reading panel over detached grids.
    void readingStarts() override;
    void readingFile(int table) override;
    void readingEnds() override;
    // The same-name check's question: drop (Yes) or rename (No).
    bool dropDuplicate(const QString& name) override;
    void stagedRecordDropped() override;
    // The merge's progress: every button off, the gauge over detached grids, the main window's
    // list renumbered; at the end, the one place that makes the window usable again.
    void mergeStarts(int stagedRecords) override;
    void recordDone() override;
    void recordFailed(const QString& error) override;
    void liveRecordsStored() override;
    void mergeEnds(bool everyRecordStored) override;

    // Stores every staged record; overwrite replaces live records of the same name first.
    void mergeAll(bool overwrite);
    void showError(const QString& text);
    // Grids of this dialog and of the main window, detached around bulk work.
    void detachGrids();
    void attachGrids();

    widgets::DatasetModel m_model;
    widgets::MainWindowOperations& m_mainWindow;
    std::unique_ptr<Ui::TFormin> ui;
    exchange::PackageImport m_import;
    exchange::ImportMerge m_merge;
    WindowHost m_host;
};

// The program's import dialog, created at start-up.
extern TFormin* Formin;
