#include "RecordPage.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <algorithm>
#include <cmath>
#include <exception>
#include <memory>

#include "ChoiceBoxes.h"
#include "Clock.h"
#include "CodeLists.h"
#include "Database.h"
#include "Dataset.h"
#include "Dialogs.h"
#include "EntryText.h"
#include "Errors.h"
#include "GbkLimit.h"
#include "ListPage.h"
#include "RecordRows.h"
#include "SilentAbort.h"
#include "UnitDM.h"
#include "ValueText.h"
#include "Warnings.h"

using widgets::textValue;
using widgets::valueText;

QPointer<QDialog> RecordPage::s_helpApplied;
QPointer<QDialog> RecordPage::s_helpOthers;

namespace {

QString rightTrimmed(QString text) {
    while (!text.isEmpty() && text.back().isSpace()) {
        text.chop(1);
    }
    return text;
}

bool isBlank(const store::Value& value) {
    return value.isNull() || valueText(value).trimmed().isEmpty();
}

// Equal as the table reads the coded value back: trailing blanks dropped, an empty text null,
// numbers by value.
bool sameAsStored(const store::Value& coded, const store::Value& stored) {
    using Kind = store::Value::Kind;
    if (coded.kind() == Kind::Number || stored.kind() == Kind::Number) {
        if (coded.isNull() || stored.isNull()) {
            return isBlank(coded) && isBlank(stored);
        }
        try {
            return coded.asNumber() == stored.asNumber();
        } catch (const std::exception&) {
            return false;
        }
    }
    return rightTrimmed(valueText(coded)) == rightTrimmed(valueText(stored));
}

QDate toQDate(const store::Date& date) {
    return QDate(date.year, date.month, date.day);
}

store::Date toStoreDate(const QDate& date) {
    return store::Date{date.year(), date.month(), date.day()};
}

const QString kDateText = QStringLiteral("yyyy.MM.dd");

// Whether the edit's text keeps a decimal point once its selection is typed over.
bool hasPointOutsideSelection(QObject* watched) {
    const auto* edit = qobject_cast<const QLineEdit*>(watched);
    if (edit == nullptr) {
        return false;
    }
    QString kept = edit->text();
    if (edit->hasSelectedText()) {
        kept.remove(edit->selectionStart(), edit->selectedText().size());
    }
    return kept.contains(QLatin1Char('.'));
}

}  // namespace

RecordPage::RecordPage(widgets::MainWindowOperations& mainWindow, QString section, QWidget* parent)
    : QDialog(parent), m_mainWindow(mainWindow), m_section(std::move(section)) {}

void RecordPage::setUpFrame(QAbstractButton* save, QAbstractButton* help, QAbstractButton* quit) {
    // No system menu and no close box: the page is left through its exit button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowMinMaxButtonsHint);
    setFixedSize(800, 600);
    connect(save, &QAbstractButton::clicked, this, &RecordPage::btnSave01Click);
    if (help != nullptr) {
        connect(help, &QAbstractButton::clicked, this, &RecordPage::Button3Click);
    }
    connect(quit, &QAbstractButton::clicked, this, &RecordPage::quit01Click);
}

void RecordPage::setHelpWindows(QDialog* applied, QDialog* others) {
    s_helpApplied = applied;
    s_helpOthers = others;
}

bool RecordPage::appliedBySelector() const {
    return m_mainWindow.currentType() == 1;
}

bool RecordPage::appliedByRecord() {
    store::Query& row = DM->Qryhvel;
    return row.recordCount() > 0 && row.field("item_cglb").asText() == "1";
}

bool RecordPage::serves(const PageField& field, bool applied) {
    switch (field.types) {
        case FieldTypes::All:
            return true;
        case FieldTypes::Applied:
            return applied;
        case FieldTypes::Others:
            return !applied;
    }
    return true;
}

QString RecordPage::requiredMessage(const QString& label) const {
    return QStringLiteral("\"") + label + QStringLiteral("\"不能为空！");
}

// ---- loading and showing ------------------------------------------------------------------

void RecordPage::limitToFieldWidth(store::Dataset& row) {
    for (const auto& [edit, field] : m_textEdits) {
        if (edit->validator() != nullptr) {
            continue;
        }
        const int index = row.fieldIndex(field);
        if (index >= 0 && row.fieldDef(index).type == store::FieldType::Character) {
            widgets::limitGbkBytes(edit, row.fieldDef(index).length);
        }
    }
}

