// The layout files: what the reader makes of them, what it refuses, and how the renderer
// paginates, shrinks and cuts.

#include <gtest/gtest.h>

#include <QPdfWriter>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <map>
#include <optional>

#include "MemoryTable.h"
#include "PdfText.h"
#include "PrintNotice.h"
#include "PrintState.h"
#include "QtPrinters.h"
#include "ReportForm.h"
#include "ReportRenderer.h"

namespace {

using print::ElementKind;
using print::ReportLayout;

QString u(const char* utf8) {
    return QString::fromUtf8(utf8);
}

ReportLayout parse(const char* xml) {
    return ReportLayout::parse(QByteArray(xml), u("test.xml"));
}

// ---- what the reader refuses -----------------------------------------------------------

struct BadLayout {
    const char* name;
    const char* xml;
    const char* message;  // part of the error message
};

void PrintTo(const BadLayout& c, std::ostream* os) {
    *os << c.name;
}

class RefusedLayout : public ::testing::TestWithParam<BadLayout> {};

TEST_P(RefusedLayout, NamesTheFileLineAndFault) {
    try {
        parse(GetParam().xml);
        FAIL() << "accepted";
    } catch (const print::PrintError& e) {
        EXPECT_NE(QString::fromUtf8(e.what()).indexOf(u(GetParam().message)), -1) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, RefusedLayout,
    ::testing::Values(
        BadLayout{"unknown_element",
                  "<report form=\"F\">\n<band kind=\"body\" height=\"10\">\n<txt/></band></report>",
                  "test.xml 第 3 行：未知的元素 txt"},
        BadLayout{"unknown_attribute",
                  "<report form=\"F\"><band kind=\"body\" height=\"10\"><text colour=\"red\"/>"
                  "</band></report>",
                  "text 没有属性 colour"},
        BadLayout{"bad_number", "<report form=\"F\"><band kind=\"body\" height=\"ten\"/></report>",
                  "属性 height 不是数：ten"},
        BadLayout{"cells_wider_than_grid",
                  "<report form=\"F\"><band kind=\"body\" height=\"10\"><grid w=\"100\">"
                  "<row h=\"5\"><cell w=\"60\"/><cell w=\"50\"/></row></grid></band></report>",
                  "各 cell 宽度之和 110 与 grid 宽度 100 不符"},
        BadLayout{"join_without_cell_above",
                  "<report form=\"F\"><band kind=\"body\" height=\"10\"><grid w=\"100\">"
                  "<row h=\"5\"><cell w=\"50\"/><cell/></row>"
                  "<row h=\"5\"><cell w=\"40\" join=\"up\"/><cell/></row></grid></band></report>",
                  "上方没有同宽的 cell"},
        BadLayout{"duplicate_name",
                  "<report form=\"F\"><band kind=\"body\" height=\"10\"><label name=\"a\"/>"
                  "<check name=\"a\"/></band></report>",
                  "控件名 a 重复"},
        BadLayout{"detail_without_dataset",
                  "<report form=\"F\"><band kind=\"detail\" height=\"10\"/></report>", "dataset"},
        BadLayout{"option_without_caption",
                  "<report form=\"F\"><band kind=\"body\" height=\"10\">"
                  "<options field=\"ITEM_2\">1 国际领先; 2</options></band></report>",
                  "选项“2”"},
        BadLayout{"stray_text",
                  "<report form=\"F\"><band kind=\"body\" height=\"10\">成果</band></report>",
                  "此处不能有文字“成果”"},
        BadLayout{"not_xml", "<report form=\"F\"><band>", "无法读取"},
        BadLayout{"unknown_piece",
                  "<report form=\"F\">\n<band kind=\"body\" height=\"10\">\n"
                  "<include piece=\"nosuch\"/></band></report>",
                  "test.xml 第 3 行：没有片段 nosuch"},
        BadLayout{"piece_name_with_a_path",
                  "<report form=\"F\"><band kind=\"body\" height=\"10\">"
                  "<include piece=\"../yyfmUnit1\"/></band></report>",
                  "片段名 ../yyfmUnit1"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- what the reader makes of a layout -------------------------------------------------

TEST(LayoutReader, TextLinesAreJoinedAndBreakOnlyAtBr) {
    const ReportLayout layout = parse(
        "<report form=\"F\"><band kind=\"body\" height=\"20\">\n"
        "  <text>第一行，\n    接着写。<br/>第二行</text>\n"
        "  <label name=\"QRPage\"> 3 </label>\n"
        "</band></report>");
    const auto texts = layout.elements({ElementKind::Text});
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0]->text, u("第一行，接着写。\n第二行"));
    EXPECT_EQ(layout.elements({ElementKind::Label})[0]->text, u("3"));
}

TEST(LayoutReader, StylesAreInheritedAndPlacesAreRelativeToTheirContainer) {
    const ReportLayout layout = parse(
        "<report form=\"F\" size=\"14\"><band kind=\"body\" height=\"50\" font=\"黑体\">"
        "<group x=\"10\" y=\"5\" w=\"100\" bold=\"1\"><field name=\"ITEM_3\" x=\"2\" "
        "h=\"8\"/></group>"
        "</band></report>");
    const print::Element* field = layout.elements({ElementKind::Field})[0];
    EXPECT_EQ(field->rect, QRectF(12, 5, 98, 8));
    EXPECT_EQ(field->style.font, u("黑体"));
    EXPECT_EQ(field->style.sizePx, 14);
    EXPECT_TRUE(field->style.bold);
    EXPECT_EQ(layout.recordFields(), QStringList{u("ITEM_3")});
}

TEST(LayoutReader, GridCellsShareTheRestJoinDownwardsAndRuleTheirEdges) {
    const ReportLayout layout = parse(
        "<report form=\"F\"><band kind=\"body\" height=\"40\"><grid x=\"10\" y=\"5\" w=\"100\">"
        "<row h=\"10\"><cell w=\"40\">甲</cell><cell/><cell/></row>"
        "<row h=\"8\"><cell w=\"40\" join=\"up\"/><cell rule=\"0\"><label name=\"x\"/></cell></row>"
        "</grid></band></report>");
    const auto texts = layout.elements({ElementKind::Text});
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0]->rect, QRectF(10, 5, 40, 18));  // the joined cell below included
    EXPECT_EQ(layout.elements({ElementKind::Label})[0]->rect, QRectF(50, 15, 60, 8));

    QList<QLineF> lines;
    for (const print::Element* e : layout.elements({ElementKind::Line})) {
        lines << e->line;
    }
    // The frame, the line under row 1 right of the joined cell, the edges of row 1's cells.
    EXPECT_TRUE(lines.contains(QLineF(50, 15, 110, 15)));
    EXPECT_FALSE(lines.contains(QLineF(10, 15, 50, 15)));
    EXPECT_TRUE(lines.contains(QLineF(50, 5, 50, 15)));
    EXPECT_TRUE(lines.contains(QLineF(80, 5, 80, 15)));
    EXPECT_FALSE(lines.contains(QLineF(50, 15, 50, 23)));
    EXPECT_TRUE(lines.contains(QLineF(10, 23, 110, 23)));
}

TEST(LayoutReader, OptionGroupsNameACheckLabelPerOption) {
    const ReportLayout layout = parse(
        "<report form=\"F\"><band kind=\"body\" height=\"20\">"
        "<options field=\"ITEM_21\" prefix=\"QR_\" list=\"item_21_l\">\n"
        "  2 验收; 4 评审\n  6 结题\n</options>"
        "<check name=\"QL_ITEM_163_1\" box=\"1\"/><label name=\"item_14_1\"/>"
        "<pagenumber name=\"QRSysData1\">10--</pagenumber></band></report>");
    const print::Element* options = layout.elements({ElementKind::Options})[0];
    ASSERT_EQ(options->options.size(), 3u);
    EXPECT_EQ(options->options[2].code, u("6"));
    EXPECT_EQ(options->options[2].caption, u("结题"));
    EXPECT_EQ(options->codeList, u("item_21_l"));
    EXPECT_EQ(layout.labelNames(),
              (QStringList{u("QR_ITEM_21_2"), u("QR_ITEM_21_4"), u("QR_ITEM_21_6"),
                           u("QL_ITEM_163_1"), u("item_14_1")}));
    EXPECT_EQ(layout.controlNames().last(), u("QRSysData1"));
}

// Shared pieces, given by name as the compiled-in pieces are.
class PieceInclusion : public ::testing::Test {
protected:
    ReportLayout parseWith(const char* xml) {
        return ReportLayout::parse(QByteArray(xml), u("page.xml"),
                                   [this](const QString& name) -> std::optional<QByteArray> {
                                       const auto it = m_pieces.find(name);
                                       if (it == m_pieces.end()) {
                                           return std::nullopt;
                                       }
                                       return QByteArray(it->second);
                                   });
    }

