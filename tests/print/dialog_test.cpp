// The print dialog driven as a user drives it: its panels by the record's family, the custom
// print previews, direct print with the jobs the printer receives (recorded by a stand-in
// printer and read back from their PDF files), the printer's failures and the Word buttons.

#include <gtest/gtest.h>

#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinterInfo>
#include <QStyle>
#include <QStyleOptionButton>
#include <QToolButton>
#include <set>

#include "Dialogs.h"
#include "PdfText.h"
#include "PrintFixture.h"
#include "PrintUnit.h"
#include "Printers.h"
#include "RecordingPrinters.h"
#include "ScratchFolder.h"
#include "ui_PrintUnit.h"

namespace {

using print::Family;
using testsupport::PrintedJob;
using testsupport::PrintTest;
using testsupport::Row;

QString u(const char* utf8) {
    return QString::fromUtf8(utf8);
}

const char* typeOf(Family family) {
    return family == Family::Yy ? "1" : "3";
}

// A job as a test expects it: the form and the label of each page.
struct Job {
    QString form;
    QStringList labels;
};

void PrintTo(const Job& job, std::ostream* os) {
    *os << job.form.toStdString() << '[' << job.labels.join(u',').toStdString() << ']';
}

bool operator==(const Job& a, const Job& b) {
    return a.form == b.form && a.labels == b.labels;
}

std::vector<Job> recorded(const std::vector<PrintedJob>& jobs) {
    std::vector<Job> list;
    for (const PrintedJob& job : jobs) {
        list.push_back({job.form, job.labels});
    }
    return list;
}

class PrintDialogTest : public PrintTest {
protected:
    // A record of the family with persons and committee members, and the dialog shown on it.
    void show(Family family, int persons = 3, int members = 3, Row fields = {}) {
        fields.emplace("ITEM_3", "稀土永磁电机");
        fields.emplace("ITEM_9", "华东电机研究所");
        fields.emplace("ITEM_8", "2001.03   至2004.12");
        fields.emplace("ITEM_121", "2005-06-08");
        append("hvel.DBF", {record(typeOf(family), fields)});
        append("cgwcr.DBF", numbered(persons, "ITEM_180", "ITEM_187"));
        append("jdwyhmd.DBF", numbered(members, "ITEM_192", "ITEM_190"));
        showDialog();
    }

    void showDialog() {
        open();
        DM = m_dm.get();
        m_dialog = std::make_unique<TPrintForm>();
        ui = m_dialog->form();
        m_dialog->showDialog();
    }

    void TearDown() override {
        m_dialog.reset();
        DM = nullptr;
    }

    bool visible(QWidget* widget) const { return widget->isVisibleTo(m_dialog.get()); }

    // The one visible panel (1 to 5), or 0.
    int visiblePanel() const {
        int shown = 0;
        int count = 0;
        const QWidget* panels[] = {ui->Panel1, ui->Panel2, ui->Panel3, ui->Panel4, ui->Panel5};
        for (int k = 1; k <= 5; ++k) {
            if (visible(const_cast<QWidget*>(panels[k - 1]))) {
                shown = k;
                ++count;
            }
        }
        return count == 1 ? shown : 0;
    }

    // The visible Word buttons, by name.
    QStringList wordButtons() const {
        QStringList shown;
        for (QWidget* button :
             {static_cast<QWidget*>(ui->YY_Button), static_cast<QWidget*>(ui->RJ_Button),
              static_cast<QWidget*>(ui->YY_SButton), static_cast<QWidget*>(ui->RJ_SButton)}) {
            if (visible(button)) {
                shown << button->objectName();
            }
        }
        return shown;
    }

