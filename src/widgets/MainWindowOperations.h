#pragma once

#include <QString>

namespace store {
class Dataset;
}

namespace widgets {

// What the windows the main window opens ask of it: the type it lists, the section marks and
// the lock, and the refresh of its record list. The main window implements it and hands it to
// the section pages, the unit pages and the exchange dialogs it creates; none of them reaches
// the main window's controls.
class MainWindowOperations {
public:
    // The current type: the type selector's index plus 1 ("1" applied technology, "2" soft
    // science, "3" basic theory as ITEM_CGLB); 0 while none is selected.
    virtual int currentType() const = 0;
    // Marks the section button of page ("01".."09") complete.
    virtual void markSectionComplete(const QString& page) = 0;
    // Sets the section buttons from the current record.
    virtual void MarkIncompletePages() = 0;
    // True when the current record is complete (the main window unlocks), else false (it locks).
    virtual bool LockUntilComplete() = 0;
    // Runs the record list of the selected type and year again.
    virtual void QueryRecordList() = 0;
    // Rewrites NO = 1..n over the current list.
    virtual void RenumberList() = 0;
    // Fills the year selector from an open query over item_4 (ordered descending).
    virtual void FillYearList(store::Dataset& query) = 0;
    // The record functions after the registering unit's page was left: open once the unit is
    // stored, then the marks and the lock re-evaluated.
    virtual void RefreshRecordFunctions() = 0;

protected:
    ~MainWindowOperations() = default;
};

}  // namespace widgets