    std::map<QString, const char*> m_pieces;
};

TEST_F(PieceInclusion, APieceIsPlacedInItsIncludeWithTheIncludesStyle) {
    m_pieces[u("notes")] =
        "<piece size=\"14\">\n  <text y=\"2\" h=\"6\">说明</text>\n"
        "  <include piece=\"more\" y=\"8\" h=\"6\"/>\n</piece>";
    m_pieces[u("more")] = "<piece><text>再说明</text></piece>";
    const ReportLayout layout = parseWith(
        "<report form=\"F\"><band kind=\"body\" height=\"50\">"
        "<include piece=\"notes\" x=\"10\" y=\"20\" w=\"100\" bold=\"1\"/>"
        "<include piece=\"more\" y=\"40\" h=\"6\"/></band></report>");
    const auto texts = layout.elements({ElementKind::Text});
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0]->rect, QRectF(10, 22, 100, 6));
    EXPECT_TRUE(texts[0]->style.bold);
    EXPECT_EQ(texts[0]->style.sizePx, 14);
    EXPECT_EQ(texts[1]->text, u("再说明"));
    EXPECT_EQ(texts[1]->rect, QRectF(10, 28, 100, 6));  // nested: relative to the inner include
    EXPECT_EQ(texts[2]->rect, QRectF(0, 40, 190, 6));   // the same piece again, elsewhere
    EXPECT_EQ(texts[2]->style.sizePx, 12);
}

