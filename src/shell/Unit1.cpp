#include "Unit1.h"

#include <QCloseEvent>
#include <QSignalBlocker>

#include "Clock.h"
#include "CodeLists.h"
#include "CodeManage.h"
#include "Database.h"
#include "DatasetModel.h"
#include "Dialogs.h"
#include "GlyphButton.h"
#include "Product.h"
#include "RecordRows.h"
#include "SqlText.h"
#include "UnitDM.h"
#include "ui_Unit1.h"

TMainForm* MainForm = nullptr;
QString ListSql;

namespace {

struct Section {
    const char* page;
    const char* caption;
};

// The section buttons and the captions they carry whatever their mark.
constexpr Section kSections[] = {{"01", "成果概况"},           {"02", "知识产权，成果应用情况"},
                                 {"03", "课题立项，评价情况"}, {"04", "第一完成单位情况"},
                                 {"05", "合作完成单位情况"},   {"07", "评价委员会名单"},
                                 {"08", "成果完成人员名单"},   {"09", "鉴定证书内容"}};

QString sectionCaption(const QString& page) {
    for (const Section& section : kSections) {
        if (page == QLatin1String(section.page)) {
            return QString::fromUtf8(section.caption);
        }
    }
    return {};
}

QString text(const store::Field& field) {
    return QString::fromStdString(field.asText());
}

}  // namespace

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::TMainForm>()) {
    ui->setupUi(this);
    FormCreate();
    connectHandlers();
}

TMainForm::~TMainForm() = default;

void TMainForm::FormCreate() {
    setWindowTitle(product::mainCaption());
    // The main window has a fixed size: resizing snaps back to it.
    setFixedSize(800, 570);
}

void TMainForm::connectHandlers() {
    // Only the user's changes of the selectors run the list again; the code sets them with
    // signals blocked.
    connect(ui->ComboBox1, &QComboBox::currentIndexChanged, this, &TMainForm::ComboBox1Change);
    connect(ui->cbYear, &QComboBox::editTextChanged, this, &TMainForm::ComboBox1Change);
    // A keystroke lists what has been typed so far: no completion to a year of the list
    // (which would list that year in between, and again at every further keystroke).
    ui->cbYear->setCompleter(nullptr);
    connect(ui->SpeedButton26, &QToolButton::clicked, this, &TMainForm::SpeedButton26Click);
    connect(ui->SpeedButton23, &QToolButton::clicked, this, &TMainForm::SpeedButton23Click);
    connect(ui->BitBtn3, &QPushButton::clicked, this, &TMainForm::BitBtn3Click);
    connect(ui->BitBtn7, &QPushButton::clicked, this, &QWidget::close);
    connect(ui->DBGrid1, &QAbstractItemView::clicked, this, &TMainForm::DBGrid1CellClick);
    connectPageHandlers();
    connectQueryHandlers();
}

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (FormCloseQuery()) {
        event->accept();
    } else {
        event->ignore();
    }
}

// ---- the record list -------------------------------------------------------------------

void TMainForm::QueryRecordList(store::Query& query, QComboBox* typeSelector,
                                QComboBox* yearSelector, QWidget* pageButton02) {
    const QString year = yearSelector->currentText().left(4).trimmed();
    const int index = typeSelector->currentIndex();
    if (index >= 0 && index <= 2) {
        const QString type = QString::number(index + 1);
        query.close();
        query.setSql(QStringLiteral("select * from hvel where item_cglb='%1' and item_4 like '%2%'")
                         .arg(type, QuoteSqlText(year))
                         .toStdString());
        query.open();
        pageButton02->setVisible(type == QLatin1String("1"));
    }
    ListSql = QString::fromStdString(DM->Qryhvel.sql()) + QLatin1Char('\n');
}

void TMainForm::QueryRecordList() {
    QueryRecordList(DM->Qryhvel, ui->ComboBox1, ui->cbYear, ui->btn_page02);
}

int TMainForm::currentType() const {
    return ui->ComboBox1->currentIndex() + 1;
}

void TMainForm::FillYearList(store::Dataset& query) {
    FillYearList(query, ui->cbYear);
}

