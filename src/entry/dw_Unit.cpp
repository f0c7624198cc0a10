#include "dw_Unit.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <string>
#include <utility>
#include <vector>

#include "CodeLists.h"
#include "Dataset.h"
#include "Dialogs.h"
#include "RecordPage.h"
#include "SilentAbort.h"
#include "SqlText.h"
#include "UnitDM.h"
#include "Unitpage4.h"
#include "Warnings.h"
#include "ui_dw_Unit.h"

Tdw_Form* dw_Form = nullptr;

namespace {

// The stored code of a choice: its text up to its first blank (the whole code, however long),
// or a kept code as it was.
QString wholeCode(const QComboBox* combo) {
    const int index = combo->currentIndex();
    if (index < 0) {
        return {};
    }
    if (const QVariant kept = combo->itemData(index); kept.isValid()) {
        return kept.toString();
    }
    const QString shown = combo->currentText();
    const qsizetype blank = shown.indexOf(QLatin1Char(' '));
    return blank < 0 ? QString() : shown.left(blank + 1).trimmed();
}

}  // namespace

store::Query& ReportingUnitRow() {
    store::Query& profile = DM->Qrydwqk;
    if (profile.active()) {
        profile.refresh();
    } else {
        profile.open();
    }
    profile.first();
    return profile;
}

Tdw_Form::Tdw_Form(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::Tdw_Form>()) {
    ui->setupUi(this);
    m_controls = {ui->Edt_9,  ui->Edt_420, ui->Edt_37, ui->Edt_38,   ui->Edt_39,
                  ui->Edt_40, ui->Edt_60,  ui->cb_62,  ui->cb_41_3,  ui->cb_163,
                  ui->cb_64,  ui->cb_63,   ui->Edt_41, ui->Edt_41_2, ui->Edt_61};
    unitfacts::limitLengths(m_controls);
    connect(ui->cb_62, &QComboBox::activated, this, &Tdw_Form::cb_62Change);
    connect(ui->Button1, &QPushButton::clicked, this, &Tdw_Form::Button1Click);
    connect(ui->Button2, &QPushButton::clicked, this, &Tdw_Form::Button2Click);
}

Tdw_Form::~Tdw_Form() = default;

int Tdw_Form::showForm() {
    FormShow();
    return widgets::Dialogs::instance().exec(*this);
}

void Tdw_Form::FormShow() {
    store::Query& profile = ReportingUnitRow();
    auto stored = [&profile](const char* column) { return unitfacts::storedText(profile, column); };
    unitfacts::setEnterpriseByCode(m_controls, stored("item_62"), stored("item_163"));
    for (const unitfacts::FactEdit& fact : unitfacts::edits(m_controls)) {
        fact.edit->setText(stored(fact.column));
    }
    unitfacts::showCheckState(ui->cb_163, stored("item_163"));

    widgets::FillCodeList(DM->Tblzdxx, QStringLiteral("item_62"), ui->cb_62, true);
    unitfacts::showCode(ui->cb_62, stored("item_62"));
    widgets::FillCodeList(DM->Tblzdxx, QStringLiteral("item_41_3"), ui->cb_41_3, true);
    unitfacts::showCode(ui->cb_41_3, stored("item_41_3"));
    widgets::FillPairList(DM->tblProvince, ui->cb_64, QStringLiteral("Province_i"),
                          QStringLiteral("Province_n"), true);
    unitfacts::showCode(ui->cb_64, stored("item_64"));
    widgets::FillPairList(DM->tblLsbw, ui->cb_63, QStringLiteral("Bwdm"), QStringLiteral("Bwmc"),
                          false);
    unitfacts::showCode(ui->cb_63, stored("item_63"));
}

void Tdw_Form::CheckDwForm() {
    unitfacts::check(m_controls);
}

bool Tdw_Form::IsDwFormUnchanged() {
    return unitfacts::unchanged(m_controls, ReportingUnitRow());
}

void Tdw_Form::cb_62Change() {
    unitfacts::attributeChanged(m_controls);
}

QString Tdw_Form::saveStatement(int64_t profileRow) const {
    const auto& c = m_controls;
    const std::vector<std::pair<const char*, QString>> values = {
        {"item_9", c.Edt_9->text()},
        {"item_420", c.Edt_420->text()},
        {"item_37", c.Edt_37->text()},
        {"item_38", c.Edt_38->text()},
        {"item_39", c.Edt_39->text()},
        {"item_40", c.Edt_40->text()},
        {"item_60", c.Edt_60->text()},
        {"item_62", wholeCode(c.cb_62)},
        {"item_163", c.cb_163->isChecked() ? QStringLiteral("1") : QStringLiteral("0")},
        {"item_41_3", wholeCode(c.ownership)},
        {"item_64", wholeCode(c.cb_64)},
        {"item_63", wholeCode(c.cb_63)},
        {"item_41", c.Edt_41->text()},
        {"item_41_2", c.Edt_41_2->text()},
        {"item_61", c.Edt_61->text()},
    };
    // Every value is quoted, the codes too: a kept code comes from the stored data.
    QStringList columns;
    QStringList quoted;
    QStringList assignments;
    for (const auto& [column, value] : values) {
        const QString literal = QuoteSqlText(value);
        columns << QString::fromLatin1(column);
        quoted << literal;
        assignments << QString::fromLatin1(column) + QStringLiteral("='") + literal +
                           QStringLiteral("'");
    }
    if (profileRow >= 0) {
        return QStringLiteral("update dwqk set ") + assignments.join(QLatin1Char(',')) +
               QStringLiteral(" where rowid=") + QString::number(profileRow);
    }
    return QStringLiteral("insert into dwqk (") + columns.join(QLatin1Char(',')) +
           QStringLiteral(") values ('") + quoted.join(QStringLiteral("','")) +
           QStringLiteral("')");
}

bool Tdw_Form::Button1Click() {
    try {
        CheckDwForm();
    } catch (const SilentAbort&) {
        return false;
    }
    store::Query& profile = ReportingUnitRow();
    const std::string kept = profile.sql();
    const std::string statement =
        saveStatement(profile.recordCount() > 0 ? profile.bookmark() : -1).toStdString();
    profile.close();
    try {
        profile.setSql(statement);
        profile.execSql();
    } catch (...) {
        // The profile query is left as it was whatever the statement did.
        TDM::OpenQuerySql(profile, kept);
        throw;
    }
    widgets::ShowWarning(QStringLiteral("存储成功！"));
    TDM::OpenQuerySql(profile, kept);
    if (Fpage4 != nullptr) {
        Fpage4->Button1Click();
    }
    done(QDialog::Accepted);
    return true;
}

void Tdw_Form::Button2Click() {
    try {
        CheckDwForm();
    } catch (const SilentAbort&) {
        return;
    }
    leaveWithoutCheck();
}

void Tdw_Form::leaveWithoutCheck() {
    if (!IsDwFormUnchanged()) {
        const int answer = widgets::Dialogs::instance().message(
            this, widgets::Icon::Question, QStringLiteral("请注意！"),
            QStringLiteral("记录已经更改,是否保存？"), widgets::Yes | widgets::No, widgets::Yes);
        if (answer == widgets::Yes) {
            // A successful save closes the window; a refused one keeps the input.
            Button1Click();
            return;
        }
    }
    done(QDialog::Rejected);
}

void Tdw_Form::closeEvent(QCloseEvent* event) {
    event->ignore();
    leaveWithoutCheck();
}

void Tdw_Form::reject() {
    leaveWithoutCheck();
}
