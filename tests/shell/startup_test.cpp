#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QEvent>
#include <QProcess>
#include <QThread>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "Application.h"
#include "DataDir.h"
#include "DbfFile.h"
#include "Dialogs.h"
#include "Errors.h"
#include "Product.h"
#include "QtPrinters.h"
#include "SingleInstance.h"
#include "Unit1.h"
#include "UnitDM.h"

namespace fs = std::filesystem;
using testsupport::ProgramDir;

namespace {

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Whether an error names text, without regard to case (file names are matched so).
bool mentions(const std::vector<std::string>& errors, const std::string& text) {
    for (const std::string& error : errors) {
        if (QString::fromStdString(error).contains(QString::fromStdString(text),
                                                   Qt::CaseInsensitive)) {
            return true;
        }
    }
    return false;
}

TEST(Startup, OpensEveryDatasetOfTheDeliveredTables) {
    ProgramDir program;
    TDM dm(program.path());
    EXPECT_EQ(dm.DataDir, program.path().string() + "/data");
    const auto errors = dm.DataModuleCreate();
    EXPECT_TRUE(errors.empty()) << errors.front();
    for (store::Dataset* open :
         {static_cast<store::Dataset*>(&dm.Qryhvel), static_cast<store::Dataset*>(&dm.QryCheckUp),
          static_cast<store::Dataset*>(&dm.Qrydwqk), static_cast<store::Dataset*>(&dm.T_temp_out),
          static_cast<store::Dataset*>(&dm.Tblzdxx), static_cast<store::Dataset*>(&dm.TblCgwcr),
          static_cast<store::Dataset*>(&dm.tblProvince),
          static_cast<store::Dataset*>(&dm.TblCgwcr_181)}) {
        EXPECT_TRUE(open->active());
    }
    for (store::Dataset* closed :
         {static_cast<store::Dataset*>(&dm.T_temp_in), static_cast<store::Dataset*>(&dm.Table1),
          static_cast<store::Dataset*>(&dm.Table2), static_cast<store::Dataset*>(&dm.TableWcrTemp),
          static_cast<store::Dataset*>(&dm.Table_pack)}) {
        EXPECT_FALSE(closed->active());
    }
    // The option lists behind the lookup fields are filtered to their own list.
    ASSERT_GT(dm.TblCgwcr_181.recordCount(), 0);
    for (dm.TblCgwcr_181.first(); !dm.TblCgwcr_181.eof(); dm.TblCgwcr_181.next()) {
        EXPECT_EQ(dm.TblCgwcr_181.field("zddm").asText(), "item_181");
    }
}

TEST(Startup, PurgesDeletedRowsFromThePackedTables) {
    ProgramDir program;
    {
        auto hvel = store::DbfFile::open(program.file("hvel.DBF").string());
        const int item4 = hvel->fieldIndex("ITEM_4");
        for (const char* key : {"2004000001", "2004000002", "2004000003"}) {
            hvel->append({{item4, store::Value(key)}});
        }
        hvel->setDeleted(2, true);
        hvel->flush();
    }
    TDM dm(program.path());
    EXPECT_TRUE(dm.DataModuleCreate().empty());
    auto hvel = store::DbfFile::open(program.file("hvel.DBF").string());
    ASSERT_EQ(hvel->recordCount(), 2u);
    EXPECT_FALSE(hvel->isDeleted(1));
    EXPECT_FALSE(hvel->isDeleted(2));
    EXPECT_EQ(hvel->value(2, "ITEM_4").asText(), "2004000003");
    EXPECT_EQ(dm.Qryhvel.recordCount(), 2);
}

struct FlagCase {
    const char* name;
    std::vector<std::string> removed;
    bool clc;
    bool discipline;
    const char* pickerTable;
};

void PrintTo(const FlagCase& c, std::ostream* os) {
    *os << c.name;
}

class StartupFlags : public ::testing::TestWithParam<FlagCase> {};

TEST_P(StartupFlags, FollowTheClassificationFiles) {
    const FlagCase& c = GetParam();
    ProgramDir program;
    for (const std::string& name : c.removed) {
        fs::remove(program.file(name));
    }
    TDM dm(program.path());
    const auto errors = dm.DataModuleCreate();
    EXPECT_EQ(dm.HasClcTable, c.clc);
    EXPECT_EQ(dm.HasDisciplineTable, c.discipline);
    EXPECT_EQ(dm.Tztflh2.active(), c.clc);
    EXPECT_EQ(dm.Txkfl2.active(), c.discipline);
    EXPECT_EQ(dm.Table1.tableName(), c.pickerTable);
    EXPECT_FALSE(dm.Table1.active());
    // A missing packed file is reported; everything else still opens.
    EXPECT_EQ(errors.size(), c.removed.size());
    for (const std::string& name : c.removed) {
        EXPECT_TRUE(mentions(errors, name.substr(0, name.find('.')))) << name;
    }
    EXPECT_TRUE(dm.Qryhvel.active());
    EXPECT_TRUE(dm.TblwcrNew.active());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StartupFlags,
    ::testing::Values(FlagCase{"both_present", {}, true, true, "xkfl"},
                      FlagCase{
                          "library_classification_missing", {"ZTFLH.dbf"}, false, true, "xkfl"},
                      FlagCase{"discipline_missing", {"XKFL.dbf"}, true, false, "ztflh"},
                      FlagCase{"both_missing", {"ZTFLH.dbf", "XKFL.dbf"}, false, false, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Startup, DamagedTableGivesItsMessageAndIsLeftAlone) {
    ProgramDir program;
    const fs::path cgwcr = program.file("cgwcr.DBF");
    std::string bytes = readBytes(cgwcr);
    bytes[10] = 1;  // record length 1: no room for the fields
    bytes[11] = 0;
    {
        std::ofstream out(cgwcr, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    TDM dm(program.path());
    const auto errors = dm.DataModuleCreate();
    EXPECT_TRUE(mentions(errors, "cgwcr")) << (errors.empty() ? "" : errors.front());
    EXPECT_EQ(readBytes(cgwcr), bytes);
    EXPECT_FALSE(dm.TblCgwcr.active());
    EXPECT_TRUE(dm.Qryhvel.active());
}

TEST(Startup, TableHeldByAnotherOpenIsReported) {
    ProgramDir program;
    auto holder =
        store::DbfFile::open(program.file("unit.dbf").string(), store::LockMode::Exclusive);
    TDM dm(program.path());
    const auto errors = dm.DataModuleCreate();
    EXPECT_TRUE(mentions(errors, "unit")) << (errors.empty() ? "" : errors.front());
    EXPECT_FALSE(dm.Tblunit.active());
    EXPECT_TRUE(dm.Qryhvel.active());
}

TEST(MainWindow, HasItsCaptionAndFixedSize) {
    ProgramDir program;
    TDM dm(program.path());
    DM = &dm;
    dm.DataModuleCreate();
    TMainForm form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Velmora【单机版V4.0】"));
    EXPECT_EQ(product::applicationTitle(), QStringLiteral("Velmora－【单机版V4.0】"));
    form.show();
    form.resize(900, 700);
    EXPECT_EQ(form.size(), QSize(800, 570));
    EXPECT_EQ(form.ExchangeTables.join(QLatin1Char(',')),
              QStringLiteral("HVEL,CGWCDW,CGWCR,JDWYHMD,ZLQK,unit,expert"));
    DM = nullptr;
}

class Thrower : public QObject {
public:
    bool event(QEvent*) override { throw store::EngineError("Table is busy"); }
};

TEST(DefaultErrorHandler, ShowsTheExceptionAndGoesOn) {
    widgets::ScriptedDialogs dialogs;
    Thrower thrower;
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&thrower, &event);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, QStringLiteral("Table is busy"));
    EXPECT_EQ(dialogs.boxes[0].title, product::applicationTitle());
    EXPECT_EQ(dialogs.boxes[0].icon, widgets::Icon::Critical);
}

TEST(SingleInstanceLock, IsHeldUntilTheHolderGoes) {
    const QString name = QStringLiteral("velmora test lock");
    {
        SingleInstance first(name);
        EXPECT_TRUE(first.isFirst());
        SingleInstance second(name);
        EXPECT_FALSE(second.isFirst());
    }
    SingleInstance again(name);
    EXPECT_TRUE(again.isFirst());
}

bool lockIsHeld(const QString& path) {
    struct stat info {};
    if (::stat(path.toLocal8Bit().constData(), &info) != 0) {
        return false;
    }
    std::ifstream locks("/proc/locks");
    const std::string inode = ":" + std::to_string(info.st_ino) + " ";
    for (std::string line; std::getline(locks, line);) {
        if (line.find("FLOCK") != std::string::npos && line.find(inode) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// The real program: a second start ends silently while the first runs, and a killed first
// leaves no lock behind.
TEST(SingleInstanceLock, SecondStartOfTheProgramEnds) {
    ProgramDir program;
    const QString exe = QString::fromStdString((program.path() / "norvat").string());
    fs::copy_file(NORVAT_PATH, exe.toStdString());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    QProcess first;
    first.setProcessEnvironment(env);
    first.start(exe, {});
    ASSERT_TRUE(first.waitForStarted());
    // Wait until the first holds the lock, looking at the kernel's list of locks so that the
    // test never holds it itself.
    const QString lockFile = SingleInstance::lockPath(product::applicationTitle());
    bool held = false;
    for (int i = 0; i < 150 && !held; ++i) {
        held = lockIsHeld(lockFile);
        if (!held) {
            QThread::msleep(100);
        }
    }
    ASSERT_TRUE(held);

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(exe, {});
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);

    first.kill();
    first.waitForFinished();
    EXPECT_TRUE(SingleInstance(product::applicationTitle()).isFirst());
}

}  // namespace
