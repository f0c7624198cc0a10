#include "Unitpage2.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <utility>
#include <vector>

#include "ChoiceBoxes.h"
#include "Dataset.h"
#include "Dialogs.h"
#include "RecordRows.h"
#include "SilentAbort.h"
#include "UnitDM.h"
#include "Unitpage6.h"
#include "Warnings.h"
#include "ui_Unitpage2.h"

TFpage2* Fpage2 = nullptr;

namespace {

const QString kReasonLabel = QStringLiteral("未应用或停用原因");

QString rowText(const char* field) {
    store::Query& list = DM->Qryhvel;
    return list.recordCount() > 0 ? QString::fromStdString(list.field(field).asText()) : QString();
}

void filterPatentsToRecord() {
    recordrows::filterToRecord(DM->tblzlqk, rowText("ITEM_4"), rowText("ITEM_DQDM"));
}

const QString kPatentForm = QStringLiteral("1");
const QString kSoftwareForm = QStringLiteral("3");
const QString kStableStatus = QStringLiteral("1");
const QString kUnappliedStatus = QStringLiteral("3");

// Unchecks a radio button too, which Qt refuses while it is the checked one of its group.
void uncheck(QAbstractButton* button) {
    const bool exclusive = button->autoExclusive();
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(exclusive);
}

int countIn(const QLineEdit* edit) {
    return edit->text().trimmed().toInt();
}

}  // namespace

TFpage2::TFpage2(widgets::MainWindowOperations& mainWindow, QWidget* parent)
    : RecordPage(mainWindow, QStringLiteral("02"), parent), ui(std::make_unique<Ui::TFpage2>()) {
    ui->setupUi(this);
    setUpFrame(ui->btnSave01, ui->Button3, ui->quit01);

    for (QLineEdit* edit : {ui->edt_51_2, ui->edt_51_3, ui->Edt_45}) {
        digitKeysOnly(edit);
    }
    // Amounts in 万元 take one decimal point.
    for (QLineEdit* edit :
         {ui->Edt_150, ui->Edt_151_1, ui->Edt_152_1, ui->Edt_153, ui->Edt_154, ui->Edt_162}) {
        numericEdit(edit, true);
    }

    // Only a choice of the user's is a change: the loader selects and updates by itself.
    connect(ui->cb_51, &QComboBox::activated, this, [this] { guarded(&TFpage2::cb_51Change); });
    connect(ui->CB_32, &QComboBox::activated, this, &TFpage2::cb_32Change);
    connect(ui->Button1, &QPushButton::clicked, this, [this] { guarded(&TFpage2::Button1Click); });
    const std::pair<QChar, void (TFpage2::*)()> groups[] = {
        {QLatin1Char('1'), &TFpage2::rb_160_11Click},
        {QLatin1Char('2'), &TFpage2::rb_160_21Click},
        {QLatin1Char('3'), &TFpage2::rb_160_31Click},
        {QLatin1Char('4'), &TFpage2::rb_160_41Click},
        {QLatin1Char('5'), &TFpage2::rb_160_51Click}};
    for (QRadioButton* reason : ui->Pl_160->findChildren<QRadioButton*>()) {
        const QChar group = reason->objectName().at(reason->objectName().size() - 2);
        for (const auto& [digit, handler] : groups) {
            if (digit == group) {
                connect(reason, &QRadioButton::clicked, this, handler);
            }
        }
    }

    PageField form = codeField(ui->cb_51, "ITEM_51", QStringLiteral("知识产权形式"),
                               QStringLiteral("item_51"), 1, true, false);
    form.load = [this, select = form.load](const store::Value& stored) {
        select(stored);
        m_loadedForm = ui->cb_51->currentIndex();
        UpdatePatentInfo();
    };

    // ITEM_32_1 and ITEM_160 hold reasons only for a status other than stable application.
    auto unlessStable = [this](PageField field) {
        field.value = [this, collect = field.value] {
            return statusCode() == kStableStatus ? store::Value() : collect();
        };
        return field;
    };
    PageField reasonGroups = unlessStable(choiceField(ui->pl_32_1, "ITEM_32_1", kReasonLabel, 1));
    reasonGroups.check = [this] {
        if (statusCode() != kStableStatus &&
            widgets::CollectCheckedCodes(this, ui->pl_32_1, 1, kReasonLabel).isEmpty()) {
            widgets::ShowWarningAndAbort(
                QStringLiteral("非\"稳定应用\"的项目，其\"未应用或停用原因\"必须说明！"));
        }
    };

    PageField promotion =
        required(choiceField(ui->pl_161, "ITEM_161", QStringLiteral("推广形式"), 1));
    promotion.message = QStringLiteral("\"推广形式\"必须选择！");

    // The counts are those of the patent rows (UpdatePatentInfo, the patent list), never the
    // ones stored with the record, which a list left unsaved can have made stale.
    auto count = [this](QLineEdit* edit, std::string field, QString label) {
        PageField f = numberField(edit, std::move(field), std::move(label));
        f.load = nullptr;
        return f;
    };
    PageField applied = count(ui->edt_51_2, "ITEM_51_2", QStringLiteral("申请专利项数"));
    applied.check = [this] {
        if (formCode() == kPatentForm && countIn(ui->edt_51_2) == 0 && countIn(ui->edt_51_3) == 0) {
            widgets::ShowWarningAndAbort(QStringLiteral("请填写专利情况！"));
        }
    };

    // In the order of the page's checks.
    setFields({
        form,
        required(
            codeField(ui->CB_32, "ITEM_32", QStringLiteral("应用状态"), QStringLiteral("item_32"))),
        reasonGroups,
        promotion,
        applied,
        count(ui->edt_51_3, "ITEM_51_3", QStringLiteral("授权项数")),
        numberField(ui->Edt_45, "ITEM_45"),
        numberField(ui->Edt_150, "ITEM_150"),
        textField(ui->Edt_53, "ITEM_53", QStringLiteral("软件著作权登记号")),
        textField(ui->Edt_52, "ITEM_52", QStringLiteral("软件著作权名称")),
        numberField(ui->Edt_151_1, "ITEM_151_1"),
        numberField(ui->Edt_152_1, "ITEM_152_1"),
        numberField(ui->Edt_153, "ITEM_153"),
        numberField(ui->Edt_154, "ITEM_154"),
        numberField(ui->Edt_162, "ITEM_162"),
        codeField(ui->cb_46, "ITEM_46", QStringLiteral("预计达产投资"), QStringLiteral("item_46"),
                  2, true, false),
        codeField(ui->cb_47, "ITEM_47", QStringLiteral("预计达产利润"), QStringLiteral("item_47"),
                  2, true, false),
        unlessStable(
            choiceField(ui->Pl_160, "ITEM_160", QStringLiteral("未应用或停用原因细类"), 2)),
    });
}

