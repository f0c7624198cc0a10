#include "UnitPage1.h"

#include <optional>
#include <utility>

#include "ChoiceBoxes.h"
#include "Clock.h"
#include "CodeLists.h"
#include "Dataset.h"
#include "EntryText.h"
#include "GbkLimit.h"
#include "SilentAbort.h"
#include "UnitDM.h"
#include "ValueText.h"
#include "Warnings.h"
#include "ui_UnitPage1.h"

using widgets::valueText;

TFpage1* Fpage1 = nullptr;
std::array<unsigned char, 6> TreeTargetPage1{};

namespace {

const QString kPeriodRequired = QStringLiteral("研究起止时间为必填项！");
const QString kBadYear = QStringLiteral("年份不合理，合理取值为1949年至今！");
const QString kBadMonth = QStringLiteral("月份数不合理！");
const QString kCodeSeparator = QStringLiteral("  ");
// Bytes the three keywords may hold together (98 double-byte characters).
constexpr int kKeywordBytes = 196;

int thisYear() {
    return widgets::Clock::instance().today().year();
}

// The number of a period edit, or nothing when it is not one.
std::optional<int> numberOf(const QLineEdit* edit) {
    bool ok = false;
    const int number = edit->text().trimmed().toInt(&ok);
    return ok ? std::optional<int>(number) : std::nullopt;
}

QString twoDigits(int month) {
    return QStringLiteral("%1").arg(month, 2, 10, QLatin1Char('0'));
}

}  // namespace

