#include "PrintState.h"

#include <algorithm>

#include "CodeLookups.h"
#include "Dataset.h"
#include "ResearchPeriod.h"
#include "UnitDM.h"

namespace print {

namespace {

const QString kCheckMark = QStringLiteral("√");

// Leading and trailing blanks and control characters removed.
QString trimBlanks(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].unicode() <= u' ') {
        ++begin;
    }
    while (end > begin && text[end - 1].unicode() <= u' ') {
        --end;
    }
    return text.mid(begin, end - begin);
}

QString fieldText(store::Dataset& dataset, const QString& field) {
    return QString::fromStdString(dataset.field(field.toStdString()).asText());
}

// Detaches a dataset from its grids while rows are copied.
class ControlsDetached {
public:
    explicit ControlsDetached(store::Dataset& dataset) : m_dataset(dataset) {
        m_dataset.disableControls();
    }
    ~ControlsDetached() { m_dataset.enableControls(); }
    ControlsDetached(const ControlsDetached&) = delete;
    ControlsDetached& operator=(const ControlsDetached&) = delete;

private:
    store::Dataset& m_dataset;
};

QString twoDigits(int number) {
    return QStringLiteral("%1").arg(number, 2, 10, QLatin1Char('0'));
}

// Copies the rows of source into the padded table: rows times append; the source's current
// row gives the values of each (field of the table, text of the source) pair while the
// source has rows, the rest stay empty.
void copyPadded(store::Dataset& source, MemoryTable& table, int rows,
                const std::vector<std::pair<QString, QString>>& fields) {
    for (int i = 0; i < rows; ++i) {
        table.append();
        const bool atEnd = source.eof();
        for (const auto& [target, from] : fields) {
            table.setField(target, atEnd ? QString() : trimBlanks(fieldText(source, from)));
        }
        table.post();
        source.next();
    }
    table.first();
}

}  // namespace

QString OmittedRows::text() const {
    return QStringLiteral("%1共 %2 项，表中只能印出前 %3 项。").arg(list).arg(total).arg(printed);
}

PrintState::PrintState(TDM& dm)
    : ClientDataSet1(
          QStringLiteral("ClientDataSet1"),
          {QStringLiteral("ITEM_4"), QStringLiteral("ITEM_DQDM"), QStringLiteral("ITEM_190"),
           QStringLiteral("ITEM_191"), QStringLiteral("ITEM_192"), QStringLiteral("ITEM_193"),
           QStringLiteral("ITEM_194"), QStringLiteral("ITEM_195"), QStringLiteral("ITEM_196"),
           QStringLiteral("ITEM_197"), QStringLiteral("ITEM_198"), QStringLiteral("ITEM_199")}),
      ClientDataSet2(
          QStringLiteral("ClientDataSet2"),
          {QStringLiteral("ITEM_4"), QStringLiteral("ITEM_DQDM"), QStringLiteral("ITEM_187"),
           QStringLiteral("ITEM_180"), QStringLiteral("ITEM_181"), QStringLiteral("ITEM_182"),
           QStringLiteral("ITEM_183"), QStringLiteral("ITEM_184"), QStringLiteral("ITEM_185"),
           QStringLiteral("ITEM_186"), QStringLiteral("ITEM_188")}),
      ClientDataSet3(
          QStringLiteral("ClientDataSet3"),
          {QStringLiteral("ITEM_4"), QStringLiteral("ITEM_DQDM"), QStringLiteral("ITEM_176"),
           QStringLiteral("ITEM_170"), QStringLiteral("ITEM_171"), QStringLiteral("ITEM_172"),
           QStringLiteral("ITEM_173"), QStringLiteral("ITEM_174"), QStringLiteral("ITEM_175")}),
      m_dm(dm) {}

PrintState::~PrintState() = default;

bool PrintState::isCreated(const QString& formName) const {
    return m_forms.count(formName) > 0;
}

