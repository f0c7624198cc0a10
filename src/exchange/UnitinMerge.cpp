// The import dialog's merge: the same-name check, renaming, storing under new keys and the
// same-name overwrite.
#include <QCoreApplication>
#include <array>
#include <stdexcept>

#include "Database.h"
#include "Dataset.h"
#include "Dialogs.h"
#include "RecordRows.h"
#include "SqlText.h"
#include "UnitDM.h"
#include "Unitin.h"
#include "Warnings.h"
#include "ui_Unitin.h"

namespace {

QString text(store::Dataset& dataset, const char* field) {
    return QString::fromStdString(dataset.field(field).asText()).trimmed();
}

QString quoted(const QString& value) {
    return QLatin1Char('\'') + QuoteSqlText(value) + QLatin1Char('\'');
}

// The rows of one record: its key and its region, where an empty region is stored as null.
QString recordCondition(const QString& key, const QString& region) {
    const QString regionTerm = region.isEmpty()
                                   ? QStringLiteral("(item_dqdm is null or item_dqdm='')")
                                   : QStringLiteral("item_dqdm=") + quoted(region);
    return QStringLiteral("item_4=") + quoted(key) + QStringLiteral(" and ") + regionTerm;
}

void runSql(const QString& sql) {
    DM->database().run(sql.toStdString());
}

// The staged child tables, in the order their rows are stored, with the live table each goes
// to.
struct ChildCopy {
    const char* staged;
    store::Table* live;
    bool persons;
};

std::array<ChildCopy, 4> childCopies() {
    return {{{"zlqktemp", &DM->tblzlqk, false},
             {"cgwcrtemp", &DM->TblCgwcr, true},
             {"jdwyhmdtemp", &DM->Tbljdwyhmd, false},
             {"cgwcdwtemp", &DM->TblCgwcdw, false}}};
}

// Appends row of rows to live, field by field by position, under key and region ".".
void copyRow(store::Dataset& rows, int row, store::Table& live, const QString& key) {
    if (!live.active()) {
        live.open();
    }
    live.append();
    recordrows::copyRowByPosition(rows, row, live);
    live.field("item_4").set(store::Value(key.toStdString()));
    live.field("item_dqdm").set(store::Value("."));
    live.post();
}

// The datasets a merge writes read their files again after a unit of writes was rolled back.
void rereadMergedTables() {
    for (store::Dataset* rows : std::initializer_list<store::Dataset*>{
             &DM->T_temp_in, &DM->T_temp_out, &DM->tblzlqk, &DM->TblCgwcr, &DM->Tbljdwyhmd,
             &DM->TblCgwcdw, &DM->TblwcrNew}) {
        rereadRows(*rows);
    }
}

bool isDigits(const QString& text) {
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return false;
        }
    }
    return !text.isEmpty();
}

// Why the current staged record cannot be stored, or an empty text when it can: a record
// without one of the three types shows in no list of the main window, and its key must begin
// with the year that the new key is made from.
QString refusal(store::Dataset& staged) {
    const QString name = QString::fromStdString(staged.field("ITEM_3").asText());
    const QString type = text(staged, "ITEM_CGLB");
    const QString key = text(staged, "ITEM_4");
    const QString record = QStringLiteral("“") + name + QStringLiteral("”：");
    if (type != QLatin1String("1") && type != QLatin1String("2") && type != QLatin1String("3")) {
        return record + QStringLiteral("成果类别“") + type + QStringLiteral("”不是1、2或3");
    }
    if (key.size() != 10 || !isDigits(key)) {
        return record + QStringLiteral("成果编号“") + key +
               QStringLiteral("”不是四位年份加六位序号");
    }
    return {};
}

// The key a staged record is stored under: above the highest key of its year, or its own key
// when this installation has no record of that year.
QString newRecordKey(const QString& stagedKey) {
    const QString year = stagedKey.left(4);
    const store::ResultSet same = DM->database().run(
        "select count(*) from hvel where item_4 like '" + year.toStdString() + "%'", {},
        store::Database::Access::ReadOnly);
    const bool yearKnown = !same.rows.empty() && same.rows[0][0].asNumber() > 0;
    return yearKnown ? recordrows::nextRecordKey(year) : stagedKey;
}

}  // namespace

void DeleteRecordChildren(const QString& key, const QString& region) {
    for (const char* table : {"zlqk", "cgwcdw", "cgwcr", "jdwyhmd"}) {
        runSql(QStringLiteral("delete from ") + QLatin1String(table) + QStringLiteral(" where ") +
               recordCondition(key, region));
    }
}

