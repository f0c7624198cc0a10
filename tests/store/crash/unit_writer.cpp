// The child process of the crash test of units of writes: runs one of the program's writes of
// several rows through its real windows over a prepared program folder, and kills itself with
// SIGKILL just before a chosen change to a file on disk.
//
//   unit_writer <program folder> <operation> <stop>
//
// Operations: rekey, renumber, delete_record, person_add, person_delete, memo_save (each one
// unit of writes), startup_pack (the packs of the data module's creation).
// stop -1: the process ends just before the operation, the folder as the operation finds it.
// stop 0: the operation runs whole; the process prints "changes <n> micros <t>": how many
// changes to files it made and how long it took.
// stop n > 0: the process kills itself just before the operation's n-th change to a file.
// Before the operation it prints "ready", for a parent that kills it at a time of its own.
#include <unistd.h>

#include <QApplication>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>

#include "Application.h"
#include "CgwcrManage.h"
#include "Clock.h"
#include "Dialogs.h"
#include "FileIo.h"
#include "Finto8Unit.h"
#include "Unit1.h"
#include "UnitDM.h"
#include "UnitNew.h"
#include "UnitPage1.h"
#include "Unitpage8.h"
#include "Unittree.h"
#include "ui_CgwcrManage.h"
#include "ui_Unit1.h"
#include "ui_UnitNew.h"
#include "ui_UnitPage1.h"
#include "ui_Unitpage8.h"

namespace {

int stopAt = 0;
int changes = 0;
std::chrono::steady_clock::time_point started;

void countChange() {
    if (++changes == stopAt) {
        std::raise(SIGKILL);
    }
}

// The operation starts now: ends the process for stop -1, else counts the changes from here.
void start() {
    if (stopAt < 0) {
        std::_Exit(0);
    }
    std::printf("ready\n");
    std::fflush(stdout);
    store::setDiskChangeHook(countChange);
    started = std::chrono::steady_clock::now();
}

[[noreturn]] void finish() {
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::now() - started)
                            .count();
    std::printf("changes %d micros %lld\n", changes, static_cast<long long>(micros));
    std::fflush(stdout);
    // No teardown: the folder stays as the operation left it.
    std::_Exit(0);
}

[[noreturn]] void fail(const std::string& why) {
    std::fprintf(stderr, "unit_writer: %s\n", why.c_str());
    std::_Exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        fail("usage: unit_writer <program folder> <operation> <stop>");
    }
    const std::filesystem::path program = argv[1];
    const std::string operation = argv[2];
    stopAt = std::atoi(argv[3]);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's remarks about the test machine (no runtime folder and the like) are not wanted.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg) {
            std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        }
    });
    VelmoraApplication app(argc, argv);
    widgets::ScriptedDialogs dialogs;  // every question is answered with its default
    widgets::FixedClock clock(QDate(2026, 12, 10));

    TDM dm(program);
    DM = &dm;
    if (operation == "startup_pack") {
        start();
        dm.DataModuleCreate();
        finish();
    }
    if (const auto errors = dm.DataModuleCreate(); !errors.empty()) {
        fail(errors.front());
    }
    TMainForm main;
    MainForm = &main;
    TFormTree tree(&main);
    FormTree = &tree;
    TFormNew formNew(&main);
    FormNew = &formNew;
    TFinto8 into8(&main);
    Finto8 = &into8;
    TFpage8 page8(main, &main);
    Fpage8 = &page8;
    TFormWcr wcr(&main);
    FormWcr = &wcr;
    TFpage1 page1(main, tree, &main);
    Fpage1 = &page1;
    main.show();
    Ui::TMainForm* ui = main.form();
    // Choosing the year lists its records and numbers them in list order (renumber does that).
    if (operation != "renumber") {
        ui->cbYear->setCurrentText(QStringLiteral("2004"));
        if (!DM->Qryhvel.locate("ITEM_4", store::Value("2004000001"))) {
            fail("the record 2004000001 is not in the list");
        }
    }

    const std::map<std::string, std::function<void()>> operations = {
        // A new year gives the record a new key, its child rows follow, the list is numbered.
        {"rekey",
         [&] {
             dialogs.onExec = [&](QDialog& shown) {
                 if (&shown == &formNew) {
                     formNew.form()->cbYear->setText(QStringLiteral("2006"));
                     start();
                     formNew.Button1Click();
                 }
             };
             main.Button3Click();
         }},
        {"renumber",
         [&] {
             start();
             ui->cbYear->setCurrentText(QStringLiteral("2004"));
         }},
        {"delete_record",
         [&] {
             start();
             main.Button4Click();
         }},
        // Two known persons added to the record's persons, which are numbered again.
        {"person_add",
         [&] {
             ui->btn_page08->click();
             dialogs.onExec = [&](QDialog& shown) {
                 if (&shown == &wcr) {
                     QItemSelectionModel* selection = wcr.form()->DBGrid1->selectionModel();
                     const auto rows = QItemSelectionModel::Select | QItemSelectionModel::Rows;
                     selection->select(wcr.model().index(0, 0), rows);
                     selection->select(wcr.model().index(2, 0), rows);
                     start();
                     wcr.form()->BitBtn1->click();
                 }
             };
             page8.form()->Button5->click();
         }},
        {"person_delete",
         [&] {
             ui->btn_page08->click();
             page8.model().setCurrentRow(0);
             start();
             page8.form()->Button1->click();
         }},
        // Both memos of the overview replaced by longer ones, in one save of the record.
        {"memo_save",
         [&] {
             page1.loadRecord(DM->Qryhvel);
             page1.form()->Mo_13->setPlainText(QString(400, QChar(0x516C)) +
                                               QStringLiteral("\n第二行"));
             page1.form()->Mo_13_1->setPlainText(QString(700, QChar(0x8BF4)));
             start();
             if (!page1.btnSave01Click()) {
                 fail("the page was not saved");
             }
         }},
    };
    const auto run = operations.find(operation);
    if (run == operations.end()) {
        fail("no operation " + operation);
    }
    run->second();
    if (changes == 0) {
        fail(operation + " changed no file");
    }
    finish();
}
