#include "CgwcrManage.h"

#include <QItemSelectionModel>
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "Database.h"
#include "Dataset.h"
#include "Dialogs.h"
#include "ListPage.h"
#include "RecordRows.h"
#include "SqlText.h"
#include "UnitDM.h"
#include "ui_CgwcrManage.h"

TFormWcr* FormWcr = nullptr;

namespace {

// The columns a new known person takes from a record's person.
const char* const kPersonColumns[] = {"ITEM_180", "ITEM_181", "ITEM_182", "ITEM_183",
                                      "ITEM_184", "ITEM_185", "ITEM_186", "ITEM_188"};

}  // namespace

TFormWcr::TFormWcr(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TFormWcr>()) {
    ui->setupUi(this);
    m_model.setColumns(
        {widgets::listColumn(QStringLiteral("item_180"), QStringLiteral("名称"), 120),
         widgets::listColumn(QStringLiteral("item_185"), QStringLiteral("工作单位"), 380)},
        widgets::DatasetModel::OtherFields::Hidden);
    m_model.setDataset(&DM->TblwcrNew);
    ui->DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    widgets::showDataset(*ui->DBGrid1, m_model);
    connect(ui->DBGrid1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TFormWcr::showSelectedCount);
    connect(ui->BitBtn1, &QAbstractButton::clicked, this, &TFormWcr::BitBtn1Click);
    connect(ui->BitBtn5, &QAbstractButton::clicked, this, &TFormWcr::BitBtn5Click);
    connect(ui->Button1, &QAbstractButton::clicked, this, &TFormWcr::Button1Click);
}

TFormWcr::~TFormWcr() {
    m_model.setDataset(nullptr);
}

QString TFormWcr::selectedCountText() const {
    return QStringLiteral("选择了") +
           QString::number(ui->DBGrid1->selectionModel()->selectedRows().size()) +
           QStringLiteral("记录！");
}

void TFormWcr::showSelectedCount() {
    ui->Label1->setText(selectedCountText());
}

int TFormWcr::showDialog() {
    FormShow();
    return widgets::Dialogs::instance().exec(*this);
}

void TFormWcr::FormShow() {
    store::Table& known = DM->TblwcrNew;
    known.close();
    known.setFilter({});
    known.open();
    // The grid's cursor row is not a choice: nothing is chosen until the user picks.
    ui->DBGrid1->clearSelection();
    ui->Label1->setText(QStringLiteral("请选择记录(按住ctrl键进行多条选择)"));
}

void TFormWcr::BitBtn1Click() {
    showSelectedCount();
    std::vector<int> chosen;
    for (const QModelIndex& index : ui->DBGrid1->selectionModel()->selectedRows()) {
        chosen.push_back(index.row());
    }
    std::sort(chosen.begin(), chosen.end());
    store::Table& known = DM->TblwcrNew;
    const bool all = chosen.empty();
    if (all) {
        const int answer = widgets::Dialogs::instance().message(
            this, widgets::Icon::Information, QStringLiteral("提示信息"),
            QStringLiteral("请选择您要导出的项目，是否全部选择？"), widgets::Yes | widgets::No,
            widgets::Yes);
        if (answer != widgets::Yes) {
            return;
        }
        ui->DBGrid1->selectAll();
        ui->Label1->setText(QStringLiteral("正在载入，请等待！"));
        for (int row = 0; row < known.recordCount(); ++row) {
            chosen.push_back(row);
        }
    }

    // Every chosen person is added and the list renumbered, or nothing is. A name the record
    // already lists, or one chosen twice, is added once.
    store::Table& persons = DM->TblCgwcr;
    store::Query& record = DM->Qryhvel;
    std::set<QString> listed;
    for (int row = 0; row < persons.recordCount(); ++row) {
        listed.insert(recordrows::personName(persons, row));
    }
    int skipped = 0;
    try {
        store::Database::Transaction unit(persons.database());
        for (const int row : chosen) {
            if (!listed.insert(recordrows::personName(known, row)).second) {
                ++skipped;
                continue;
            }
            persons.append();
            recordrows::copyRowByName(known, row, persons);
            persons.field("ITEM_4").set(record.field("ITEM_4").value());
            persons.field("ITEM_DQDM").set(record.field("ITEM_DQDM").value());
            persons.post();
            if (all) {
                ui->Label1->repaint();
            }
        }
        renumberRows(persons, "ITEM_187");
        unit.commit();
    } catch (...) {
        rereadRows(persons);
        throw;
    }
    if (all) {
        showSelectedCount();
    }
    if (skipped > 0) {
        widgets::Dialogs::instance().message(
            this, widgets::Icon::Information, QStringLiteral("提示信息"),
            QStringLiteral("有%1人已在本项目的成果完成人员名单中，未重复添加。").arg(skipped),
            widgets::Ok, widgets::Ok);
    }
    done(QDialog::Accepted);
}

void TFormWcr::BitBtn5Click() {
    done(QDialog::Accepted);
}

void TFormWcr::Button1Click() {
    store::Table& known = DM->TblwcrNew;
    if (known.recordCount() == 0) {
        return;
    }
    const store::Value number = known.field("ITEM_187").value();
    const int answer = widgets::Dialogs::instance().message(
        this, widgets::Icon::Information, QStringLiteral("提示信息"),
        QStringLiteral("是否删除该项目？!"), widgets::Yes | widgets::No, widgets::Yes);
    if (answer != widgets::Yes) {
        return;
    }
    known.deleteRecord();
    known.locate("ITEM_187", number);
}

void TFormWcr::BuildeWcrTable() {
    store::Table& known = DM->TblwcrNew;
    store::Table& persons = DM->TableWcrTemp;
    known.close();
    known.setFilter({});
    known.open();
    persons.close();
    persons.setFilter({});
    persons.open();
    try {
        store::Database::Transaction unit(known.database());
        while (known.recordCount() > 0) {
            known.first();
            known.deleteRecord();
        }
        std::set<std::string> names;
        for (persons.first(); !persons.eof(); persons.next()) {
            if (!names.insert(persons.field("ITEM_180").asText()).second) {
                continue;
            }
            known.append();
            for (const char* column : kPersonColumns) {
                known.field(column).set(persons.field(column).value());
            }
            known.post();
        }
        unit.commit();
    } catch (...) {
        rereadRows(known);
        persons.close();
        throw;
    }
    persons.close();
}
