// The query builder of the main window: a condition composed item by item and run within the
// selected type and year.
#include <QPlainTextEdit>
#include <QTextCursor>

#include "CodeLists.h"
#include "Dialogs.h"
#include "DropDownButton.h"
#include "Errors.h"
#include "SilentAbort.h"
#include "SqlText.h"
#include "Unit1.h"
#include "UnitDM.h"
#include "Unittree.h"
#include "Warnings.h"
#include "ui_Unit1.h"

std::array<unsigned char, 2> TreeTargetQuery{};

namespace {

const QString kLibraryItem = QStringLiteral("图分类号");
const QString kDisciplineItem = QStringLiteral("科分类号");

}  // namespace

void TMainForm::connectQueryHandlers() {
    // Every choice of an item counts, also of the one already shown.
    connect(ui->ComboBox2, &QComboBox::activated, this, &TMainForm::ComboBox2Change);
    connect(ui->SpeedButton24, &QToolButton::clicked, this, &TMainForm::SpeedButton24Click);
    connect(ui->SpeedButton16, &QToolButton::clicked, this, &TMainForm::SpeedButton16Click);
    const std::pair<QToolButton*, QString> connectives[] = {
        {ui->SpeedButton15, QStringLiteral("and ")},
        {ui->SpeedButton17, QStringLiteral("not ")},
        {ui->SpeedButton18, QStringLiteral("or ")},
        {ui->SpeedButton20, QStringLiteral("(")},
        {ui->SpeedButton21, QStringLiteral(")")}};
    for (const auto& [button, text] : connectives) {
        connect(button, &QToolButton::clicked, this, [this, text] { insertConnective(text); });
    }
    connect(ui->ComboBox5, &DropDownButton::dropDown, this, &TMainForm::ComboBox5DropDown);
    connect(ui->ComboBox6, &DropDownButton::dropDown, this, &TMainForm::ComboBox6DropDown);
}

void TMainForm::selectQueryItem() {
    DM->tblzdxx1.first();
    DM->tblzdxx1.moveBy(ui->ComboBox2->currentIndex());
}

bool TMainForm::isPickerItem(const QString& item) const {
    return (DM->HasClcTable && item.contains(kLibraryItem)) ||
           (DM->HasDisciplineTable && item.contains(kDisciplineItem));
}

void TMainForm::setValueMode(ValueMode mode) {
    const bool list = mode == ValueMode::List;
    ui->Combobox3->setVisible(list);
    ui->Edit2->setVisible(!list);
    ui->Edit2->setReadOnly(list);
    ui->ComboBox5->setVisible(mode == ValueMode::LibraryPicker);
    ui->ComboBox6->setVisible(mode == ValueMode::DisciplinePicker);
}

void TMainForm::ComboBox2Change() {
    ui->Edit2->clear();
    selectQueryItem();
    const QString item = ui->ComboBox2->currentText();
    if (item.contains(QStringLiteral("隶属部委"))) {
        widgets::FillPairList(DM->tblLsbw, ui->Combobox3, QStringLiteral("Bwdm"),
                              QStringLiteral("Bwmc"), false);
    } else {
        const QString column = QString::fromStdString(DM->tblzdxx1.field(1).asText());
        widgets::FillCodeListAll(DM->Tblzdxx, column, ui->Combobox3, false);
    }
    if (ui->Combobox3->count() > 1) {
        setValueMode(ValueMode::List);
    } else if (item.contains(QStringLiteral("单位所在省市"))) {
        setValueMode(ValueMode::List);
        widgets::FillPairList(DM->tblProvince, ui->Combobox3, QStringLiteral("Province_i"),
                              QStringLiteral("Province_n"), true);
    } else {
        setValueMode(ValueMode::FreeText);
    }
    if (DM->HasClcTable && item.contains(kLibraryItem)) {
        setValueMode(ValueMode::LibraryPicker);
    } else if (DM->HasDisciplineTable && item.contains(kDisciplineItem)) {
        setValueMode(ValueMode::DisciplinePicker);
    }
}