ReportForm& PrintState::form(const QString& formName) {
    auto it = m_forms.find(formName);
    if (it != m_forms.end()) {
        return *it->second;
    }
    const ReportFormInfo* info = findReportForm(formName);
    if (info == nullptr) {
        throw PrintError(QStringLiteral("没有名为 %1 的报表").arg(formName));
    }
    auto created = std::make_unique<ReportForm>(*info, ReportLayout::load(info->unit));
    if (created->hasLayout() && created->layout()->form != info->name) {
        throw PrintError(QStringLiteral("版面文件 %1.xml 属于报表 %2，不属于 %3")
                             .arg(info->unit, created->layout()->form, info->name));
    }
    const QString dataset = created->hasLayout() ? created->layout()->dataset : QString();
    for (const MemoryTable* table : {&ClientDataSet1, &ClientDataSet2, &ClientDataSet3}) {
        if (table->name() == dataset) {
            created->setDataset(table);
        }
    }
    if (!dataset.isEmpty() && created->dataset() == nullptr) {
        throw PrintError(
            QStringLiteral("版面文件 %1.xml 的内存表 %2 不存在").arg(info->unit, dataset));
    }
    return *m_forms.emplace(formName, std::move(created)).first->second;
}

ReportForm& PrintState::prepare(const QString& formName, Numbering numbering) {
    m_omitted.clear();
    ReportForm& page = form(formName);
    if (page.info().prepare != nullptr) {
        (this->*page.info().prepare)(page);
    }
    bindRecord(page);
    setPageLabels(page, numbering);
    return page;
}

QString PrintState::recordText(const QString& field) const {
    return fieldText(m_dm.Qryhvel, field);
}

QString PrintState::provinceName() {
    return QString::fromStdString(documents::LookupByKey(
        m_dm.tblProvince, "Province_i", "Province_n", m_dm.Qryhvel.field("ITEM_64").asText()));
}

QString PrintState::ministryName() {
    return QString::fromStdString(documents::LookupByKey(m_dm.tblLsbw, "Bwdm", "Bwmc",
                                                         m_dm.Qryhvel.field("ITEM_63").asText()));
}

void PrintState::bindRecord(ReportForm& form) {
    if (!form.hasLayout()) {
        return;
    }
    for (const QString& field : form.layout()->recordFields()) {
        form.setRecordValue(field, recordText(field));
    }
}

void PrintState::setPageLabels(ReportForm& form, Numbering numbering) {
    const ReportFormInfo& info = form.info();
    const QString& page = numbering == Numbering::Form ? info.formPage : info.mainTextPage;
    if (page.isEmpty()) {
        return;
    }
    if (info.list) {
        form.setCaption(QStringLiteral("QRSysData1"), page + QStringLiteral("--"));
        form.setCaption(QStringLiteral("QRpage"), page);
    } else {
        form.setCaption(QStringLiteral("QRPage"), page);
    }
}

// ---- shared steps ----------------------------------------------------------------------

void PrintState::ClearItemCheckLabels(ReportForm& form) {
    for (const QString& name : form.labelNames()) {
        if (name.indexOf(QStringLiteral("ITEM"), 3) >= 0) {
            form.setCaption(name, QString());
        }
    }
}

void PrintState::MarkCheckLabel(ReportForm& form, const QString& field, const QString& code) {
    if (code.isEmpty()) {
        return;
    }
    for (const QString& name : form.labelNames()) {
        if (name.mid(3, field.size()) == field && name.mid(field.size() + 4) == code) {
            form.setCaption(name, kCheckMark);
        }
    }
}

void PrintState::MarkCheckLabelsForField(ReportForm& form, const QString& field) {
    const QString text = recordText(field);
    if (text.isEmpty()) {
        return;
    }
    const qsizetype first = text.indexOf(u';');
    if (first < 0) {
        MarkCheckLabel(form, field, text);
        return;
    }
    const qsizetype second = text.indexOf(u';', first + 1);
    MarkCheckLabel(form, field, trimBlanks(text.left(first)));
    MarkCheckLabel(form, field,
                   second < 0 ? QString() : trimBlanks(text.mid(first + 1, second - first - 1)));
}

void PrintState::SetLabelToCodeName(store::Table& codeTable, const QString& fieldCode,
                                    const QString& code, ReportForm& form, const QString& label) {
    codeTable.setFilter("zddm ='" + store::filterText(fieldCode.toStdString()) + "'");
    if (!codeTable.active()) {
        codeTable.open();
    }
    form.setCaption(label, QString());
    for (codeTable.first(); !codeTable.eof(); codeTable.next()) {
        if (fieldText(codeTable, QStringLiteral("xxdm")) == code) {
            form.setCaption(label, fieldText(codeTable, QStringLiteral("xxmc")));
        }
    }
}

