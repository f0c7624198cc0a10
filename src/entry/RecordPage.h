#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "MainWindowOperations.h"
#include "Value.h"

class QAbstractButton;
class QCheckBox;
class QCloseEvent;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QPlainTextEdit;

namespace store {
class Dataset;
}

// The record types a field of a page serves.
enum class FieldTypes { All, Applied, Others };

// One field of a record page: how its control is loaded from the row, how the save codes it,
// whether it is required and what else is checked at its place. A page describes its fields
// once, in the order of its checks, and loading, saving, the change check and the required
// messages all follow from that table.
struct PageField {
    explicit PageField(std::string field, QString label = {})
        : field(std::move(field)), label(std::move(label)) {}

    std::string field;  // column of the main table ("ITEM_120")
    QString label;      // names the field in its required message
    FieldTypes types = FieldTypes::All;
    bool required = false;
    QString message;  // the required message where it is not the page's usual one
    // A rule of the page run at this field's place in the check order; it warns and throws
    // SilentAbort when it fails.
    std::function<void()> check;
    // Fills the control from the stored value; none for a field without a control.
    std::function<void(const store::Value&)> load;
    // The value the save writes, as the control holds it; may warn and throw SilentAbort.
    std::function<store::Value()> value;
    // Runs before the save codes the value (a memo writes its cleaned text back).
    std::function<void()> prepare;
    // Compares with the stored value in the change check; by default the coded value is
    // compared as the table would read it back.
    std::function<bool(const store::Value&)> unchanged;
    bool compared = true;
    // A field the record's type lacks is written empty, unless this is false.
    bool emptiedForOtherTypes = true;
};

// The controls of a text date with its "清空" box: while the box is checked the picker is
// hidden, a read-only edit stands in its place and the field is stored empty.
struct TextDateControls {
    QCheckBox* clear = nullptr;
    QDateEdit* picker = nullptr;
    QLineEdit* placeholder = nullptr;
};

// A section page that edits the current row of the record list: fixed size, no close box,
// a bar with save, help and exit; the save checks the page, writes every field in one post
// and marks the section complete; the exit asks before it drops a change. Esc and the window
// manager's close leave through the exit procedure too.
class RecordPage : public QDialog {
    Q_OBJECT

public:
    // section: the page's number on the main window ("01"), whose button the save marks;
    // empty for a page that marks none.
    RecordPage(widgets::MainWindowOperations& mainWindow, QString section,
               QWidget* parent = nullptr);

    // Fills the controls from the current row (the main window does this before showing).
    virtual void loadRecord(store::Dataset& row);
    // FormShow, then the page modally through the dialogs seam.
    int showPage();
    virtual void FormShow();

    // The check routine: warns and throws SilentAbort at the first failing rule.
    virtual void checkPage();
    // The change check: every control, coded as the save codes it, equals the stored value.
    virtual bool isUnchanged();
    // Save: true when the row was written and the section marked complete.
    bool btnSave01Click();
    // Exit: check, then ask about a change; closes unless a check or a chosen save fails.
    void quit01Click();
    // Help by the main window's type.
    void Button3Click();

    // The help pages for applied technology and for the other types, once they exist.
    static void setHelpWindows(QDialog* applied, QDialog* others);
    // Shows the help page for applied technology or for the other types (the list pages' help
    // too).
    static void showHelp(bool applied);

    // Value forms of the fields, for the page's table.
    PageField codeField(QComboBox* combo, std::string field, QString label, QString list,
                        int codeLength = 3, bool withBlank = false, bool trimmed = true);
    // A code of a two-column table (province, lsbw) listed by FillPairList as "code  (name)".
    PageField pairField(QComboBox* combo, std::string field, QString label, store::Dataset& table,
                        QString codeField, QString nameField, bool withBlank = false);
    // A panel of check boxes or radio buttons; stored codes it has no box for are kept.
    PageField choiceField(QWidget* panel, std::string field, QString label, int codeLength);
    PageField textField(QLineEdit* edit, std::string field, QString label = {});
    PageField numberField(QLineEdit* edit, std::string field, QString label = {});
    PageField memoField(QPlainTextEdit* memo, std::string field, QString label);
    // A date field; a stored date that cannot be read is reported as before + text + after.
    PageField dateField(QDateEdit* picker, std::string field, QString label, QString before,
                        QString after);
    PageField textDateField(TextDateControls controls, std::string field, QString label,
                            QString before, QString after);
    static PageField required(PageField field);
    // Selects the item of code; a code the list lacks is added as itself and selected.
    static void selectCodeOrKeep(QComboBox* combo, const QString& code);
    // The code of the chosen item: a kept code as it was, else the first codeLength characters
    // of the item's text (trimmed unless told not to); empty when nothing is chosen.
    static QString comboCode(const QComboBox* combo, int codeLength = 3, bool trimmed = true);