void TMainForm::SpeedButton24Click() {
    selectQueryItem();
    const QString name = QString::fromStdString(DM->tblzdxx1.field(0).asText());
    const QString column = QString::fromStdString(DM->tblzdxx1.field(1).asText());
    ui->MMUserV->setPlainText(ui->MMUserV->toPlainText() + QLatin1Char(' ') + name);
    QString condition = ui->MMSysV->toPlainText() + QLatin1Char(' ') + column;

    QString value;
    if (!ui->Edit2->isHidden()) {
        value = ui->Edit2->text();
        if (isPickerItem(ui->ComboBox2->currentText())) {
            // A picked classification node reads "code  name": only the code is searched.
            const int blanks = value.indexOf(QStringLiteral("  "));
            value = blanks < 0 ? QString() : value.left(blanks).trimmed();
        }
    } else {
        value = ui->Combobox3->currentText().left(3).trimmed();
    }
    const QString op = ui->ComboBox4->currentText();
    if (op == QStringLiteral("包含")) {
        condition += QStringLiteral(" like '%") + value + QStringLiteral("%'");
    } else {
        condition += QLatin1Char(' ') + op + QLatin1Char('\'') + value + QLatin1Char('\'');
    }
    ui->MMSysV->setPlainText(condition);
    ui->MMSysV->moveCursor(QTextCursor::End);
}

void TMainForm::insertConnective(const QString& text) {
    ui->MMSysV->textCursor().insertText(text);
    ui->MMSysV->moveCursor(QTextCursor::End);
}

void TMainForm::restoreList() {
    store::Query& list = DM->Qryhvel;
    list.close();
    list.setAccess(store::Database::Access::ReadWrite);
    list.setSql(ListSql.toStdString());
    list.open();
}

void TMainForm::SpeedButton16Click() {
    store::Query& list = DM->Qryhvel;
    ListSql = QString::fromStdString(list.sql());

    // Only the order of the parentheses is checked, not their count.
    QString rest = ui->MMSysV->toPlainText();
    while (rest.contains(QLatin1Char('(')) && rest.contains(QLatin1Char(')'))) {
        const qsizetype close = rest.indexOf(QLatin1Char(')'));
        if (close < rest.indexOf(QLatin1Char('('))) {
            widgets::ShowWarning(QStringLiteral("您的查询语句含有不正确的的“（”“）”,请修改！"));
            throw SilentAbort();
        }
        rest = rest.mid(close + 1);
    }

    auto& dialogs = widgets::Dialogs::instance();
    try {
        if (ui->MMSysV->toPlainText().isEmpty()) {
            dialogs.message(this, widgets::Icon::Information, QStringLiteral("信息"),
                            QStringLiteral("没有条件无法查询!"), widgets::Ok, widgets::Ok);
            restoreList();
            return;
        }
        const QString type = QString::number(ui->ComboBox1->currentIndex() + 1);
        const QString year = QuoteSqlText(ui->cbYear->currentText().left(4));
        const QStringList lines = {
            QStringLiteral("select * from hvel"), QStringLiteral(" where  ("),
            ui->MMSysV->toPlainText().trimmed(),
            QStringLiteral(" ) and (item_cglb='%1' and item_4 like '%2%')").arg(type, year)};
        list.close();
        // The condition is the user's own SQL: it may select rows, never change them.
        list.setAccess(store::Database::Access::ReadOnly);
        list.setSql(lines.join(QLatin1Char('\n')).toStdString());
        try {
            list.open();
        } catch (...) {
            list.setAccess(store::Database::Access::ReadWrite);
            throw;
        }
        list.setAccess(store::Database::Access::ReadWrite);
        RenumberList();
        if (list.recordCount() == 0) {
            dialogs.message(this, widgets::Icon::Information, QStringLiteral("信息"),
                            QStringLiteral("没找到符合条件的条目,请再输入合适语句!"), widgets::Ok,
                            widgets::Ok);
            restoreList();
        }
    } catch (const SilentAbort&) {
        throw;
    } catch (const std::exception& e) {
        const bool engine = dynamic_cast<const store::EngineError*>(&e) != nullptr;
        dialogs.message(this, widgets::Icon::Question, QStringLiteral("请注意！"),
                        engine ? QStringLiteral("条件输入有误，请检查")
                               : QStringLiteral("请检查查询输入框,重新选择条件"),
                        widgets::Ok, widgets::Ok);
        restoreList();
    }
}

void TMainForm::registerQueryTargets() {
    if (FormTree != nullptr) {
        FormTree->registerTarget(TreeTargetQuery, 0, ui->Edit2, QStringLiteral("ztflh"));
        FormTree->registerTarget(TreeTargetQuery, 1, ui->Edit2, QStringLiteral("xkfl"));
    }
}

void TMainForm::showQueryPicker(int byte) {
    if (FormTree == nullptr) {
        return;
    }
    TreeTargetQuery.fill(0);
    TreeTargetQuery[static_cast<size_t>(byte)] = 1;
    FormTree->showFor(TreeTargetQuery);
}

void TMainForm::ComboBox5DropDown() {
    showQueryPicker(0);
}

void TMainForm::ComboBox6DropDown() {
    showQueryPicker(1);
}
