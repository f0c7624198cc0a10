#include "Unitpage6.h"

#include "Dataset.h"
#include "Finto6Unit.h"
#include "Unit1.h"
#include "UnitDM.h"
#include "ui_Unitpage6.h"

TFpage6* Fpage6 = nullptr;

void PatentCounts::add(store::Dataset& row) {
    const std::string status = row.field("PATENT_ST").asText();
    if (status == "1") {
        ++applied;
    } else if (status == "2") {
        ++granted;
    }
}

TFpage6::TFpage6(QWidget* parent)
    : ListPage(QStringLiteral("专利情况"), QString(), DM->tblzlqk, "ITEM_NO", parent),
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
                column("PATENT_NAM", "专利名称", 300), column("PATENT_ST", "", 70),
                column("PATENT_TY", "", 70)},
               {ui->Button2, ui->btnSave01, ui->Button1, ui->Button3, ui->quit01});
}

TFpage6::~TFpage6() = default;

RowDialog* TFpage6::rowDialog() const {
    return Finto6;
}

PatentCounts TFpage6::CountPatents() {
    store::Table& patents = DM->tblzlqk;
    PatentCounts counts;
    patents.disableControls();
    try {
        for (patents.first(); !patents.eof(); patents.next()) {
            counts.add(patents);
        }
    } catch (...) {
        patents.enableControls();
        throw;
    }
    patents.enableControls();
    return counts;
}

void TFpage6::FormClose() {
    PatentCounts counts;
    renumber([&counts](store::Dataset& row) { counts.add(row); });
    rows().first();
    emit patentsCounted(counts.applied, counts.granted);
    if (MainForm != nullptr) {
        MainForm->LockUntilComplete();
    }
}
