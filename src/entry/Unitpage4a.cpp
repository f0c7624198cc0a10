#include "Unitpage4a.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <algorithm>
#include <array>

#include "CodeLists.h"
#include "Database.h"
#include "Dataset.h"
#include "DropDownButton.h"
#include "MemoEditors.h"
#include "SqlText.h"
#include "UnitDM.h"
#include "Unitpage10.h"
#include "Unitpage11.h"
#include "ValueText.h"
#include "Warnings.h"
#include "ui_Unitpage4a.h"

using widgets::textValue;
using widgets::valueText;

TFpage4a* Fpage4a = nullptr;
std::array<unsigned char, 40> TreeTargetUnit{};

namespace {

const QString kCodeSeparator = QStringLiteral("  ");

// The four code lists in the order of their selector bytes, ten bytes each.
struct CodeListGroup {
    const char* edits;
    const char* buttons;
    bool disciplines;  // xkfl, else the high-tech fields (gxjs)
};
constexpr std::array<CodeListGroup, 4> kGroups{{{"edt_124_2_", "cb_124_2_", false},
                                                {"edt_15_1_", "cb_15_1_", true},
                                                {"edt_124_1_", "cb_124_1_", false},
                                                {"edt_15_", "cb_15_", true}}};
constexpr int kListEdits = 10;

// Shows one listed code as "code  name" from its classification table; a code the table
// lacks (or a table missing from the data directory) is shown as itself, so that a save
// keeps it.
void showListedCode(const QString& code, QLineEdit* edit, bool disciplines) {
    edit->clear();
    if (!disciplines || DM->HasDisciplineTable) {
        widgets::ShowClassCode(disciplines ? static_cast<store::Dataset&>(DM->Txkfl2)
                                           : static_cast<store::Dataset&>(DM->Tblgxjs),
                               code, edit);
    }
    if (edit->text().isEmpty() && !code.trimmed().isEmpty()) {
        edit->setText(code.trimmed() + kCodeSeparator);
    }
    edit->setCursorPosition(0);  // the code first, however long the name
}

// The classification table of a code list and how its messages name it.
struct CodeTable {
    const char* name;
    const char* title;
};

CodeTable codeTable(bool disciplines) {
    return disciplines ? CodeTable{"xkfl", "学科分类表"} : CodeTable{"gxjs", "高新技术领域表"};
}

// Whether code is a code of the table; true when the table cannot be consulted (the disciplines
// absent from the data directory).
bool isListedCode(const QString& code, bool disciplines) {
    if (disciplines && !DM->HasDisciplineTable) {
        return true;
    }
    store::Database& db = DM->database();
    const char* table = codeTable(disciplines).name;
    if (db.tablePath(table).empty()) {
        return true;
    }
    const store::ResultSet found =
        db.run(std::string("select xxdm from ") + table + " where xxdm = :code",
               {{"code", store::Value(code.toStdString())}}, store::Database::Access::ReadOnly);
    return !found.rows.empty();
}

// The text a code-list edit was loaded with: a stored code the table lacks is kept as long as
// its edit is not changed.
const char* const kLoadedText = "loadedText";

}  // namespace

