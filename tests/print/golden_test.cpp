// Golden folders: tests/data/print/<case>/ holds a record (record.txt), its child rows
// (<table>.rows) and, per printed form, the text that pdftotext reads back from its pages
// (<Form>.txt in the form's own numbering, <Form>.direct.txt in the renumbered main text).
// The format is described in tests/data/print/README.md. VELMORA_UPDATE_GOLDENS=1 rewrites
// the expected texts from what is printed now.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <filesystem>

#include "PdfText.h"
#include "PrintFixture.h"
#include "ReportRenderer.h"

namespace {

using testsupport::PrintTest;
using testsupport::Row;

const QDir kGoldenRoot(QStringLiteral(PRINT_GOLDEN_DIR));

QString readText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

// Lines of a golden input file without comments and empty lines; "\n" and "\t" in a value
// stand for a line break and a TAB.
std::vector<QStringList> inputLines(const QString& path) {
    std::vector<QStringList> lines;
    for (const QString& line : readText(path).split(u'\n')) {
        if (line.trimmed().isEmpty() || line.startsWith(u'#')) {
            continue;
        }
        QStringList cells = line.split(u'\t');
        for (QString& cell : cells) {
            cell.replace(QStringLiteral("\\n"), QStringLiteral("\n"))
                .replace(QStringLiteral("\\t"), QStringLiteral("\t"));
        }
        lines.push_back(cells);
    }
    return lines;
}

class PrintGolden : public PrintTest, public ::testing::WithParamInterface<QString> {
protected:
    QDir folder() const { return QDir(kGoldenRoot.filePath(GetParam())); }

    void load() {
        Row record;
        for (const QStringList& cells :
             inputLines(folder().filePath(QStringLiteral("record.txt")))) {
            ASSERT_EQ(cells.size(), 2) << cells.join(u'|').toStdString();
            record[cells[0].toStdString()] = cells[1].toStdString();
        }
        record.emplace("ITEM_DQDM", ".");
        ASSERT_TRUE(record.count("ITEM_4")) << "record.txt names no ITEM_4";
        m_key = record["ITEM_4"];
        append("hvel.DBF", {record});
        for (const QString& file : folder().entryList({QStringLiteral("*.rows")})) {
            const std::vector<QStringList> lines = inputLines(folder().filePath(file));
            ASSERT_FALSE(lines.empty()) << file.toStdString();
            std::vector<Row> rows;
            for (size_t i = 1; i < lines.size(); ++i) {
                Row row{{"ITEM_4", m_key}, {"ITEM_DQDM", record["ITEM_DQDM"]}};
                for (qsizetype c = 0; c < lines[0].size() && c < lines[i].size(); ++c) {
                    row[lines[0][c].toStdString()] = lines[i][c].toStdString();
                }
                rows.push_back(std::move(row));
            }
            append(QFileInfo(file).completeBaseName().toStdString() + ".DBF", rows);
        }
        open(m_key.c_str());
    }

    QString printedText(const QString& formName, print::Numbering numbering) {
        print::ReportForm& form = m_state->prepare(formName, numbering);
        const QString pdf = m_dir.filePath(formName + QStringLiteral(".pdf"));
        {
            QPdfWriter writer(pdf);
            print::render(form, writer);
        }
        return testsupport::pdfText(pdf);
    }

    std::string m_key;
    QTemporaryDir m_dir;
};

TEST_P(PrintGolden, PagesReadBackAsExpected) {
    load();
    const QStringList expected =
        folder()
            .entryList({QStringLiteral("*.txt")})
            .filter(QRegularExpression(QStringLiteral("^T[a-zA-Z0-9]+(\\.direct)?\\.txt$")));
    ASSERT_FALSE(expected.isEmpty()) << "no expected pages in " << GetParam().toStdString();
    const bool update = qEnvironmentVariable("VELMORA_UPDATE_GOLDENS") == u"1";
    for (const QString& file : expected) {
        SCOPED_TRACE(file.toStdString());
        const QString formName = file.section(u'.', 0, 0);
        const print::Numbering numbering = file.endsWith(QStringLiteral(".direct.txt"))
                                               ? print::Numbering::MainText
                                               : print::Numbering::Form;
        const QString actual = printedText(formName, numbering);
        const QString path = folder().filePath(file);
        if (update) {
            QFile out(path);
            ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
            out.write(actual.toUtf8());
            continue;
        }
        const QStringList want = readText(path).split(u'\n');
        const QStringList got = actual.split(u'\n');
        for (qsizetype i = 0; i < std::max(want.size(), got.size()); ++i) {
            const QString w = i < want.size() ? want[i] : QStringLiteral("<end>");
            const QString g = i < got.size() ? got[i] : QStringLiteral("<end>");
            ASSERT_EQ(g, w) << "first difference at line " << i + 1;
        }
    }
}

std::vector<QString> goldenCases() {
    std::vector<QString> cases;
    for (const QString& name :
         kGoldenRoot.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        cases.push_back(name);
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Folders, PrintGolden, ::testing::ValuesIn(goldenCases()),
                         [](const auto& info) { return info.param.toStdString(); });

}  // namespace
