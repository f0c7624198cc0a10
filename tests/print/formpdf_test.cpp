// The formpdf tool over a program folder: the pages of a record's family in order, the direct
// sequence with renumbered labels, and the notes on what it skips.

#include <gtest/gtest.h>

#include <QProcess>

#include "PdfText.h"
#include "PrintFixture.h"

namespace {

using testsupport::PrintTest;

class FormPdf : public PrintTest {
protected:
    struct Result {
        int exitCode = -1;
        QString errors;
        QString text;  // of the PDF written
    };

    Result run(const char* key, bool direct = false) {
        const QString pdf = QString::fromStdString((m_program.path() / "form.pdf").string());
        QStringList args{QString::fromStdString(m_program.data().string()),
                         QString::fromLatin1(key), pdf};
        if (direct) {
            args << QStringLiteral("--direct");
        }
        QProcess tool;
        tool.start(QStringLiteral(FORMPDF_PATH), args);
        EXPECT_TRUE(tool.waitForFinished(120000));
        Result result;
        result.exitCode = tool.exitCode();
        result.errors = QString::fromUtf8(tool.readAllStandardError());
        result.text = result.exitCode == 0 ? testsupport::pdfText(pdf) : QString();
        return result;
    }

    // The last non-empty line of every page: the page labels.
    static QStringList pageFoots(const QString& text) {
        QStringList foots;
        for (const QString& page : text.split(u'\f', Qt::SkipEmptyParts)) {
            const QStringList lines = page.split(u'\n', Qt::SkipEmptyParts);
            if (!lines.isEmpty()) {
                foots << lines.last().trimmed();
            }
        }
        return foots;
    }
};

TEST_F(FormPdf, WritesEveryPageOfTheFamilyThatHasALayoutInButtonOrder) {
    append("hvel.DBF", {record("1", {{"ITEM_3", "稀土永磁电机"}})});
    append("cgwcr.DBF", numbered(2, "ITEM_180", "ITEM_187"));
    const Result result = run(kKey);
    ASSERT_EQ(result.exitCode, 0) << result.errors.toStdString();
    const QStringList pages = result.text.split(u'\f', Qt::SkipEmptyParts);
    ASSERT_EQ(pages.size(), 3);
    EXPECT_TRUE(pages[0].contains(QStringLiteral("稀土永磁电机")));
    EXPECT_EQ(pageFoots(result.text).mid(1),
              (QStringList{QStringLiteral("3"), QStringLiteral("10")}));
    EXPECT_TRUE(result.errors.contains(
        QStringLiteral("TyyPrint05: no layout file yyPrintUnit05.xml yet, page skipped")));
}

TEST_F(FormPdf, DirectPrintsTheWholeFormRenumbered) {
    append("hvel.DBF", {record("1")});
    append("cgwcr.DBF", numbered(20, "ITEM_180", "ITEM_187"));
    const Result result = run(kKey, true);
    ASSERT_EQ(result.exitCode, 0) << result.errors.toStdString();
    EXPECT_EQ(pageFoots(result.text).mid(1),
              (QStringList{QStringLiteral("1"), QStringLiteral("6--1"), QStringLiteral("6--2")}));
    EXPECT_FALSE(result.errors.contains(QStringLiteral("Tyyfm2")));  // not part of direct print
}

TEST_F(FormPdf, RefusesAnUnknownRecordAndAFamilyWithoutLayouts) {
    append("hvel.DBF", {record("3", {}, "2004000002")});
    const Result unknown = run("2004999999");
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_TRUE(unknown.errors.contains(QStringLiteral("no record with ITEM_4 2004999999")));
    if (print::ReportLayout::load(QStringLiteral("rjfmUnit1")) == nullptr) {
        const Result none = run("2004000002");
        EXPECT_EQ(none.exitCode, 1);
        EXPECT_TRUE(none.errors.contains(QStringLiteral("no page of the family has a layout")));
    }
}

}  // namespace
