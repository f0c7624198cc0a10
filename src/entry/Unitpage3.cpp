#include "Unitpage3.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <initializer_list>

#include "ChoiceBoxes.h"
#include "Dataset.h"
#include "GbkLimit.h"
#include "SilentAbort.h"
#include "SqlText.h"
#include "UnitDM.h"
#include "ValueText.h"
#include "Warnings.h"
#include "ui_Unitpage3.h"

using widgets::valueText;

TFpage3* Fpage3 = nullptr;

namespace {

const QString kMoneyHint = QStringLiteral("（数据长度及格式均为：9999999）");
const QString kChoosePlan = QStringLiteral("请选择计划");
const QString kCodeSeparator = QStringLiteral("  ");
constexpr int kMoneyLength = 7;

// The last code of a stored code list ("01;03;" -> "03").
QString lastCode(const QString& codes) {
    const QStringList parts = codes.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    return parts.isEmpty() ? QString() : parts.back().trimmed();
}

// The sum of the edits' numbers (an empty text counts 0) in general format.
QString sumText(std::initializer_list<const QLineEdit*> edits) {
    double sum = 0;
    for (const QLineEdit* edit : edits) {
        bool ok = false;
        const double number = edit->text().trimmed().toDouble(&ok);
        if (ok) {
            sum += number;
        }
    }
    return QString::number(sum, 'g', 15);
}

}  // namespace

