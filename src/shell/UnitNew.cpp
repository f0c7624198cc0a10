#include "UnitNew.h"

#include <QCloseEvent>
#include <QFocusEvent>
#include <QSignalBlocker>
#include <exception>
#include <span>

#include "Database.h"
#include "Dataset.h"
#include "Dialogs.h"
#include "EntryText.h"
#include "Errors.h"
#include "GbkLimit.h"
#include "RecordRows.h"
#include "SilentAbort.h"
#include "SqlText.h"
#include "Unit1.h"
#include "UnitDM.h"
#include "ValueText.h"
#include "Warnings.h"
#include "ui_UnitNew.h"

using widgets::fieldText;

bool NewFormClean = true;
QString OldKey;
QString OldName;
QString SameNameSql;
TFormNew* FormNew = nullptr;

const QString TFormNew::NewCaption = QStringLiteral("请填写新项目！");
const QString TFormNew::ModifyCaption = QStringLiteral("修改主要项目！");

namespace {

const QString kNotDigits = QStringLiteral("不能输入非数字的字符！");
const QString kYearOutOfRange = QStringLiteral("不能输入1900到2050外的年份！");

bool isDigits(const QString& text) {
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return false;
        }
    }
    return true;
}

bool isYearInRange(const QString& text) {
    bool ok = false;
    const int year = text.trimmed().toInt(&ok);
    return ok && year >= 1900 && year <= 2050;
}

// Fields that only applied technology has, and those only the other types have; a change of
// type empties the ones the new type lacks. ITEM_21 keeps the codes both lists share.
constexpr const char* kAppliedOnly[] = {"ITEM_123", "ITEM_124_1", "ITEM_16",   "ITEM_33",
                                        "ITEM_32",  "ITEM_32_1",  "ITEM_125_1"};
constexpr const char* kOthersOnly[] = {"ITEM_210", "ITEM_200"};

void emptyFieldsOfOtherTypes(store::Dataset& row, bool applied) {
    for (const char* name : applied ? std::span<const char* const>(kOthersOnly)
                                    : std::span<const char* const>(kAppliedOnly)) {
        row.field(name).clear();
    }
    const QString method = fieldText(row, "ITEM_21");
    const QStringList kept =
        applied ? QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                              QStringLiteral("5"), QStringLiteral("9")}
                : QStringList{QStringLiteral("2"), QStringLiteral("4"), QStringLiteral("6"),
                              QStringLiteral("9")};
    if (!kept.contains(method)) {
        row.field("ITEM_21").clear();
    }
}

}  // namespace

TFormNew::TFormNew(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TFormNew>()) {
    ui->setupUi(this);
    widgets::limitGbkBytes(ui->edt_120, 20);
    widgets::limitGbkBytes(ui->edt_3, 140);
    widgets::limitGbkBytes(ui->edt_9, 140);
    ui->cbYear->installEventFilter(this);

    connect(ui->Button1, &QPushButton::clicked, this, &TFormNew::Button1Click);
    connect(ui->Button2, &QPushButton::clicked, this, &TFormNew::Button2Click);
    for (QLineEdit* edit : {ui->edt_120, ui->edt_3, ui->edt_9}) {
        connect(edit, &QLineEdit::textChanged, this, [] { NewFormClean = false; });
    }
    connect(ui->cbYear, &QLineEdit::textChanged, this, &TFormNew::cbYearChange);
    connect(ui->ComboBox1, &QComboBox::currentIndexChanged, this, &TFormNew::ComboBox1Change);
    connect(ui->UpDown1, &QSpinBox::valueChanged, this,
            [this](int year) { ui->cbYear->setText(QString::number(year)); });
}

TFormNew::~TFormNew() = default;

int TFormNew::showModal() {
    FormShow();
    return widgets::Dialogs::instance().exec(*this);
}

int TFormNew::showNew() {
    setWindowTitle(NewCaption);
    ui->edt_120->clear();
    ui->edt_3->clear();
    ui->edt_9->clear();
    return showModal();
}

int TFormNew::showModify(int typeIndex, const QString& year, const QString& number,
                         const QString& name, const QString& unit) {
    {
        const QSignalBlocker blocker(ui->ComboBox1);
        ui->ComboBox1->setCurrentIndex(typeIndex);
    }
    setWindowTitle(ModifyCaption);
    ui->cbYear->setText(year);
    ui->edt_120->setText(number);
    ui->edt_3->setText(name);
    ui->edt_9->setText(unit);
    return showModal();
}

void TFormNew::FormShow() {
    if (windowTitle() == NewCaption) {
        store::Query& profile = DM->Qrydwqk;
        if (profile.active()) {
            profile.refresh();
            profile.first();
            if (profile.recordCount() > 0 && !profile.field("item_9").isNull()) {
                ui->edt_9->setText(fieldText(profile, "item_9"));
            }
        }
    }
    {
        const QSignalBlocker blocker(ui->ComboBox1);
        ui->ComboBox1->setCurrentIndex(MainForm->currentType() - 1);
    }
    ui->cbYear->setText(MainForm->yearText());
    NewFormClean = true;
}

