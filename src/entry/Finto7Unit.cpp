#include "Finto7Unit.h"

#include <QStringList>

#include "CodeLists.h"
#include "UnitDM.h"
#include "ui_Finto7Unit.h"

TFinto7* Finto7 = nullptr;

namespace {

const QStringList kPositions = {QStringLiteral("主任委员"), QStringLiteral("副主任委员"),
                                QStringLiteral("委员")};

}  // namespace

TFinto7::TFinto7(QWidget* parent)
    : RowDialog(QStringLiteral("评价委员会名单"), DM->Tbljdwyhmd, "ITEM_190", parent),
      ui(std::make_unique<Ui::TFinto7>()) {
    ui->setupUi(this);
    setUpFrame(ui->Button1, ui->Button2);

    // The position is stored as its full text; a text the list lacks is kept as it is.
    RowField position("ITEM_191");
    QComboBox* positions = ui->cbwy_191;
    position.load = [positions](const store::Value& stored) {
        const QString text = QString::fromStdString(stored.asText());
        int index = positions->findText(text);
        if (index < 0 && !text.isEmpty()) {
            positions->addItem(text);
            index = positions->count() - 1;
        }
        positions->setCurrentIndex(index);
    };
    position.value = [this, positions] { return fitted(positions->currentText(), "ITEM_191"); };
    position.unchanged = [positions](const store::Value& stored) {
        return positions->currentText() == QString::fromStdString(stored.asText());
    };

    setFields({
        position,
        textField(ui->Edtwy_192, "ITEM_192"),
        codeField(ui->cbwy_193, "ITEM_193"),
        textField(ui->edtwy_195, "ITEM_195"),
        textField(ui->edtwy_196, "ITEM_196"),
        textField(ui->edtwy_197, "ITEM_197"),
        codeField(ui->cbwy_198, "ITEM_198"),
    });
    setMainEdits({ui->Edtwy_192, ui->edtwy_195, ui->edtwy_196, ui->edtwy_197});
}

TFinto7::~TFinto7() = default;

void TFinto7::fillLists() {
    ui->cbwy_191->clear();
    ui->cbwy_191->addItems(kPositions);
    widgets::FillCodeList(DM->Tblzdxx, QStringLiteral("item_181"), ui->cbwy_193, true);
    widgets::FillCodeList(DM->Tblzdxx, QStringLiteral("item_198"), ui->cbwy_198, false);
}

void TFinto7::clearForAdd() {
    RowDialog::clearForAdd();
    ui->cbwy_191->setCurrentIndex(1);
    ui->cbwy_193->setCurrentIndex(0);
    ui->cbwy_198->setCurrentIndex(1);
}