TFpage3::TFpage3(widgets::MainWindowOperations& mainWindow, QWidget* parent)
    : RecordPage(mainWindow, QStringLiteral("03"), parent), ui(std::make_unique<Ui::TFpage3>()) {
    ui->setupUi(this);
    setUpFrame(ui->btnSave01, ui->Button3, ui->quit01);
    ui->CB_41->hide();
    ui->Lb_41->hide();
    ui->cb_21_l->hide();

    for (QCheckBox* box : ui->Pl_126->findChildren<QCheckBox*>()) {
        if (box != ui->cb_126_01) {
            connect(box, &QCheckBox::clicked, this, [this, box] { cb_126OnClick(box); });
        }
    }
    connect(ui->cb_126_01, &QCheckBox::toggled, this, &TFpage3::cb_126_01Click);
    for (QRadioButton* plan : ui->Pl_140->findChildren<QRadioButton*>()) {
        connect(plan, &QRadioButton::clicked, this, &TFpage3::RB_140_1Click);
    }
    connect(ui->SpeedButton11, &QPushButton::clicked, this, &TFpage3::SpeedButton11Click);
    digitKeysOnly(ui->edt_34, true);

    const QString local = QStringLiteral("读取数据时，发现“地方投入”:");
    // Loaded in this order: each sum is taken over by its stored value once that is loaded.
    std::vector<PageField> money = {
        moneyField(ui->Edt_142_1, "ITEM_142_1", local),
        moneyField(ui->Edt_142_2, "ITEM_142_2", local),
        moneyField(ui->Edt_142_3, "ITEM_142_3", local),
        numberField(ui->Edt_142, "ITEM_142"),
        moneyField(ui->Edt_141, "ITEM_141", QStringLiteral("“国家投入”:")),
        moneyField(ui->Edt_148, "ITEM_148", QStringLiteral("“部门投入”:")),
        moneyField(ui->Edt_143, "ITEM_143", QStringLiteral("“基金投入”:")),
        moneyField(ui->Edt_144, "ITEM_144", QStringLiteral("“自有基金”:")),
        moneyField(ui->Edt_243, "ITEM_243", QStringLiteral("“银行贷款”:")),
        moneyField(ui->Edt_244, "ITEM_244", QStringLiteral("“国外资金”:")),
        moneyField(ui->Edt_145, "ITEM_145", QStringLiteral("“其他”:")),
        numberField(ui->Edt_149, "ITEM_149"),
    };
    for (QLineEdit* sum : {ui->Edt_142, ui->Edt_149}) {
        sum->setToolTip(kMoneyHint);
    }
    money.back().check = [this] {
        if (ui->Edt_142->text().size() > kMoneyLength ||
            ui->Edt_149->text().size() > kMoneyLength) {
            widgets::ShowWarning(QStringLiteral("经费最大长度不超得过7位！"));
            throw SilentAbort();
        }
    };
    // The sums follow their amounts; writing 地方投入 carries on into the total.
    for (QLineEdit* amount : {ui->Edt_142_1, ui->Edt_142_2, ui->Edt_142_3}) {
        connect(amount, &QLineEdit::textChanged, this, &TFpage3::Edt_142_1Change);
    }
    for (QLineEdit* amount : {ui->Edt_142, ui->Edt_141, ui->Edt_148, ui->Edt_143, ui->Edt_144,
                              ui->Edt_243, ui->Edt_244, ui->Edt_145}) {
        connect(amount, &QLineEdit::textChanged, this, &TFpage3::Edt_141Change);
    }

    auto evaluation = [this](QComboBox* combo, const QString& list, FieldTypes types) {
        PageField field = required(codeField(combo, "ITEM_21", QStringLiteral("评价形式"), list));
        field.types = types;
        // The other type's combo writes the same field.
        field.emptiedForOtherTypes = false;
        return field;
    };

    PageField number = textField(ui->Edt_127, "ITEM_127", QStringLiteral("课题立项编号"));
    number.check = [this] { requireForNationalPlan(ui->Edt_127, QStringLiteral("课题立项编号")); };
    PageField name = textField(ui->Edt_127_1, "ITEM_127_1", QStringLiteral("课题立项名称"));
    name.check = [this] { requireForNationalPlan(ui->Edt_127_1, QStringLiteral("课题立项名称")); };

    // Loaded together with its source, after the sources (loadRecord).
    PageField plan = codeField(ui->CB_41, "ITEM_41_1", QStringLiteral("计划"), QString(), 2);
    plan.load = nullptr;

    // In the order of the page's checks.
    std::vector<PageField> fields = {
        evaluation(ui->cb_21, QStringLiteral("item_21"), FieldTypes::Applied),
        evaluation(ui->cb_21_l, QStringLiteral("item_21_l"), FieldTypes::Others),
        required(choiceField(ui->Pl_126, "ITEM_126", QStringLiteral("课题来源"), 2)),
        number,
        name,
    };
    fields.insert(fields.end(), money.begin(), money.end());
    fields.insert(fields.end(),
                  {
                      choiceField(ui->Pl_140, "ITEM_140", QStringLiteral("国家计划"), 1),
                      textField(ui->Edt_130, "ITEM_130", QStringLiteral("评价单位")),
                      textField(ui->edt_22, "ITEM_22", QStringLiteral("评价报告编号")),
                      textDateField({ui->CheckBox_34, ui->DTP_34, ui->edt_34}, "ITEM_34",
                                    QStringLiteral("评价日期"), QStringLiteral("本项评价日期：'"),
                                    QStringLiteral("' 不是正确的时间格式！现在已经更换。")),
                      plan,
                  });
    setFields(std::move(fields));
}

TFpage3::~TFpage3() = default;

QString TFpage3::requiredMessage(const QString& label) const {
    return QStringLiteral("“") + label + QStringLiteral("”不能为空！");
}

PageField TFpage3::moneyField(QLineEdit* edit, std::string field, const QString& prefix) {
    numericEdit(edit, true, prefix);
    widgets::limitGbkBytes(edit, kMoneyLength);
    edit->setToolTip(kMoneyHint);
    PageField f = numberField(edit, std::move(field));
    // The limit holds what is typed or pasted; a longer stored amount still loads whole.
    f.load = [edit, load = f.load](const store::Value& stored) {
        const QValidator* limit = edit->validator();
        edit->setValidator(nullptr);
        load(stored);
        edit->setValidator(limit);
    };
    return f;
}

// ---- loading and showing ------------------------------------------------------------------

void TFpage3::loadRecord(store::Dataset& row) {
    widgets::ClearChoiceBoxes(this);
    const bool applied = appliedBySelector();
    ui->cb_21->setVisible(applied);
    ui->cb_21_l->setVisible(!applied);
    RecordPage::loadRecord(row);
    showPlans(lastCode(valueText(row.field("ITEM_126").value())),
              valueText(row.field("ITEM_41_1").value()).trimmed());
}

