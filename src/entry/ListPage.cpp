#include "ListPage.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QTableView>
#include <exception>

#include "Database.h"
#include "Dataset.h"
#include "Dialogs.h"
#include "GbkLimit.h"
#include "RecordPage.h"
#include "RecordRows.h"
#include "SilentAbort.h"
#include "UnitDM.h"
#include "ValueText.h"
#include "Warnings.h"

using widgets::textValue;
using widgets::valueText;

namespace {

bool allEmpty(const std::vector<QLineEdit*>& edits, bool trimmed) {
    for (const QLineEdit* edit : edits) {
        if (!(trimmed ? edit->text().trimmed() : edit->text()).isEmpty()) {
            return false;
        }
    }
    return true;
}

// The current row's value of field; null on an empty or closed table.
store::Value storedValue(store::Dataset& rows, const std::string& field) {
    if (!rows.active() || rows.recordCount() == 0) {
        return {};
    }
    return rows.field(field).value();
}

}  // namespace

// ---- the row dialog -----------------------------------------------------------------------

RowDialog::RowDialog(QString title, store::Table& rows, std::string sequence, QWidget* parent)
    : QDialog(parent), m_title(std::move(title)), m_rows(rows), m_sequence(std::move(sequence)) {}

void RowDialog::setUpFrame(QAbstractButton* store, QAbstractButton* quit) {
    // A tool window without border icons: it is left through its buttons.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    connect(store, &QAbstractButton::clicked, this, &RowDialog::Button1Click);
    connect(quit, &QAbstractButton::clicked, this, &RowDialog::Button2Click);
}

QString RowDialog::addCaption() const {
    return QStringLiteral("新增－－【") + m_title + QStringLiteral("】");
}

QString RowDialog::editCaption() const {
    return QStringLiteral("修改－－【") + m_title + QStringLiteral("】");
}

bool RowDialog::isAdding() const {
    return windowTitle() == addCaption();
}

bool RowDialog::isEditing() const {
    return windowTitle() == editCaption();
}

void RowDialog::setMainEdits(std::vector<QLineEdit*> edits, std::vector<QLineEdit*> exitEdits) {
    m_exitEdits = exitEdits.empty() ? edits : std::move(exitEdits);
    m_mainEdits = std::move(edits);
}

RowField RowDialog::textField(QLineEdit* edit, std::string field) {
    m_textEdits.emplace_back(edit, field);
    RowField f(std::move(field));
    f.load = [edit](const store::Value& stored) { edit->setText(valueText(stored)); };
    f.value = [edit] { return textValue(edit->text()); };
    f.unchanged = [edit](const store::Value& stored) { return edit->text() == valueText(stored); };
    return f;
}

RowField RowDialog::codeField(QComboBox* combo, std::string field, int codeLength, bool trimmed) {
    RowField f(field);
    f.load = [combo](const store::Value& stored) {
        RecordPage::selectCodeOrKeep(combo, valueText(stored));
    };
    f.value = [this, combo, codeLength, trimmed, field] {
        return fitted(RecordPage::comboCode(combo, codeLength, trimmed), field);
    };
    f.unchanged = [combo](const store::Value& stored) {
        return RecordPage::comboCode(combo, 3, true) == valueText(stored);
    };
    return f;
}

void RowDialog::digitsOnly(QLineEdit* edit, int maxLength) {
    edit->setMaxLength(maxLength);
    edit->setAttribute(Qt::WA_InputMethodEnabled, false);
    edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
}

store::Value RowDialog::fitted(const QString& text, const std::string& field) const {
    QString cut = text;
    const int index = m_rows.active() ? m_rows.fieldIndex(field) : -1;
    if (index >= 0 && m_rows.fieldDef(index).type == store::FieldType::Character) {
        const int width = m_rows.fieldDef(index).length;
        while (widgets::gbkByteLength(cut) > width) {
            cut.chop(1);
        }
    }
    return textValue(cut);
}

