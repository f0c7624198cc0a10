// The import dialog's merge: the same-name check, renaming, storing under new keys and the
// same-name overwrite, each run by exchange::ImportMerge; here its questions and progress.
#include <stdexcept>

#include "Dataset.h"
#include "Dialogs.h"
#include "UnitDM.h"
#include "Unitin.h"
#include "Warnings.h"
#include "ui_Unitin.h"

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

bool TFormin::dropDuplicate(const QString& name) {
    return widgets::Dialogs::instance().message(
               this, widgets::Icon::Question, QStringLiteral("请注意！"),
               QStringLiteral("导入的项目“") + name + QStringLiteral("”有重复,是否删除？"),
               widgets::Yes | widgets::No, widgets::Yes) == widgets::Yes;
}

void TFormin::stagedRecordDropped() {
    ShowStagedCounts();
}

// Leaves the check on the first staged record whose name a live record bears, after the user
// chose to rename it; drops those the user chose to drop.
void TFormin::Button4Click() {
    if (const std::optional<QString> kept = m_merge.removeDuplicates(*this)) {
        ui->Edit2->setText(*kept);
        for (QWidget* control :
             std::initializer_list<QWidget*>{ui->Button1, ui->Button3, ui->Button4, ui->Button5,
                                             ui->Button6, ui->Button8, ui->Button7, ui->DBGrid1}) {
            control->setEnabled(false);
        }
        ui->Panel1->show();
        ui->Edit2->setFocus();
        return;
    }
    widgets::Dialogs::instance().message(this, widgets::Icon::None, QStringLiteral("状态！"),
                                         QStringLiteral("排重已经完成！"), widgets::Ok,
                                         widgets::Ok);
    if (DM->T_temp_in.recordCount() > 0) {
        ui->Button6->setEnabled(true);
    } else {
        ui->Button1->setEnabled(true);
        ui->Button4->setEnabled(false);
        ui->Button7->setEnabled(false);
        ui->Button8->setEnabled(false);
    }
}

void TFormin::Button2Click() {
    QString error;
    try {
        m_merge.renameCurrent(ui->Edit2->text());
    } catch (const std::exception& e) {
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

void TFormin::mergeStarts(int stagedRecords) {
    SetImportButtons(1);
    ui->Panelstat->show();
    detachGrids();
    ui->Gauge1->setRange(0, stagedRecords);
    ui->Gauge1->setValue(0);
}

void TFormin::recordDone() {
    ui->Gauge1->setValue(ui->Gauge1->value() + 1);
}

void TFormin::recordFailed(const QString& error) {
    showError(error);
}

void TFormin::liveRecordsStored() {
    m_mainWindow.RenumberList();
}

void TFormin::mergeEnds(bool everyRecordStored) {
    ui->Panelstat->hide();
    attachGrids();
    SetImportButtons(everyRecordStored ? 3 : 2);
}

void TFormin::mergeAll(bool overwrite) {
    const exchange::MergeOutcome outcome = m_merge.storeAll(overwrite, *this, m_host);
    const QString counts =
        overwrite ? QStringLiteral("新增%1条,覆盖%2条。").arg(outcome.added).arg(outcome.replaced)
                  : QString();
    if (outcome.failed > 0) {
        ShowStagedCounts();
        QString text = QStringLiteral("入库未完成！") + counts + QString::number(outcome.failed) +
                       QStringLiteral("条记录未能入库，仍在导入列表中。");
        // The reasons of the first few: a box of a thousand lines helps nobody.
        constexpr int kShownReasons = 10;
        const QStringList& refusals = outcome.refusals;
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

void TFormin::showError(const QString& text) {
    widgets::Dialogs::instance().message(this, widgets::Icon::None, QStringLiteral("提示"), text,
                                         widgets::Ok, widgets::Ok);
}
