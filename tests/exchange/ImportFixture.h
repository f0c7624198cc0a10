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
#include "FakeArchiver.h"
#include "MainWindowFixture.h"
#include "PackageFiles.h"
#include "QtPrinters.h"
#include "TableRows.h"
#include "UnitDM.h"
#include "Unitin.h"
#include "ui_Unitin.h"

namespace testsupport {

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

    // A package with the given main records and child rows, all six files present.
    void writePackage(const std::vector<Row>& records, const std::vector<Row>& persons = {},
                      const std::vector<Row>& patents = {}) {
        testsupport::writePackage(m_contents, DM->database(), records, persons, patents);
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
        insertRows(DM->database(), table, rows);
        DM->T_temp_in.refresh();
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