void RecordPage::loadRecord(store::Dataset& row) {
    limitToFieldWidth(row);
    const bool applied = appliedBySelector();
    for (const PageField& field : m_fields) {
        if (field.load && serves(field, applied)) {
            field.load(row.field(field.field).value());
        }
    }
}

void RecordPage::FormShow() {
    setFixedSize(800, 600);
}

int RecordPage::showPage() {
    FormShow();
    return widgets::Dialogs::instance().exec(*this);
}

// ---- check, save and exit -----------------------------------------------------------------

void RecordPage::checkPage() {
    const bool applied = appliedBySelector();
    for (const PageField& field : m_fields) {
        if (!serves(field, applied)) {
            continue;
        }
        if (field.check) {
            field.check();
        }
        if (field.required && isBlank(field.value())) {
            widgets::ShowWarning(field.message.isEmpty() ? requiredMessage(field.label)
                                                         : field.message);
            throw SilentAbort();
        }
    }
}

store::Dataset& RecordPage::record() const {
    return DM->Qryhvel;
}

void RecordPage::editRecord(store::Dataset& row) {
    if (row.recordCount() == 0) {
        throw store::EngineError("没有当前记录，无法存储");
    }
    row.edit();
}

bool RecordPage::isUnchanged() {
    store::Dataset& row = record();
    const bool applied = appliedByRecord();
    for (const PageField& field : m_fields) {
        if (!field.compared || !field.value || !serves(field, applied)) {
            continue;
        }
        const store::Value stored = row.field(field.field).value();
        const bool same =
            field.unchanged ? field.unchanged(stored) : sameAsStored(field.value(), stored);
        if (!same) {
            return false;
        }
    }
    return true;
}

bool RecordPage::btnSave01Click() {
    std::vector<std::pair<std::string, store::Value>> values;
    try {
        if (checksOnSave()) {
            checkPage();
        }
        const bool applied = appliedBySelector();
        for (const PageField& field : m_fields) {
            if (field.prepare && serves(field, applied)) {
                field.prepare();
            }
        }
        for (const PageField& field : m_fields) {
            if (!field.value) {
                continue;
            }
            if (serves(field, applied)) {
                values.emplace_back(field.field, field.value());
            } else if (field.emptiedForOtherTypes) {
                values.emplace_back(field.field, store::Value());
            }
        }
    } catch (const SilentAbort&) {
        return false;
    }
    if (!confirmSave()) {
        return false;
    }

    // Every field goes into the row in one post, with what goes along with it, or none does.
    store::Dataset& row = record();
    store::Database& db = DM->database();
    try {
        store::Database::Transaction unit(db);
        editRecord(row);
        for (const auto& [name, value] : values) {
            row.field(name).set(value);
        }
        row.post();
        writeAlongside();
        unit.commit();
    } catch (const std::exception& e) {
        rereadRows(row);
        rereadAlongside();
        widgets::Dialogs::instance().message(this, widgets::Icon::None, QStringLiteral("提示"),
                                             QString::fromUtf8(e.what()), widgets::Ok, widgets::Ok);
        return false;
    }
    widgets::ShowWarning(QStringLiteral("存储成功！"));
    if (!m_section.isEmpty()) {
        m_mainWindow.markSectionComplete(m_section);
    }
    return true;
}

void RecordPage::quit01Click() {
    try {
        if (checksOnExit()) {
            checkPage();
        }
        if (asksOnExit() && !isUnchanged()) {
            const int answer = widgets::Dialogs::instance().message(
                this, widgets::Icon::Question, QStringLiteral("请注意！"),
                QStringLiteral("记录已经更改,是否保存？"), widgets::Yes | widgets::No,
                widgets::Yes);
            // A save that fails keeps the page open with what was typed.
            if (answer == widgets::Yes && !btnSave01Click()) {
                return;
            }
        }
    } catch (const SilentAbort&) {
        return;
    }
    beforeExitClose();
    done(QDialog::Accepted);
}

void RecordPage::Button3Click() {
    showHelp(appliedBySelector());
}