void TMainForm::FillYearList(store::Dataset& query, QComboBox* yearSelector) {
    const QSignalBlocker blocker(yearSelector);
    yearSelector->clear();
    QString last;
    bool added = false;
    for (query.first(); !query.eof(); query.next()) {
        const QString prefix = text(query.field("item_4")).left(4).trimmed();
        if (prefix == last) {
            continue;
        }
        last = prefix;
        bool isNumber = false;
        prefix.toInt(&isNumber);
        if (isNumber && prefix.size() == 4) {
            yearSelector->addItem(prefix);
            added = true;
        }
    }
    if (added) {
        yearSelector->setCurrentIndex(0);
    } else {
        yearSelector->addItem(QString::number(widgets::Clock::instance().today().year()));
        yearSelector->setCurrentIndex(-1);
        yearSelector->setEditText(QString());
    }
}

void TMainForm::RenumberList() {
    store::Query& list = DM->Qryhvel;
    // The grid is detached while the rows change, so that it does not repaint row by row.
    if (m_listModel) {
        m_listModel->setDataset(nullptr);
    }
    struct Reattach {
        widgets::DatasetModel* model;
        ~Reattach() {
            if (model != nullptr) {
                model->setDataset(&DM->Qryhvel);
            }
        }
    } reattach{m_listModel.get()};
    // All rows take their numbers, or none does.
    try {
        store::Database::Transaction unit(list.database());
        list.first();
        const int count = list.recordCount();
        const int no = count > 0 ? list.field("no").index() : -1;
        for (int i = 1; i <= count; ++i) {
            // A row that already has its number is not written again: typing a year runs the
            // numbering once per keystroke, mostly over the same rows.
            const std::string number = std::to_string(i);
            if (list.field(no).asText() != number) {
                list.edit();
                list.field(no).set(store::Value(number));
                list.post();
            }
            list.next();
        }
        unit.commit();
    } catch (...) {
        rereadRows(list);
        throw;
    }
    list.first();
}

void TMainForm::SyncTypeYearFromNew(int typeIndex, const QString& yearText) {
    listType(typeIndex);
    const QString year = yearText.trimmed();
    for (int i = 0; i < ui->cbYear->count(); ++i) {
        if (ui->cbYear->itemText(i) == year) {
            const QSignalBlocker blocker(ui->cbYear);
            ui->cbYear->setCurrentIndex(i);
            QueryRecordList();
        }
    }
}

QString TMainForm::yearText() const {
    return ui->cbYear->currentText();
}

void TMainForm::listType(int typeIndex) {
    if (typeIndex != ui->ComboBox1->currentIndex()) {
        {
            const QSignalBlocker blocker(ui->ComboBox1);
            ui->ComboBox1->setCurrentIndex(typeIndex);
        }
        QueryRecordList();
    }
}

void TMainForm::showListedYear(const QString& year) {
    for (int i = 0; i < ui->cbYear->count(); ++i) {
        if (ui->cbYear->itemText(i) == year) {
            const QSignalBlocker blocker(ui->cbYear);
            ui->cbYear->setCurrentIndex(i);
        }
    }
}

void TMainForm::addYear(const QString& year) {
    if (ui->cbYear->findText(year, Qt::MatchExactly) < 0) {
        const QSignalBlocker blocker(ui->cbYear);
        ui->cbYear->addItem(year);
    }
}

void TMainForm::DeleteRecordRows(store::Query& query, const QString& column, const QString& value) {
    query.close();
    query.setSql(QStringLiteral("DELETE FROM hvel WHERE %1='%2'")
                     .arg(column, QuoteSqlText(value))
                     .toStdString());
    query.execSql();
    QueryRecordList();
}

void TMainForm::setUpRecordGrid() {
    using widgets::GridColumn;
    const QColor maroon(128, 0, 0);
    const auto centred = Qt::AlignHCenter | Qt::AlignVCenter;
    const auto left = Qt::AlignLeft | Qt::AlignVCenter;
    m_listModel = std::make_unique<widgets::DatasetModel>();
    m_listModel->setColumns(
        {GridColumn{QStringLiteral("NO"), QStringLiteral("序号"), 94, left, left, {}, true},
         GridColumn{QStringLiteral("ITEM_120"),
                    QStringLiteral("成果管理编号"),
                    111,
                    left,
                    centred,
                    {},
                    true},
         GridColumn{QStringLiteral("ITEM_3"), QStringLiteral("成果名称"), 255, left, centred,
                    maroon, true},
         GridColumn{QStringLiteral("ITEM_9"), QStringLiteral("成果完成单位"), 264, left, centred,
                    maroon, true}},
        widgets::DatasetModel::OtherFields::Hidden);
    m_listModel->setDataset(&DM->Qryhvel);
    widgets::showDataset(*ui->DBGrid1, *m_listModel);
}

