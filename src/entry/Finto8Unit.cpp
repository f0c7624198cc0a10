#include "Finto8Unit.h"

#include <QDateEdit>

#include "CgwcrManage.h"
#include "Clock.h"
#include "CodeLists.h"
#include "RecordPage.h"
#include "RecordRows.h"
#include "SilentAbort.h"
#include "UnitDM.h"
#include "ValueText.h"
#include "Warnings.h"
#include "ui_Finto8Unit.h"

using widgets::valueText;

TFinto8* Finto8 = nullptr;

namespace {

const QString kMonthText = QStringLiteral("yyyy.MM");

QString currentRecordText(const char* field) {
    store::Query& record = DM->Qryhvel;
    return record.recordCount() > 0 ? valueText(record.field(field).value()) : QString();
}

bool noOption(const QComboBox* combo) {
    return combo->currentIndex() < 0 || combo->currentText().isEmpty();
}

// The technical titles "1a", "1b" and "1c" are stored as "a", "b" and "c"; every other title
// as its option code.
QString storedTitle(const QString& optionCode) {
    if (optionCode == QLatin1String("1a") || optionCode == QLatin1String("1b") ||
        optionCode == QLatin1String("1c")) {
        return optionCode.mid(1);
    }
    return optionCode;
}

QString optionTitle(const QString& stored) {
    const QString code = stored.trimmed();
    if (code == QLatin1String("a") || code == QLatin1String("b") || code == QLatin1String("c")) {
        return QLatin1Char('1') + code;
    }
    return code;
}

}  // namespace

TFinto8::TFinto8(QWidget* parent)
    : RowDialog(QStringLiteral("成果完成人员名单"), DM->TblCgwcr, "ITEM_187", parent),
      ui(std::make_unique<Ui::TFinto8>()) {
    ui->setupUi(this);
    setUpFrame(ui->Button1, ui->Button2);
    setChangedQuestion(QStringLiteral("记录已更改,是否保存后退出？"));

    // A new person's name is stored trimmed, an edited one as typed.
    RowField name = textField(ui->edtry_180, "ITEM_180");
    name.value = [this] {
        const QString typed = ui->edtry_180->text();
        return fitted(isAdding() ? typed.trimmed() : typed, "ITEM_180");
    };

    RowField birth("ITEM_182");
    birth.load = [this](const store::Value& stored) { loadBirth(valueText(stored)); };
    birth.value = [this] {
        return store::Value(ui->dtpry_182->date().toString(kMonthText).toStdString());
    };
    birth.unchanged = [this](const store::Value& stored) {
        return ui->dtpry_182->date().toString(kMonthText) == valueText(stored);
    };

    RowField title = codeField(ui->cbry_183, "ITEM_183", 2, false);
    title.load = [this](const store::Value& stored) {
        RecordPage::selectCodeOrKeep(ui->cbry_183, optionTitle(valueText(stored)));
    };
    title.value = [this] {
        return fitted(storedTitle(RecordPage::comboCode(ui->cbry_183, 2, false)), "ITEM_183");
    };
    title.unchanged = [this](const store::Value& stored) {
        return storedTitle(RecordPage::comboCode(ui->cbry_183)) == valueText(stored);
    };

    RowField abroad = codeField(ui->cbry_188, "ITEM_188", 2, false);
    abroad.load = [this](const store::Value& stored) {
        if (valueText(stored).isEmpty()) {
            ui->cbry_188->setCurrentIndex(1);
        } else {
            RecordPage::selectCodeOrKeep(ui->cbry_188, valueText(stored));
        }
    };

    // An edited row is given the record's key again.
    RowField key("ITEM_4");
    key.value = [] { return store::Value(currentRecordText("ITEM_4").toStdString()); };
    RowField region("ITEM_DQDM");
    region.value = [] { return store::Value(currentRecordText("ITEM_DQDM").toStdString()); };

    // In the order of the exit's comparison.
    setFields({
        textField(ui->edtry_185, "ITEM_185"),
        textField(ui->edtry_186, "ITEM_186"),
        name,
        codeField(ui->cbry_181, "ITEM_181", 2, false),
        title,
        codeField(ui->cbry_184, "ITEM_184", 2, false),
        abroad,
        birth,
        key,
        region,
    });
    setMainEdits({ui->edtry_180, ui->edtry_185, ui->edtry_186}, {ui->edtry_180, ui->edtry_186});
}

TFinto8::~TFinto8() = default;

void TFinto8::fillLists() {
    widgets::FillCodeList(DM->Tblzdxx, QStringLiteral("item_181"), ui->cbry_181, true);
    widgets::FillCodeList(DM->Tblzdxx, QStringLiteral("item_183"), ui->cbry_183, true);
    widgets::FillCodeList(DM->Tblzdxx, QStringLiteral("item_184"), ui->cbry_184, true);
    widgets::FillCodeList(DM->Tblzdxx, QStringLiteral("item_188"), ui->cbry_188, true);
}

void TFinto8::FormShow() {
    // Anyone born up to this month can be entered.
    ui->dtpry_182->setDateRange(QDate(1900, 1, 1), widgets::Clock::instance().today());
    RowDialog::FormShow();
}

void TFinto8::clearForAdd() {
    ui->edtry_180->clear();
    ui->cbry_181->setCurrentIndex(0);
    ui->dtpry_182->setDate(widgets::Clock::instance().today().addDays(-10950));
    ui->cbry_183->setCurrentIndex(3);
    ui->cbry_184->setCurrentIndex(2);
    ui->edtry_185->setText(currentRecordText("ITEM_9"));
    ui->edtry_186->clear();
    ui->cbry_188->setCurrentIndex(1);
}

void TFinto8::loadBirth(const QString& stored) {
    QDateEdit* picker = ui->dtpry_182;
    if (stored.trimmed().isEmpty()) {
        picker->setDate(widgets::Clock::instance().today());
        return;
    }
    bool yearOk = false;
    bool monthOk = false;
    const int year = stored.left(4).toInt(&yearOk);
    const int month = stored.mid(5).toInt(&monthOk);
    const QDate date(year, month, 1);
    if (!yearOk || !monthOk || !date.isValid()) {
        widgets::ShowWarning(stored.trimmed() + QStringLiteral("不是正确的出生年月格式！"));
        return;
    }
    // A stored month outside the picker's range widens it rather than being clamped into it,
    // which would change the month on the next save.
    if (date < picker->minimumDate()) {
        picker->setMinimumDate(date);
    }
    if (date > picker->maximumDate()) {
        picker->setMaximumDate(date);
    }
    picker->setDate(date);
}

void TFinto8::checkRow() {
    if (ui->edtry_180->text().trimmed().isEmpty()) {
        widgets::ShowWarningAndAbort(QStringLiteral("姓名不能为空！"));
    }
    if (noOption(ui->cbry_181)) {
        widgets::ShowWarningAndAbort(QStringLiteral("性别不能为空！"));
    }
    if (noOption(ui->cbry_183)) {
        widgets::ShowWarningAndAbort(QStringLiteral("技术职称不能为空！"));
    }
    if (noOption(ui->cbry_184)) {
        widgets::ShowWarningAndAbort(QStringLiteral("文化程度不能为空！"));
    }
}

void TFinto8::afterAppend(store::Dataset& row) {
    recordrows::enterKnownPerson(row, row.recNo() - 1);
}
