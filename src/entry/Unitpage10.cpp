#include "Unitpage10.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <stdexcept>

#include "Database.h"
#include "Dataset.h"
#include "Dialogs.h"
#include "DropDownButton.h"
#include "ListPage.h"
#include "SqlText.h"
#include "UnitDM.h"
#include "Unitpage12.h"
#include "Unitpage4a.h"
#include "ValueText.h"
#include "Warnings.h"
#include "ui_Unitpage10.h"

using widgets::fieldText;
using widgets::textValue;

TFpage10* Fpage10 = nullptr;
std::array<unsigned char, 20> TreeTargetSubUnit{};

namespace {

// The two code lists in the order of their selector bytes, ten bytes each.
struct CodeListGroup {
    const char* edits;
    const char* buttons;
    bool disciplines;  // xkfl, else the high-tech fields (gxjs)
};
constexpr CodeListGroup kGroups[] = {{"edt_124_1_", "cb_124_1_", false},
                                     {"edt_15_", "cb_15_", true}};
constexpr int kListEdits = 10;

const char* const kSecondLevel = "2";

void showError(QWidget* parent, const std::exception& e) {
    widgets::Dialogs::instance().message(parent, widgets::Icon::None, QStringLiteral("提示"),
                                         QString::fromUtf8(e.what()), widgets::Ok, widgets::Ok);
}

}  // namespace

TFpage10::TFpage10(widgets::MainWindowOperations& mainWindow, widgets::ClassPicker& picker,
                   QWidget* parent)
    : RecordPage(mainWindow, QString(), parent),
      m_picker(picker),
      ui(std::make_unique<Ui::TFpage10>()) {
    ui->setupUi(this);
    setUpFrame(ui->btnSave01, nullptr, ui->quit01);
    connect(ui->Button2, &QPushButton::clicked, this, &TFpage10::Button2Click);
    connect(ui->Button3, &QPushButton::clicked, this, &TFpage10::Button3Click);
    connect(ui->BitBtndtr, &QPushButton::clicked, this, &TFpage10::BitBtndtrClick);

    for (int group = 0; group < static_cast<int>(std::size(kGroups)); ++group) {
        for (int n = 1; n <= kListEdits; ++n) {
            auto* button = findChild<DropDownButton*>(QString::fromLatin1(kGroups[group].buttons) +
                                                      QString::number(n));
            const int byte = group * kListEdits + n - 1;
            connect(button, &DropDownButton::dropDown, this,
                    [this, byte] { codeListDropDown(byte); });
        }
    }

    ui->DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_model.setColumns(
        {widgets::listColumn(QStringLiteral("unitcode"), QStringLiteral("单位代码"), 90),
         widgets::listColumn(QStringLiteral("item_9"), QStringLiteral("单位名称"), 140)});
    widgets::showDataset(*ui->DBGrid1, m_model);
    connect(&m_model, &widgets::DatasetModel::currentRowChanged, this, &TFpage10::followSelection);

    auto memo = [this](QPlainTextEdit* edit, std::string column, QString label) {
        PageField f = memoField(edit, std::move(column), std::move(label));
        f.prepare = nullptr;  // stored as typed
        return f;
    };
    setFields({
        textField(ui->Edt_9, "item_9", QStringLiteral("单位名称")),
        textField(ui->Edt_37, "item_37", QStringLiteral("通讯地址")),
        textField(ui->Edt_38, "item_38", QStringLiteral("邮政编码")),
        textField(ui->Edt_39, "item_39", QStringLiteral("单位电话（含区号）")),
        textField(ui->Edt_40, "item_40", QStringLiteral("单位传真（含区号）")),
        textField(ui->Edt_41, "item_41", QStringLiteral("联系人")),
        textField(ui->Edt_61, "item_61", QStringLiteral("电子信箱")),
        textField(ui->Edt_41_2, "item_41_2", QStringLiteral("联系人电话")),
        memo(ui->Memoad, "advantage", QStringLiteral("研发优势简要说明")),
        memo(ui->Memointr, "unitintrod", QStringLiteral("单位简介")),
        registeringunit::codeListField(
            registeringunit::codeListEdits(*this, QString::fromLatin1(kGroups[0].edits)),
            "item_124_1", kGroups[0].disciplines),
        registeringunit::codeListField(
            registeringunit::codeListEdits(*this, QString::fromLatin1(kGroups[1].edits)), "item_15",
            kGroups[1].disciplines),
    });
}

TFpage10::~TFpage10() {
    m_model.setDataset(nullptr);
}

store::Dataset& TFpage10::record() const {
    return DM->Qryunit;
}

int TFpage10::showUnitsOf(store::Dataset& unit) {
    const QString parent = fieldText(unit, "unitcode");
    ui->Panel4->setText(fieldText(unit, "item_9"));
    ui->Panel5->setText(parent);

    store::Query& units = DM->Qryunit;
    m_model.setDataset(nullptr);
    units.close();
    units.setFilter((QStringLiteral("upunitcode='") + QuoteFilterText(parent) +
                     QStringLiteral("' and unitlevel='") + QString::fromLatin1(kSecondLevel) +
                     QStringLiteral("'"))
                        .toStdString());
    units.open();
    m_model.setDataset(&units);
    loadRecord(units);
    return showPage();
}

void TFpage10::loadRecord(store::Dataset& row) {
    RecordPage::loadRecord(row);
    m_shownRow = row.recordCount() > 0 ? row.bookmark() : -1;
}