namespace registeringunit {

std::vector<std::pair<std::string, store::Value>> identityColumns() {
    return {{"chiefexper", store::Value("   9999999999")},
            {"unitcode", store::Value(kUnitCode)},
            {"unitlevel", store::Value("1")},
            {"endlevel", store::Value(1)}};
}

void editUnitRow(store::Dataset& unit) {
    if (!unit.active()) {
        unit.open();
    }
    if (unit.recordCount() == 0) {
        unit.append();
        for (const auto& [column, value] : identityColumns()) {
            unit.field(column).set(value);
        }
    } else {
        unit.edit();
    }
}

QString listedCode(const QLineEdit* edit) {
    const QString shown = edit->text().trimmed();
    // A typed code without its name has no blank: the whole text is the code.
    const qsizetype blank = shown.indexOf(QLatin1Char(' '));
    return blank < 0 ? shown : shown.left(blank);
}

QString codeListValue(const std::vector<QLineEdit*>& edits) {
    QString value;
    for (const QLineEdit* edit : edits) {
        const QString code = listedCode(edit);
        if (!code.isEmpty()) {
            value += code + QStringLiteral(" ;");
        }
    }
    return value;
}

void requireListedCodes(const std::vector<QLineEdit*>& edits, bool disciplines) {
    for (QLineEdit* edit : edits) {
        const QString code = listedCode(edit);
        if (code.isEmpty() || edit->text() == edit->property(kLoadedText).toString() ||
            isListedCode(code, disciplines)) {
            continue;
        }
        const CodeTable table = codeTable(disciplines);
        edit->setFocus();
        widgets::ShowWarningAndAbort(
            QStringLiteral("“%1”不是%2（%3.dbf）中的代码，请用右边的下拉按钮选择！")
                .arg(code, QString::fromUtf8(table.title), QString::fromLatin1(table.name)));
    }
}

std::vector<QLineEdit*> codeListEdits(const QWidget& page, const QString& prefix) {
    std::vector<QLineEdit*> edits;
    for (int n = 1; n <= kListEdits; ++n) {
        edits.push_back(page.findChild<QLineEdit*>(prefix + QString::number(n)));
    }
    return edits;
}

PageField codeListField(std::vector<QLineEdit*> edits, std::string column, bool disciplines) {
    PageField f(std::move(column));
    f.load = [edits, disciplines](const store::Value& stored) {
        QString rest = valueText(stored);
        for (QLineEdit* edit : edits) {
            const qsizetype end = rest.indexOf(QLatin1Char(';'));
            // A last code without its ";" still counts.
            const QString code = end < 0 ? rest : rest.left(end);
            rest = end < 0 ? QString() : rest.mid(end + 1);
            if (code.trimmed().isEmpty() && end < 0) {
                edit->clear();
            } else {
                showListedCode(code, edit, disciplines);
            }
            edit->setProperty(kLoadedText, edit->text());
        }
    };
    // A code typed into an edit must be one of the table's.
    f.value = [edits, disciplines] {
        requireListedCodes(edits, disciplines);
        return textValue(codeListValue(edits));
    };
    f.unchanged = [edits](const store::Value& stored) {
        return codeListValue(edits) == valueText(stored).trimmed();
    };
    return f;
}

void pickCode(widgets::ClassPicker& picker, std::span<unsigned char> selector, int byte,
              QLineEdit* edit, bool disciplines) {
    if (byte < 0 || byte >= static_cast<int>(selector.size())) {
        return;
    }
    std::fill(selector.begin(), selector.end(), 0);
    selector[static_cast<size_t>(byte)] = 1;
    picker.registerTarget(selector, byte, edit,
                          disciplines ? QStringLiteral("xkfl") : QStringLiteral("gxjs"));
    picker.showFor(selector);
}

}  // namespace registeringunit

TFpage4a::TFpage4a(widgets::MainWindowOperations& mainWindow, widgets::ClassPicker& picker,
                   QWidget* parent)
    : RecordPage(mainWindow, QString(), parent),
      m_picker(picker),
      ui(std::make_unique<Ui::TFpage4a>()) {
    ui->setupUi(this);
    setUpFrame(ui->btnSave01, nullptr, ui->quit01);
    connect(ui->BitBtndtr, &QPushButton::clicked, this, &TFpage4a::BitBtndtrClick);
    connect(ui->cb_62, &QComboBox::activated, this, &TFpage4a::cb_62Change);
    onClick(ui->Memo1->viewport(), [this] { Memo1Click(); });
    onClick(ui->Memo2->viewport(), [this] { Memo2Click(); });
    onClick(ui->Memo3->viewport(), [this] { Memo3Click(); });

    for (int group = 0; group < static_cast<int>(kGroups.size()); ++group) {
        for (int n = 1; n <= kListEdits; ++n) {
            auto* button = findChild<DropDownButton*>(QString::fromLatin1(kGroups[group].buttons) +
                                                      QString::number(n));
            const int byte = group * kListEdits + n - 1;
            connect(button, &DropDownButton::dropDown, this,
                    [this, byte] { codeListDropDown(byte); });
        }
    }

    m_enterprise.cb_62 = ui->cb_62;
    m_enterprise.ownership = ui->CB_41_3;
    m_enterprise.cb_163 = ui->cb_163;

    PageField name = required(textField(ui->edt_9, "item_9", QStringLiteral("单位名称")));
    name.value = [this] { return textValue(ui->edt_9->text().trimmed()); };

    // The ownership and the conversion are stored only for the enterprise code.
    auto enterprise = [this] { return comboCode(ui->cb_62) == unitfacts::kEnterpriseCode; };
    PageField ownership = codeField(ui->CB_41_3, "item_41_3", QStringLiteral("企业所有制属性"),
                                    QStringLiteral("item_41_3"));
    ownership.value = [this, enterprise] {
        return enterprise() ? textValue(comboCode(ui->CB_41_3)) : store::Value();
    };
    PageField converted("item_163", QStringLiteral("其中,科研机构转制型企业"));
    converted.value = [this, enterprise] {
        if (!enterprise()) {
            return store::Value();
        }
        return store::Value(ui->cb_163->isChecked() ? "1" : "0");
    };

    // The required fields first, in the order of the exit's check.
    std::vector<PageField> fields{
        name,
        required(textField(ui->Edt_37, "item_37", QStringLiteral("通讯地址"))),
        required(textField(ui->Edt_38, "item_38", QStringLiteral("邮政编码"))),
        required(textField(ui->edt_420, "item_420", QStringLiteral("单位法人"))),
        required(textField(ui->Edt_39, "item_39", QStringLiteral("单位电话"))),
        required(textField(ui->Edt_40, "item_40", QStringLiteral("单位传真"))),
        required(pageMemoField(ui->Memo3, "unitintrod", QStringLiteral("单位简介"))),
        required(textField(ui->Edt_41, "item_41", QStringLiteral("联系部门"))),
        required(textField(ui->Edt_41_2, "item_41_2", QStringLiteral("联系部门电话"))),
        textField(ui->Edt_60, "item_60"),
        textField(ui->Edt_61, "item_61"),
        pageMemoField(ui->Memo2, "advantage"),
        pageMemoField(ui->Memo1, "studydirec"),
        codeField(ui->cb_62, "item_62", QStringLiteral("单位属性"), QStringLiteral("item_62")),
        ownership,
        converted,
        pairField(ui->cb_64, "item_64", QStringLiteral("单位所在省市"), DM->tblProvince,
                  QStringLiteral("Province_i"), QStringLiteral("Province_n")),
        registeringunit::codeListField(codeListEdits(QStringLiteral("edt_124_1_")), "item_124_1",
                                       false),
        registeringunit::codeListField(codeListEdits(QStringLiteral("edt_124_2_")), "item_124_2",
                                       false),
        registeringunit::codeListField(codeListEdits(QStringLiteral("edt_15_1_")), "item_15_1",
                                       true),
        registeringunit::codeListField(codeListEdits(QStringLiteral("edt_15_")), "item_15", true),
    };
    // The row is the registering unit's whatever it held before.
    for (const auto& [column, value] : registeringunit::identityColumns()) {
        PageField f(column);
        f.value = [stored = value] { return stored; };
        f.compared = false;
        fields.push_back(std::move(f));
    }
    setFields(std::move(fields));
}