TFpage2::~TFpage2() = default;

void TFpage2::ShowLoadError(const std::exception& error) {
    widgets::ShowWarning(QStringLiteral("读入数据时出错:") + QString::fromUtf8(error.what()) +
                         QStringLiteral("0"));
}

void TFpage2::guarded(void (TFpage2::*handler)()) {
    try {
        (this->*handler)();
    } catch (const SilentAbort&) {
    } catch (const std::exception& error) {
        ShowLoadError(error);
    }
}

void TFpage2::loadRecord(store::Dataset& row) {
    widgets::ClearChoiceBoxes(this);
    RecordPage::loadRecord(row);
}

void TFpage2::FormShow() {
    applyStatus(false);
    RecordPage::FormShow();
}

// ---- the status -----------------------------------------------------------------------------

QString TFpage2::statusCode() const {
    return comboCode(ui->CB_32);
}

void TFpage2::applyStatus(bool withOwnTransfer) {
    // The code decides, as it decides what is stored, whatever the option's text says.
    const bool stable = statusCode() == kStableStatus;
    for (QCheckBox* group : ui->pl_32_1->findChildren<QCheckBox*>()) {
        if (stable) {
            uncheck(group);
        }
        group->setEnabled(false);  // set through the reasons only
    }
    for (QRadioButton* reason : ui->Pl_160->findChildren<QRadioButton*>()) {
        if (stable) {
            uncheck(reason);
        }
        reason->setEnabled(!stable);
    }
    const bool unapplied = statusCode() == kUnappliedStatus;
    for (QLineEdit* benefit :
         {ui->Edt_45, ui->Edt_150, ui->Edt_151_1, ui->Edt_152_1, ui->Edt_153, ui->Edt_154}) {
        if (unapplied) {
            benefit->clear();
        }
        benefit->setEnabled(!unapplied);
    }
    // The own transfer income is emptied only by a choice of status; on showing it keeps
    // what was loaded, but is never left disabled by an earlier record.
    if (unapplied && withOwnTransfer) {
        ui->Edt_162->clear();
    }
    ui->Edt_162->setEnabled(!unapplied);
}