    QAbstractButton* button(const char* name) const {
        auto* found = m_dialog->findChild<QAbstractButton*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    // Clicks a print button; the error of a print that stops is returned, "" when none.
    QString clickPrint(const char* name) {
        try {
            button(name)->click();
        } catch (const print::PrintError& e) {
            return QString::fromUtf8(e.what());
        }
        return {};
    }

    std::vector<widgets::ScriptedDialogs::Box> informationBoxes() const {
        std::vector<widgets::ScriptedDialogs::Box> boxes;
        for (const auto& box : m_dialogs.boxes) {
            if (box.icon == widgets::Icon::Information) {
                boxes.push_back(box);
            }
        }
        return boxes;
    }

    // What the previews opened by the clicks showed: the number of pages and the label of
    // each page, read when the preview painted.
    struct Preview {
        int pages = 0;
        QStringList labels;
        size_t boxesBefore = 0;  // message boxes shown before the preview opened
    };
    // Lets every preview paint, records it and, when print is set, prints it on the preview
    // printer (a PDF file) as its print button does once the user has chosen.
    void watchPreviews(const QString& formName, bool print = false) {
        m_dialogs.onExec = [this, formName, print](QDialog& dialog) {
            auto* preview = dynamic_cast<QPrintPreviewDialog*>(&dialog);
            ASSERT_NE(preview, nullptr);
            auto* widget = preview->findChild<QPrintPreviewWidget*>();
            ASSERT_NE(widget, nullptr);
            widget->updatePreview();
            Preview seen;
            seen.pages = widget->pageCount();
            seen.boxesBefore = m_dialogs.boxes.size();
            print::ReportForm& form = m_dialog->state().form(formName);
            for (int page = 1; page <= seen.pages; ++page) {
                seen.labels << form.pageLabel(page);
            }
            m_previews.push_back(seen);
            if (print) {
                widget->print();
            }
        };
    }

    QString previewPdf() const {
        return QString::fromStdString((m_printers.folder() / "preview.pdf").string());
    }

    widgets::ScriptedDialogs m_dialogs;
    testsupport::ScratchFolder m_scratch;
    testsupport::RecordingPrinters m_printers{m_scratch.path() / "printed"};
    std::unique_ptr<TPrintForm> m_dialog;
    Ui::TPrintForm* ui = nullptr;
    std::vector<Preview> m_previews;
};

// ---- the window and its panels -----------------------------------------------------------

TEST_F(PrintDialogTest, OpensOnTheStartPanelAtItsDesignSize) {
    show(Family::Yy);
    EXPECT_EQ(m_dialog->windowTitle(), u("数据打印"));
    EXPECT_EQ(m_dialog->size(), QSize(353, 251));
    EXPECT_EQ(visiblePanel(), 5);
    EXPECT_EQ(m_dialogs.shown, std::vector<QDialog*>{m_dialog.get()});
    EXPECT_EQ(ui->Label6->text(), u("打印科技成果登记表请使用“直接打印”或“自定义打印”  "));
    EXPECT_EQ(ui->Label5->text(), u("输出文档(Word文档不是正式上报文档)"));
    EXPECT_EQ(ui->Label3->text(), u("注意：此页用于打印登记表或生成Word文档，"));
    EXPECT_EQ(ui->Label4->text(), u("生成管理机构认可的上报文件需使用“导出”功能"));
    for (QAbstractButton* word : {static_cast<QAbstractButton*>(ui->YY_Button),
                                  static_cast<QAbstractButton*>(ui->RJ_Button)}) {
        EXPECT_EQ(word->text(), u("科技成果登记表(Word)"));
        EXPECT_EQ(word->geometry(), ui->YY_Button->geometry());
    }
    for (QAbstractButton* word : {static_cast<QAbstractButton*>(ui->YY_SButton),
                                  static_cast<QAbstractButton*>(ui->RJ_SButton)}) {
        EXPECT_EQ(word->text(), u("打印科技成果登记表(Word)正文"));
        EXPECT_EQ(word->geometry(), ui->YY_SButton->geometry());
    }
    EXPECT_EQ(ui->Button5->text(), u("科学技术成果鉴定申请表(Word)"));
    EXPECT_EQ(ui->Button6->text(), u("科学技术成果鉴定证书(Word)"));
    // Any other panel number changes nothing.
    m_dialog->ShowPrintPanel(0);
    m_dialog->ShowPrintPanel(6);
    EXPECT_EQ(visiblePanel(), 5);
}

// Every button of every panel lies inside the panel's rounded shape, clear of the others, with
// its whole caption (and glyph) inside the button's contents; the direct panels keep their
// order and full width, and the largest height that fits.
struct PanelCase {
    const char* name;
    int panel;
    const char* shape;
    std::vector<const char*> column;  // the direct panels' full-width buttons, top to bottom
    int columnHeight;
};

void PrintTo(const PanelCase& c, std::ostream* os) {
    *os << c.name;
}

class PanelGeometry : public PrintDialogTest, public ::testing::WithParamInterface<PanelCase> {
protected:
    // The place a button's style leaves for its caption and glyph.
    static QRect contents(QAbstractButton* button) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        option.icon = button->icon();
        option.iconSize = button->iconSize();
        return button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    }