    // Control conventions.
    // Digits and backspace only (one "." too when decimals); other typed characters are
    // swallowed.
    void digitKeysOnly(QLineEdit* edit, bool decimals = false);
    // A number edit: the key filter, and a text that is not a number (pasted, say) is reported
    // as prefix + text + " 不是正确的数据格式！现在已经置零" and replaced by "0".
    void numericEdit(QLineEdit* edit, bool decimals = false, QString prefix = {});
    // Checking a box of panel unchecks the panel's other boxes.
    void singleSelectPanel(QWidget* panel);
    // Unchecks the panel's checked boxes other than clicked, and other than kept when given.
    void UncheckOthers(QWidget* panel, QAbstractButton* clicked, QAbstractButton* kept = nullptr);
    // Clicking the memo when it holds only blanks empties it.
    void clearBlankOnClick(QPlainTextEdit* memo);
    // Runs handler when the focus leaves edit for another control of the page.
    void onExit(QWidget* edit, std::function<void()> handler);
    // Runs handler when control is clicked.
    void onClick(QWidget* control, std::function<void()> handler);

protected:
    // help may be null: a page without help.
    void setUpFrame(QAbstractButton* save, QAbstractButton* help, QAbstractButton* quit);
    void setFields(std::vector<PageField> fields) { m_fields = std::move(fields); }
    const std::vector<PageField>& fields() const { return m_fields; }

    // The type check and save go by: the main window's type selector.
    bool appliedBySelector() const;
    // The type the change check goes by: the record's own.
    static bool appliedByRecord();
    static bool serves(const PageField& field, bool applied);
    // "\"label\"不能为空！"; a page with other quotes says so here.
    virtual QString requiredMessage(const QString& label) const;
    // Whether the exit runs the check first.
    virtual bool checksOnExit() const { return true; }
    // The row the page edits: by default the current record of the list.
    virtual store::Dataset& record() const;
    // Whether the save runs the check first.
    virtual bool checksOnSave() const { return true; }
    // Whether the exit asks before it drops a change.
    virtual bool asksOnExit() const { return true; }
    // Puts row into edit state for the save; by default there must be a current row.
    virtual void editRecord(store::Dataset& row);
    // Runs once the save has its values, before it writes: false cancels the save (the page
    // has said why).
    virtual bool confirmSave() { return true; }
    // Writes that go with the row, in the save's unit of writes, after the row's post.
    virtual void writeAlongside() {}
    // After a failed save: reads again what writeAlongside may have changed.
    virtual void rereadAlongside() {}
    // Runs once the exit has passed its check and question, just before the page closes.
    virtual void beforeExitClose() {}
    // Runs whenever the page has closed: by default the main window's lock follows the
    // record's completeness.
    virtual void FormClose();

    widgets::MainWindowOperations& mainWindow() const { return m_mainWindow; }

    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    // FormClose: the main window's lock follows the record's completeness.
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Limits a text edit to the GBK width of its field when the page is first loaded.
    void limitToFieldWidth(store::Dataset& row);
    // The codes of a stored panel value that no box of the panel carries.
    static QStringList unofferedCodes(QWidget* panel, const QString& value, int codeLength);
    // The value of a panel: the checked boxes' codes with the kept codes the choice leaves room
    // for.
    QString withKeptCodes(QWidget* panel, const QString& checked, const QStringList& kept) const;

    widgets::MainWindowOperations& m_mainWindow;
    QString m_section;
    std::vector<PageField> m_fields;
    std::vector<std::pair<QLineEdit*, std::string>> m_textEdits;
    std::map<QObject*, bool> m_keyFilters;  // edit -> "." accepted
    std::set<QWidget*> m_singleSelectPanels;
    std::map<QObject*, std::function<void()>> m_exitHandlers;
    std::map<QObject*, std::function<void()>> m_clickHandlers;
    static QPointer<QDialog> s_helpApplied;
    static QPointer<QDialog> s_helpOthers;
};