// ---- page preparations -----------------------------------------------------------------

void PrintState::PrepareCover(ReportForm& form) {
    const researchperiod::Period period =
        researchperiod::SplitResearchPeriod(m_dm.Qryhvel.field("ITEM_8").asText());
    form.setCaption(QStringLiteral("item_8_1"), QString::fromStdString(period.start.year));
    form.setCaption(QStringLiteral("item_8_2"), QString::fromStdString(period.start.month));
    form.setCaption(QStringLiteral("item_8_3"), QString::fromStdString(period.end.year));
    form.setCaption(QStringLiteral("item_8_4"), QString::fromStdString(period.end.month));

    for (const char* label : {"item_121_1", "item_121_2", "item_121_3"}) {
        form.setCaption(QLatin1String(label), QString());
    }
    // The approval date from the date itself, whatever the text form of dates.
    const store::Value approval = m_dm.Qryhvel.field("ITEM_121").value();
    if (const auto date = approval.asDate()) {
        form.setCaption(QStringLiteral("item_121_1"), QString::number(date->year));
        form.setCaption(QStringLiteral("item_121_2"), QString::number(date->month));
        form.setCaption(QStringLiteral("item_121_3"), QString::number(date->day));
    } else {
        // A value that is no date is printed whole rather than lost.
        form.setCaption(QStringLiteral("item_121_3"),
                        trimBlanks(QString::fromStdString(approval.asText())));
    }
}

void PrintState::prepareKeywords(ReportForm& form) {
    const QString text = trimBlanks(recordText(QStringLiteral("ITEM_14")));
    QString keywords[3];
    const qsizetype first = text.indexOf(u';');
    if (first < 0) {
        keywords[0] = text;
    } else {
        keywords[0] = trimBlanks(text.left(first));
        const QString rest = text.mid(first + 1);
        const qsizetype second = rest.indexOf(u';');
        if (second < 0) {
            keywords[1] = rest;
        } else {
            keywords[1] = trimBlanks(rest.left(second));
            keywords[2] = rest.mid(second + 1);
        }
    }
    form.setCaption(QStringLiteral("item_14_1"), keywords[0]);
    form.setCaption(QStringLiteral("item_14_2"), keywords[1]);
    form.setCaption(QStringLiteral("item_14_3"), keywords[2]);
}

void PrintState::PrepareTyyPrint03(ReportForm& form) {
    prepareKeywords(form);
    ClearItemCheckLabels(form);
    for (const QString& field : form.info().checkFields) {
        MarkCheckLabelsForField(form, field);
    }
}

void PrintState::PrepareTrjPrint03(ReportForm& form) {
    prepareKeywords(form);
    for (const char* field :
         {"ITEM_15", "ITEM_15_1", "ITEM_12", "ITEM_12_1", "ITEM_127", "ITEM_127_1"}) {
        form.setCaption(QStringLiteral("QR_") + QString::fromLatin1(field).toLower(),
                        trimBlanks(recordText(QLatin1String(field))));
    }
    ClearItemCheckLabels(form);
    for (const QString& field : form.info().checkFields) {
        MarkCheckLabelsForField(form, field);
    }
}

void PrintState::PrepareTyyPrint05(ReportForm& form) {
    ClearItemCheckLabels(form);
    SetLabelToCodeName(m_dm.Tblzdxx, QStringLiteral("item_46"),
                       recordText(QStringLiteral("ITEM_46")), form, QStringLiteral("QRLabel44"));
    SetLabelToCodeName(m_dm.Tblzdxx, QStringLiteral("item_47"),
                       recordText(QStringLiteral("ITEM_47")), form, QStringLiteral("QRLabel45"));

    constexpr int kPatentSlots = 4;
    store::Table& patents = m_dm.tblzlqk;
    patents.first();
    for (int slot = 1; slot <= kPatentSlots; ++slot) {
        const QString number = QStringLiteral("QL_zlqk_zlh_%1").arg(slot);
        const QString name = QStringLiteral("QL_zlqk_zlm_%1").arg(slot);
        if (patents.eof()) {
            form.setCaption(number, QString());
            form.setCaption(name, QString());
        } else {
            form.setCaption(number, fieldText(patents, QStringLiteral("PaTent_No")));
            form.setCaption(name, fieldText(patents, QStringLiteral("PaTent_Nam")));
            patents.next();
        }
    }
    if (patents.recordCount() > kPatentSlots) {
        m_omitted.push_back({QStringLiteral("专利"), kPatentSlots, patents.recordCount()});
    }

    form.setCaption(QStringLiteral("QR_ITEM_34"), recordText(QStringLiteral("ITEM_34")));
    for (const QString& field : form.info().checkFields) {
        MarkCheckLabelsForField(form, field);
    }
}

