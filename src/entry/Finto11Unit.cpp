#include "Finto11Unit.h"

#include <QComboBox>
#include <QLineEdit>
#include <optional>

#include "CodeLists.h"
#include "Dataset.h"
#include "Dialogs.h"
#include "Product.h"
#include "SilentAbort.h"
#include "UnitDM.h"
#include "Unitpage4a.h"
#include "ValueText.h"
#include "Warnings.h"
#include "ui_Finto11Unit.h"

using widgets::valueText;

TFinto11* Finto11 = nullptr;

namespace {

QString rightTrimmed(QString text) {
    while (!text.isEmpty() && text.back().isSpace()) {
        text.chop(1);
    }
    return text;
}

// A year is exactly four digits.
std::optional<int> yearOf(const QLineEdit* edit) {
    const QString typed = edit->text().trimmed();
    bool ok = typed.size() == 4;
    for (const QChar c : typed) {
        ok = ok && c.isDigit();
    }
    return ok ? std::optional<int>(typed.toInt()) : std::nullopt;
}

std::optional<int> monthOf(const QLineEdit* edit) {
    bool ok = false;
    const int month = edit->text().trimmed().toInt(&ok);
    return ok ? std::optional<int>(month) : std::nullopt;
}

bool validYear(std::optional<int> year) {
    return year && *year >= 1900 && *year <= 2050;
}

bool validMonth(std::optional<int> month) {
    return month && *month > 0 && *month <= 12;
}

}  // namespace

TFinto11::TFinto11(QWidget* parent)
    : RowDialog(QStringLiteral("学科带头人名单"), DM->Tblexpert, "item_187", parent),
      ui(std::make_unique<Ui::TFinto11>()) {
    ui->setupUi(this);
    setUpFrame(ui->Button1, ui->Button2);
    digitsOnly(ui->Edt_both_1, 4);
    digitsOnly(ui->edt_both_2, 2);
    connect(ui->Edt_both_1, &QLineEdit::editingFinished, this, &TFinto11::Edt_both_1Exit);
    connect(ui->edt_both_2, &QLineEdit::editingFinished, this, &TFinto11::edt_both_2Exit);

    // A new leader's name is stored trimmed, an edited one as typed.
    RowField name = textField(ui->edtry_180, "item_180");
    name.value = [this] {
        const QString typed = ui->edtry_180->text();
        return fitted(isAdding() ? typed.trimmed() : typed, "item_180");
    };

    RowField birth("item_182");
    birth.load = [this](const store::Value& stored) {
        const QString month = valueText(stored);
        ui->Edt_both_1->setText(month.left(4));
        ui->edt_both_2->setText(month.mid(5, 2));
    };
    auto birthText = [this] {
        return ui->Edt_both_1->text().trimmed() + QLatin1Char('.') +
               ui->edt_both_2->text().trimmed();
    };
    birth.value = [this, birthText] { return fitted(birthText(), "item_182"); };
    birth.unchanged = [birthText](const store::Value& stored) {
        return birthText() == rightTrimmed(valueText(stored));
    };

    setFields({
        textField(ui->edtry_186, "item_186"),
        name,
        codeField(ui->cbry_181, "item_181"),
        birth,
        codeField(ui->cbry_124_1, "item_124_1"),
    });
    setMainEdits({ui->edtry_180, ui->edtry_186});
}

TFinto11::~TFinto11() = default;

void TFinto11::fillLists() {
    widgets::FillCodeList(DM->Tblzdxx, QStringLiteral("item_181"), ui->cbry_181, true);
    widgets::FillCodeList(DM->Tblzdxx, QStringLiteral("item_124_1"), ui->cbry_124_1, true);
}

void TFinto11::clearForAdd() {
    clearForNext();
    ui->cbry_181->setCurrentIndex(0);
    ui->cbry_124_1->setCurrentIndex(-1);
}

void TFinto11::clearForNext() {
    // Each leader's birth month is typed for that leader, never taken over from another.
    RowDialog::clearForNext();
    ui->Edt_both_1->clear();
    ui->edt_both_2->clear();
}

void TFinto11::checkRow() {
    if (ui->edtry_180->text().trimmed().isEmpty()) {
        widgets::ShowWarningAndAbort(QStringLiteral("姓名不能为空！"));
    }
    if (ui->cbry_181->currentText().trimmed().isEmpty()) {
        widgets::ShowWarningAndAbort(QStringLiteral("性别不能为空！"));
    }
    // A year or month that is not a number is refused like one out of range.
    if (!validYear(yearOf(ui->Edt_both_1))) {
        widgets::ShowWarningAndAbort(QStringLiteral("年份不合法！"));
    }
    if (!validMonth(monthOf(ui->edt_both_2))) {
        widgets::ShowWarningAndAbort(QStringLiteral("月份不合法"));
    }
}

void TFinto11::setNewRowKeys(store::Dataset& row) {
    row.field("unitcode").set(store::Value(registeringunit::kUnitCode));
}

void TFinto11::Edt_both_1Exit() {
    if (!ui->Edt_both_1->text().trimmed().isEmpty() && !validYear(yearOf(ui->Edt_both_1))) {
        widgets::Dialogs::instance().message(this, widgets::Icon::None, product::applicationTitle(),
                                             QStringLiteral("非法年份"), widgets::Ok, widgets::Ok);
    }
}

void TFinto11::edt_both_2Exit() {
    const auto month = monthOf(ui->edt_both_2);
    if (!month) {
        return;
    }
    const QString typed = ui->edt_both_2->text().trimmed();
    if (typed.size() < 2 && *month < 10) {
        ui->edt_both_2->setText(QLatin1Char('0') + typed);
    }
    if (!validMonth(month)) {
        widgets::Dialogs::instance().message(this, widgets::Icon::None, product::applicationTitle(),
                                             QStringLiteral("不是合法时间!"), widgets::Ok,
                                             widgets::Ok);
    }
}