void RecordPage::showHelp(bool applied) {
    QDialog* help = applied ? s_helpApplied.data() : s_helpOthers.data();
    if (help != nullptr) {
        widgets::Dialogs::instance().exec(*help);
    }
}

void RecordPage::closeEvent(QCloseEvent* event) {
    event->ignore();
    quit01Click();
}

void RecordPage::reject() {
    quit01Click();
}

void RecordPage::done(int result) {
    QDialog::done(result);
    FormClose();
}

void RecordPage::FormClose() {
    m_mainWindow.LockUntilComplete();
}

// ---- value forms --------------------------------------------------------------------------

PageField RecordPage::required(PageField field) {
    field.required = true;
    return field;
}

void RecordPage::selectCodeOrKeep(QComboBox* combo, const QString& code) {
    widgets::SelectCodeItem(code, combo);
    // A code the list does not offer (a retired option, an imported record's) stays: shown as
    // itself and written back as it was unless another is chosen.
    if (!code.isEmpty() && combo->currentIndex() < 0) {
        combo->addItem(code, code);
        combo->setCurrentIndex(combo->count() - 1);
    }
}

PageField RecordPage::codeField(QComboBox* combo, std::string field, QString label, QString list,
                                int codeLength, bool withBlank, bool trimmed) {
    PageField f(std::move(field), std::move(label));
    f.load = [combo, list, withBlank](const store::Value& stored) {
        widgets::FillCodeList(DM->Tblzdxx, list, combo, !withBlank);
        selectCodeOrKeep(combo, valueText(stored));
    };
    f.value = [combo, codeLength, trimmed]() {
        return textValue(comboCode(combo, codeLength, trimmed));
    };
    return f;
}

QString RecordPage::comboCode(const QComboBox* combo, int codeLength, bool trimmed) {
    const int index = combo->currentIndex();
    if (index < 0) {
        return {};
    }
    const QVariant kept = combo->itemData(index);
    if (kept.isValid()) {
        return kept.toString();
    }
    const QString code = combo->currentText().left(codeLength);
    return trimmed ? code.trimmed() : code;
}

PageField RecordPage::pairField(QComboBox* combo, std::string field, QString label,
                                store::Dataset& table, QString codeColumn, QString nameColumn,
                                bool withBlank) {
    PageField f = codeField(combo, std::move(field), std::move(label), QString(), 3, withBlank);
    f.load = [combo, &table, codeColumn, nameColumn, withBlank](const store::Value& stored) {
        widgets::FillPairList(table, combo, codeColumn, nameColumn, !withBlank);
        selectCodeOrKeep(combo, valueText(stored));
    };
    return f;
}

PageField RecordPage::choiceField(QWidget* panel, std::string field, QString label,
                                  int codeLength) {
    PageField f(std::move(field), label);
    // Stored codes the panel has no box for (retired by a code-table update, or an imported
    // record's): kept, as a combo keeps a code it does not list.
    auto kept = std::make_shared<QStringList>();
    f.load = [this, panel, codeLength, kept](const store::Value& stored) {
        const QString value = valueText(stored);
        widgets::CheckCodeBoxes(this, panel, value, codeLength);
        *kept = unofferedCodes(panel, value, codeLength);
    };
    f.value = [this, panel, codeLength, label, kept]() {
        return textValue(withKeptCodes(
            panel, widgets::CollectCheckedCodes(this, panel, codeLength, label), *kept));
    };
    return f;
}

QStringList RecordPage::unofferedCodes(QWidget* panel, const QString& value, int codeLength) {
    const auto boxes = panel->findChildren<QAbstractButton*>(QString(), Qt::FindDirectChildrenOnly);
    QStringList codes;
    for (const QString& part : value.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString code = part.trimmed();
        const bool offered = std::any_of(boxes.begin(), boxes.end(), [&](QAbstractButton* box) {
            return box->objectName().right(codeLength) == code;
        });
        if (!code.isEmpty() && !offered) {
            codes << code;
        }
    }
    return codes;
}