void TMainForm::FormShow() {
    setUpRecordGrid();
    registerQueryTargets();
    ui->Edit2->hide();
    ui->ComboBox5->hide();
    ui->ComboBox6->hide();
    {
        const QSignalBlocker blocker(ui->ComboBox2);
        widgets::FillFieldValues(DM->tblzdxx1, ui->ComboBox2, QStringLiteral("Name"));
    }
    RunQuerySql(DM->tempquery, QStringLiteral("select item_4 from hvel order by item_4 desc"));
    FillYearList(DM->tempquery);
    {
        const QSignalBlocker type(ui->ComboBox1);
        const QSignalBlocker year(ui->cbYear);
        const QSignalBlocker item(ui->ComboBox2);
        ui->ComboBox1->setCurrentIndex(0);
        // The newest year, or on a fresh installation the current year the list offers.
        ui->cbYear->setCurrentIndex(0);
        ui->ComboBox2->setCurrentIndex(0);
    }
    if (ui->ComboBox2->count() > 0 && DM->tblzdxx1.active()) {
        DM->tblzdxx1.first();
        DM->tblzdxx1.moveBy(ui->ComboBox2->currentIndex());
        const QString column = text(DM->tblzdxx1.field(1));
        widgets::FillCodeList(DM->Tblzdxx, column, ui->Combobox3, false);
        ui->Combobox3->setCurrentIndex(0);
    }
    ui->ComboBox4->setCurrentIndex(0);

    setRecordFunctionsEnabled(DM->Tblunit.active() && DM->Tblunit.recordCount() > 0);

    QueryRecordList();
    RenumberList();
}

void TMainForm::setRecordFunctionsEnabled(bool enabled) {
    QList<QWidget*> recordControls = {ui->Button1, ui->Button5, ui->BitBtn2,   ui->BitBtn3,
                                      ui->BitBtn4, ui->cbYear,  ui->ComboBox1, ui->DBGrid1};
    for (const Section& section : kSections) {
        recordControls << sectionButton(QString::fromLatin1(section.page));
    }
    for (QWidget* control : recordControls) {
        control->setEnabled(enabled);
    }
    // Deleting and importing stay possible without a registering unit.
    ui->Button4->setEnabled(true);
    ui->BitBtn1->setEnabled(true);
}

void TMainForm::RefreshRecordFunctions() {
    store::Table& unit = DM->Tblunit;
    if (unit.active()) {
        unit.refresh();
    }
    const bool haveUnit = unit.active() && unit.recordCount() > 0;
    setRecordFunctionsEnabled(haveUnit);
    if (haveUnit) {
        MarkIncompletePages();
        LockUntilComplete();
    }
}

void TMainForm::ComboBox1Change() {
    QueryRecordList();
    MarkIncompletePages();
    RenumberList();
    LockUntilComplete();
}

void TMainForm::SpeedButton26Click() {
    QueryRecordList();
    RenumberList();
    ui->MMSysV->clear();
}

void TMainForm::SpeedButton23Click() {
    ui->MMSysV->setReadOnly(false);
    ui->MMSysV->cut();
    ui->MMSysV->setReadOnly(true);
}

void TMainForm::BitBtn3Click() {
    widgets::Dialogs::instance().exec(*FcodeManage);
}

// ---- completeness marks and the lock ---------------------------------------------------

GlyphButton* TMainForm::sectionButton(const QString& page) const {
    return ui->Panel8->findChild<GlyphButton*>(QStringLiteral("btn_page") + page,
                                               Qt::FindDirectChildrenOnly);
}

void TMainForm::setSectionKind(GlyphButton* button, bool complete) {
    button->setKind(complete ? GlyphButton::Kind::Yes : GlyphButton::Kind::Help);
    button->setText(sectionCaption(button->objectName().right(2)));
}

void TMainForm::markSectionComplete(const QString& page) {
    setSectionKind(sectionButton(page), true);
}

void TMainForm::MarkIncompletePages() {
    for (GlyphButton* button :
         ui->Panel8->findChildren<GlyphButton*>(QString(), Qt::FindDirectChildrenOnly)) {
        button->setKind(GlyphButton::Kind::Yes);
    }
    store::Query& list = DM->Qryhvel;
    if (list.recordCount() == 0) {
        return;
    }
    const QString condition = ui->ComboBox1->currentIndex() == 0
                                  ? QStringLiteral("lb='a' or lb='1'")
                                  : QStringLiteral("lb='a' or lb='2'");
    RunQuerySql(DM->QryCheckUp, QStringLiteral("select * from checkup where \n") + condition);
    store::Query& rules = DM->QryCheckUp;
    for (rules.first(); !rules.eof(); rules.next()) {
        const std::string column = rules.field("id").asText();
        if (list.field(column).isNull()) {
            const QString page = text(rules.field("button"));
            if (page == QLatin1String("01") || page == QLatin1String("02") ||
                page == QLatin1String("03") || page == QLatin1String("04")) {
                setSectionKind(sectionButton(page), false);
            }
        }
    }
    store::Table& persons = DM->TblCgwcr;
    recordrows::filterToRecord(persons, text(list.field("ITEM_4")), text(list.field("ITEM_DQDM")));
    if (persons.recordCount() == 0) {
        setSectionKind(ui->btn_page08, false);
    }
}

