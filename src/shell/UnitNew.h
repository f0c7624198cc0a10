#pragma once

#include <QDialog>
#include <QString>
#include <memory>

class QCloseEvent;

namespace Ui {
class TFormNew;
}

// Set while the record dialog holds no unsaved typing; the dialog closes only while it is set.
extern bool NewFormClean;
// ITEM_4 and ITEM_3 of the record being modified, set by "修改主项".
extern QString OldKey;
extern QString OldName;
// The last same-name statement.
extern QString SameNameSql;

// The record dialog: creates a record ("请填写新项目！") or changes the type, year, number, name
// and first unit of the current one ("修改主要项目！"); the caption names the mode.
class TFormNew : public QDialog {
    Q_OBJECT

public:
    static const QString NewCaption;
    static const QString ModifyCaption;

    explicit TFormNew(QWidget* parent = nullptr);
    ~TFormNew() override;

    Ui::TFormNew* form() const { return ui.get(); }

    // FormShow, then the dialog modally; returns its result.
    int showModal();
    // "新增": the dialog for a new record, its edits emptied.
    int showNew();
    // "修改主项": the dialog for the current record, given its type (selector index), year,
    // number, name and first unit.
    int showModify(int typeIndex, const QString& year, const QString& number, const QString& name,
                   const QString& unit);

    void FormShow();
    // "存储": true when the record was stored and the dialog closed.
    bool Button1Click();
    // "退出".
    void Button2Click();
    void cbYearChange();
    void cbYearExit();
    void ComboBox1Change();
    bool FormCloseQuery() const { return NewFormClean; }

protected:
    void closeEvent(QCloseEvent* event) override;
    // Esc leaves through "退出".
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool create(const QString& year, const QString& name, const QString& unit);
    bool modify(const QString& year, const QString& name, const QString& unit);
    // Writes the modification (child rows re-keyed, main row changed) inside the caller's unit.
    void storeModification(const QString& key, const QString& name, const QString& unit);
    // True when a record other than the one keyed exceptKey bears name.
    bool nameTaken(const QString& name, const QString& exceptKey);
    void closeIfClean();
    void showError(const QString& text);

    std::unique_ptr<Ui::TFormNew> ui;
};

// The program's record dialog, created at start-up.
extern TFormNew* FormNew;