TFpage1::TFpage1(widgets::MainWindowOperations& mainWindow, widgets::ClassPicker& picker,
                 QWidget* parent)
    : RecordPage(mainWindow, QStringLiteral("01"), parent),
      m_picker(picker),
      ui(std::make_unique<Ui::TFpage1>()) {
    ui->setupUi(this);
    setUpFrame(ui->btnSave01, ui->Button3, ui->quit01);

    for (QLineEdit* keyword : {ui->edt_14_1, ui->edt_14_2, ui->edt_14_3}) {
        widgets::limitGbkBytes(keyword, 198);
    }
    connect(ui->edt_14_1, &QLineEdit::textChanged, this, &TFpage1::edt_14_1Change);
    connect(ui->edt_14_2, &QLineEdit::textChanged, this, &TFpage1::edt_14_2Change);
    onClick(ui->edt_14_2, [this] { edt_14_1Change(); });
    onClick(ui->edt_14_3, [this] { edt_14_2Change(); });

    for (QLineEdit* period : {ui->edt_8_y_s, ui->edt_8_m_s, ui->edt_8_y_e, ui->edt_8_m_e}) {
        digitKeysOnly(period);
    }
    onExit(ui->edt_8_y_s, [this] { edt_8_y_sExit(); });
    onExit(ui->edt_8_y_e, [this] { edt_8_y_eExit(); });
    onExit(ui->edt_8_m_s, [this] { edt_8_m_sExit(); });
    onExit(ui->edt_8_m_e, [this] { edt_8_m_eExit(); });

    clearBlankOnClick(ui->Mo_13);
    clearBlankOnClick(ui->Mo_13_1);
    singleSelectPanel(ui->Pl_124_1);
    singleSelectPanel(ui->PL_200);
    singleSelectPanel(ui->PL_125);

    connect(ui->cb_15, &DropDownButton::dropDown, this, &TFpage1::cb_15DropDown);
    connect(ui->cb_15_1, &DropDownButton::dropDown, this, &TFpage1::cb_15_1DropDown);
    connect(ui->CB_12, &DropDownButton::dropDown, this, &TFpage1::CB_12DropDown);
    connect(ui->CB_12_1, &DropDownButton::dropDown, this, &TFpage1::CB_12_1DropDown);

    PageField period("ITEM_8", QStringLiteral("研究起止时间"));
    period.check = [this] { checkPeriod(); };
    period.load = [this](const store::Value& stored) {
        widgets::SplitPeriod(valueText(stored), ui->edt_8_y_s, ui->edt_8_m_s, ui->edt_8_y_e,
                             ui->edt_8_m_e);
        for (const QLineEdit* edit : {ui->edt_8_y_s, ui->edt_8_m_s, ui->edt_8_y_e, ui->edt_8_m_e}) {
            if (!numberOf(edit)) {
                widgets::ShowWarning(
                    QStringLiteral("项目中”起止时间“不是正确的时间格式！现在已经更换。"));
                widgets::SplitPeriod(QString(), ui->edt_8_y_s, ui->edt_8_m_s, ui->edt_8_y_e,
                                     ui->edt_8_m_e);
                break;
            }
        }
    };
    period.value = [this] { return store::Value(periodText().toStdString()); };

    PageField keywords("ITEM_14", QStringLiteral("关键词"));
    keywords.check = [this] { checkKeywords(); };
    keywords.load = [this](const store::Value& stored) {
        widgets::SplitToControls(valueText(stored), ui->edt_14_1, ui->edt_14_2, ui->edt_14_3);
        edt_14_1Change();  // an edit left empty signals no change
    };
    keywords.value = [this] {
        const QString joined = keywordsText();
        return joined.isEmpty() ? store::Value() : store::Value(joined.toStdString());
    };

    PageField outcome("outcomeb");
    outcome.types = FieldTypes::Applied;
    outcome.value = [] { return store::Value("9990001000"); };
    outcome.compared = false;
    outcome.emptiedForOtherTypes = false;

    auto applied = [](PageField field) {
        field.types = FieldTypes::Applied;
        return field;
    };
    auto others = [](PageField field) {
        field.types = FieldTypes::Others;
        return field;
    };

    // In the order of the page's checks.
    setFields({
        period,
        required(
            codeField(ui->CB_1, "ITEM_1", QStringLiteral("成果密级"), QStringLiteral("item_1"))),
        keywords,
        applied(required(codeField(ui->cb_16, "ITEM_16", QStringLiteral("成果所处阶段"),
                                   QStringLiteral("item_16")))),
        applied(required(codeField(ui->cb_33, "ITEM_33", QStringLiteral("转让范围"),
                                   QStringLiteral("item_33")))),
        applied(required(choiceField(ui->PL_123, "ITEM_123", QStringLiteral("成果体现形式"), 1))),
        others(required(codeField(ui->cb_210, "ITEM_210", QStringLiteral("成果体现形式"),
                                  QStringLiteral("item_210")))),
        others(required(choiceField(ui->PL_200, "ITEM_200", QStringLiteral("社会经济目标"), 2))),
        applied(required(codeField(ui->Cb_125_1, "ITEM_125_1", QStringLiteral("成果属性"),
                                   QStringLiteral("item_125_1"), 2))),
        required(codeField(ui->cb_201, "ITEM_201", QStringLiteral("研究形式"),
                           QStringLiteral("item_201"))),
        required(
            codeField(ui->cb_2, "ITEM_2", QStringLiteral("成果水平"), QStringLiteral("item_2"))),
        required(choiceField(ui->PL_125, "ITEM_125", QStringLiteral("成果应用行业"), 2)),
        required(memoField(ui->Mo_13_1, "ITEM_13_1", QStringLiteral("简要技术说明与应用前景"))),
        required(memoField(ui->Mo_13, "ITEM_13", QStringLiteral("成果公告内容"))),
        textField(ui->Edt_120, "ITEM_120", QStringLiteral("成果管理编号")),
        textField(ui->Edt_128, "ITEM_128", QStringLiteral("推荐单位")),
        dateField(ui->DTP_121, "ITEM_121", QStringLiteral("登记日期"), QStringLiteral("'"),
                  QStringLiteral("'不是正确的时间格式！现在已经更换。")),
        applied(choiceField(ui->Pl_124_1, "ITEM_124_1", QStringLiteral("所属高新科技领域"), 2)),
        outcome,
        classField(ui->Edt_15, "ITEM_15", ClassTable::Discipline),
        classField(ui->edt_15_1, "ITEM_15_1", ClassTable::Discipline),
        classField(ui->edt_12, "ITEM_12", ClassTable::Library),
        classField(ui->edt_12_1, "ITEM_12_1", ClassTable::Library),
    });
}

TFpage1::~TFpage1() = default;

bool TFpage1::hasTable(ClassTable table) {
    return table == ClassTable::Discipline ? DM->HasDisciplineTable : DM->HasClcTable;
}