void TFpage10::followSelection() {
    store::Dataset& units = record();
    if (!units.active() || units.state() != store::Dataset::State::Browse) {
        return;
    }
    // A reset that leaves the same unit selected (a refused save read back, say) keeps what
    // was typed.
    const int64_t selected = units.recordCount() > 0 ? units.bookmark() : -1;
    if (selected != m_shownRow) {
        loadRecord(units);
    }
}

QString TFpage10::nextUnitCode(const QString& parent, const QString& largest) {
    // A parent's units share its first seven characters, then count 01..99, then "0".
    const QString block = parent.left(7);
    if (largest.isEmpty()) {
        return block + QStringLiteral("010");
    }
    const QString counted = largest.left(block.size() + 2);
    bool ok = false;
    const qlonglong number = counted.toLongLong(&ok);
    if (!ok || number < 0) {
        throw std::invalid_argument(QStringLiteral("单位代码“%1”不是数字，无法生成下属单位代码")
                                        .arg(largest)
                                        .toStdString());
    }
    // The code keeps its width: a parent code with leading zeros keeps them in its units'.
    const QString code =
        QString::number(number + 1).rightJustified(counted.size(), QLatin1Char('0')) +
        QStringLiteral("0");
    // After the 99th unit the count would run into the next parent's block.
    return code.startsWith(block) ? code : QString();
}

bool TFpage10::unitCodeUsed(const QString& code) {
    store::Query units(DM->database());
    units.setSql("select unitcode from unit where unitcode = :code");
    units.setParam("code", store::Value(code.toStdString()));
    units.open();
    return units.recordCount() > 0;
}

QString TFpage10::largestUnitCode(const QString& parent) {
    const store::Value code(parent.toStdString());
    store::Query units(DM->database());
    units.setSql("select* from unit\nwhere upunitcode = :uncode");
    units.setParam("uncode", code);
    units.open();
    if (units.recordCount() == 0) {
        return {};
    }
    store::Query largest(DM->database());
    largest.setSql("select   max(unitcode) from   unit\nwhere upunitcode = :uncode");
    largest.setParam("uncode", code);
    largest.open();
    return largest.recordCount() > 0 ? fieldText(largest, 0) : QString();
}

void TFpage10::Button2Click() {
    const QString parent = ui->Panel5->text();
    store::Dataset& units = record();
    try {
        // Unit codes are unique: a code some other unit already carries is passed over.
        QString code = nextUnitCode(parent, largestUnitCode(parent));
        while (!code.isEmpty() && unitCodeUsed(code)) {
            code = nextUnitCode(parent, code);
        }
        if (code.isEmpty()) {
            widgets::ShowWarning(
                QStringLiteral("单位代码%1下的下属单位代码已经用完，不能再增加下属单位！")
                    .arg(parent));
            return;
        }
        units.append();
        units.field("unitcode").set(textValue(code));
        units.field("upunitcode").set(textValue(parent));
        units.field("unitlevel").set(store::Value(kSecondLevel));
        units.field("endlevel").set(store::Value(0));
        units.post();
    } catch (const std::exception& e) {
        if (units.active() && units.state() != store::Dataset::State::Browse) {
            units.cancel();
        }
        showError(this, e);
        return;
    }
    loadRecord(units);
}

void TFpage10::Button3Click() {
    store::Dataset& units = record();
    if (units.recordCount() == 0) {
        return;
    }
    // A unit that still has units or discipline leaders under it stays: deleting it alone
    // would leave them without their unit.
    const Dependants dependants = dependantsOf(fieldText(units, "unitcode"));
    if (dependants.units > 0 || dependants.leaders > 0) {
        widgets::ShowWarning(
            QStringLiteral("“%1”下还有%2个下属单位和%3位学科带头人，请先删除它们，再删除该单位！")
                .arg(fieldText(units, "item_9"))
                .arg(dependants.units)
                .arg(dependants.leaders));
        return;
    }
    const int answer = widgets::Dialogs::instance().message(
        this, widgets::Icon::Information, QStringLiteral("提示信息"),
        QStringLiteral("是否删除该项目？!"), widgets::Yes | widgets::No, widgets::Yes);
    if (answer != widgets::Yes) {
        return;
    }
    try {
        units.deleteRecord();
    } catch (const std::exception& e) {
        showError(this, e);
        return;
    }
    loadRecord(units);
}

TFpage10::Dependants TFpage10::dependantsOf(const QString& code) {
    auto count = [&code](const char* sql) {
        const store::ResultSet rows = DM->database().run(
            sql, {{"code", store::Value(code.toStdString())}}, store::Database::Access::ReadOnly);
        return rows.rows.empty() ? 0 : static_cast<int>(rows.rows[0][0].asNumber());
    };
    return {count("select count(*) from unit where upunitcode = :code"),
            count("select count(*) from unitexpert where unitcode = :code")};
}

void TFpage10::BitBtndtrClick() {
    if (Fpage12 != nullptr) {
        Fpage12->showPage();
    }
}

void TFpage10::codeListDropDown(int byte) {
    if (byte < 0 || byte >= static_cast<int>(TreeTargetSubUnit.size())) {
        return;
    }
    const CodeListGroup& group = kGroups[byte / kListEdits];
    QLineEdit* edit = findChild<QLineEdit*>(QString::fromLatin1(group.edits) +
                                            QString::number(byte % kListEdits + 1));
    registeringunit::pickCode(m_picker, TreeTargetSubUnit, byte, edit, group.disciplines);
}