    // What the caption and glyph take, side by side.
    static QSize needed(QAbstractButton* button) {
        const QFontMetrics metrics(button->font());
        QSize size = metrics.size(Qt::TextShowMnemonic, button->text());
        if (!button->icon().isNull()) {
            size.rwidth() += button->iconSize().width() + 4;
            size.setHeight(std::max(size.height(), button->iconSize().height()));
        }
        return size;
    }
};

TEST_P(PanelGeometry, EveryButtonFitsTheShapeWithItsWholeCaption) {
    const PanelCase& c = GetParam();
    show(Family::Yy);
    m_dialog->show();
    m_dialog->ShowPrintPanel(c.panel);
    auto* shape = m_dialog->findChild<QWidget*>(QString::fromLatin1(c.shape));
    ASSERT_NE(shape, nullptr);
    // Inside the shape's border of one pixel.
    const QRect inside = shape->geometry().adjusted(1, 1, -1, -1);
    const QList<QAbstractButton*> buttons = shape->parentWidget()->findChildren<QAbstractButton*>();
    ASSERT_FALSE(buttons.isEmpty());
    for (QAbstractButton* b : buttons) {
        SCOPED_TRACE(b->objectName().toStdString());
        EXPECT_TRUE(inside.contains(b->geometry()))
            << b->x() << "," << b->y() << " " << b->width() << "x" << b->height();
        const QRect room = contents(b);
        const QSize caption = needed(b);
        EXPECT_LE(caption.width(), room.width()) << b->text().toStdString();
        EXPECT_LE(caption.height(), room.height()) << b->text().toStdString();
        for (QAbstractButton* other : buttons) {
            // The Word buttons of the two families share their place; only one of them shows.
            const bool samePlace = other->geometry() == b->geometry() && other->text() == b->text();
            if (other != b && !samePlace) {
                EXPECT_FALSE(b->geometry().intersects(other->geometry()))
                    << "overlaps " << other->objectName().toStdString();
            }
        }
    }
    int top = -1;
    for (const char* name : c.column) {
        QAbstractButton* b = button(name);
        EXPECT_EQ(b->size(), QSize(250, c.columnHeight)) << name;
        EXPECT_GT(b->y(), top) << name << " keeps its place in the order";
        top = b->y();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Panels, PanelGeometry,
    ::testing::Values(PanelCase{"CustomRj", 1, "Shape1", {}, 0},
                      PanelCase{"CustomYy", 2, "Shape2", {}, 0},
                      PanelCase{"DirectYy",
                                3,
                                "Shape3",
                                {"zBitBtn4", "zBitBtn5", "zBitBtn6", "zBitBtn7", "zBitBtn8",
                                 "zBitBtn9", "zBitBtn10", "zBitBtn2", "zBitBtn11"},
                                24},
                      PanelCase{"DirectRj",
                                4,
                                "Shape4",
                                {"zBitBtn12", "zBitBtn13", "zBitBtn14", "zBitBtn42", "zBitBtn43",
                                 "zBitBtn44", "zBitBtn45", "zBitBtn46"},
                                25},
                      PanelCase{"Start", 5, "Shape5", {}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct FamilyCase {
    const char* name;
    const char* type;
    int direct;  // the panel "直接打印" opens
    int custom;  // the panel "自定义打印" opens
    QStringList words;
};

void PrintTo(const FamilyCase& c, std::ostream* os) {
    *os << c.name;
}

class PanelsByFamily : public PrintDialogTest, public ::testing::WithParamInterface<FamilyCase> {};

TEST_P(PanelsByFamily, StartDirectCustomAndBack) {
    const FamilyCase& c = GetParam();
    append("hvel.DBF", {record(c.type)});
    showDialog();
    EXPECT_EQ(visiblePanel(), 5);
    EXPECT_EQ(wordButtons(), c.words);

    // "返回" of a direct panel changes no Word button.
    ui->Button4->click();
    EXPECT_EQ(visiblePanel(), c.direct);
    button(c.direct == 3 ? "zBitBtn3" : "zBitBtn1")->click();
    EXPECT_EQ(visiblePanel(), 5);
    EXPECT_EQ(wordButtons(), c.words);

    // "返回" of a custom panel shows the Word button of that panel's family and hides the
    // other; the speed buttons stay as they were.
    ui->YY_Button->setVisible(true);
    ui->RJ_Button->setVisible(true);
    ui->Button7->click();
    EXPECT_EQ(visiblePanel(), c.custom);
    button(c.custom == 2 ? "Button1" : "Button2")->click();
    EXPECT_EQ(visiblePanel(), 5);
    EXPECT_EQ(wordButtons(), c.words);
}

INSTANTIATE_TEST_SUITE_P(
    Types, PanelsByFamily,
    ::testing::Values(FamilyCase{"AppliedTechnology", "1", 3, 2, {u("YY_Button"), u("YY_SButton")}},
                      FamilyCase{"SoftScience", "2", 4, 1, {u("RJ_Button"), u("RJ_SButton")}},
                      FamilyCase{"BasicTheory", "3", 4, 1, {u("RJ_Button"), u("RJ_SButton")}},
                      FamilyCase{"NoType", "", 4, 1, {u("RJ_Button"), u("RJ_SButton")}}),
    [](const auto& info) { return std::string(info.param.name); });

struct ExitCase {
    const char* name;
    const char* type;
    const char* open;  // the start panel's button to the panel, or ""
    const char* exit;
};

void PrintTo(const ExitCase& c, std::ostream* os) {
    *os << c.name;
}

class Exits : public PrintDialogTest, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(Exits, CloseTheDialogFromEveryPanel) {
    const ExitCase& c = GetParam();
    append("hvel.DBF", {record(c.type)});
    showDialog();
    m_dialog->show();
    if (*c.open != '\0') {
        button(c.open)->click();
    }
    ASSERT_TRUE(button(c.exit)->isVisible());
    EXPECT_EQ(button(c.exit)->text(), u("退出"));
    button(c.exit)->click();
    EXPECT_FALSE(m_dialog->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Panels, Exits,
                         ::testing::Values(ExitCase{"Start", "1", "", "Button3"},
                                           ExitCase{"CustomRj", "2", "Button7", "BitBtn3"},
                                           ExitCase{"CustomYy", "1", "Button7", "BitBtn2"},
                                           ExitCase{"DirectYy", "1", "Button4", "BitBtn4a"},
                                           ExitCase{"DirectRj", "3", "Button4", "zBitBtn4z"}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- custom print ------------------------------------------------------------------------

struct CustomCase {
    const char* button;
    Family family;
    const char* caption;
    int column;  // 0 left, 1 middle, 2 right
    int row;     // from 0
    bool glyph;  // the page shows data of the record
    const char* form;
    const char* label;  // the page label of its first page
};

void PrintTo(const CustomCase& c, std::ostream* os) {
    *os << c.button;
}

class CustomButtons : public PrintDialogTest, public ::testing::WithParamInterface<CustomCase> {
protected:
    // The column and row of a page button among the page buttons of its panel.
    static std::pair<int, int> place(QAbstractButton* pageButton) {
        std::set<int> xs;
        std::set<int> ys;
        for (auto* other : pageButton->parentWidget()->findChildren<QAbstractButton*>()) {
            if (other->text() != u("返回") && other->text() != u("退出")) {
                xs.insert(other->x());
                ys.insert(other->y());
            }
        }
        return {static_cast<int>(std::distance(xs.begin(), xs.find(pageButton->x()))),
                static_cast<int>(std::distance(ys.begin(), ys.find(pageButton->y())))};
    }
};

TEST_P(CustomButtons, PrepareTheirPageWithItsOwnLabelAndPreviewIt) {
    const CustomCase& c = GetParam();
    show(c.family);
    ui->Button7->click();
    QAbstractButton* pageButton = button(c.button);
    ASSERT_TRUE(visible(pageButton));
    EXPECT_EQ(pageButton->text(), u(c.caption));
    EXPECT_EQ(place(pageButton), std::make_pair(c.column, c.row));
    EXPECT_EQ(!pageButton->icon().isNull(), c.glyph);

    const QString formName = QString::fromLatin1(c.form);
    watchPreviews(formName);
    pageButton->click();
    EXPECT_TRUE(m_dialog->state().isCreated(formName));
    ASSERT_EQ(m_previews.size(), 1u);
    EXPECT_GE(m_previews[0].pages, 1);
    EXPECT_EQ(m_previews[0].labels.value(0), u(c.label));
    EXPECT_EQ(visiblePanel(), c.family == Family::Yy ? 2 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, CustomButtons,
    ::testing::Values(CustomCase{"BitBtn15", Family::Rj, "封面1", 0, 0, true, "Trjfm1", ""},
                      CustomCase{"BitBtn18", Family::Rj, "封面2", 1, 0, false, "Trjfm2", ""},
                      CustomCase{"BitBtn19", Family::Rj, "1", 2, 0, false, "TrjPrint01", ""},
                      CustomCase{"BitBtn16", Family::Rj, "2", 0, 1, false, "TrjPrint02", ""},
                      CustomCase{"BitBtn17", Family::Rj, "3", 1, 1, true, "TrjPrint03", "3"},
                      CustomCase{"BitBtn20", Family::Rj, "4", 2, 1, false, "TrjPrint04", ""},
                      CustomCase{"BitBtn21", Family::Rj, "5", 0, 2, true, "TrjPrint05", "5"},
                      CustomCase{"BitBtn22", Family::Rj, "6", 1, 2, true, "TrjPrint06", "6"},
                      CustomCase{"BitBtn23", Family::Rj, "7", 2, 2, true, "TrjPrint07", "7"},
                      CustomCase{"BitBtn24", Family::Rj, "8", 0, 3, true, "TrjPrint08", "8"},
                      CustomCase{"BitBtn25", Family::Rj, "9", 1, 3, true, "TrjPrint09", "9"},
                      CustomCase{"BitBtn27", Family::Rj, "10", 2, 3, false, "TrjPrint10", ""},
                      CustomCase{"BitBtn26", Family::Rj, "11", 0, 4, false, "TrjPrint11", ""},
                      CustomCase{"BitBtn28", Family::Yy, "封面1", 0, 0, true, "Tyyfm1", ""},
                      CustomCase{"BitBtn31", Family::Yy, "封面2", 1, 0, false, "Tyyfm2", ""},
                      CustomCase{"BitBtn32", Family::Yy, "1", 2, 0, false, "TyyPrint01", ""},
                      CustomCase{"BitBtn29", Family::Yy, "2", 0, 1, false, "TyyPrint02", ""},
                      CustomCase{"BitBtn30", Family::Yy, "3", 1, 1, true, "TyyPrint03", "3"},
                      CustomCase{"BitBtn33", Family::Yy, "4", 2, 1, false, "TyyPrint04", ""},
                      CustomCase{"BitBtn34", Family::Yy, "5", 0, 2, true, "TyyPrint05", "5"},
                      CustomCase{"BitBtn35", Family::Yy, "6", 1, 2, false, "TyyPrint06", ""},
                      CustomCase{"BitBtn36", Family::Yy, "7", 2, 2, true, "TyyPrint07", "7"},
                      CustomCase{"BitBtn37", Family::Yy, "8", 0, 3, true, "TyyPrint08", "8"},
                      CustomCase{"BitBtn38", Family::Yy, "9", 1, 3, true, "TyyPrint09", "9"},
                      CustomCase{"BitBtn40", Family::Yy, "10", 2, 3, true, "TyyPrint10", "10"},
                      CustomCase{"BitBtn39", Family::Yy, "11", 0, 4, true, "TyyPrint11", "11"},
                      CustomCase{"BitBtn41", Family::Yy, "12", 1, 4, false, "TyyPrint12", ""},
                      CustomCase{"BitBtn1", Family::Yy, "13", 2, 4, false, "TyyPrint14", ""}),
    [](const auto& info) { return std::string(info.param.button); });

TEST_F(PrintDialogTest, CustomPrintAfterDirectPrintShowsTheFormsOwnLabels) {
    show(Family::Yy, 18);
    ui->Button4->click();
    ui->zBitBtn2->click();
    ui->zBitBtn6->click();
    ASSERT_EQ(recorded(m_printers.jobs), (std::vector<Job>{{u("TyyPrint10"), {u("6--1")}},
                                                           {u("TyyPrint10"), {u("6--2")}},
                                                           {u("TyyPrint03"), {u("1")}}}));
    ui->zBitBtn3->click();
    ui->Button7->click();

    // Printed from the preview: the whole list, with the running numbers of page 10.
    watchPreviews(u("TyyPrint10"), true);
    ui->BitBtn40->click();
    ASSERT_EQ(m_previews.size(), 1u);
    EXPECT_EQ(m_previews[0].labels, (QStringList{u("10--1"), u("10--2")}));
    EXPECT_EQ(testsupport::pageFoots(testsupport::pdfText(previewPdf())),
              (QStringList{u("10--1"), u("10--2")}));

    watchPreviews(u("TyyPrint03"), true);
    ui->BitBtn30->click();
    EXPECT_EQ(testsupport::pageFoots(testsupport::pdfText(previewPdf())), QStringList{u("3")});
    // Direct print afterwards renumbers again.
    ui->Button1->click();
    ui->Button4->click();
    ui->zBitBtn6->click();
    EXPECT_EQ(m_printers.jobs.back().labels, QStringList{u("1")});
}

TEST_F(PrintDialogTest, CustomPrintAfterTheWholeFormShowsPage5AndThePersonsOfPage8) {
    show(Family::Rj, 23);
    ui->Button4->click();
    ui->zBitBtn12->click();
    ASSERT_EQ(m_printers.jobs.at(2).labels, QStringList{u("2")});
    ui->zBitBtn1->click();
    ui->Button7->click();
    watchPreviews(u("TrjPrint05"), true);
    ui->BitBtn21->click();
    EXPECT_EQ(testsupport::pageFoots(testsupport::pdfText(previewPdf())), QStringList{u("5")});
    watchPreviews(u("TrjPrint08"), true);
    ui->BitBtn24->click();
    EXPECT_EQ(testsupport::pageFoots(testsupport::pdfText(previewPdf())),
              (QStringList{u("8--1"), u("8--2")}));
}

TEST_F(PrintDialogTest, APageRangeChosenInOnePreviewDoesNotLimitTheNext) {
    show(Family::Yy, 18);
    ui->Button7->click();
    m_dialogs.onExec = [](QDialog& dialog) {
        auto& preview = dynamic_cast<QPrintPreviewDialog&>(dialog);
        // The user prints page 2 only from the preview's print dialog.
        preview.printer()->setPrintRange(QPrinter::PageRange);
        preview.printer()->setFromTo(2, 2);
        preview.findChild<QPrintPreviewWidget*>()->print();
    };
    ui->BitBtn40->click();
    EXPECT_EQ(testsupport::pageFoots(testsupport::pdfText(previewPdf())), QStringList{u("10--2")});

    watchPreviews(u("TyyPrint10"), true);
    ui->BitBtn40->click();
    ASSERT_EQ(m_previews.size(), 1u);
    EXPECT_EQ(m_previews[0].pages, 2);
    EXPECT_EQ(testsupport::pageFoots(testsupport::pdfText(previewPdf())),
              (QStringList{u("10--1"), u("10--2")}));
}

TEST_F(PrintDialogTest, PrintingFromThePreviewOnAPrinterThatDoesNotStartSaysSo) {
    show(Family::Yy, 18);
    ui->Button7->click();
    const QString unwritable =
        QString::fromStdString((m_scratch.path() / "missing" / "list.pdf").string());
    m_dialogs.onExec = [&](QDialog& dialog) {
        auto& preview = dynamic_cast<QPrintPreviewDialog&>(dialog);
        preview.printer()->setOutputFileName(unwritable);
        preview.findChild<QPrintPreviewWidget*>()->print();
    };
    ui->BitBtn40->click();
    ASSERT_EQ(m_dialogs.boxes.size(), 1u);
    EXPECT_EQ(m_dialogs.boxes[0].icon, widgets::Icon::Critical);
    EXPECT_EQ(m_dialogs.boxes[0].text, u("打印停止：第10--1页、第10--2页没有送到打印机。\n"
                                         "原因：无法开始打印：打印机不可用，或输出文件不能写入。\n"
                                         "打印机：PDF 文件 ") +
                                           unwritable + u("\n没有任何一页送到打印机。"));
}

// What the pages cannot show, told once in one message: the rows left out and the values cut
// short (imported values longer than the entry pages take, a summary longer than its page),
// before a preview opens (printing from it says nothing more) and after a direct print.
struct NoticeCase {
    const char* name;
    Family family;
    const char* panelButton;  // "Button7" custom print, "Button4" direct print
    const char* button;
    const char* previewed;  // the form a custom-print button previews
    Row fields;
    int patents;
    int units;
    const char* notice;  // "" for none
};

void PrintTo(const NoticeCase& c, std::ostream* os) {
    *os << c.name;
}

class Notice : public PrintDialogTest, public ::testing::WithParamInterface<NoticeCase> {};

TEST_P(Notice, TellsOnceWhatThePagesCannotShow) {
    const NoticeCase& c = GetParam();
    append("zlqk.DBF", numbered(c.patents, "PATENT_NAM", "ITEM_NO"));
    append("cgwcdw.DBF", numbered(c.units, "ITEM_170", "ITEM_176"));
    show(c.family, 3, 3, c.fields);
    button(c.panelButton)->click();
    const bool custom = *c.previewed != '\0';
    if (custom) {
        watchPreviews(u(c.previewed), true);
    }
    EXPECT_EQ(clickPrint(c.button), QString());
    const auto boxes = informationBoxes();
    if (*c.notice == '\0') {
        EXPECT_TRUE(boxes.empty());
    } else {
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].title, u("提示信息"));
        EXPECT_EQ(boxes[0].text, u(c.notice));
    }
    if (custom) {
        ASSERT_EQ(m_previews.size(), 1u);
        EXPECT_EQ(m_previews[0].boxesBefore, boxes.size());
    } else {
        EXPECT_FALSE(m_printers.jobs.empty());
    }
}

// A summary of about that many characters, in sentences of 13.
std::string summary(int characters) {
    std::string text;
    for (int i = 0; i < characters / 13; ++i) {
        text += "稀土永磁电机的研制与推广。";
    }
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    Prints, Notice,
    ::testing::Values(
        NoticeCase{"PreviewWithRowsLeftOut",
                   Family::Yy,
                   "Button7",
                   "BitBtn34",
                   "TyyPrint05",
                   {},
                   5,
                   0,
                   "专利共 5 项，表中只能印出前 4 项。"},
        NoticeCase{"PreviewWithAnAmountCut",
                   Family::Yy,
                   "Button7",
                   "BitBtn34",
                   "TyyPrint05",
                   {{"ITEM_154", "899999999999.99"}},
                   5,
                   0,
                   "专利共 5 项，表中只能印出前 4 项。\n"
                   "下列内容太长，在表中印不下，只印出了前一部分（以“…”结尾）：\n"
                   "第5页“节约资金”"},
        NoticeCase{"PreviewWithTheSummaryCut",
                   Family::Rj,
                   "Button7",
                   "BitBtn23",
                   "TrjPrint07",
                   {{"ITEM_13_1", summary(20000)}},
                   0,
                   0,
                   "下列内容太长，在表中印不下，只印出了前一部分（以“…”结尾）：\n第7页“成果简介”"},
        NoticeCase{"PreviewWithRoomForEverything",
                   Family::Yy,
                   "Button7",
                   "BitBtn38",
                   "TyyPrint09",
                   {{"ITEM_13_1", summary(3000)}},
                   5,
                   24,
                   ""},
        NoticeCase{"WholeForm",
                   Family::Yy,
                   "Button4",
                   "zBitBtn4",
                   "",
                   {{"ITEM_154", "899999999999.99"}, {"ITEM_13_1", summary(20000)}},
                   5,
                   24,
                   "专利共 5 项，表中只能印出前 4 项。\n"
                   "合作完成单位共 24 项，表中只能印出前 23 项。\n"
                   "下列内容太长，在表中印不下，只印出了前一部分（以“…”结尾）：\n"
                   "第2页“节约资金”\n第5页“成果简介”"},
        NoticeCase{"OneSection",
                   Family::Rj,
                   "Button4",
                   "zBitBtn44",
                   "",
                   {{"ITEM_13_1", summary(20000)}},
                   0,
                   0,
                   "下列内容太长，在表中印不下，只印出了前一部分（以“…”结尾）：\n第4页“成果简介”"},
        NoticeCase{"WholeFormWithRoomForEverything",
                   Family::Rj,
                   "Button4",
                   "zBitBtn12",
                   "",
                   {{"ITEM_13_1", summary(3000)}},
                   0,
                   13,
                   ""}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- direct print ------------------------------------------------------------------------

struct DirectCase {
    const char* button;
    Family family;
    const char* caption;
    std::vector<Job> jobs;
};

void PrintTo(const DirectCase& c, std::ostream* os) {
    *os << c.button;
}

class DirectButtons : public PrintDialogTest, public ::testing::WithParamInterface<DirectCase> {};

TEST_P(DirectButtons, PrintExactlyTheirStepRenumbered) {
    const DirectCase& c = GetParam();
    show(c.family);
    ui->Button4->click();
    ASSERT_TRUE(visible(button(c.button)));
    EXPECT_EQ(button(c.button)->text(), u(c.caption));
    EXPECT_EQ(button(c.button)->width(), 250);

    button(c.button)->click();
    EXPECT_EQ(m_printers.sessions, 1);
    EXPECT_EQ(recorded(m_printers.jobs), c.jobs);
    EXPECT_EQ(visiblePanel(), c.family == Family::Yy ? 3 : 4);
}

INSTANTIATE_TEST_SUITE_P(
    Sections, DirectButtons,
    ::testing::Values(
        DirectCase{"zBitBtn5", Family::Yy, "封面", {{u("Tyyfm1"), {u("")}}}},
        DirectCase{"zBitBtn6", Family::Yy, "成果概况，立项情况", {{u("TyyPrint03"), {u("1")}}}},
        DirectCase{"zBitBtn7",
                   Family::Yy,
                   "评价情况，知识产权状况，成果应用情况",
                   {{u("TyyPrint05"), {u("2")}}}},
        DirectCase{"zBitBtn8", Family::Yy, "成果完成单位情况", {{u("TyyPrint07"), {u("3")}}}},
        DirectCase{"zBitBtn9", Family::Yy, "批准登记单位意见", {{u("TyyPrint08"), {u("4")}}}},
        DirectCase{"zBitBtn10", Family::Yy, "成果简介", {{u("TyyPrint09"), {u("5")}}}},
        DirectCase{"zBitBtn2", Family::Yy, "成果完成人员名单", {{u("TyyPrint10"), {u("6")}}}},
        DirectCase{"zBitBtn11", Family::Yy, "评价委员会名单", {{u("TyyPrint11"), {u("7")}}}},
        DirectCase{"zBitBtn13", Family::Rj, "封面", {{u("Trjfm1"), {u("")}}}},
        DirectCase{"zBitBtn14", Family::Rj, "成果概况，立项情况", {{u("TrjPrint03"), {u("1")}}}},
        DirectCase{
            "zBitBtn42", Family::Rj, "评价情况，成果完成单位情况", {{u("TrjPrint05"), {u("2")}}}},
        DirectCase{"zBitBtn43", Family::Rj, "批准登记单位意见", {{u("TrjPrint06"), {u("3")}}}},
        DirectCase{"zBitBtn44", Family::Rj, "成果简介", {{u("TrjPrint07"), {u("4")}}}},
        DirectCase{"zBitBtn45", Family::Rj, "成果完成人员名单", {{u("TrjPrint08"), {u("5")}}}},
        DirectCase{"zBitBtn46", Family::Rj, "评价委员会名单", {{u("TrjPrint09"), {u("6")}}}}),
    [](const auto& info) { return std::string(info.param.button); });

struct ListCase {
    const char* name;
    int persons;
    std::vector<PrintedJob> jobs;  // form, labels, first and last page
};

void PrintTo(const ListCase& c, std::ostream* os) {
    *os << c.name;
}

class PersonsListJobs : public PrintDialogTest, public ::testing::WithParamInterface<ListCase> {};

TEST_P(PersonsListJobs, OneJobPerPageEachShowingItsLabel) {
    const ListCase& c = GetParam();
    show(Family::Yy, c.persons);
    ui->Button4->click();
    ui->zBitBtn2->click();
    ASSERT_EQ(m_printers.jobs.size(), c.jobs.size());
    for (size_t i = 0; i < c.jobs.size(); ++i) {
        const PrintedJob& job = m_printers.jobs[i];
        EXPECT_EQ(job.form, c.jobs[i].form);
        EXPECT_EQ(job.labels, c.jobs[i].labels);
        EXPECT_EQ(std::make_pair(job.first, job.last),
                  std::make_pair(c.jobs[i].first, c.jobs[i].last));
        EXPECT_EQ(testsupport::pageFoots(testsupport::pdfText(job.pdf)), c.jobs[i].labels);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, PersonsListJobs,
    ::testing::Values(ListCase{"OnePage", 17, {{u("TyyPrint10"), {u("6")}, 1, 1, {}}}},
                      ListCase{"TwoPages",
                               18,
                               {{u("TyyPrint10"), {u("6--1")}, 1, 1, {}},
                                {u("TyyPrint10"), {u("6--2")}, 2, 2, {}}}}),
    [](const auto& info) { return std::string(info.param.name); });

struct WholeFormCase {
    const char* name;
    Family family;
    const char* button;
    std::vector<Job> jobs;
};

void PrintTo(const WholeFormCase& c, std::ostream* os) {
    *os << c.name;
}

class WholeForm : public PrintDialogTest, public ::testing::WithParamInterface<WholeFormCase> {};

TEST_P(WholeForm, PrintsTheMainTextRenumberedInOrder) {
    const WholeFormCase& c = GetParam();
    show(c.family, 18);
    ui->Button4->click();
    button(c.button)->click();
    EXPECT_EQ(m_printers.sessions, 1);
    ASSERT_EQ(recorded(m_printers.jobs), c.jobs);
    // Cover 2, the filling instructions and the annexes are for custom print only.
    const std::set<QString> customOnly{
        u("Tyyfm2"),     u("TyyPrint01"), u("TyyPrint02"), u("TyyPrint04"), u("TyyPrint06"),
        u("TyyPrint12"), u("TyyPrint14"), u("Trjfm2"),     u("TrjPrint01"), u("TrjPrint02"),
        u("TrjPrint04"), u("TrjPrint10"), u("TrjPrint11")};
    for (const PrintedJob& job : m_printers.jobs) {
        EXPECT_EQ(customOnly.count(job.form), 0u) << job.form.toStdString();
    }

    // What the printer received, read back: the cover, then the pages with their labels.
    QString text;
    for (const PrintedJob& job : m_printers.jobs) {
        text += testsupport::pdfText(job.pdf);
    }
    QStringList labels;
    for (const Job& job : c.jobs) {
        labels << job.labels;
    }
    const QStringList foots = testsupport::pageFoots(text);
    ASSERT_EQ(foots.size(), labels.size());
    EXPECT_TRUE(text.section(u'\f', 0, 0).contains(u("稀土永磁电机")));
    EXPECT_EQ(foots.mid(1), labels.mid(1));
}

INSTANTIATE_TEST_SUITE_P(Families, WholeForm,
                         ::testing::Values(WholeFormCase{"AppliedTechnology",
                                                         Family::Yy,
                                                         "zBitBtn4",
                                                         {{u("Tyyfm1"), {u("")}},
                                                          {u("TyyPrint03"), {u("1")}},
                                                          {u("TyyPrint05"), {u("2")}},
                                                          {u("TyyPrint07"), {u("3")}},
                                                          {u("TyyPrint08"), {u("4")}},
                                                          {u("TyyPrint09"), {u("5")}},
                                                          {u("TyyPrint10"), {u("6--1")}},
                                                          {u("TyyPrint10"), {u("6--2")}},
                                                          {u("TyyPrint11"), {u("7")}}}},
                                           WholeFormCase{"BasicTheory",
                                                         Family::Rj,
                                                         "zBitBtn12",
                                                         {{u("Trjfm1"), {u("")}},
                                                          {u("TrjPrint03"), {u("1")}},
                                                          {u("TrjPrint05"), {u("2")}},
                                                          {u("TrjPrint06"), {u("3")}},
                                                          {u("TrjPrint07"), {u("4")}},
                                                          {u("TrjPrint08"), {u("5--1")}},
                                                          {u("TrjPrint08"), {u("5--2")}},
                                                          {u("TrjPrint09"), {u("6")}}}}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- the printer's failures --------------------------------------------------------------

struct RefusalCase {
    const char* name;
    int refuseFrom;
    const char* failed;  // the pages named as not printed
    const char* sent;    // the last line of the message
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.name;
}

class PrinterRefuses : public PrintDialogTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(PrinterRefuses, TheMessageNamesThePrinterThePagesAndWhatWasSent) {
    const RefusalCase& c = GetParam();
    m_printers.refuseFrom = c.refuseFrom;
    show(Family::Yy);
    ui->Button4->click();
    const QString error = clickPrint("zBitBtn4");
    EXPECT_EQ(m_printers.jobs.size(), static_cast<size_t>(c.refuseFrom));
    const QStringList lines = error.split(u'\n');
    ASSERT_EQ(lines.size(), 4) << error.toStdString();
    EXPECT_EQ(lines[0], u("打印停止：") + u(c.failed) + u("没有送到打印机。"));
    EXPECT_EQ(lines[1], u("原因：无法开始打印：打印机不可用，或输出文件不能写入。"));
    EXPECT_EQ(lines[2], u("打印机：") + testsupport::RecordingPrinters::name());
    EXPECT_EQ(lines[3], u(c.sent));
    EXPECT_EQ(visiblePanel(), 3);
}

INSTANTIATE_TEST_SUITE_P(
    Jobs, PrinterRefuses,
    ::testing::Values(RefusalCase{"NoPrinter", 0, "封面1", "没有任何一页送到打印机。"},
                      RefusalCase{"StopsPartWay", 1, "第1页", "已送到打印机的页：封面1。"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PrintDialogTest, CancellingTheChoiceOfPrinterPrintsNothingAndSaysNothing) {
    m_printers.cancel = true;
    show(Family::Yy);
    ui->Button4->click();
    EXPECT_EQ(clickPrint("zBitBtn4"), QString());
    EXPECT_TRUE(m_printers.jobs.empty());
    EXPECT_TRUE(m_dialogs.boxes.empty());
}

// The system's printers: without a default printer the print dialog asks for one.
class SystemPrinters : public PrintDialogTest {
protected:
    void SetUp() override {
        if (!QPrinterInfo::availablePrinterNames().isEmpty()) {
            GTEST_SKIP() << "this machine has printers; the test would print on them";
        }
        print::Printers::install(nullptr);
    }
    void TearDown() override {
        PrintDialogTest::TearDown();
        print::Printers::install(&m_printers);
    }
};

TEST_F(SystemPrinters, DirectPrintAsksForAPrinterAndWritesAChosenFileWhole) {
    show(Family::Yy, 18);
    ui->Button4->click();
    const QString pdf = QString::fromStdString((m_scratch.path() / "list.pdf").string());
    int asked = 0;
    m_dialogs.onExec = [&](QDialog& dialog) {
        auto& choice = dynamic_cast<QPrintDialog&>(dialog);
        ++asked;
        choice.printer()->setOutputFileName(pdf);
        choice.done(QDialog::Accepted);
    };
    ui->zBitBtn2->click();
    EXPECT_EQ(asked, 1);
    // Both jobs of the list in the one file.
    EXPECT_EQ(testsupport::pageFoots(testsupport::pdfText(pdf)),
              (QStringList{u("6--1"), u("6--2")}));
}

TEST_F(SystemPrinters, NoPrinterChosenSaysSoAndCancelSaysNothing) {
    show(Family::Yy);
    ui->Button4->click();
    m_dialogs.onExec = [](QDialog& dialog) { dialog.done(QDialog::Accepted); };
    const QString error = clickPrint("zBitBtn5");
    EXPECT_TRUE(error.startsWith(u("打印停止：封面1没有送到打印机。"))) << error.toStdString();
    EXPECT_TRUE(error.contains(u("打印机：（没有可用的打印机）"))) << error.toStdString();

    m_dialogs.onExec = [](QDialog& dialog) { dialog.done(QDialog::Rejected); };
    EXPECT_EQ(clickPrint("zBitBtn5"), QString());
    EXPECT_TRUE(m_dialogs.boxes.empty());
}

// ---- the Word buttons --------------------------------------------------------------------

struct WordCase {
    const char* name;
    Family family;
    const char* button;
    const char* firstTemplate;  // of the documents the button writes
};

void PrintTo(const WordCase& c, std::ostream* os) {
    *os << c.name;
}

class WordButtons : public PrintDialogTest, public ::testing::WithParamInterface<WordCase> {};

// Each button exports its own documents: with the templates gone, the export it starts names
// the first template of its set.
TEST_P(WordButtons, ExportTheirDocuments) {
    const WordCase& c = GetParam();
    for (const auto& entry : std::filesystem::directory_iterator(m_program.data())) {
        if (entry.path().extension() == ".dotx") {
            std::filesystem::remove(entry.path());
        }
    }
    show(c.family);
    ASSERT_TRUE(visible(button(c.button)));
    m_dialogs.answers = {widgets::Ok};
    button(c.button)->click();
    ASSERT_EQ(m_dialogs.boxes.size(), 2u);
    EXPECT_TRUE(m_dialogs.boxes[0].text.startsWith(u("您确定输出word文档吗？")));
    EXPECT_EQ(m_dialogs.boxes[1].text,
              u("您的电脑上没有相应的报表\n") +
                  QString::fromStdString((m_program.data() / c.firstTemplate).string()));
    EXPECT_EQ(visiblePanel(), 5);
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, WordButtons,
    ::testing::Values(WordCase{"YY_Button", Family::Yy, "YY_Button", "应用技术封面.dotx"},
                      WordCase{"RJ_Button", Family::Rj, "RJ_Button", "基础、软科学封面.dotx"},
                      WordCase{"YY_SButton", Family::Yy, "YY_SButton", "应用技术封面(正文).dotx"},
                      WordCase{"RJ_SButton", Family::Rj, "RJ_SButton",
                               "基础、软科学封面(正文).dotx"},
                      WordCase{"Button5", Family::Yy, "Button5", "科学技术成果鉴定申请表.dotx"},
                      WordCase{"Button6", Family::Rj, "Button6", "科学技术成果鉴定证书.dotx"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
