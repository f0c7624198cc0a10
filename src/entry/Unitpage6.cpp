#include "Unitpage6.h"

#include "Dataset.h"
#include "Finto6Unit.h"
#include "RecordRows.h"
#include "UnitDM.h"
#include "ui_Unitpage6.h"

TFpage6* Fpage6 = nullptr;

void PatentCounts::add(const store::Value& status) {
    const std::string code = status.asText();
    if (code == "1") {
        ++applied;
    } else if (code == "2") {
        ++granted;
    }
}

TFpage6::TFpage6(widgets::MainWindowOperations& mainWindow, QWidget* parent)
    : ListPage(mainWindow, QStringLiteral("专利情况"), QString(), DM->tblzlqk, "ITEM_NO", parent),
      ui(std::make_unique<Ui::TFpage6>()) {
    ui->setupUi(this);
    auto column = [](const char* field, const char* title, int width) {
        widgets::GridColumn shown;
        shown.field = QString::fromLatin1(field);
        shown.title = QString::fromUtf8(title);
        shown.width = width;
        return shown;
    };
    setUpFrame(ui->DBGrid5,
               {column("ITEM_NO", "序号", 40), column("V_st", "专利状况", 80),
                column("V_ty", "专利类型", 100), column("PATENT_NO", "专利号", 120),
                column("PATENT_NAM", "专利名称", 300),
                // The raw codes, under Chinese titles like every other column.
                column("PATENT_ST", "状况代码", 70), column("PATENT_TY", "类型代码", 70)},
               {ui->Button2, ui->btnSave01, ui->Button1, ui->Button3, ui->quit01});
}

TFpage6::~TFpage6() = default;

RowDialog* TFpage6::rowDialog() const {
    return Finto6;
}

PatentCounts TFpage6::CountPatents() {
    store::Table& patents = DM->tblzlqk;
    PatentCounts counts;
    for (int row = 0; row < patents.recordCount(); ++row) {
        counts.add(patents.valueAt(row, patents.fieldIndex("PATENT_ST")));
    }
    return counts;
}

void TFpage6::StorePatentCounts() {
    store::Query& record = DM->Qryhvel;
    if (record.recordCount() == 0) {
        return;
    }
    const PatentCounts counts = CountPatents();
    record.edit();
    record.field("ITEM_51_2").set(store::Value(static_cast<double>(counts.applied)));
    record.field("ITEM_51_3").set(store::Value(static_cast<double>(counts.granted)));
    record.post();
}

void TFpage6::rereadAlongside() {
    rereadRows(DM->Qryhvel);
}

void TFpage6::FormClose() {
    PatentCounts counts;
    renumber([&counts](store::Dataset& row) { counts.add(row.field("PATENT_ST").value()); });
    rows().first();
    emit patentsCounted(counts.applied, counts.granted);
    mainWindow().LockUntilComplete();
}