void TFpage2::cb_32Change() {
    applyStatus(true);
}

void TFpage2::reasonClick(int group) {
    auto* box = ui->pl_32_1->findChild<QCheckBox*>(QStringLiteral("cb_32_1_%1").arg(group));
    box->setChecked(true);
    cb_32_1OnClick(box);
}

void TFpage2::cb_32_1OnClick(QAbstractButton* box) {
    if (box->isChecked()) {
        UncheckOthers(ui->pl_32_1, box);
    }
}

// ---- intellectual property ------------------------------------------------------------------

QString TFpage2::formCode() const {
    return ui->cb_51->currentText().left(1).trimmed();
}

void TFpage2::showPatentControls(bool shown) {
    for (QWidget* control : std::initializer_list<QWidget*>{ui->Lb_51_2, ui->Lb_51_3, ui->edt_51_2,
                                                            ui->edt_51_3, ui->Button1}) {
        control->setVisible(shown);
    }
}

void TFpage2::showSoftwareControls(bool shown) {
    for (QWidget* control :
         std::initializer_list<QWidget*>{ui->Lb_53, ui->Lb_52, ui->Edt_53, ui->Edt_52}) {
        control->setVisible(shown);
    }
}

void TFpage2::showPatentCounts(int applied, int granted) {
    ui->edt_51_2->setText(QString::number(applied));
    ui->edt_51_3->setText(QString::number(granted));
}

void TFpage2::UpdatePatentInfo() {
    const QString form = formCode();
    if (form == kPatentForm) {
        // Without a current record there are no patents of it to count.
        if (DM->Qryhvel.recordCount() > 0) {
            filterPatentsToRecord();
            const PatentCounts counts = TFpage6::CountPatents();
            showPatentCounts(counts.applied, counts.granted);
        }
        showPatentControls(true);
        showSoftwareControls(false);
        ui->Edt_52->clear();
        ui->Edt_53->clear();
        return;
    }
    showPatentControls(false);
    ui->edt_51_2->clear();
    ui->edt_51_3->clear();
    const bool software = form == kSoftwareForm;
    showSoftwareControls(software);
    ui->Edt_52->setText(software ? rowText("ITEM_52") : QString());
    ui->Edt_53->setText(software ? rowText("ITEM_53") : QString());
}

void TFpage2::cb_51Change() {
    UpdatePatentInfo();
}

int TFpage2::recordPatentRows() const {
    if (DM->Qryhvel.recordCount() == 0) {
        return 0;
    }
    filterPatentsToRecord();
    return DM->tblzlqk.recordCount();
}

bool TFpage2::confirmSave() {
    if (formCode() == kPatentForm || recordPatentRows() == 0) {
        return true;
    }
    const QString question =
        formCode() == kSoftwareForm
            ? QStringLiteral("更改为软件著作权后，记录选项将更改,是否更改？")
            : QStringLiteral("更改知识产权形式后，该项目已填写的专利情况将被删除，是否更改？");
    const int answer = widgets::Dialogs::instance().message(
        this, widgets::Icon::Question, QStringLiteral("请注意！"), question,
        widgets::Yes | widgets::No, widgets::Yes);
    if (answer == widgets::Yes) {
        return true;
    }
    // The form the record had, with its patents.
    ui->cb_51->setCurrentIndex(m_loadedForm);
    UpdatePatentInfo();
    return false;
}

void TFpage2::writeAlongside() {
    // A record that no longer has patents as its form loses its patent rows with this save.
    if (formCode() == kPatentForm || recordPatentRows() == 0) {
        return;
    }
    store::Table& patents = DM->tblzlqk;
    while (patents.recordCount() > 0) {
        patents.first();
        patents.deleteRecord();
    }
}

void TFpage2::rereadAlongside() {
    // The unit has rolled the patent file back.
    DM->tblzlqk.close();
    DM->tblzlqk.open();
}

void TFpage2::Button1Click() {
    if (DM->Qryhvel.recordCount() == 0 || Fpage6 == nullptr) {
        return;
    }
    filterPatentsToRecord();
    Fpage6->setWindowTitle(QStringLiteral("成果名称：") + rowText("ITEM_3"));
    connect(Fpage6, &TFpage6::patentsCounted, this, &TFpage2::showPatentCounts,
            Qt::UniqueConnection);
    Fpage6->showPage();
}