void TFormin::SetImportButtons(int state) {
    const bool choose = state == 3;
    const bool work = state == 2;
    ui->Button1->setEnabled(choose);
    ui->Button3->setEnabled(false);
    for (QPushButton* button : {ui->Button4, ui->Button6, ui->Button7, ui->Button8}) {
        button->setEnabled(work);
    }
    ui->Button5->setEnabled(state != 1);
}

void TFormin::DeleteTempChildren() {
    store::Table& staged = DM->T_temp_in;
    const QString condition = recordCondition(text(staged, "ITEM_4"), text(staged, "ITEM_DQDM"));
    for (const char* table : {"zlqktemp", "cgwcdwtemp", "cgwcrtemp", "jdwyhmdtemp"}) {
        runSql(QStringLiteral("delete from ") + QLatin1String(table) + QStringLiteral(" where ") +
               condition);
    }
}

void TFormin::EmptyTempChildTables() {
    for (const char* table : {"zlqktemp", "cgwcdwtemp", "cgwcrtemp", "jdwyhmdtemp"}) {
        runSql(QStringLiteral("delete from ") + QLatin1String(table));
    }
}

QString TFormin::CommitImportedRecord() {
    store::Table& staged = DM->T_temp_in;
    const int row = staged.recNo() - 1;
    const QString oldKey = text(staged, "ITEM_4");
    const QString region = text(staged, "ITEM_DQDM");
    if (const QString refused = refusal(staged); !refused.isEmpty()) {
        throw std::runtime_error(refused.toStdString());
    }
    try {
        store::Database::Transaction unit(staged.database());
        const QString key = newRecordKey(oldKey);
        store::Query& rows = DM->tempquery;
        for (const ChildCopy& child : childCopies()) {
            RunQuerySql(rows, QStringLiteral("select * from ") + QLatin1String(child.staged) +
                                  QStringLiteral(" where ") + recordCondition(oldKey, region));
            for (int i = 0; i < rows.recordCount(); ++i) {
                copyRow(rows, i, *child.live, key);
                if (child.persons) {
                    recordrows::enterKnownPerson(rows, i);
                }
            }
        }
        // The main row is the staged record itself, not a search by its key and name, which
        // could find a record of another region as well.
        copyRow(staged, row, DM->T_temp_out, key);
        DeleteTempChildren();
        staged.setRecNo(row + 1);
        staged.deleteRecord();
        unit.commit();
        return key;
    } catch (...) {
        rereadMergedTables();
        throw;
    }
}

bool TFormin::mergeCurrent(bool overwrite) {
    store::Table& staged = DM->T_temp_in;
    try {
        store::Database::Transaction unit(staged.database());
        bool replaced = false;
        if (overwrite) {
            store::Query& same = DM->tempquery;
            RunQuerySql(same, QStringLiteral("select * from hvel where item_3=") +
                                  quoted(text(staged, "ITEM_3")));
            if (same.recordCount() > 0) {
                same.first();
                const QString key = text(same, "ITEM_4");
                const QString region = text(same, "ITEM_DQDM");
                DeleteRecordChildren(key, region);
                runSql(QStringLiteral("delete from hvel where ") + recordCondition(key, region));
                rereadRows(DM->T_temp_out);
                replaced = true;
            }
        }
        CommitImportedRecord();
        unit.commit();
        return replaced;
    } catch (...) {
        rereadMergedTables();
        throw;
    }
}

// Leaves the loop on the first staged record whose name a live record bears, after the user
// chose to rename it; drops those the user chose to drop.
void TFormin::Button4Click() {
    store::Table& staged = DM->T_temp_in;
    auto& dialogs = widgets::Dialogs::instance();
    staged.first();
    while (!staged.eof()) {
        const QString name = text(staged, "ITEM_3");
        RunQuerySql(DM->tempquery,
                    QStringLiteral("select * from hvel where item_3=") + quoted(name));
        if (DM->tempquery.recordCount() == 0) {
            staged.next();
            continue;
        }
        const QString stagedName = QString::fromStdString(staged.field("ITEM_3").asText());
        const int answer = dialogs.message(
            this, widgets::Icon::Question, QStringLiteral("请注意！"),
            QStringLiteral("导入的项目“") + stagedName + QStringLiteral("”有重复,是否删除？"),
            widgets::Yes | widgets::No, widgets::Yes);
        if (answer == widgets::Yes) {
            deleteStagedRecord();
            staged.first();
            ShowStagedCounts();
            continue;
        }
        ui->Edit2->setText(stagedName);
        for (QWidget* control :
             std::initializer_list<QWidget*>{ui->Button1, ui->Button3, ui->Button4, ui->Button5,
                                             ui->Button6, ui->Button8, ui->Button7, ui->DBGrid1}) {
            control->setEnabled(false);
        }
        ui->Panel1->show();
        ui->Edit2->setFocus();
        return;
    }
    dialogs.message(this, widgets::Icon::None, QStringLiteral("状态！"),
                    QStringLiteral("排重已经完成！"), widgets::Ok, widgets::Ok);
    if (staged.recordCount() > 0) {
        ui->Button6->setEnabled(true);
    } else {
        ui->Button1->setEnabled(true);
        ui->Button4->setEnabled(false);
        ui->Button7->setEnabled(false);
        ui->Button8->setEnabled(false);
    }
}

