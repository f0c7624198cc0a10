// The main window's section buttons and the buttons that create, modify and delete records
// or open the other dialogs.
#include <exception>

#include "Database.h"
#include "Dataset.h"
#include "Dialogs.h"
#include "PrintUnit.h"
#include "RecordRows.h"
#include "SilentAbort.h"
#include "Unit1.h"
#include "UnitDM.h"
#include "UnitNew.h"
#include "UnitPage1.h"
#include "Unitin.h"
#include "Unitout.h"
#include "Unitpage2.h"
#include "Unitpage3.h"
#include "Unitpage4.h"
#include "Unitpage4a.h"
#include "Unitpage5.h"
#include "Unitpage7.h"
#include "Unitpage8.h"
#include "Unitpage9.h"
#include "ui_Unit1.h"

namespace {

QString currentText(const char* field) {
    store::Query& list = DM->Qryhvel;
    return list.recordCount() > 0 ? QString::fromStdString(list.field(field).asText()) : QString();
}

// Runs "新增" when the list is empty; true when there is a current record to open.
bool haveCurrentRecord() {
    if (DM->Qryhvel.recordCount() == 0) {
        MainForm->Button6Click();
    }
    return DM->Qryhvel.recordCount() > 0;
}

// A section page's caption: the record's name.
QString sectionCaption() {
    return QStringLiteral("成果名称：") + currentText("ITEM_3");
}

void filterToCurrentRecord(store::Table& table) {
    recordrows::filterToRecord(table, currentText("ITEM_4"), currentText("ITEM_DQDM"));
}

}  // namespace

void TMainForm::connectPageHandlers() {
    connect(ui->btn_page01, &QPushButton::clicked, this, &TMainForm::btn_page01Click);
    connect(ui->btn_page02, &QPushButton::clicked, this, &TMainForm::btn_page02Click);
    connect(ui->btn_page03, &QPushButton::clicked, this, &TMainForm::btn_page03Click);
    connect(ui->btn_page04, &QPushButton::clicked, this, &TMainForm::btn_page04Click);
    connect(ui->btn_page05, &QPushButton::clicked, this, &TMainForm::btn_page05Click);
    connect(ui->btn_page07, &QPushButton::clicked, this, &TMainForm::btn_page07Click);
    connect(ui->btn_page08, &QPushButton::clicked, this, &TMainForm::btn_page08Click);
    connect(ui->btn_page09, &QPushButton::clicked, this, &TMainForm::btn_page09Click);
    connect(ui->Button1, &QPushButton::clicked, this, &TMainForm::Button6Click);
    connect(ui->Button5, &QPushButton::clicked, this, &TMainForm::Button3Click);
    connect(ui->Button4, &QPushButton::clicked, this, &TMainForm::Button4Click);
    connect(ui->Button2, &QPushButton::clicked, this, &TMainForm::Button2Click);
    connect(ui->BitBtn1, &QPushButton::clicked, this, &TMainForm::BitBtn1Click);
    connect(ui->BitBtn2, &QPushButton::clicked, this, &TMainForm::BitBtn2Click);
    connect(ui->BitBtn4, &QPushButton::clicked, this, &TMainForm::BitBtn4Click);
}

// ---- section pages ------------------------------------------------------------------------

void TMainForm::btn_page01Click() {
    if (!haveCurrentRecord() || Fpage1 == nullptr) {
        return;
    }
    Fpage1->loadRecord(DM->Qryhvel);
    Fpage1->setWindowTitle(sectionCaption());
    Fpage1->showPage();
}

void TMainForm::btn_page02Click() {
    if (!haveCurrentRecord() || Fpage2 == nullptr) {
        return;
    }
    // Loading, caption and the page itself run inside one guard: an error is reported as a
    // loading error.
    try {
        Fpage2->loadRecord(DM->Qryhvel);
        Fpage2->setWindowTitle(sectionCaption());
        Fpage2->showPage();
    } catch (const SilentAbort&) {
    } catch (const std::exception& error) {
        TFpage2::ShowLoadError(error);
    }
}

void TMainForm::btn_page03Click() {
    if (!haveCurrentRecord() || Fpage3 == nullptr) {
        return;
    }
    Fpage3->loadRecord(DM->Qryhvel);
    Fpage3->setWindowTitle(sectionCaption());
    Fpage3->showPage();
}

void TMainForm::btn_page04Click() {
    if (!haveCurrentRecord() || Fpage4 == nullptr) {
        return;
    }
    Fpage4->loadRecord(DM->Qryhvel);
    Fpage4->useProfileWhenUnset();
    Fpage4->setWindowTitle(sectionCaption());
    Fpage4->showPage();
}