QString RecordPage::withKeptCodes(QWidget* panel, const QString& checked,
                                  const QStringList& kept) const {
    if (kept.isEmpty()) {
        return checked;
    }
    // Radio buttons store their one code without ";".
    if (panel->findChild<QRadioButton*>(QString(), Qt::FindDirectChildrenOnly) != nullptr) {
        return checked.isEmpty() ? kept.front() : checked;
    }
    // In a single-choice panel a checked box is the choice; in the others kept codes fill the
    // places the checked boxes leave, two in all.
    QStringList codes = checked.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (m_singleSelectPanels.contains(panel) && !codes.isEmpty()) {
        return checked;
    }
    for (const QString& code : kept) {
        if (codes.size() < 2 && !codes.contains(code)) {
            codes << code;
        }
    }
    std::sort(codes.begin(), codes.end(), [](const QString& a, const QString& b) {
        bool aNumber = false;
        bool bNumber = false;
        const int x = a.toInt(&aNumber);
        const int y = b.toInt(&bNumber);
        return aNumber && bNumber ? x < y : a < b;
    });
    return codes.join(QLatin1Char(';')) + QLatin1Char(';');
}

PageField RecordPage::textField(QLineEdit* edit, std::string field, QString label) {
    m_textEdits.emplace_back(edit, field);
    PageField f(std::move(field), std::move(label));
    f.load = [edit](const store::Value& stored) { edit->setText(valueText(stored)); };
    f.value = [edit]() { return textValue(edit->text()); };
    return f;
}

PageField RecordPage::numberField(QLineEdit* edit, std::string field, QString label) {
    PageField f(std::move(field), std::move(label));
    f.load = [edit](const store::Value& stored) { edit->setText(valueText(stored)); };
    f.value = [edit]() {
        const QString number = edit->text().trimmed();
        bool ok = false;
        const double value = number.toDouble(&ok);
        if (number.isEmpty()) {
            return store::Value();
        }
        return ok ? store::Value(value) : store::Value(number.toStdString());
    };
    return f;
}

