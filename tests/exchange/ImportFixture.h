#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Archiver.h"
#include "Database.h"
#include "Dialogs.h"
#include "ExchangeTextFile.h"
#include "MainWindowFixture.h"
#include "QtPrinters.h"
#include "TableRows.h"
#include "Text.h"
#include "UnitDM.h"
#include "Unitin.h"
#include "ui_Unitin.h"

namespace testsupport {

// Stands in for the archiver: "extracting" copies the files of a package folder written by
// the test into the folder it is given.
class FakeArchiver : public exchange::Archiver {
public:
    FakeArchiver() { install(this); }
    ~FakeArchiver() override { install(nullptr); }

    void pack(const std::filesystem::path& folder, const std::string& archiveName,
              const std::vector<std::string>& files) override {
        for (const std::string& file : files) {
            if (!std::filesystem::exists(folder / file)) {
                throw exchange::ArchiverError("missing " + file);
            }
        }
        packed = files;
        // Like arj, adds to an archive that exists.
        std::ofstream(folder / archiveName, std::ios::app) << "packed";
    }
    // Unpacks the members a package can hold (the real one refuses a package with others).
    void extract(const std::filesystem::path& archive, const std::filesystem::path& folder,
                 const std::vector<std::string>& members) override {
        extracted.push_back(archive.filename().string());
        unpackedInto = folder;
        if (!error.empty()) {
            throw exchange::ArchiverError(error);
        }
        for (const auto& entry : std::filesystem::directory_iterator(contents)) {
            const std::string name = entry.path().filename().string();
            for (const std::string& member : members) {
                if (store::text::equalsIgnoringCase(name, member)) {
                    std::filesystem::copy_file(entry.path(), folder / name,
                                               std::filesystem::copy_options::overwrite_existing);
                }
            }
        }
    }

    std::filesystem::path contents;
    std::string error;
    std::vector<std::string> extracted;
    std::filesystem::path unpackedInto;
    std::vector<std::string> packed;
};

// The main window over a program folder, the import dialog, scripted message boxes and a
// fake archiver whose package holds the text files that the test writes.
class ImportTest : public MainWindowTest {
protected:
    void open(const std::vector<Row>& records = {}, const std::vector<Row>& persons = {}) {
        start(records, persons);
        m_formin = std::make_unique<TFormin>(*m_form, m_form.get());
        Formin = m_formin.get();
        m_formin->FormShow();
        in = m_formin->form();
        std::filesystem::create_directories(m_packageDir);
        std::filesystem::create_directories(m_contents);
        m_archiver.contents = m_contents;
    }

    void TearDown() override {
        Formin = nullptr;
        m_formin.reset();
        MainWindowTest::TearDown();
        std::filesystem::remove_all(m_packageDir);
        std::filesystem::remove_all(m_contents);
    }

    // Writes file (in the package) with one record per row, the columns in the field order of
    // table; fields a row does not name are empty.
    void writePackageFile(const std::string& file, const std::string& table,
                          const std::vector<Row>& rows) {
        exchange::ExchangeTextWriter writer((m_contents / file).string());
        if (rows.empty()) {
            writer.close();
            return;
        }
        const auto fields = DM->database().file(table)->fields();
        const size_t count = fields.size();
        for (const Row& row : rows) {
            for (size_t i = 0; i < count; ++i) {
                auto it = row.find(fields[i].name);
                const std::string value = it == row.end() ? std::string() : it->second;
                if (i + 1 < count) {
                    writer.column(value);
                } else {
                    writer.lastColumn(value);
                }
            }
        }
        writer.close();
    }

    // A package with the given main records and child rows, all six files present.
    void writePackage(const std::vector<Row>& records, const std::vector<Row>& persons = {},
                      const std::vector<Row>& patents = {}) {
        writePackageFile("HVEL.TXT", "hveltemp", records);
        writePackageFile("CGWCDW.TXT", "cgwcdwtemp", {});
        writePackageFile("CGWCR.TXT", "cgwcrtemp", persons);
        writePackageFile("JDWYHMD.TXT", "jdwyhmdtemp", {});
        writePackageFile("ZLQK.TXT", "zlqktemp", patents);
        writePackageFile("UNIT.TXT", "UNITtemp", {});
    }

    QString packagePath(const char* name = "dovaqy.arj") const {
        return QString::fromStdString((m_packageDir / name).string());
    }

    // Chooses the package and reads it.
    void importPackage(const char* name = "dovaqy.arj") {
        QFile(packagePath(name)).open(QIODevice::WriteOnly);
        m_dialogs.fileNames.push_back(packagePath(name));
        m_formin->Button1Click();
        m_formin->Button3Click();
    }

    // Rows put straight into a staging table.
    void stage(const std::string& table, const std::vector<Row>& rows) {
        for (const Row& row : rows) {
            std::string columns;
            std::string values;
            store::Params params;
            for (const auto& [name, value] : row) {
                columns += (columns.empty() ? "" : ",") + name;
                values += (values.empty() ? ":" : ",:") + name;
                params.emplace_back(name, store::Value(value));
            }
            DM->database().run(
                "insert into " + table + " (" + columns + ") values (" + values + ")", params);
        }
        DM->T_temp_in.refresh();
    }

    std::vector<Row> rows(const std::string& table) const {
        return readRows(m_program.file(table));
    }

    std::vector<std::string> column(const std::string& table, const std::string& field) const {
        std::vector<std::string> values;
        for (auto& row : rows(table)) {
            values.push_back(row[field]);
        }
        return values;
    }

    // The package was refused: one message, "文件的格式不正确" over a line that begins with
    // detail; nothing staged, nothing to read, and only the package left in its folder.
    void expectRefused(const char* detail) {
        ASSERT_EQ(m_dialogs.boxes.size(), 1u);
        const QStringList lines = m_dialogs.boxes[0].text.split(QLatin1Char('\n'));
        ASSERT_EQ(lines.size(), 2);
        EXPECT_EQ(lines[0], QStringLiteral("文件的格式不正确"));
        EXPECT_TRUE(lines[1].startsWith(QString::fromUtf8(detail))) << lines[1].toStdString();
        EXPECT_TRUE(rows("hveltemp.DBF").empty());
        EXPECT_FALSE(in->Button3->isEnabled());
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_packageDir),
                                std::filesystem::directory_iterator()),
                  1);
    }

    QStringList boxTexts() const {
        QStringList texts;
        for (const auto& box : m_dialogs.boxes) {
            texts << box.text;
        }
        return texts;
    }

    widgets::ScriptedDialogs m_dialogs;
    FakeArchiver m_archiver;
    std::filesystem::path m_packageDir = m_program.path() / "package";
    std::filesystem::path m_contents = m_program.path() / "contents";
    std::unique_ptr<TFormin> m_formin;
    Ui::TFormin* in = nullptr;
};

}  // namespace testsupport
