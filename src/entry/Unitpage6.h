#pragma once

#include <memory>

#include "ListPage.h"

namespace Ui {
class TFpage6;
}

// The patents of a record counted by status.
struct PatentCounts {
    int applied = 0;  // PATENT_ST "1"
    int granted = 0;  // PATENT_ST "2"

    // Counts a patent by its status; other statuses are counted in neither.
    void add(const store::Value& status);
};

// "专利情况": the patents of the current record (the rows of tblzlqk as its opener filtered
// them), added and changed through the row dialog TFinto6. The list marks no section; closing
// it hands the counts of patents applied for and granted back to its opener.
class TFpage6 : public ListPage {
    Q_OBJECT

public:
    explicit TFpage6(widgets::MainWindowOperations& mainWindow, QWidget* parent = nullptr);
    ~TFpage6() override;

    Ui::TFpage6* form() const { return ui.get(); }

    // The patents tblzlqk holds, counted without moving its cursor.
    static PatentCounts CountPatents();
    // Writes the counts of the patents tblzlqk holds into the current record (ITEM_51_2,
    // ITEM_51_3), so that the stored counts follow every change of the list.
    static void StorePatentCounts();

signals:
    // The page closed with these counts.
    void patentsCounted(int applied, int granted);

protected:
    RowDialog* rowDialog() const override;
    // Numbers the rows while it counts them, hands the counts on, and the main window's lock
    // follows the record's completeness.
    void FormClose() override;
    // A deleted patent changes the record's stored counts with it.
    void writeAlongside() override { StorePatentCounts(); }
    void rereadAlongside() override;

private:
    std::unique_ptr<Ui::TFpage6> ui;
};

// The program's patent list, created at start-up.
extern TFpage6* Fpage6;
