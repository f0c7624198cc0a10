#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DatasetModel.h"
#include "MainWindowOperations.h"
#include "Value.h"

class QAbstractButton;
class QCloseEvent;
class QComboBox;
class QLineEdit;
class QTableView;

namespace store {
class Dataset;
class Table;
}  // namespace store

// One column of a child row as its row dialog edits it.
struct RowField {
    explicit RowField(std::string field) : field(std::move(field)) {}

    std::string field;
    // Fills the control from the stored value when the dialog edits a row.
    std::function<void(const store::Value&)> load;
    // The value the save writes; none for a column the dialog only compares.
    std::function<store::Value()> value;
    // The exit's comparison with the stored value; none for a column it does not compare.
    std::function<bool(const store::Value&)> unchanged;
};

// The modal dialog that adds rows to a child list or edits one. Its caption is its mode:
// "新增－－【title】" adds (and stays open after each stored row for the next one),
// "修改－－【title】" edits the row under the list's cursor. The dialog describes its columns
// once as RowFields; loading, storing and the exit's change check follow from that table.
// Esc and the window manager's close go through the exit.
class RowDialog : public QDialog {
    Q_OBJECT

public:
    // rows: the child table, filtered to the current record by the main window; sequence: its
    // position field, rewritten 1..n after every added row.
    RowDialog(QString title, store::Table& rows, std::string sequence, QWidget* parent = nullptr);

    QString addCaption() const;
    QString editCaption() const;
    bool isAdding() const;
    bool isEditing() const;

    // FormShow, then the dialog modally through the dialogs seam.
    int showDialog();
    // Refills the lists; empties the controls for a new row or loads the current row.
    virtual void FormShow();
    // "存储". False when the dialog must stay open with its input: a check failed or the
    // table refused the row (its error has been shown).
    bool Button1Click();
    // "退出": asks before it drops a change; a chosen save that fails keeps the dialog open.
    void Button2Click();
    // Every compared control equals the current row's column, as the exit compares them.
    bool isRowUnchanged();

protected:
    void setUpFrame(QAbstractButton* store, QAbstractButton* quit);
    void setFields(std::vector<RowField> fields) { m_fields = std::move(fields); }
    // Edits whose emptiness (trimmed) makes "存储" close without storing and which are emptied
    // after each added row; exitEdits, when given, those whose emptiness (untrimmed) lets the
    // exit close without a question (else the same edits).
    void setMainEdits(std::vector<QLineEdit*> edits, std::vector<QLineEdit*> exitEdits = {});
    void setChangedQuestion(QString question) { m_changedQuestion = std::move(question); }

    // Value forms.
    // Plain edit: the text as typed; compared exactly.
    RowField textField(QLineEdit* edit, std::string field);
    // Code list filled from zdxx by the dialog: the stored code selected (kept as itself when
    // the list lacks it); the first codeLength characters of the option stored (trimmed or
    // not, cut to the column's width); compared as the first three characters, trimmed.
    RowField codeField(QComboBox* combo, std::string field, int codeLength = 2,
                       bool trimmed = true);
    // Digits only, at most maxLength of them.
    static void digitsOnly(QLineEdit* edit, int maxLength);
    // text cut to the width of rows's column field.
    store::Value fitted(const QString& text, const std::string& field) const;

    // Hooks.
    virtual void fillLists() {}
    // Controls for a new row; by default the main edits emptied.
    virtual void clearForAdd();
    // After a row was added, the controls for the next one; by default the main edits
    // emptied, the rest kept.
    virtual void clearForNext();
    // The checks of "存储": warns and throws SilentAbort at the first failing rule.
    virtual void checkRow() {}
    // The record's key on a new row; by default ITEM_4 and ITEM_DQDM of the current record.
    virtual void setNewRowKeys(store::Dataset& row);
    // Runs in the unit of writes of an added row, after its post.
    virtual void afterAppend(store::Dataset& /*row*/) {}
    // Writes that go with the rows, in the unit of writes of every stored row, added or
    // edited, last.
    virtual void writeAlongside() {}
    // After a failed unit of writes: reads again what writeAlongside may have changed.
    virtual void rereadAlongside() {}

    store::Table& rows() const { return m_rows; }

    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void addRow();
    void editRow();
    void writeFields();
    void limitToFieldWidths();

    QString m_title;
    store::Table& m_rows;
    std::string m_sequence;
    std::vector<RowField> m_fields;
    std::vector<std::pair<QLineEdit*, std::string>> m_textEdits;
    std::vector<QLineEdit*> m_mainEdits;
    std::vector<QLineEdit*> m_exitEdits;
    QString m_changedQuestion = QStringLiteral("记录已更改，是否保存后退出？");
    bool m_limited = false;
};

// A full-window list of a record's child rows: a read-only grid and the buttons "新增",
// "修改", "删除", "帮助" and "退出". The rows are renumbered when the page shows and closes;
// adding and editing go through the page's row dialog. Esc and the window manager's close go
// through the exit.
class ListPage : public QDialog {
    Q_OBJECT

public:
    // section: the main window's section ("05") whose button the exit marks complete; empty
    // for a list without a mark.
    ListPage(widgets::MainWindowOperations& mainWindow, QString title, QString section,
             store::Table& rows, std::string sequence, QWidget* parent = nullptr);
    ~ListPage() override;

    // FormShow, then the page modally through the dialogs seam.
    int showPage();
    // Renumbers the rows (grid detached meanwhile), puts the cursor on the first, fixes the size.
    virtual void FormShow();

    // "新增": the row dialog in its add mode.
    void addClick();
    // "修改": the row dialog in its edit mode, or the add mode on an empty list.
    void modifyClick();
    // "删除": asks, deletes the current row, renumbers and stays on the row that took its place.
    void deleteClick();
    // "帮助": the help page of the main window's type.
    void helpClick();
    // "退出": marks the section complete and closes, unless mayLeave() refuses.
    void quitClick();

    widgets::DatasetModel& model() { return m_model; }

protected:
    struct Buttons {
        QAbstractButton* add = nullptr;
        QAbstractButton* modify = nullptr;
        QAbstractButton* remove = nullptr;
        QAbstractButton* help = nullptr;  // may be null
        QAbstractButton* quit = nullptr;
    };
    void setUpFrame(QTableView* grid, std::vector<widgets::GridColumn> columns, Buttons buttons);

    virtual RowDialog* rowDialog() const = 0;
    // Runs on each row as the showing renumbers it, before its post.
    virtual void prepareShownRow(store::Dataset& /*row*/) {}
    // Whether "退出" may close the page; may warn.
    virtual bool mayLeave() { return true; }
    // Writes that go with the rows, in the unit of writes of a deleted row, last.
    virtual void writeAlongside() {}
    // After a failed delete: reads again what writeAlongside may have changed.
    virtual void rereadAlongside() {}
    // Runs once the page has closed: the rows renumbered, the cursor on the first.
    virtual void FormClose();
    // The rows renumbered 1..n, perRow as renumberRows takes it.
    void renumber(const std::function<void(store::Dataset&)>& perRow = {});
    // The end of every showing, renumbered or not: the cursor on the first row, the grid over
    // the rows, the size fixed.
    void showRows();

    store::Table& rows() const { return m_rows; }
    const QString& title() const { return m_title; }
    widgets::MainWindowOperations& mainWindow() const { return m_mainWindow; }

    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    void done(int result) override;

private:
    void showRowDialog(bool adding);

    widgets::MainWindowOperations& m_mainWindow;
    QString m_title;
    QString m_section;
    store::Table& m_rows;
    std::string m_sequence;
    widgets::DatasetModel m_model;
};
