// Every document of the fixture records opens in LibreOffice (headless), and its text holds
// the record's values.
#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>
#include <filesystem>
#include <string>

#include "DocumentCatalog.h"
#include "DocumentFixture.h"
#include "ScratchFolder.h"
#include "WordExport.h"

using namespace documents;
namespace fs = std::filesystem;

namespace {

// The lines of a text as paragraphs show them, control characters other than TAB gone.
std::vector<std::string> shownLines(const std::string& text) {
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r' || c == '\n') {
            lines.emplace_back();
        } else if (c == '\t' || c >= 0x20) {
            lines.back() += text[i];
        }
    }
    return lines;
}

class LibreOfficeTest : public ::testing::TestWithParam<const char*> {};

TEST_P(LibreOfficeTest, OpensEachDocumentAndShowsTheValues) {
    const QString office = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    ASSERT_FALSE(office.isEmpty()) << "LibreOffice is missing: run scripts/setup";

    testsupport::RecordFixture data;
    data.loadRecord(fs::path(DOCUMENT_CASES_DIR) / GetParam() / "record.txt");
    testsupport::ScratchFolder scratch;
    const ExportContext context(data.dm());
    const Family family = familyOf(context.field("ITEM_CGLB"));

    QStringList arguments = {QStringLiteral("--headless"),
                             // A profile of its own, so that runs side by side do not share one.
                             QStringLiteral("-env:UserInstallation=file://") +
                                 QString::fromStdString((scratch.path() / "profile").string()),
                             QStringLiteral("--convert-to"),
                             QStringLiteral("txt:Text (encoded):UTF8"), QStringLiteral("--outdir"),
                             QString::fromStdString((scratch.path() / "text").string())};
    std::vector<std::pair<fs::path, std::vector<Fill>>> documents;
    for (const DocumentSet& set : documentSetsOf(family)) {
        FilledSet filled = fillDocuments(data.dm(), set);
        for (size_t i = 0; i < set.size(); ++i) {
            const std::string name = fs::path(set[i].templateName).stem().string();
            const fs::path docx = scratch.path() / (name + ".docx");
            filled.documents[i].document.save(docx);
            arguments << QString::fromStdString(docx.string());
            documents.emplace_back(scratch.path() / "text" / (name + ".txt"),
                                   fillsOf(set[i], context).fills);
        }
    }

    QProcess convert;
    convert.setProcessChannelMode(QProcess::MergedChannels);
    convert.start(office, arguments);
    ASSERT_TRUE(convert.waitForFinished(180'000)) << "LibreOffice did not finish";
    ASSERT_EQ(convert.exitCode(), 0) << convert.readAll().toStdString();

    for (const auto& [textPath, fills] : documents) {
        ASSERT_TRUE(fs::exists(textPath)) << textPath << " was not converted:\n"
                                          << convert.readAll().toStdString();
        const std::string text = testsupport::readFile(textPath);
        for (const Fill& fill : fills) {
            for (const std::string& line : shownLines(fill.text)) {
                EXPECT_NE(text.find(line), std::string::npos)
                    << textPath.filename() << ": " << fill.bookmark << " \"" << line
                    << "\" is not in the text:\n"
                    << text;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Records, LibreOfficeTest,
                         ::testing::Values("soft_science", "applied_technology",
                                           "basic_theory_empty", "applied_long_lists"));

}  // namespace
