// The formpdf tool over a program folder: the pages of a record's family in order with the lists
// continued, the direct sequence with renumbered labels, and an unknown record refused.

#include <gtest/gtest.h>

#include <QProcess>

#include "PdfText.h"
#include "PrintFixture.h"

namespace {

using testsupport::pageFoots;
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
};

// A record of each family with 40 persons and 20 committee members: every data page in button
// order, the lists continued over several pages, each with its column header and running number.
struct FamilyPages {
    const char* name;
    const char* type;
    std::vector<const char*> dataPageFoots;  // labels of the data pages after the cover, in order
    const char* personsLabel;                // "10--"
    const char* committeeLabel;              // "11--"
};

class FormPdfFamilies : public FormPdf, public ::testing::WithParamInterface<FamilyPages> {};

TEST_P(FormPdfFamilies, WritesEveryDataPageWithTheListsContinued) {
    const FamilyPages& family = GetParam();
    QStringList expectedFoots;
    for (const char* foot : family.dataPageFoots) {
        expectedFoots << QString::fromLatin1(foot);
    }
    append("hvel.DBF", {record(family.type, {{"ITEM_3", "稀土永磁电机"}})});
    append("cgwcr.DBF", numbered(40, "ITEM_180", "ITEM_187"));
    append("jdwyhmd.DBF", numbered(20, "ITEM_192", "ITEM_190"));
    const Result result = run(kKey);
    ASSERT_EQ(result.exitCode, 0) << result.errors.toStdString();
    EXPECT_FALSE(result.errors.contains(QStringLiteral("太长"))) << result.errors.toStdString();

    const QStringList pages = result.text.split(u'\f', Qt::SkipEmptyParts);
    // Every form of the family once, the persons list on three pages and the committee on two.
    const print::Family printFamily = print::familyOf(QString::fromLatin1(family.type));
    ASSERT_EQ(pages.size(), static_cast<qsizetype>(print::familyForms(printFamily).size()) + 3);
    EXPECT_TRUE(pages.front().contains(QStringLiteral("稀土永磁电机")));
    // Pages of other kinds (instructions, annexes) may lie between; the data pages keep their
    // order and labels.
    QStringList dataFoots;
    for (const QString& foot : pageFoots(result.text)) {
        if (expectedFoots.contains(foot)) {
            dataFoots << foot;
        }
    }
    EXPECT_EQ(dataFoots, expectedFoots);

    // Each list: its pages, each with the title and column header; the last row on the given
    // page; the filling notes on the last page only.
    const QStringList foots = pageFoots(result.text);
    auto expectList = [&](const char* label, qsizetype pageCount, const char* title,
                          const char* column, const char* lastRow, qsizetype lastRowPage) {
        SCOPED_TRACE(label);
        QStringList list;
        for (qsizetype i = 0; i < foots.size(); ++i) {
            if (foots[i].startsWith(QLatin1String(label))) {
                list << pages[i];
            }
        }
        ASSERT_EQ(list.size(), pageCount);
        for (qsizetype i = 0; i < list.size(); ++i) {
            EXPECT_TRUE(list[i].contains(QString::fromUtf8(title)));
            EXPECT_TRUE(list[i].contains(QString::fromUtf8(column)));
            EXPECT_EQ(list[i].contains(QStringLiteral("填写说明")), i == pageCount - 1);
        }
        EXPECT_TRUE(list[lastRowPage].contains(QString::fromUtf8(lastRow)));
    };
    expectList(family.personsLabel, 3, "成果完成人员名单", "对成果创造性贡献", "第40行", 1);
    expectList(family.committeeLabel, 2, "评价委员会名单", "评价委员会职务", "第20行", 0);
}

INSTANTIATE_TEST_SUITE_P(
    Families, FormPdfFamilies,
    ::testing::Values(
        FamilyPages{"yy",
                    "1",
                    {"3", "5", "7", "8", "9", "10--1", "10--2", "10--3", "11--1", "11--2"},
                    "10--",
                    "11--"},
        FamilyPages{
            "rj", "3", {"3", "5", "6", "7", "8--1", "8--2", "8--3", "9--1", "9--2"}, "8--", "9--"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FormPdf, DirectPrintsTheWholeFormRenumbered) {
    append("hvel.DBF", {record("1")});
    append("cgwcr.DBF", numbered(20, "ITEM_180", "ITEM_187"));
    const Result result = run(kKey, true);
    ASSERT_EQ(result.exitCode, 0) << result.errors.toStdString();
    EXPECT_EQ(pageFoots(result.text).mid(1),
              (QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                           QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("6--1"),
                           QStringLiteral("6--2"), QStringLiteral("7")}));
    EXPECT_FALSE(result.errors.contains(QStringLiteral("Tyyfm2")));  // not part of direct print
}

TEST_F(FormPdf, RefusesAnUnknownRecord) {
    append("hvel.DBF", {record("3", {}, "2004000002")});
    const Result unknown = run("2004999999");
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_TRUE(unknown.errors.contains(QStringLiteral("no record 2004999999")));
}

}  // namespace
