#include "UnitFacts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include "CodeLists.h"
#include "Dataset.h"
#include "GbkLimit.h"
#include "RecordPage.h"
#include "SilentAbort.h"
#include "UnitDM.h"
#include "Warnings.h"

namespace unitfacts {

namespace {

QString rightTrimmed(QString text) {
    while (!text.isEmpty() && text.back().isSpace()) {
        text.chop(1);
    }
    return text;
}

void require(const QString& text, const QString& label) {
    if (text.trimmed().isEmpty()) {
        widgets::ShowWarning(QStringLiteral("\"") + label + QStringLiteral("\"不能为空！"));
        throw SilentAbort();
    }
}

}  // namespace

std::vector<FactEdit> edits(const UnitFactsControls& c) {
    return {{c.Edt_9, "item_9", 140},   {c.Edt_420, "item_420", 20}, {c.Edt_37, "item_37", 100},
            {c.Edt_38, "item_38", 6},   {c.Edt_39, "item_39", 30},   {c.Edt_40, "item_40", 30},
            {c.Edt_60, "item_60", 100}, {c.Edt_41, "item_41", 20},   {c.Edt_41_2, "item_41_2", 30},
            {c.Edt_61, "item_61", 80}};
}

void limitLengths(const UnitFactsControls& c) {
    for (const FactEdit& fact : edits(c)) {
        widgets::limitGbkBytes(fact.edit, fact.width);
    }
}

bool isEnterprise(const UnitFactsControls& c) {
    return RecordPage::comboCode(c.cb_62) == kEnterpriseCode;
}

void check(const UnitFactsControls& c) {
    require(c.Edt_9->text(), QStringLiteral("单位名称"));
    require(c.Edt_37->text(), QStringLiteral("通讯地址"));
    require(c.Edt_38->text(), QStringLiteral("邮政编码"));
    require(c.cb_62->currentText(), QStringLiteral("单位属性"));
    if (isEnterprise(c)) {
        require(c.ownership->currentText(), QStringLiteral("企业所有制属性"));
    }
    require(c.cb_64->currentText(), QStringLiteral("单位所在省市"));
    require(c.Edt_41->text(), QStringLiteral("联系人"));
    require(c.Edt_41_2->text(), QStringLiteral("联系人电话"));
}

void attributeChanged(const UnitFactsControls& c) {
    widgets::FillCodeList(DM->Tblzdxx, QStringLiteral("item_41_3"), c.ownership, true);
    const bool enterprise = isEnterprise(c);
    if (!enterprise) {
        c.cb_163->setChecked(false);
        c.ownership->clear();
    }
    c.ownership->setEnabled(enterprise);
    c.cb_163->setEnabled(enterprise);
}

void setEnterpriseByCode(const UnitFactsControls& c, const QString& code, const QString& item163) {
    const bool enterprise = code.trimmed() == kEnterpriseCode;
    c.ownership->setEnabled(enterprise);
    c.cb_163->setEnabled(enterprise);
    if (enterprise) {
        c.cb_163->setChecked(item163.trimmed() == QLatin1String("1"));
    }
}

void showCheckState(QCheckBox* box, const QString& item163) {
    const QString state = item163.trimmed();
    if (state == QLatin1String("1")) {
        box->setChecked(true);
    } else if (state == QLatin1String("0")) {
        box->setChecked(false);
    }
}

void showCode(QComboBox* combo, const QString& code) {
    if (code.trimmed().isEmpty()) {
        combo->setCurrentIndex(-1);
    } else {
        RecordPage::selectCodeOrKeep(combo, code.trimmed());
    }
}

QString storedText(store::Dataset& row, const char* column) {
    if (!row.active() || row.recordCount() == 0) {
        return {};
    }
    return rightTrimmed(QString::fromStdString(row.field(column).asText()));
}

bool unchanged(const UnitFactsControls& c, store::Dataset& row) {
    for (const FactEdit& fact : edits(c)) {
        if (rightTrimmed(fact.edit->text()) != storedText(row, fact.column)) {
            return false;
        }
    }
    const std::pair<QComboBox*, const char*> codes[] = {{c.cb_62, "item_62"},
                                                        {c.ownership, "item_41_3"},
                                                        {c.cb_64, "item_64"},
                                                        {c.cb_63, "item_63"}};
    for (const auto& [combo, column] : codes) {
        if (RecordPage::comboCode(combo) != storedText(row, column)) {
            return false;
        }
    }
    // A stored state other than "1" or "0" is never a difference.
    const QString state = storedText(row, "item_163").trimmed();
    const bool checked = c.cb_163->isChecked();
    return !((!checked && state == QLatin1String("1")) || (checked && state == QLatin1String("0")));
}

}  // namespace unitfacts
