#include "UnitDuoyu.h"

#include <QCloseEvent>

#include "Database.h"
#include "Dataset.h"
#include "Dialogs.h"
#include "RecordRows.h"
#include "UnitDM.h"
#include "Unitin.h"
#include "ui_UnitDuoyu.h"

TFormDuoyu* FormDuoyu = nullptr;

TFormDuoyu::TFormDuoyu(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TFormDuoyu>()) {
    ui->setupUi(this);
    m_model.setColumns(
        {widgets::listColumn(QStringLiteral("ITEM_3"), QStringLiteral("成果名称"), 280),
         widgets::listColumn(QStringLiteral("ITEM_9"), QStringLiteral("完成单位"), 200)});
    m_model.setDataset(&DM->Query2);
    ui->DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    widgets::showDataset(*ui->DBGrid1, m_model);
    connect(ui->Button1, &QPushButton::clicked, this, &TFormDuoyu::Button1Click);
    connect(ui->Button2, &QPushButton::clicked, this, &TFormDuoyu::Button2Click);
}

TFormDuoyu::~TFormDuoyu() {
    m_model.setDataset(nullptr);
}

int TFormDuoyu::showDialog() {
    return widgets::Dialogs::instance().exec(*this);
}

bool TFormDuoyu::FormCloseQuery() {
    store::Query& rows = DM->Query2;
    if (rows.active() && rows.recordCount() >= 2) {
        widgets::Dialogs::instance().message(
            this, widgets::Icon::Information, QStringLiteral("提示信息"),
            QStringLiteral("还有重复信息，请删除。"), widgets::Ok, widgets::Ok);
        return false;
    }
    return true;
}

void TFormDuoyu::Button1Click() {
    store::Query& rows = DM->Query2;
    if (rows.active() && rows.recordCount() > 1) {
        // The record goes with its child rows, or not at all.
        try {
            store::Database::Transaction unit(rows.database());
            DeleteRecordChildren(
                QString::fromStdString(rows.field("ITEM_4").asText()).trimmed(),
                QString::fromStdString(rows.field("ITEM_DQDM").asText()).trimmed());
            rows.deleteRecord();
            unit.commit();
        } catch (...) {
            rereadRows(rows);
            throw;
        }
    }
    if (FormCloseQuery()) {
        done(QDialog::Accepted);
    }
}

void TFormDuoyu::Button2Click() {
    if (FormCloseQuery()) {
        done(QDialog::Accepted);
    }
}

void TFormDuoyu::closeEvent(QCloseEvent* event) {
    event->ignore();
    Button2Click();
}

void TFormDuoyu::reject() {
    Button2Click();
}