TEST_F(PieceInclusion, FaultsInsideAPieceNameThePiecesFile) {
    struct Case {
        const char* name;
        const char* piece;
        const char* message;
    };
    const Case cases[] = {
        {"unknown_element", "<piece>\n<txt/></piece>", "pieces/notes.xml 第 2 行：未知的元素 txt"},
        {"wrong_root", "<band/>", "pieces/notes.xml 第 1 行：片段的根元素应为 piece"},
        {"includes_itself", "<piece><include piece=\"notes\"/></piece>", "片段 notes 包含了它自己"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_pieces[u("notes")] = c.piece;
        try {
            parseWith(
                "<report form=\"F\"><band kind=\"body\" height=\"10\">"
                "<include piece=\"notes\"/></band></report>");
            ADD_FAILURE() << "accepted";
        } catch (const print::PrintError& e) {
            EXPECT_NE(QString::fromUtf8(e.what()).indexOf(u(c.message)), -1) << e.what();
        }
    }
}

// ---- pagination and painting -----------------------------------------------------------

// A list form over a table of its own: header 20 mm, rows of 10 mm, summary 30 mm, footer
// 10 mm, so that 24 rows fill a page of 277 mm.
class RenderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    print::ReportForm& form(const char* bands) {
        const QString xml =
            u("<report form=\"TyyPrint10\" dataset=\"T\">%1</report>").arg(u(bands));
        m_layout = std::make_shared<ReportLayout>(ReportLayout::parse(xml.toUtf8(), u("test.xml")));
        m_form =
            std::make_unique<print::ReportForm>(*print::findReportForm(u("TyyPrint10")), m_layout);
        m_form->setDataset(&m_table);
        return *m_form;
    }

    print::ReportForm& list(int rows) {
        fill(rows);
        return form(
            "<band kind=\"header\" height=\"20\"><text>表头</text></band>"
            "<band kind=\"detail\" height=\"10\"><rowfield name=\"A\"/></band>"
            "<band kind=\"summary\" height=\"30\"><text>说明</text></band>"
            "<band kind=\"footer\" height=\"10\"><pagenumber name=\"QRSysData1\">10--</pagenumber>"
            "</band>");
    }

    void fill(int rows) {
        m_table.emptyTable();
        for (int i = 1; i <= rows; ++i) {
            m_table.append();
            m_table.setField(u("A"), u("行%1").arg(i));
            m_table.post();
        }
    }

    QString pdf(const print::ReportForm& form, int first = 1, int last = 0) {
        const QString path = m_dir.filePath(u("out.pdf"));
        QPdfWriter writer(path);
        m_notes = print::render(form, writer, first, last);
        return path;
    }

    QTemporaryDir m_dir;
    print::MemoryTable m_table{u("T"), {u("A")}};
    std::shared_ptr<ReportLayout> m_layout;
    std::unique_ptr<print::ReportForm> m_form;
    std::vector<print::RenderNote> m_notes;
};