bool TMainForm::LockUntilComplete() {
    store::Query& list = DM->Qryhvel;
    const QString type = list.recordCount() > 0 ? text(list.field("item_cglb")) : QString();
    auto done = [](GlyphButton* button) { return button->kind() == GlyphButton::Kind::Yes; };
    bool complete = done(ui->btn_page01) && done(ui->btn_page03) && done(ui->btn_page04) &&
                    done(ui->btn_page08);
    if (type == QLatin1String("1")) {
        complete = complete && done(ui->btn_page02);
    }
    for (QWidget* control :
         {static_cast<QWidget*>(ui->DBGrid1), static_cast<QWidget*>(ui->ComboBox1),
          static_cast<QWidget*>(ui->cbYear), static_cast<QWidget*>(ui->SpeedButton16),
          static_cast<QWidget*>(ui->SpeedButton26), static_cast<QWidget*>(ui->Button1),
          static_cast<QWidget*>(ui->Button5), static_cast<QWidget*>(ui->BitBtn1),
          static_cast<QWidget*>(ui->BitBtn2), static_cast<QWidget*>(ui->BitBtn4)}) {
        control->setEnabled(complete);
    }
    return complete;
}

void TMainForm::holdOnNewRecord() {
    for (GlyphButton* button :
         ui->Panel8->findChildren<GlyphButton*>(QString(), Qt::FindDirectChildrenOnly)) {
        button->setKind(GlyphButton::Kind::Help);
    }
    for (QWidget* control :
         {static_cast<QWidget*>(ui->DBGrid1), static_cast<QWidget*>(ui->ComboBox1),
          static_cast<QWidget*>(ui->cbYear), static_cast<QWidget*>(ui->SpeedButton16),
          static_cast<QWidget*>(ui->SpeedButton26), static_cast<QWidget*>(ui->Button1),
          static_cast<QWidget*>(ui->Button5), static_cast<QWidget*>(ui->BitBtn1),
          static_cast<QWidget*>(ui->BitBtn2)}) {
        control->setEnabled(false);
    }
}

void TMainForm::DBGrid1CellClick() {
    if (DM->Qryhvel.recordCount() == 0) {
        return;
    }
    MarkIncompletePages();
    LockUntilComplete();
    if (!ui->DBGrid1->isEnabled()) {
        widgets::Dialogs::instance().message(
            this, widgets::Icon::Information, QStringLiteral("提示信息"),
            QStringLiteral("当前项目有未完成栏目，请您填写完毕!"), widgets::Ok, widgets::Ok);
    }
}

bool TMainForm::FormCloseQuery() {
    auto incomplete = [](GlyphButton* button) { return button->kind() == GlyphButton::Kind::Help; };
    const bool applied = DM != nullptr && DM->Qryhvel.active() && DM->Qryhvel.recordCount() > 0 &&
                         DM->Qryhvel.field("item_cglb").asText() == "1";
    QString question;
    if (incomplete(ui->btn_page01)) {
        question = QStringLiteral("成果概况没有填完,是否以后再填写该项目？");
    } else if (incomplete(ui->btn_page02) && applied) {
        question = QStringLiteral("知识产权，成果应用情况没有填完,是否以后再填写该项目？");
    } else if (incomplete(ui->btn_page03)) {
        question = QStringLiteral("课题立项，评价没有填完,是否以后再填写该项目？");
    } else if (incomplete(ui->btn_page04)) {
        question = QStringLiteral("成果概况没有填完,是否以后再填写该项目？");
    } else if (incomplete(ui->btn_page08)) {
        question = QStringLiteral("成果完成人员名单没有填完,是否以后再填写该项目？？");
    }
    if (question.isEmpty()) {
        return true;
    }
    return widgets::Dialogs::instance().message(
               this, widgets::Icon::Information, QStringLiteral("提示信息"), question,
               widgets::Ok | widgets::Cancel, widgets::Ok) == widgets::Ok;
}