PageField RecordPage::memoField(QPlainTextEdit* memo, std::string field, QString label) {
    PageField f(std::move(field), std::move(label));
    f.load = [memo](const store::Value& stored) {
        memo->clear();
        memo->setPlainText(valueText(stored).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    };
    f.prepare = [memo]() {
        const QString plain = memo->toPlainText();
        if (plain.contains(QLatin1Char('\t'))) {
            memo->setPlainText(widgets::TabsToSpaces(plain));
        }
    };
    f.value = [memo]() {
        return textValue(memo->toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n")));
    };
    f.unchanged = [memo](const store::Value& stored) {
        const QString coded =
            memo->toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        return coded.trimmed() == valueText(stored).trimmed();
    };
    return f;
}

PageField RecordPage::dateField(QDateEdit* picker, std::string field, QString label, QString before,
                                QString after) {
    PageField f(std::move(field), std::move(label));
    // The date the picker was given for a record without one: keeping it is no change.
    auto shownForEmpty = std::make_shared<QDate>();
    f.load = [picker, shownForEmpty, before, after](const store::Value& stored) {
        *shownForEmpty = QDate();
        if (const auto date = stored.asDate()) {
            picker->setDate(toQDate(*date));
        } else if (valueText(stored).trimmed().isEmpty()) {
            *shownForEmpty = widgets::Clock::instance().today();
            picker->setDate(*shownForEmpty);
        } else {
            widgets::ShowWarning(before + valueText(stored).trimmed() + after);
        }
    };
    f.value = [picker]() { return store::Value(toStoreDate(picker->date())); };
    f.unchanged = [picker, shownForEmpty](const store::Value& stored) {
        const auto date = stored.asDate();
        const QDate storedDate = date ? toQDate(*date) : *shownForEmpty;
        return picker->date() == storedDate;
    };
    return f;
}

PageField RecordPage::textDateField(TextDateControls controls, std::string field, QString label,
                                    QString before, QString after) {
    auto showPicker = [controls](bool cleared) {
        controls.picker->setVisible(!cleared);
        controls.placeholder->setVisible(cleared);
    };
    connect(controls.clear, &QCheckBox::toggled, this, showPicker);
    controls.placeholder->setReadOnly(true);
    onClick(controls.placeholder, [controls] { controls.clear->setChecked(false); });
    showPicker(controls.clear->isChecked());

    PageField f(std::move(field), std::move(label));
    f.load = [controls, before, after](const store::Value& stored) {
        const QString date = valueText(stored).trimmed();
        controls.clear->setChecked(date.isEmpty());
        if (date.isEmpty()) {
            return;
        }
        const QDate parsed =
            QDate::fromString(widgets::IsoDateText(date), QStringLiteral("yyyy-MM-dd"));
        if (parsed.isValid()) {
            controls.picker->setDate(parsed);
        } else {
            widgets::ShowWarning(before + valueText(stored) + after);
        }
    };
    f.value = [controls]() {
        return controls.clear->isChecked()
                   ? store::Value()
                   : store::Value(controls.picker->date().toString(kDateText).toStdString());
    };
    return f;
}

// ---- control conventions ------------------------------------------------------------------

void RecordPage::digitKeysOnly(QLineEdit* edit, bool decimals) {
    m_keyFilters[edit] = decimals;
    edit->setAttribute(Qt::WA_InputMethodEnabled, false);
    edit->installEventFilter(this);
}

void RecordPage::numericEdit(QLineEdit* edit, bool decimals, QString prefix) {
    digitKeysOnly(edit, decimals);
    // Text can still arrive by pasting and by loading; it is checked whenever it changes.
    connect(edit, &QLineEdit::textChanged, this, [this, edit, prefix](const QString& current) {
        const QString trimmed = current.trimmed();
        bool ok = false;
        const double number = trimmed.toDouble(&ok);
        if (trimmed.isEmpty() || (ok && std::isfinite(number))) {
            return;
        }
        widgets::ShowWarning(prefix + current +
                             QStringLiteral(" 不是正确的数据格式！现在已经置零"));
        edit->setText(QStringLiteral("0"));
    });
}

void RecordPage::singleSelectPanel(QWidget* panel) {
    m_singleSelectPanels.insert(panel);
    for (QCheckBox* box : panel->findChildren<QCheckBox*>(QString(), Qt::FindDirectChildrenOnly)) {
        connect(box, &QCheckBox::clicked, this, [this, panel, box](bool checked) {
            if (checked) {
                UncheckOthers(panel, box);
            }
        });
    }
}

void RecordPage::UncheckOthers(QWidget* panel, QAbstractButton* clicked, QAbstractButton* kept) {
    for (QCheckBox* box : findChildren<QCheckBox*>()) {
        if (box->objectName() == QStringLiteral("ImageList1") || !box->isChecked() ||
            box->parentWidget() == nullptr || box == kept) {
            continue;
        }
        if (box->parentWidget()->objectName() == panel->objectName() &&
            box->objectName() != clicked->objectName()) {
            box->setChecked(false);
        }
    }
}

void RecordPage::clearBlankOnClick(QPlainTextEdit* memo) {
    onClick(memo->viewport(), [memo] {
        if (memo->toPlainText().trimmed().isEmpty()) {
            memo->clear();
        }
    });
}

void RecordPage::onClick(QWidget* control, std::function<void()> handler) {
    control->installEventFilter(this);
    m_clickHandlers[control] = std::move(handler);
}

void RecordPage::onExit(QWidget* edit, std::function<void()> handler) {
    edit->installEventFilter(this);
    m_exitHandlers[edit] = std::move(handler);
}

bool RecordPage::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress: {
            const auto filter = m_keyFilters.find(watched);
            if (filter == m_keyFilters.end()) {
                break;
            }
            const QString typed = static_cast<QKeyEvent*>(event)->text();
            if (typed.size() == 1 && typed[0].isPrint()) {
                const QChar c = typed[0];
                const bool accepted =
                    (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
                    (filter->second && c == QLatin1Char('.') && !hasPointOutsideSelection(watched));
                if (!accepted) {
                    return true;
                }
            }
            break;
        }
        case QEvent::FocusOut: {
            // Another control of the page takes the focus; a message box or another window
            // taking it is no exit.
            const auto handler = m_exitHandlers.find(watched);
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (handler != m_exitHandlers.end() && isVisible() &&
                reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
                handler->second();
            }
            break;
        }
        case QEvent::MouseButtonPress: {
            const auto handler = m_clickHandlers.find(watched);
            if (handler != m_clickHandlers.end()) {
                handler->second();
            }
            break;
        }
        default:
            break;
    }
    return QDialog::eventFilter(watched, event);
}