void PrintState::fillUnitsTable(int rows) {
    store::Table& units = m_dm.TblCgwcdw;
    ClientDataSet3.emptyTable();
    {
        ControlsDetached detached(units);
        units.first();
        copyPadded(units, ClientDataSet3, rows,
                   {{QStringLiteral("ITEM_176"), QStringLiteral("ITEM_176")},
                    {QStringLiteral("ITEM_170"), QStringLiteral("ITEM_170")},
                    {QStringLiteral("ITEM_171"), QStringLiteral("ITEM_171")},
                    {QStringLiteral("ITEM_172"), QStringLiteral("ITEM_172")},
                    {QStringLiteral("ITEM_173"), QStringLiteral("ITEM_173")}});
    }
    if (units.recordCount() > rows) {
        m_omitted.push_back({QStringLiteral("合作完成单位"), rows, units.recordCount()});
    }
}

// The unit pages store whether an enterprise is a converted research institute as "1" or "0"
// (a check box), while the printed options are coded 1 是 and 2 否: a stored "0" marks 否, so
// that the answer no is not lost on paper.
void PrintState::markNotConverted(ReportForm& form) {
    if (trimBlanks(recordText(QStringLiteral("ITEM_163"))) == u"0") {
        MarkCheckLabel(form, QStringLiteral("ITEM_163"), QStringLiteral("2"));
    }
}

void PrintState::PrepareTyyPrint07(ReportForm& form) {
    ClearItemCheckLabels(form);
    for (const QString& field : form.info().checkFields) {
        MarkCheckLabelsForField(form, field);
    }
    markNotConverted(form);
    form.setCaption(QStringLiteral("QRLabel_64"), provinceName());
    form.setCaption(QStringLiteral("QRLabel_63"), ministryName());
    fillUnitsTable(23);
}

void PrintState::PrepareTrjPrint05(ReportForm& form) {
    ClearItemCheckLabels(form);
    for (const char* field :
         {"ITEM_22", "ITEM_9", "ITEM_420", "ITEM_37", "ITEM_39", "ITEM_60", "ITEM_38", "ITEM_40"}) {
        form.setCaption(QStringLiteral("QR_") + QString::fromLatin1(field).toLower(),
                        trimBlanks(recordText(QLatin1String(field))));
    }
    form.setCaption(QStringLiteral("QR_item_64"), provinceName());
    form.setCaption(QStringLiteral("QR_item_63"), ministryName());
    for (const char* field : {"ITEM_41", "ITEM_41_2", "ITEM_61"}) {
        form.setCaption(QStringLiteral("QR_") + QString::fromLatin1(field).toLower(),
                        trimBlanks(recordText(QLatin1String(field))));
    }
    for (const QString& field : form.info().checkFields) {
        MarkCheckLabelsForField(form, field);
    }
    markNotConverted(form);
    form.setCaption(QStringLiteral("QR_ITEM_34"), recordText(QStringLiteral("ITEM_34")));
    fillUnitsTable(13);
}

void PrintState::PrepareApprovalPage(ReportForm& form) {
    const QString year = QStringLiteral("QRLabel_year");
    const QString month = QStringLiteral("QRLabel_M");
    const QString day = form.info().family == Family::Yy ? QStringLiteral("QRLabel_d")
                                                         : QStringLiteral("QRLabel_D");
    for (const QString& label : {year, month, day}) {
        form.setCaption(label, QString());
    }
    if (const auto date = m_dm.Qryhvel.field("ITEM_121").value().asDate()) {
        form.setCaption(year, QString::number(date->year).rightJustified(4, u'0'));
        form.setCaption(month, twoDigits(date->month));
        form.setCaption(day, twoDigits(date->day));
    }
}