void TFormin::Button2Click() {
    store::Table& staged = DM->T_temp_in;
    QString error;
    try {
        staged.edit();
        staged.field("ITEM_3").set(store::Value(ui->Edit2->text().toStdString()));
        staged.post();
    } catch (const std::exception& e) {
        if (staged.state() != store::Dataset::State::Browse) {
            staged.cancel();
        }
        error = QString::fromUtf8(e.what());
    }
    for (QWidget* control : std::initializer_list<QWidget*>{ui->Button5, ui->Button4, ui->Button7,
                                                            ui->Button8, ui->DBGrid1}) {
        control->setEnabled(true);
    }
    ui->Panel1->hide();
    if (!error.isEmpty()) {
        showError(error);
    }
}

void TFormin::mergeAll(bool overwrite) {
    store::Table& staged = DM->T_temp_in;
    m_merging = true;
    SetImportButtons(1);
    staged.first();
    ui->Panelstat->show();
    detachGrids();
    ui->Gauge1->setRange(0, staged.recordCount());
    ui->Gauge1->setValue(0);

    // Each staged record is stored whole or not at all; one that fails stays staged, its
    // error shown, and the others go on.
    int added = 0;
    int replaced = 0;
    int failed = 0;
    QStringList refusals;
    int row = 0;
    while (row < staged.recordCount()) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        staged.setRecNo(row + 1);
        if (overwrite && text(staged, "ITEM_3").isEmpty()) {
            ++row;  // a record without a name is not stored
        } else if (const QString refused = refusal(staged); !refused.isEmpty()) {
            // Told once at the end, with the others; the live record of its name stays.
            refusals << refused;
            ++failed;
            ++row;
        } else {
            try {
                (mergeCurrent(overwrite) ? replaced : added) += 1;
            } catch (const std::exception& e) {
                ++failed;
                ++row;
                showError(QString::fromUtf8(e.what()));
            }
        }
        ui->Gauge1->setValue(ui->Gauge1->value() + 1);
    }

    try {
        if (failed == 0) {
            // The staging tables are emptied together or not at all.
            store::Database::Transaction unit(DM->database());
            EmptyTempChildTables();
            runSql(QStringLiteral("delete from hveltemp"));
            unit.commit();
        }
        staged.refresh();
        RunQuerySql(DM->Qryhvel, QString::fromStdString(DM->Qryhvel.sql()));
        m_mainWindow.RenumberList();
    } catch (...) {
        // The window stays usable: what is still staged can be stored again or dropped.
        ui->Panelstat->hide();
        attachGrids();
        m_merging = false;
        SetImportButtons(2);
        throw;
    }
    ui->Panelstat->hide();
    attachGrids();
    m_merging = false;

    const QString counts =
        overwrite ? QStringLiteral("新增%1条,覆盖%2条。").arg(added).arg(replaced) : QString();
    if (failed > 0) {
        SetImportButtons(2);
        ShowStagedCounts();
        QString text = QStringLiteral("入库未完成！") + counts + QString::number(failed) +
                       QStringLiteral("条记录未能入库，仍在导入列表中。");
        // The reasons of the first few: a box of a thousand lines helps nobody.
        constexpr int kShownReasons = 10;
        for (int i = 0; i < refusals.size() && i < kShownReasons; ++i) {
            text += QLatin1Char('\n') + refusals[i] + QStringLiteral("，不能入库。");
        }
        if (refusals.size() > kShownReasons) {
            text +=
                QStringLiteral("\n……另有%1条同样不能入库。").arg(refusals.size() - kShownReasons);
        }
        widgets::ShowWarning(text);
        return;
    }
    SetImportButtons(3);
    ui->Label6->setText(QStringLiteral("导入完毕。"));
    ui->Label2->clear();
    widgets::ShowWarning(overwrite ? QStringLiteral("入库完毕！") + counts
                                   : QStringLiteral("入库完毕!"));
}

void TFormin::Button6Click() {
    mergeAll(false);
}

void TFormin::Button8Click() {
    mergeAll(true);
}