void TMainForm::btn_page05Click() {
    if (!haveCurrentRecord()) {
        return;
    }
    filterToCurrentRecord(DM->TblCgwcdw);
    if (Fpage5 != nullptr) {
        Fpage5->setWindowTitle(sectionCaption());
        Fpage5->showPage();
    }
}

void TMainForm::btn_page07Click() {
    if (!haveCurrentRecord()) {
        return;
    }
    filterToCurrentRecord(DM->Tbljdwyhmd);
    if (Fpage7 != nullptr) {
        Fpage7->setWindowTitle(sectionCaption());
        Fpage7->showPage();
    }
}

void TMainForm::btn_page08Click() {
    if (!haveCurrentRecord()) {
        return;
    }
    filterToCurrentRecord(DM->TblCgwcr);
    if (Fpage8 != nullptr) {
        Fpage8->setWindowTitle(sectionCaption());
        Fpage8->showPage();
    }
}

void TMainForm::btn_page09Click() {
    if (!haveCurrentRecord() || Fpage9 == nullptr) {
        return;
    }
    Fpage9->loadRecord(DM->Qryhvel);
    Fpage9->setWindowTitle(sectionCaption());
    Fpage9->showPage();
}

// ---- the record dialog and deletion -------------------------------------------------------

void TMainForm::Button6Click() {
    if (FormNew == nullptr) {
        return;
    }
    FormNew->showNew();
}

void TMainForm::Button3Click() {
    OldKey = currentText("ITEM_4");
    OldName = currentText("ITEM_3");
    if (DM->Qryhvel.recordCount() == 0) {
        widgets::Dialogs::instance().message(
            this, widgets::Icon::Question, QStringLiteral("请注意！"),
            QStringLiteral("当前没有可以修改的项目"), widgets::Ok, widgets::Ok);
        return;
    }
    if (FormNew == nullptr) {
        return;
    }
    const QString type = currentText("ITEM_CGLB");
    FormNew->showModify(type == QLatin1String("2")   ? 1
                        : type == QLatin1String("3") ? 2
                                                     : 0,
                        OldKey.left(4), currentText("ITEM_120"), OldName, currentText("ITEM_9"));
}

void TMainForm::Button4Click() {
    store::Query& list = DM->Qryhvel;
    if (list.recordCount() == 0) {
        return;
    }
    const int answer = widgets::Dialogs::instance().message(
        this, widgets::Icon::Information, QStringLiteral("提示信息"),
        QStringLiteral("是否删除'") + currentText("ITEM_3") + QStringLiteral("'项目?"),
        widgets::Yes | widgets::No, widgets::Yes);
    if (answer != widgets::Yes) {
        return;
    }
    const QString number = currentText("NO");
    const QString key = currentText("ITEM_4");
    const QString region = currentText("ITEM_DQDM");

    // The record, its child rows and the list's new numbers go together or not at all.
    store::Database& db = DM->database();
    try {
        store::Database::Transaction unit(db);
        for (store::Table* children : recordrows::childTables()) {
            recordrows::filterToRecord(*children, key, region);
            while (children->recordCount() > 0) {
                children->first();
                children->deleteRecord();
            }
        }
        DeleteRecordRows(list, QStringLiteral("item_4"), key);
        RenumberList();
        unit.commit();
    } catch (...) {
        // The unit has rolled the files back; read them again.
        recordrows::reopenChildTables();
        QueryRecordList();
        throw;
    }
    // The row that took the deleted one's number becomes current; the marks and the lock
    // then describe that row.
    list.locate("NO", store::Value(number.trimmed().toStdString()));
    MarkIncompletePages();
    LockUntilComplete();
}

// ---- the other dialogs --------------------------------------------------------------------

void TMainForm::Button2Click() {
    if (Fpage4a == nullptr) {
        return;
    }
    // The registering unit is the first row of unit.dbf; an empty table gives an empty page.
    store::Table& unit = DM->Tblunit;
    if (!unit.active()) {
        unit.open();
    }
    unit.first();
    Fpage4a->loadRecord(unit);
    Fpage4a->showPage();
}

void TMainForm::BitBtn1Click() {
    // The dialog refreshes this window itself when it closes.
    if (Formin != nullptr) {
        Formin->showDialog();
    }
}

void TMainForm::BitBtn2Click() {
    if (Formout != nullptr) {
        Formout->showDialog();
    }
}

void TMainForm::BitBtn4Click() {
    MarkIncompletePages();
    if (!LockUntilComplete() || DM->Qryhvel.recordCount() == 0) {
        return;
    }
    for (store::Table* children : recordrows::childTables()) {
        filterToCurrentRecord(*children);
    }
    if (PrintForm != nullptr) {
        PrintForm->showDialog();
    }
}