// ---- list pages ------------------------------------------------------------------------

int PrintState::personsOnOnePage(Family) {
    return 17;
}

int PrintState::committeeOnOnePage(Family family) {
    return family == Family::Yy ? 13 : 15;
}

// The padded row counts fill the last page of a list down to where its filling notes start:
// yy pages hold 21 rows, rj pages 22, and the notes take the place of 4 or 5 rows (persons)
// and 8 or 7 rows (committee).
int PrintState::personsRowCount(Family family, int n) {
    const int perPage = family == Family::Yy ? 21 : 22;
    const int notes = family == Family::Yy ? 4 : 5;
    const int rows = ((n + notes - 1) / perPage + 1) * perPage - notes;
    return std::max({rows, n, personsOnOnePage(family)});
}

int PrintState::committeeRowCount(Family family, int n) {
    const int perPage = family == Family::Yy ? 21 : 22;
    const int notes = family == Family::Yy ? 8 : 7;
    if (n <= committeeOnOnePage(family)) {
        return committeeOnOnePage(family);
    }
    return std::max(((n + notes - 1) / perPage + 1) * perPage - notes, n);
}

void PrintState::fillListTable(ReportForm& form, store::Table& source, MemoryTable& table,
                               int onePage, int (*rowCount)(Family, int),
                               const std::vector<std::pair<QString, QString>>& fields) {
    table.emptyTable();
    ControlsDetached detached(source);
    source.first();
    const int n = source.recordCount();
    form.setEnabled(QStringLiteral("QRSysData1"), n > onePage);
    form.setEnabled(QStringLiteral("QRpage"), n <= onePage);
    copyPadded(source, table, rowCount(form.info().family, n), fields);
}

void PrintState::PreparePersonsList(ReportForm& form) {
    fillListTable(form, m_dm.TblCgwcr, ClientDataSet2, personsOnOnePage(form.info().family),
                  &PrintState::personsRowCount,
                  {{QStringLiteral("ITEM_187"), QStringLiteral("item_187")},
                   {QStringLiteral("ITEM_180"), QStringLiteral("item_180")},
                   {QStringLiteral("ITEM_181"), QStringLiteral("V_181")},
                   {QStringLiteral("ITEM_182"), QStringLiteral("item_182")},
                   {QStringLiteral("ITEM_183"), QStringLiteral("V_183")},
                   {QStringLiteral("ITEM_184"), QStringLiteral("V_184")},
                   {QStringLiteral("ITEM_188"), QStringLiteral("V_188")},
                   {QStringLiteral("ITEM_185"), QStringLiteral("item_185")},
                   {QStringLiteral("ITEM_186"), QStringLiteral("item_186")}});
}

void PrintState::PrepareCommitteeList(ReportForm& form) {
    fillListTable(form, m_dm.Tbljdwyhmd, ClientDataSet1, committeeOnOnePage(form.info().family),
                  &PrintState::committeeRowCount,
                  {{QStringLiteral("ITEM_4"), QStringLiteral("ITEM_4")},
                   {QStringLiteral("ITEM_DQDM"), QStringLiteral("ITEM_DQDM")},
                   {QStringLiteral("ITEM_190"), QStringLiteral("ITEM_190")},
                   {QStringLiteral("ITEM_191"), QStringLiteral("ITEM_191")},
                   {QStringLiteral("ITEM_192"), QStringLiteral("ITEM_192")},
                   {QStringLiteral("ITEM_193"), QStringLiteral("V_193")},
                   {QStringLiteral("ITEM_194"), QStringLiteral("ITEM_194")},
                   {QStringLiteral("ITEM_195"), QStringLiteral("ITEM_195")},
                   {QStringLiteral("ITEM_196"), QStringLiteral("ITEM_196")},
                   {QStringLiteral("ITEM_197"), QStringLiteral("ITEM_197")},
                   {QStringLiteral("ITEM_198"), QStringLiteral("V_198")},
                   {QStringLiteral("ITEM_199"), QStringLiteral("ITEM_199")}});
}

}  // namespace print