void TFpage3::showPlans(const QString& sourceCode, const QString& planCode) {
    if (planCode.isEmpty()) {
        hidePlans();
        return;
    }
    GetItem41List(DM->TblDFJHZDXX, sourceCode, false, ui->Lb_41, ui->CB_41);
    const auto* source = ui->Pl_126->findChild<QCheckBox*>(QStringLiteral("cb_126_") + sourceCode);
    ui->Lb_41->setText(source != nullptr && source != ui->cb_126_01
                           ? QStringLiteral("“") + source->text() + QStringLiteral("”的下属分类")
                           : kChoosePlan);
    ui->CB_41->show();
    ui->Lb_41->show();
    selectCodeOrKeep(ui->CB_41, planCode);
}

void TFpage3::hidePlans() {
    // Emptied too: a hidden list must not hand a plan to the save.
    ui->CB_41->clear();
    ui->CB_41->hide();
    ui->Lb_41->hide();
}

void TFpage3::FormShow() {
    RecordPage::FormShow();
    cb_126_01Click();
}

void TFpage3::GetItem41List(store::Dataset& table, const QString& code, bool keepWithoutBlank,
                            QLabel* label, QComboBox* combo) {
    table.setFilter((QStringLiteral("item_126 ='") + QuoteFilterText(code) + QStringLiteral("'"))
                        .toStdString());
    table.open();
    combo->clear();
    if (table.recordCount() == 0) {
        combo->hide();
        label->hide();
        return;
    }
    combo->show();
    label->show();
    for (table.first(); !table.eof(); table.next()) {
        const QString plan = valueText(table.field("item_41_").value());
        const QString name = valueText(table.field("xxmc").value());
        if (!plan.isEmpty() && !name.isEmpty()) {
            combo->addItem(plan + kCodeSeparator + name);
        }
    }
    if (!keepWithoutBlank) {
        combo->addItem(QStringLiteral(" "));
    }
    combo->setCurrentIndex(-1);
}

// ---- the project source -------------------------------------------------------------------

void TFpage3::cb_126OnClick(QCheckBox* box) {
    if (!box->isChecked()) {
        // A source no longer chosen takes its plan along: nothing is stored for it.
        hidePlans();
        return;
    }
    // One ordinary source, with or without the national plan.
    UncheckOthers(ui->Pl_126, box, ui->cb_126_01);
    ui->CB_41->clear();
    ui->CB_41->show();
    ui->Lb_41->setText(QStringLiteral("“") + box->text() + QStringLiteral("”的下属分类"));
    GetItem41List(DM->TblDFJHZDXX, box->objectName().right(2), false, ui->Lb_41, ui->CB_41);
}

void TFpage3::RB_140_1Click() {
    ui->cb_126_01->setChecked(true);
}

void TFpage3::SpeedButton11Click() {
    ui->cb_126_01->setChecked(false);
    widgets::ClearChoiceBoxes(ui->Pl_140);
}

void TFpage3::cb_126_01Click() {
    ui->Label_127->setStyleSheet(isNationalPlan() ? QStringLiteral("color: #800000;") : QString());
}

bool TFpage3::isNationalPlan() const {
    return ui->cb_126_01->isChecked();
}

void TFpage3::requireForNationalPlan(const QLineEdit* edit, const QString& label) const {
    if (isNationalPlan() && edit->text().trimmed().isEmpty()) {
        widgets::ShowWarning(QStringLiteral("“课题来源”为“国家计划”的项目，“") + label +
                             QStringLiteral("”不能为空！"));
        throw SilentAbort();
    }
}

// ---- the running sums ---------------------------------------------------------------------

void TFpage3::Edt_142_1Change() {
    ui->Edt_142->setText(sumText({ui->Edt_142_1, ui->Edt_142_2, ui->Edt_142_3}));
}

void TFpage3::Edt_141Change() {
    ui->Edt_149->setText(sumText({ui->Edt_142, ui->Edt_141, ui->Edt_148, ui->Edt_143, ui->Edt_144,
                                  ui->Edt_243, ui->Edt_244, ui->Edt_145}));
}