PageField TFpage1::classField(QLineEdit* edit, std::string field, ClassTable table) {
    PageField f(std::move(field), table == ClassTable::Discipline ? QStringLiteral("学科分类号")
                                                                  : QStringLiteral("中图分类号"));
    f.load = [edit, table](const store::Value& stored) {
        const QString code = valueText(stored);
        if (hasTable(table)) {
            edit->setReadOnly(true);
            widgets::ShowClassCode(table == ClassTable::Discipline ? DM->Txkfl2 : DM->Tztflh2,
                                   code.trimmed(), edit);
            // A code the table lacks stays, shown as itself.
            if (edit->text().isEmpty() && !code.trimmed().isEmpty()) {
                edit->setText(code.trimmed() + kCodeSeparator);
            }
        } else {
            edit->setReadOnly(false);
            if (edit->validator() == nullptr) {
                widgets::limitGbkBytes(edit, 10);
            }
            edit->setText(code);
        }
    };
    f.value = [edit, table] {
        const QString shown = edit->text();
        if (!hasTable(table)) {
            const QString code = shown.left(10);
            return code.isEmpty() ? store::Value() : store::Value(code.toStdString());
        }
        const qsizetype separator = shown.indexOf(kCodeSeparator);
        const QString code = separator < 0 ? QString() : shown.left(separator).trimmed();
        return code.isEmpty() ? store::Value() : store::Value(code.toStdString());
    };
    return f;
}

void TFpage1::FormShow() {
    ui->cb_15->setVisible(DM->HasDisciplineTable);
    ui->cb_15_1->setVisible(DM->HasDisciplineTable);
    ui->CB_12->setVisible(DM->HasClcTable);
    ui->CB_12_1->setVisible(DM->HasClcTable);
    RecordPage::FormShow();
}

void TFpage1::showTypeLayout(bool applied) {
    for (QWidget* control :
         std::initializer_list<QWidget*>{ui->Lb_125_1, ui->Cb_125_1, ui->PL_123, ui->Label18,
                                         ui->Label20, ui->cb_16, ui->cb_33, ui->Pl_124_1}) {
        control->setVisible(applied);
    }
    ui->cb_210->setVisible(!applied);
    ui->PL_200->setVisible(!applied);
    ui->Label22->setText(applied ? QStringLiteral("所属高新科技领域")
                                 : QStringLiteral("社会经济目标"));
    ui->Label22->setStyleSheet(applied ? QString() : QStringLiteral("color: #800000;"));
}

void TFpage1::loadRecord(store::Dataset& row) {
    widgets::ClearChoiceBoxes(this);
    showTypeLayout(appliedBySelector());
    RecordPage::loadRecord(row);
}

// ---- the period -------------------------------------------------------------------------

QString TFpage1::periodText() const {
    return ui->edt_8_y_s->text() + QLatin1Char('.') + ui->edt_8_m_s->text() +
           QStringLiteral("   至") + ui->edt_8_y_e->text() + QLatin1Char('.') +
           ui->edt_8_m_e->text();
}

void TFpage1::checkPeriod() {
    QLineEdit* const years[] = {ui->edt_8_y_s, ui->edt_8_y_e};
    QLineEdit* const months[] = {ui->edt_8_m_s, ui->edt_8_m_e};
    for (QLineEdit* edit : {ui->edt_8_y_s, ui->edt_8_m_s, ui->edt_8_y_e, ui->edt_8_m_e}) {
        edit->setText(edit->text().trimmed());
    }
    for (QLineEdit* edit : {ui->edt_8_y_s, ui->edt_8_m_s, ui->edt_8_y_e, ui->edt_8_m_e}) {
        if (edit->text().isEmpty()) {
            widgets::ShowWarningAndAbort(kPeriodRequired);
        }
    }
    // The period is judged on its numbers, and stored with two-digit months.
    for (QLineEdit* edit : years) {
        const auto year = numberOf(edit);
        if (!year || *year < 1949 || *year > thisYear()) {
            widgets::ShowWarningAndAbort(kBadYear);
        }
        edit->setText(QString::number(*year));
    }
    for (QLineEdit* edit : months) {
        const auto month = numberOf(edit);
        if (!month || *month < 1 || *month > 12) {
            widgets::ShowWarningAndAbort(kBadMonth);
        }
        edit->setText(twoDigits(*month));
    }
    auto yearMonth = [](QLineEdit* year, QLineEdit* month) {
        return std::pair(year->text().toInt(), month->text().toInt());
    };
    const auto start = yearMonth(ui->edt_8_y_s, ui->edt_8_m_s);
    const auto end = yearMonth(ui->edt_8_y_e, ui->edt_8_m_e);
    const QDate registered = ui->DTP_121->date();
    if (end > std::pair(registered.year(), registered.month())) {
        widgets::ShowWarningAndAbort(QStringLiteral("所填写的研究终止时间不应大于登记日期！"));
    }
    if (start > end) {
        widgets::ShowWarningAndAbort(QStringLiteral("所填写的研究起止时间错误！"));
    }
}