void TFormNew::cbYearChange() {
    NewFormClean = false;
    const QString text = ui->cbYear->text();
    if (!isDigits(text)) {
        widgets::ShowWarning(kNotDigits);
        ui->cbYear->clear();
        return;
    }
    MainForm->showListedYear(text);
    if (isYearInRange(text)) {
        const QSignalBlocker blocker(ui->UpDown1);
        ui->UpDown1->setValue(text.toInt());
    }
}

void TFormNew::cbYearExit() {
    if (isYearInRange(ui->cbYear->text())) {
        return;
    }
    widgets::ShowWarning(kYearOutOfRange);
    ui->cbYear->clear();
    ui->cbYear->setFocus();
}

bool TFormNew::eventFilter(QObject* watched, QEvent* event) {
    // Leaving the year edit for another control of the dialog checks it; a message box or
    // another window taking the focus does not.
    if (watched == ui->cbYear && event->type() == QEvent::FocusOut && isVisible()) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            cbYearExit();
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TFormNew::ComboBox1Change() {
    NewFormClean = false;
    MainForm->listType(ui->ComboBox1->currentIndex());
}

void TFormNew::closeEvent(QCloseEvent* event) {
    // The window's close box leaves through "退出", which closes when nothing would be lost.
    event->ignore();
    Button2Click();
}

void TFormNew::reject() {
    Button2Click();
}

void TFormNew::closeIfClean() {
    if (FormCloseQuery()) {
        QDialog::done(QDialog::Rejected);
    }
}

void TFormNew::showError(const QString& text) {
    widgets::Dialogs::instance().message(this, widgets::Icon::None, QStringLiteral("提示"), text,
                                         widgets::Ok, widgets::Ok);
}

bool TFormNew::Button1Click() {
    const QString name = ui->edt_3->text().trimmed();
    const QString unit = ui->edt_9->text().trimmed();
    if (name.isEmpty() && unit.isEmpty() && ui->edt_120->text().trimmed().isEmpty()) {
        closeIfClean();
        return false;
    }
    QString year;
    try {
        year = widgets::RequireText(ui->cbYear->text(), QStringLiteral("年份不能为空！"));
        if (!isYearInRange(year)) {
            widgets::ShowWarning(kYearOutOfRange);
            return false;
        }
        widgets::RequireText(name, QStringLiteral("成果名称不能为空！"));
        widgets::RequireText(unit, QStringLiteral("成果第一完成单位不能为空！"));
    } catch (const SilentAbort&) {
        return false;
    }
    year = year.left(4);
    if (windowTitle() == ModifyCaption) {
        return modify(year, name, unit);
    }
    if (windowTitle() == NewCaption) {
        return create(year, name, unit);
    }
    return false;
}

bool TFormNew::nameTaken(const QString& name, const QString& exceptKey) {
    SameNameSql = QStringLiteral("select * from hvel where item_3='") + QuoteSqlText(name) +
                  QStringLiteral("'");
    store::Query& query = DM->tempquery;
    RunQuerySql(query, SameNameSql);
    for (query.first(); !query.eof(); query.next()) {
        if (fieldText(query, "item_4") != exceptKey) {
            return true;
        }
    }
    return false;
}

bool TFormNew::create(const QString& year, const QString& name, const QString& unit) {
    store::Query& list = DM->Qryhvel;
    ListSql = QString::fromStdString(list.sql()) + QLatin1Char('\n');
    const int position = list.recordCount() + 1;
    if (nameTaken(name, QString())) {
        widgets::Dialogs::instance().message(
            this, widgets::Icon::Information, QStringLiteral("提示信息"),
            QStringLiteral("已有同名项目!"), widgets::Ok, widgets::Ok);
        return false;
    }
    const QString key = recordrows::nextRecordKey(year);
    const int typeIndex = ui->ComboBox1->currentIndex();

    store::Database& db = DM->database();
    store::Table& rows = DM->T_temp_out;
    try {
        store::Database::Transaction unitOfWork(db);
        rows.append();
        rows.field("no").set(store::Value(std::to_string(position)));
        rows.field("item_cglb").set(store::Value(std::to_string(typeIndex + 1)));
        rows.field("item_4").set(store::Value(key.toStdString()));
        MainForm->addYear(key.left(4));
        rows.field("item_dqdm").set(store::Value("."));
        rows.field("item_120").set(store::Value(ui->edt_120->text().toStdString()));
        rows.field("item_3").set(store::Value(name.toStdString()));
        rows.field("item_9").set(store::Value(unit.toStdString()));
        rows.post();
        unitOfWork.commit();
    } catch (const std::exception& e) {
        if (rows.active()) {
            rows.cancel();
        }
        showError(QString::fromUtf8(e.what()));
        return false;
    }

    MainForm->SyncTypeYearFromNew(typeIndex, year);
    RunQuerySql(list, ListSql);
    list.locate("item_4", store::Value(key.toStdString()));
    MainForm->MarkIncompletePages();
    MainForm->LockUntilComplete();

    MainForm->holdOnNewRecord();
    NewFormClean = true;
    QDialog::done(QDialog::Accepted);
    return true;
}

bool TFormNew::modify(const QString& year, const QString& name, const QString& unit) {
    store::Query& list = DM->Qryhvel;
    ListSql = QString::fromStdString(list.sql()) + QLatin1Char('\n');
    const int typeIndex = ui->ComboBox1->currentIndex();
    // However the modification ends, the selectors follow the dialog and the list is read again.
    auto restoreList = [&] {
        MainForm->SyncTypeYearFromNew(typeIndex, year);
        RunQuerySql(list, ListSql);
    };

    QString key;
    try {
        if (nameTaken(name, OldKey)) {
            widgets::Dialogs::instance().message(
                this, widgets::Icon::Information, QStringLiteral("提示信息"),
                QStringLiteral("已有同名项目!"), widgets::Ok, widgets::Ok);
            restoreList();
            return false;
        }
        key = year == OldKey.left(4) ? OldKey : recordrows::nextRecordKey(year);
        try {
            // The re-keyed record with its child rows and the list's new numbers are one unit.
            store::Database::Transaction unitOfWork(DM->database());
            storeModification(key, name, unit);
            restoreList();
            MainForm->RenumberList();
            unitOfWork.commit();
        } catch (const std::exception& e) {
            // The unit has rolled the files back; the datasets read them again.
            rereadRows(DM->T_temp_out);
            recordrows::reopenChildTables();
            showError(QString::fromUtf8(e.what()));
            restoreList();
            return false;
        }
    } catch (...) {
        restoreList();
        throw;
    }
    list.locate("item_4", store::Value(key.toStdString()));
    MainForm->MarkIncompletePages();
    MainForm->LockUntilComplete();
    NewFormClean = true;
    QDialog::done(QDialog::Accepted);
    return true;
}

void TFormNew::storeModification(const QString& key, const QString& name, const QString& unit) {
    store::Table& rows = DM->T_temp_out;
    const std::string newKey = key.toStdString();
    if (key != OldKey) {
        for (store::Table* children : recordrows::childTables()) {
            children->close();
            children->setFilter("item_4='" + QuoteFilterText(OldKey).toStdString() + "'");
            children->open();
            // Each row leaves the filter when it is posted under the new key.
            while (children->recordCount() > 0) {
                children->first();
                children->edit();
                children->field("item_4").set(store::Value(newKey));
                children->field("item_dqdm").set(store::Value("."));
                children->post();
            }
        }
    }
    rows.refresh();
    if (!rows.locate("item_4", store::Value(OldKey.toStdString()))) {
        throw store::EngineError("hvel.dbf 中找不到要修改的记录 " + OldKey.toStdString());
    }
    rows.edit();
    const bool applied = ui->ComboBox1->currentIndex() == 0;
    rows.field("item_cglb").set(store::Value(std::to_string(ui->ComboBox1->currentIndex() + 1)));
    emptyFieldsOfOtherTypes(rows, applied);
    rows.field("item_4").set(store::Value(newKey));
    if (key != OldKey) {
        rows.field("item_dqdm").set(store::Value("."));
    }
    MainForm->addYear(key.left(4));
    rows.field("item_120").set(store::Value(ui->edt_120->text().trimmed().toStdString()));
    rows.field("item_3").set(store::Value(name.toStdString()));
    rows.field("item_9").set(store::Value(unit.toStdString()));
    rows.post();
}

void TFormNew::Button2Click() {
    ListSql = QString::fromStdString(DM->Qryhvel.sql()) + QLatin1Char('\n');
    if (NewFormClean) {
        closeIfClean();
        return;
    }
    const bool noName = ui->edt_3->text().trimmed().isEmpty();
    const bool noUnit = ui->edt_9->text().trimmed().isEmpty();
    if (noName && noUnit) {
        NewFormClean = true;
        closeIfClean();
        return;
    }
    if (noName || noUnit) {
        Button1Click();  // reports what is missing
        return;
    }
    const int answer = widgets::Dialogs::instance().message(
        this, widgets::Icon::Information, QStringLiteral("提示信息"),
        QStringLiteral("退出并储存？"), widgets::Ok | widgets::Cancel, widgets::Ok);
    if (answer == widgets::Ok) {
        // A save that succeeds closes the dialog; one that fails keeps it open with the input.
        Button1Click();
        return;
    }
    NewFormClean = true;
    closeIfClean();
}