void RowDialog::limitToFieldWidths() {
    if (m_limited || !m_rows.active()) {
        return;
    }
    m_limited = true;
    for (const auto& [edit, field] : m_textEdits) {
        const int index = m_rows.fieldIndex(field);
        if (edit->validator() == nullptr && index >= 0 &&
            m_rows.fieldDef(index).type == store::FieldType::Character) {
            widgets::limitGbkBytes(edit, m_rows.fieldDef(index).length);
        }
    }
}

int RowDialog::showDialog() {
    FormShow();
    return widgets::Dialogs::instance().exec(*this);
}

void RowDialog::FormShow() {
    limitToFieldWidths();
    fillLists();
    if (isAdding()) {
        clearForAdd();
        return;
    }
    if (!m_rows.active() || m_rows.recordCount() == 0) {
        return;
    }
    for (const RowField& field : m_fields) {
        if (field.load) {
            field.load(m_rows.field(field.field).value());
        }
    }
}

void RowDialog::clearForAdd() {
    for (QLineEdit* edit : m_mainEdits) {
        edit->clear();
    }
}

void RowDialog::clearForNext() {
    RowDialog::clearForAdd();
}

void RowDialog::setNewRowKeys(store::Dataset& row) {
    store::Query& record = DM->Qryhvel;
    row.field("ITEM_4").set(record.field("ITEM_4").value());
    row.field("ITEM_DQDM").set(record.field("ITEM_DQDM").value());
}

void RowDialog::writeFields() {
    for (const RowField& field : m_fields) {
        if (field.value) {
            m_rows.field(field.field).set(field.value());
        }
    }
}

void RowDialog::addRow() {
    if (!m_rows.active()) {
        m_rows.open();
    }
    store::Database::Transaction unit(m_rows.database());
    const int before = m_rows.recordCount();
    m_rows.append();
    setNewRowKeys(m_rows);
    m_rows.field(m_sequence).set(store::Value(static_cast<double>(before + 1)));
    writeFields();
    m_rows.post();
    afterAppend(m_rows);
    renumberRows(m_rows, m_sequence);
    writeAlongside();
    unit.commit();
}

void RowDialog::editRow() {
    if (!m_rows.active()) {
        m_rows.open();
    }
    if (m_rows.recordCount() == 0) {
        return;
    }
    store::Database::Transaction unit(m_rows.database());
    m_rows.edit();
    writeFields();
    m_rows.post();
    writeAlongside();
    unit.commit();
}

bool RowDialog::Button1Click() {
    if (allEmpty(m_mainEdits, true)) {
        done(QDialog::Accepted);
        return true;
    }
    try {
        checkRow();
    } catch (const SilentAbort&) {
        return false;
    }
    const bool adding = isAdding();
    if (!adding && !isEditing()) {
        return true;
    }
    try {
        adding ? addRow() : editRow();
    } catch (const std::exception& e) {
        // Nothing of the row has been kept; the dialog stays open with what was typed.
        rereadRows(m_rows);
        rereadAlongside();
        widgets::showException(QString::fromUtf8(e.what()));
        return false;
    }
    widgets::ShowWarning(QStringLiteral("存储成功！"));
    if (adding) {
        clearForNext();
    } else {
        done(QDialog::Accepted);
    }
    return true;
}

bool RowDialog::isRowUnchanged() {
    for (const RowField& field : m_fields) {
        if (field.unchanged && !field.unchanged(storedValue(m_rows, field.field))) {
            return false;
        }
    }
    return true;
}

void RowDialog::Button2Click() {
    if (!allEmpty(m_exitEdits, false) && !isRowUnchanged()) {
        const int answer = widgets::Dialogs::instance().message(
            this, widgets::Icon::Question, QStringLiteral("请注意！"), m_changedQuestion,
            widgets::Yes | widgets::No, widgets::Yes);
        if (answer == widgets::Yes && !Button1Click()) {
            return;
        }
    }
    done(QDialog::Accepted);
}

void RowDialog::closeEvent(QCloseEvent* event) {
    event->ignore();
    Button2Click();
}

void RowDialog::reject() {
    Button2Click();
}

// ---- the list page ------------------------------------------------------------------------