// A year or month that is wrong is pointed out and stays as typed: the save's check refuses
// it, and nothing the user did not type is ever stored. An empty one is left to that check.
void TFpage1::yearExit(QLineEdit* edit) {
    edit->setText(edit->text().trimmed());
    if (edit->text().isEmpty()) {
        return;
    }
    const auto year = numberOf(edit);
    if (year && *year >= 1949 && *year <= thisYear()) {
        edit->setText(QString::number(*year));
    } else {
        widgets::ShowWarning(kBadYear);
    }
}

void TFpage1::monthExit(QLineEdit* edit) {
    edit->setText(edit->text().trimmed());
    if (edit->text().isEmpty()) {
        return;
    }
    const auto month = numberOf(edit);
    if (month && *month >= 1 && *month <= 12) {
        edit->setText(twoDigits(*month));
    } else {
        widgets::ShowWarning(kBadMonth);
    }
}

void TFpage1::edt_8_y_sExit() {
    yearExit(ui->edt_8_y_s);
}

void TFpage1::edt_8_y_eExit() {
    yearExit(ui->edt_8_y_e);
}

void TFpage1::edt_8_m_sExit() {
    monthExit(ui->edt_8_m_s);
}

void TFpage1::edt_8_m_eExit() {
    monthExit(ui->edt_8_m_e);
}

// ---- keywords ---------------------------------------------------------------------------

QString TFpage1::keywordsText() const {
    const QString first = ui->edt_14_1->text();
    const QString second = ui->edt_14_2->text();
    const QString third = ui->edt_14_3->text();
    if (!first.isEmpty() && !second.isEmpty() && !third.isEmpty()) {
        return first + QLatin1Char(';') + second + QLatin1Char(';') + third;
    }
    if (!first.isEmpty() && !second.isEmpty()) {
        return first + QLatin1Char(';') + second;
    }
    return first;
}

void TFpage1::checkKeywords() {
    int bytes = 0;
    for (const QLineEdit* keyword : {ui->edt_14_1, ui->edt_14_2, ui->edt_14_3}) {
        bytes += std::max(widgets::gbkByteLength(keyword->text()), 0);
    }
    if (bytes > kKeywordBytes) {
        widgets::ShowWarningAndAbort(QStringLiteral("\"关键词\"三栏总字数不要超过98字"));
    }
}

void TFpage1::edt_14_1Change() {
    if (ui->edt_14_1->text().trimmed().isEmpty()) {
        ui->edt_14_2->clear();
        ui->edt_14_2->setEnabled(false);
    } else {
        ui->edt_14_2->setEnabled(true);
    }
    // The third keyword follows the second: it never holds a text that the value would drop.
    edt_14_2Change();
}

void TFpage1::edt_14_2Change() {
    if (ui->edt_14_2->text().trimmed().isEmpty()) {
        ui->edt_14_3->clear();
        ui->edt_14_3->setEnabled(false);
    } else {
        ui->edt_14_3->setEnabled(true);
    }
}

// ---- classification picker --------------------------------------------------------------

void TFpage1::openTree(int byte, QLineEdit* edit, ClassTable table) {
    TreeTargetPage1.fill(0);
    TreeTargetPage1[static_cast<size_t>(byte)] = 1;
    m_picker.registerTarget(
        TreeTargetPage1, byte, edit,
        table == ClassTable::Discipline ? QStringLiteral("xkfl") : QStringLiteral("ztflh"));
    m_picker.showFor(TreeTargetPage1);
}

void TFpage1::cb_15DropDown() {
    openTree(0, ui->Edt_15, ClassTable::Discipline);
}

void TFpage1::cb_15_1DropDown() {
    openTree(1, ui->edt_15_1, ClassTable::Discipline);
}

void TFpage1::CB_12DropDown() {
    openTree(2, ui->edt_12, ClassTable::Library);
}

void TFpage1::CB_12_1DropDown() {
    openTree(3, ui->edt_12_1, ClassTable::Library);
}