struct PaginationCase {
    int rows;
    std::vector<int> rowsPerPage;
    int summaryPage;
};

void PrintTo(const PaginationCase& c, std::ostream* os) {
    *os << c.rows;
}

class Pagination : public RenderTest, public ::testing::WithParamInterface<PaginationCase> {};

TEST_P(Pagination, RowsFillPagesAndTheSummaryFollowsTheLastRow) {
    const PaginationCase& c = GetParam();
    const std::vector<print::PagePlan> pages = print::paginate(list(c.rows));
    ASSERT_EQ(pages.size(), c.rowsPerPage.size());
    for (size_t p = 0; p < pages.size(); ++p) {
        int rows = 0;
        bool summary = false;
        for (const print::PlacedBand& placed : pages[p]) {
            rows += placed.band->kind == print::BandKind::Detail ? 1 : 0;
            summary = summary || placed.band->kind == print::BandKind::Summary;
        }
        EXPECT_EQ(rows, c.rowsPerPage[p]) << "page " << p + 1;
        EXPECT_EQ(summary, static_cast<int>(p) + 1 == c.summaryPage) << "page " << p + 1;
        EXPECT_EQ(pages[p].front().band->kind, print::BandKind::Header);
        EXPECT_EQ(pages[p].back().band->kind, print::BandKind::Footer);
        EXPECT_DOUBLE_EQ(pages[p].back().top, 267);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, Pagination,
                         ::testing::Values(PaginationCase{0, {0}, 1}, PaginationCase{21, {21}, 1},
                                           PaginationCase{22, {22, 0}, 2},
                                           PaginationCase{24, {24, 0}, 2},
                                           PaginationCase{25, {24, 1}, 2},
                                           PaginationCase{48, {24, 24, 0}, 3}),
                         [](const auto& info) { return "rows" + std::to_string(info.param.rows); });

TEST_F(RenderTest, APageRangePrintsThoseAsOneJobWithTheirOwnPageNumbers) {
    print::ReportForm& page = list(30);
    page.setCaption(u("QRSysData1"), u("6--"));
    ASSERT_EQ(print::pageCount(page), 2);
    const QString text = testsupport::pdfText(pdf(page, 2, 2));
    EXPECT_EQ(text.count(u'\f'), 1);
    EXPECT_TRUE(text.contains(u("行30")));
    EXPECT_FALSE(text.contains(u("行24\n")));
    EXPECT_TRUE(text.contains(u("6--2")));
    EXPECT_TRUE(text.contains(u("说明")));
}

TEST_F(RenderTest, TheNoticeNamesEachCutValueOnceByPageRowAndCaptionAfterTheRowsLeftOut) {
    m_table.emptyTable();
    for (int i = 1; i <= 30; ++i) {
        m_table.append();
        // Row 26 (on page 2) is far too long for its cell, row 3 only a little.
        m_table.setField(u("A"), i == 26  ? QString(200, QChar(0x6210))
                                 : i == 3 ? QString(20, QChar(0x6210))
                                          : u("行%1").arg(i));
        m_table.post();
    }
    print::ReportForm& page = form(
        "<band kind=\"header\" height=\"20\"><text>表头</text></band>"
        "<band kind=\"detail\" height=\"10\"><rowfield name=\"A\" caption=\"甲\" w=\"30\"/>"
        "</band>"
        "<band kind=\"footer\" height=\"10\"><pagenumber name=\"QRSysData1\">10--</pagenumber>"
        "</band>");
    const std::vector<print::RenderNote> notes = print::fitNotes(page);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_FALSE(notes[0].clipped);
    EXPECT_TRUE(notes[1].clipped);
    EXPECT_EQ(std::make_pair(notes[1].page, notes[1].row), std::make_pair(2, 25));

    print::PrintNotice notice;
    EXPECT_TRUE(notice.empty());
    notice.addCuts(page, notes);
    notice.addOmitted({{u("专利"), 4, 5}});
    notice.addCuts(page, notes);
    EXPECT_EQ(notice.text(), u("专利共 5 项，表中只能印出前 4 项。\n"
                               "下列内容太长，在表中印不下，只印出了前一部分（以“…”结尾）：\n"
                               "第10--2页第26行“甲”"));
}

TEST_F(RenderTest, DisabledControlsDoNotPrint) {
    print::ReportForm& page = list(1);
    page.setEnabled(u("QRSysData1"), false);
    EXPECT_FALSE(testsupport::pdfText(pdf(page)).contains(u("10--")));
}

struct FitCase {
    const char* name;
    const char* text;
    bool noted;
    bool clipped;
};

void PrintTo(const FitCase& c, std::ostream* os) {
    *os << c.name;
}

class TextFit : public RenderTest, public ::testing::WithParamInterface<FitCase> {};

TEST_P(TextFit, TextShrinksThenIsCutVisiblyNeverDropped) {
    const FitCase& c = GetParam();
    print::ReportForm& page = form(
        "<band kind=\"body\" height=\"20\">"
        "<label name=\"v\" caption=\"成果名称\" w=\"40\" h=\"6\"/></band>");
    page.setCaption(u("v"), u(c.text));
    const QString text = testsupport::pdfText(pdf(page)).simplified().remove(u' ');
    ASSERT_EQ(m_notes.size(), c.noted ? 1u : 0u);
    if (c.noted) {
        EXPECT_EQ(m_notes[0].clipped, c.clipped);
        EXPECT_EQ(m_notes[0].text, u(c.text));
        EXPECT_EQ(m_notes[0].caption, u("成果名称"));
        EXPECT_EQ(m_notes[0].row, -1);
    }
    if (c.clipped) {
        EXPECT_TRUE(text.endsWith(u("…"))) << text.toStdString();
        EXPECT_LT(text.size(), u(c.text).size());
        EXPECT_TRUE(u(c.text).startsWith(text.chopped(1).left(6)));
    } else {
        EXPECT_EQ(text, u(c.text));
    }

    // Nothing is painted outside the label's place (x 10..50 mm, y 10..16 mm at 100 dpi).
    const QImage image = print::renderPageImage(page, 1, 100);
    const QRect place(qFloor(10 / 0.254) - 1, qFloor(10 / 0.254) - 1, qCeil(40 / 0.254) + 2,
                      qCeil(6 / 0.254) + 2);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (!place.contains(x, y)) {
                ASSERT_EQ(image.pixel(x, y), qRgb(255, 255, 255)) << "ink at " << x << "," << y;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TextFit,
    ::testing::Values(
        FitCase{"fits", "科技成果登记", false, false},
        FitCase{"shrinks", "高效节能型稀土永磁电机的研制", true, false},
        FitCase{"is_cut",
                "高效节能型稀土永磁电机的研制与产业化应用及其关键技术研究和推广示范工程的技术总结"
                "与应用报告",
                true, true},
        FitCase{"long_latin_word_is_cut",
                "ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZABCD"
                "EFGHIJKLMNOPQRSTUVWXYZ",
                true, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RenderTest, APrinterGetsA4PagesWithTheLayoutsOwnMargins) {
    print::ReportForm& page = list(30);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(m_dir.filePath(u("printer.pdf")));
    print::render(page, printer);
    const QString text = testsupport::pdfText(m_dir.filePath(u("printer.pdf")));
    EXPECT_EQ(text.count(u'\f'), 2);
    EXPECT_TRUE(printer.fullPage());
    EXPECT_EQ(printer.pageLayout().pageSize().id(), QPageSize::A4);

    printer.setFromTo(2, 2);  // as its print dialog sets it
    print::render(page, printer);
    EXPECT_EQ(testsupport::pdfText(m_dir.filePath(u("printer.pdf"))).count(u'\f'), 1);
}

TEST_F(RenderTest, EveryFontIsEmbedded) {
    print::ReportForm& page = form(
        "<band kind=\"body\" height=\"30\"><text h=\"8\">宋体文字</text>"
        "<text y=\"8\" h=\"8\" font=\"黑体\">黑体文字</text>"
        "<text y=\"16\" h=\"8\" font=\"楷体_GB2312\">楷体文字</text>"
        "<check name=\"QL_ITEM_2_1\" y=\"24\" w=\"6\" h=\"6\" box=\"1\"/></band>");
    page.setCaption(u("QL_ITEM_2_1"), u("√"));
    const QString file = pdf(page);
    EXPECT_EQ(testsupport::pdfText(file).simplified(), u("宋体文字 黑体文字 楷体文字 √"));
    QProcess fonts;
    fonts.start(QStringLiteral(PDFFONTS_PATH), {file});
    fonts.waitForFinished(60000);
    const QStringList lines =
        QString::fromUtf8(fonts.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 5);  // two heading lines, three faces
    for (const QString& line : lines.mid(2)) {
        EXPECT_EQ(line.split(u' ', Qt::SkipEmptyParts).value(4), u("yes")) << line.toStdString();
    }
}

TEST_F(RenderTest, APageBecomesAPicture) {
    print::ReportForm& page = list(3);
    const QImage image = print::renderPageImage(page, 1, 50);
    EXPECT_EQ(image.size(), QSize(413, 585));
    int inked = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            inked += image.pixel(x, y) != qRgb(255, 255, 255) ? 1 : 0;
        }
    }
    EXPECT_GT(inked, 0);
    EXPECT_THROW(print::renderPageImage(page, 2, 50), print::PrintError);
}

TEST_F(RenderTest, AnOutputThatCannotBeWrittenIsAnError) {
    QPdfWriter writer(m_dir.filePath(u("missing/folder/out.pdf")));
    EXPECT_THROW(print::PrintJob job(writer), print::PrintError);
}

}  // namespace

namespace {

TEST(MemoryTable, RowsAreAppendedPostedAndReadInOrderWithinTheFieldWidth) {
    print::MemoryTable table(u("T"), {u("ITEM_180"), u("ITEM_186")});
    table.append();
    table.setField(u("item_180"), u("张三"));
    table.setField(u("ITEM_186"), QString(print::MemoryTable::kFieldWidth, u'字'));
    table.post();
    table.append();
    table.post();
    table.first();
    EXPECT_EQ(table.field(u("ITEM_180")), u("张三"));
    table.next();
    EXPECT_EQ(table.field(u("ITEM_180")), QString());
    table.next();
    EXPECT_TRUE(table.eof());

    EXPECT_THROW(table.setField(u("ITEM_180"), u("x")), print::PrintError);  // not appending
    table.append();
    EXPECT_THROW(table.setField(u("ITEM_999"), u("x")), print::PrintError);
    EXPECT_THROW(table.setField(u("ITEM_186"), QString(print::MemoryTable::kFieldWidth + 1, u'字')),
                 print::PrintError);
    table.emptyTable();
    EXPECT_EQ(table.recordCount(), 0);
}

}  // namespace