ListPage::ListPage(widgets::MainWindowOperations& mainWindow, QString title, QString section,
                   store::Table& rows, std::string sequence, QWidget* parent)
    : QDialog(parent),
      m_mainWindow(mainWindow),
      m_title(std::move(title)),
      m_section(std::move(section)),
      m_rows(rows),
      m_sequence(std::move(sequence)) {}

ListPage::~ListPage() {
    m_model.setDataset(nullptr);
}

void ListPage::setUpFrame(QTableView* grid, std::vector<widgets::GridColumn> columns,
                          Buttons buttons) {
    // No system menu and no close box: the page is left through its exit button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowMinMaxButtonsHint);
    setFixedSize(800, 600);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    // The grid shows the rows while the page is shown (FormShow to done): the hidden page
    // holds nothing for the whole child table it was created over.
    m_model.setColumns(std::move(columns), widgets::DatasetModel::OtherFields::Hidden);
    widgets::showDataset(*grid, m_model);
    connect(buttons.add, &QAbstractButton::clicked, this, &ListPage::addClick);
    connect(buttons.modify, &QAbstractButton::clicked, this, &ListPage::modifyClick);
    connect(buttons.remove, &QAbstractButton::clicked, this, &ListPage::deleteClick);
    if (buttons.help != nullptr) {
        connect(buttons.help, &QAbstractButton::clicked, this, &ListPage::helpClick);
    }
    connect(buttons.quit, &QAbstractButton::clicked, this, &ListPage::quitClick);
}

int ListPage::showPage() {
    FormShow();
    return widgets::Dialogs::instance().exec(*this);
}

void ListPage::renumber(const std::function<void(store::Dataset&)>& perRow) {
    renumberRows(m_rows, m_sequence, perRow);
}

void ListPage::FormShow() {
    m_model.setDataset(nullptr);
    try {
        renumber([this](store::Dataset& row) { prepareShownRow(row); });
    } catch (...) {
        m_model.setDataset(&m_rows);
        throw;
    }
    showRows();
}

void ListPage::showRows() {
    m_rows.first();
    m_model.setDataset(&m_rows);
    setFixedSize(800, 600);
}

void ListPage::showRowDialog(bool adding) {
    RowDialog* dialog = rowDialog();
    if (dialog == nullptr) {
        return;
    }
    dialog->setWindowTitle(adding ? dialog->addCaption() : dialog->editCaption());
    dialog->showDialog();
}

void ListPage::addClick() {
    showRowDialog(true);
}

void ListPage::modifyClick() {
    showRowDialog(m_rows.recordCount() == 0);
}

void ListPage::deleteClick() {
    if (m_rows.recordCount() == 0) {
        return;
    }
    const store::Value number = m_rows.field(m_sequence).value();
    const int answer = widgets::Dialogs::instance().message(
        this, widgets::Icon::Information, QStringLiteral("提示信息"),
        QStringLiteral("是否删除该项目？!"), widgets::Yes | widgets::No, widgets::Yes);
    if (answer != widgets::Yes) {
        return;
    }
    // The row goes and the others take their new numbers together, or nothing changes.
    try {
        store::Database::Transaction unit(m_rows.database());
        m_rows.deleteRecord();
        renumber();
        writeAlongside();
        unit.commit();
    } catch (...) {
        rereadRows(m_rows);
        rereadAlongside();
        throw;
    }
    // The row that took the deleted one's place; after the last row, the new last row.
    m_rows.locate(m_sequence, number);
}

void ListPage::helpClick() {
    RecordPage::showHelp(m_mainWindow.currentType() == 1);
}

void ListPage::quitClick() {
    if (!mayLeave()) {
        return;
    }
    if (!m_section.isEmpty()) {
        m_mainWindow.markSectionComplete(m_section);
    }
    done(QDialog::Accepted);
}

void ListPage::FormClose() {
    renumber();
    m_rows.first();
}

void ListPage::done(int result) {
    QDialog::done(result);
    FormClose();
    m_model.setDataset(nullptr);
}

void ListPage::closeEvent(QCloseEvent* event) {
    event->ignore();
    quitClick();
}

void ListPage::reject() {
    quitClick();
}