TFpage4a::~TFpage4a() = default;

store::Dataset& TFpage4a::record() const {
    return DM->Tblunit;
}

void TFpage4a::editRecord(store::Dataset& row) {
    registeringunit::editUnitRow(row);
}

void TFpage4a::loadRecord(store::Dataset& row) {
    RecordPage::loadRecord(row);
    // The ownership and the conversion are open for the enterprise code alone.
    unitfacts::setEnterpriseByCode(m_enterprise, unitfacts::storedText(row, "item_62"),
                                   unitfacts::storedText(row, "item_163"));
    if (!ui->cb_163->isEnabled()) {
        ui->cb_163->setChecked(false);
    }
}

PageField TFpage4a::pageMemoField(QPlainTextEdit* memo, std::string column, QString label) {
    PageField f = memoField(memo, std::move(column), std::move(label));
    f.prepare = nullptr;  // the unit's texts are stored as they stand
    return f;
}

std::vector<QLineEdit*> TFpage4a::codeListEdits(const QString& prefix) const {
    return registeringunit::codeListEdits(*this, prefix);
}

void TFpage4a::cb_62Change() {
    unitfacts::attributeChanged(m_enterprise);
}

void TFpage4a::codeListDropDown(int byte) {
    if (byte < 0 || byte >= static_cast<int>(TreeTargetUnit.size())) {
        return;
    }
    const CodeListGroup& group = kGroups[static_cast<size_t>(byte / kListEdits)];
    QLineEdit* edit = findChild<QLineEdit*>(QString::fromLatin1(group.edits) +
                                            QString::number(byte % kListEdits + 1));
    registeringunit::pickCode(m_picker, TreeTargetUnit, byte, edit, group.disciplines);
}

void TFpage4a::Button5Click() {
    if (Fpage10 != nullptr && DM->Tblunit.active() && DM->Tblunit.recordCount() > 0) {
        Fpage10->showUnitsOf(DM->Tblunit);
    }
}

void TFpage4a::BitBtndtrClick() {
    // The list shows the leaders under the code that new leaders get, whether or not the unit
    // row has been stored yet.
    store::Table& leaders = DM->Tblexpert;
    const QString code = QString::fromLatin1(registeringunit::kUnitCode);
    leaders.close();
    leaders.setFilter(
        (QStringLiteral("unitcode='") + QuoteFilterText(code) + QStringLiteral("'")).toStdString());
    leaders.open();
    if (Fpage11 != nullptr) {
        Fpage11->showPage();
    }
}

void TFpage4a::Memo1Click() {
    if (Formstudy != nullptr) {
        Formstudy->showFor(ui->Memo1);
    }
}

void TFpage4a::Memo2Click() {
    if (formadvantage != nullptr) {
        formadvantage->showFor(ui->Memo2);
    }
}

void TFpage4a::Memo3Click() {
    if (formunitintrod != nullptr) {
        formunitintrod->showFor(ui->Memo3);
    }
}

void TFpage4a::beforeExitClose() {
    mainWindow().RefreshRecordFunctions();
}
