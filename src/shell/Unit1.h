#pragma once

#include <QMainWindow>
#include <array>
#include <memory>

#include "MainWindowOperations.h"

class QCloseEvent;
class QComboBox;
class QLineEdit;
class QShowEvent;
class GlyphButton;

namespace store {
class Dataset;
class Query;
}  // namespace store

namespace widgets {
class DatasetModel;
}

namespace Ui {
class TMainForm;
}

// The main window: the record list of the chosen type and year and the record operations.
class TMainForm : public QMainWindow, public widgets::MainWindowOperations {
    Q_OBJECT

public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    Ui::TMainForm* form() const { return ui.get(); }

    // ---- The record list ----
    // Re-runs the record list of the selected type and year on query.
    void QueryRecordList(store::Query& query, QComboBox* typeSelector, QComboBox* yearSelector,
                         QWidget* pageButton02);
    // The same over Qryhvel and this window's selectors.
    void QueryRecordList() override;
    // Fills a year selector from an open query over item_4 (ordered descending).
    void FillYearList(store::Dataset& query, QComboBox* yearSelector);
    // The same into this window's year selector.
    void FillYearList(store::Dataset& query) override;
    void RenumberList() override;
    int currentType() const override;
    // Aligns the type and year selectors with a record just stored by the record dialog.
    void SyncTypeYearFromNew(int typeIndex, const QString& yearText);
    // What the record dialog reads and sets of the selectors: the year selector's text; the
    // type of selector index typeIndex selected and listed when it is not the selected one; a
    // year selected when the selector lists it (the list is not run again); a year added as
    // the last item when the selector lacks it.
    QString yearText() const;
    void listType(int typeIndex);
    void showListedYear(const QString& year);
    void addYear(const QString& year);
    // Keeps the user on a record just created: every section incomplete, the list, the
    // selectors, the search and the record functions disabled.
    void holdOnNewRecord();
    // Deletes the main-table rows whose column equals value, then re-runs the list.
    void DeleteRecordRows(store::Query& query, const QString& column, const QString& value);

    void FormShow();
    void ComboBox1Change();
    void SpeedButton26Click();
    void SpeedButton23Click();
    void BitBtn3Click();

    // ---- Completeness marks and the lock ----
    void MarkIncompletePages() override;
    bool LockUntilComplete() override;
    void markSectionComplete(const QString& page) override;
    void DBGrid1CellClick();
    // Whether the window may close; asks about the first incomplete required section.
    bool FormCloseQuery();

    // ---- The query builder (Unit1Query.cpp) ----
    void ComboBox2Change();
    // "加入": adds the condition of the chosen item, operator and value.
    void SpeedButton24Click();
    // "and", "not", "or", "(", ")": inserts the connective at the caret.
    void insertConnective(const QString& text);
    // "查询": runs the condition within the selected type and year.
    void SpeedButton16Click();
    // The classification drop-downs of the value edit.
    void ComboBox5DropDown();
    void ComboBox6DropDown();

    // ---- Section pages, the record dialog and the other dialogs (Unit1Pages.cpp) ----

    // The section button of page "01".."09", or null.
    GlyphButton* sectionButton(const QString& page) const;
    // Marks a section complete or incomplete with its caption.
    static void setSectionKind(GlyphButton* button, bool complete);

    // The section buttons: each loads its page from the current record, captions it with the
    // record's name and shows it; on an empty list "新增" runs first.
    void btn_page01Click();
    void btn_page02Click();
    void btn_page03Click();
    void btn_page04Click();
    void btn_page05Click();
    void btn_page07Click();
    void btn_page08Click();
    void btn_page09Click();
    // "新增", "修改主项" and "删除".
    void Button6Click();
    void Button3Click();
    void Button4Click();
    // "单位情况", "导入", "导出" and "打印".
    void Button2Click();
    // The record functions (sections, new, modify, import, export, code tables, print, the
    // selectors and the list) after the registering unit's page was left: open once unit.dbf
    // holds the unit, then the marks and the lock re-evaluated from the stored rows.
    void RefreshRecordFunctions() override;
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn4Click();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void connectHandlers();
    // Connects the section buttons and the record buttons (Unit1Pages.cpp).
    void connectPageHandlers();
    void connectQueryHandlers();
    // The section buttons and the record functions that need a registering unit.
    void setRecordFunctionsEnabled(bool enabled);
    // Value modes of the query builder.
    enum class ValueMode { List, FreeText, LibraryPicker, DisciplinePicker };
    void setValueMode(ValueMode mode);
    // The current row of tblzdxx1 for the chosen item.
    void selectQueryItem();
    bool isPickerItem(const QString& item) const;
    // Runs ListSql again on the list.
    void restoreList();
    // Names the query value edit to the tree picker (once every window exists).
    void registerQueryTargets();
    void showQueryPicker(int byte);
    void setUpRecordGrid();
    std::unique_ptr<widgets::DatasetModel> m_listModel;
    bool m_shown = false;

    std::unique_ptr<Ui::TMainForm> ui;
};

// The query panel's selector of the classification picker: byte 0 the library classification
// (ztflh), byte 1 the disciplines (xkfl), both into the query value edit.
extern std::array<unsigned char, 2> TreeTargetQuery;

// The program's main window, published by ProgramWindows.
extern TMainForm* MainForm;

// The statement of the record list after the last QueryRecordList: the restore point of a
// failed search, of the record dialog and of the import.
extern QString ListSql;
