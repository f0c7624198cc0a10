#include "Unitpage4.h"

#include <QCheckBox>
#include <QComboBox>
#include <exception>

#include "ChoiceBoxes.h"
#include "CodeLists.h"
#include "Dataset.h"
#include "Dialogs.h"
#include "SilentAbort.h"
#include "UnitDM.h"
#include "ValueText.h"
#include "Warnings.h"
#include "dw_Unit.h"
#include "ui_Unitpage4.h"

using widgets::textValue;

TFpage4* Fpage4 = nullptr;

namespace {}  // namespace

TFpage4::TFpage4(widgets::MainWindowOperations& mainWindow, QWidget* parent)
    : RecordPage(mainWindow, QStringLiteral("04"), parent), ui(std::make_unique<Ui::TFpage4>()) {
    ui->setupUi(this);
    setUpFrame(ui->btnSave01, ui->Button3, ui->quit01);
    m_controls = {ui->Edt_9,  ui->Edt_420, ui->Edt_37, ui->Edt_38,   ui->Edt_39,
                  ui->Edt_40, ui->Edt_60,  ui->cb_62,  ui->CB_41_3,  ui->cb_163,
                  ui->cb_64,  ui->cb_63,   ui->Edt_41, ui->Edt_41_2, ui->Edt_61};
    unitfacts::limitLengths(m_controls);

    connect(ui->cb_62, &QComboBox::activated, this, &TFpage4::cb_62Change);
    connect(ui->Button1, &QPushButton::clicked, this, &TFpage4::Button1Click);
    connect(ui->Button2, &QPushButton::clicked, this, &TFpage4::Button2Click);

    // The ownership and the check box are stored only for the enterprise code.
    auto enterprise = [this] { return comboCode(ui->cb_62) == unitfacts::kEnterpriseCode; };
    PageField ownership = codeField(ui->CB_41_3, "ITEM_41_3", QStringLiteral("企业所有制属性"),
                                    QStringLiteral("item_41_3"));
    ownership.value = [this, enterprise] {
        return enterprise() ? textValue(comboCode(ui->CB_41_3)) : store::Value();
    };
    PageField converted("ITEM_163", QStringLiteral("其中，科研机构转制型企业"));
    converted.value = [this, enterprise] {
        if (!enterprise()) {
            return store::Value();
        }
        return store::Value(ui->cb_163->isChecked() ? "1" : "0");
    };

    setFields({
        textField(ui->Edt_9, "ITEM_9"),
        textField(ui->Edt_420, "ITEM_420"),
        textField(ui->Edt_37, "ITEM_37"),
        textField(ui->Edt_38, "ITEM_38"),
        textField(ui->Edt_39, "ITEM_39"),
        textField(ui->Edt_40, "ITEM_40"),
        textField(ui->Edt_60, "ITEM_60"),
        codeField(ui->cb_62, "ITEM_62", QStringLiteral("单位属性"), QStringLiteral("item_62")),
        ownership,
        converted,
        pairField(ui->cb_64, "ITEM_64", QStringLiteral("单位所在省市"), DM->tblProvince,
                  QStringLiteral("Province_i"), QStringLiteral("Province_n")),
        pairField(ui->cb_63, "ITEM_63", QStringLiteral("隶属关系"), DM->tblLsbw,
                  QStringLiteral("Bwdm"), QStringLiteral("Bwmc"), true),
        textField(ui->Edt_41, "ITEM_41"),
        textField(ui->Edt_41_2, "ITEM_41_2"),
        textField(ui->Edt_61, "ITEM_61"),
    });
}

TFpage4::~TFpage4() = default;

void TFpage4::loadRecord(store::Dataset& row) {
    widgets::ClearChoiceBoxes(this);
    RecordPage::loadRecord(row);
    unitfacts::setEnterpriseByCode(m_controls, unitfacts::storedText(row, "ITEM_62"),
                                   unitfacts::storedText(row, "ITEM_163"));
}

void TFpage4::checkPage() {
    unitfacts::check(m_controls);
}

bool TFpage4::isUnchanged() {
    return unitfacts::unchanged(m_controls, DM->Qryhvel);
}

void TFpage4::cb_62Change() {
    unitfacts::attributeChanged(m_controls);
}

void TFpage4::Button1Click() {
    store::Query& profile = ReportingUnitRow();
    auto stored = [&profile](const char* column) { return unitfacts::storedText(profile, column); };
    if (stored("item_9").trimmed().isEmpty()) {
        widgets::Dialogs::instance().message(
            this, widgets::Icon::Information, QStringLiteral("提示信息"),
            QStringLiteral("本单位情况还没设置，请先设置单位基本情况"), widgets::Ok, widgets::Ok);
        return;
    }
    widgets::FillCodeList(DM->Tblzdxx, QStringLiteral("item_41_3"), ui->CB_41_3, true);
    for (const unitfacts::FactEdit& fact : unitfacts::edits(m_controls)) {
        fact.edit->setText(stored(fact.column));
    }
    unitfacts::showCheckState(ui->cb_163, stored("item_163"));

    unitfacts::showCode(ui->cb_62, stored("item_62"));
    if (unitfacts::isEnterprise(m_controls)) {
        ui->cb_163->setEnabled(true);
        ui->CB_41_3->setEnabled(true);
        unitfacts::showCode(ui->CB_41_3, stored("item_41_3"));
    } else {
        ui->CB_41_3->clear();
        ui->cb_163->setChecked(false);
        ui->cb_163->setEnabled(false);
        ui->CB_41_3->setEnabled(false);
    }
    unitfacts::showCode(ui->cb_64, stored("item_64"));
    unitfacts::showCode(ui->cb_63, stored("item_63"));
    unitfacts::setEnterpriseByCode(m_controls, stored("item_62"), stored("item_163"));
}

void TFpage4::useProfileWhenUnset() {
    if (!ui->cb_62->currentText().isEmpty() || !ui->cb_64->currentText().isEmpty()) {
        return;
    }
    if (!unitfacts::storedText(ReportingUnitRow(), "item_9").isEmpty()) {
        Button1Click();
    } else {
        Button2Click();
    }
}

void TFpage4::Button2Click() {
    try {
        if (dw_Form == nullptr) {
            return;
        }
        store::Query& record = DM->Qryhvel;
        unitfacts::setEnterpriseByCode(dw_Form->controls(),
                                       unitfacts::storedText(record, "ITEM_62"),
                                       unitfacts::storedText(record, "ITEM_163"));
        dw_Form->showForm();
    } catch (const SilentAbort&) {
    } catch (const std::exception& e) {
        widgets::ShowWarning(QStringLiteral("读入数据时出错,请到本单位情况设置中修改:") +
                             QString::fromUtf8(e.what()) + QStringLiteral("0"));
    }
}
