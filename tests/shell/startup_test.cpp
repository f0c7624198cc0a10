#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QEvent>
#include <QProcess>
#include <QThread>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>

#include "Application.h"
#include "DataDir.h"
#include "DbfFile.h"
#include "Dialogs.h"
#include "Errors.h"
#include "ExchangeTables.h"
#include "FileIo.h"
#include "Journal.h"
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

// A damaged table at start-up: one message in Chinese naming its file, the file byte for
// byte as it was (the start-up pack included), and the table open for reading where its rows
// can be found.
struct DamageCase {
    const char* name;
    const char* table;  // the damaged table's file, which the message names
    const char* file;   // the damaged file: the table's or its memo file
    std::function<void(std::string& bytes)> mutate;
    bool readable;
};

void PrintTo(const DamageCase& c, std::ostream* os) {
    *os << c.name;
}

class StartupDamage : public ::testing::TestWithParam<DamageCase> {};

uint16_t le16(const std::string& bytes, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                 static_cast<unsigned char>(bytes[at + 1]) << 8);
}

void setLe16(std::string& bytes, size_t at, uint16_t value) {
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>(value >> 8);
}

TEST_P(StartupDamage, IsToldOnceAndLeftAsItWas) {
    const DamageCase& c = GetParam();
    ProgramDir program;
    {
        auto hvel = store::DbfFile::open(program.file("hvel.DBF").string());
        const int key = hvel->fieldIndex("ITEM_4"), memo = hvel->fieldIndex("ITEM_13");
        for (const char* number : {"2004000001", "2004000002", "2004000003", "2004000004"}) {
            hvel->append({{key, store::Value(number)},
                          {memo, store::Value(std::string(600, 'm') + number)}});
        }
        hvel->setDeleted(2, true);  // something for the pack to do
        hvel->flush();
    }
    const fs::path damaged = program.file(c.file);
    std::string bytes = readBytes(damaged);
    c.mutate(bytes);
    {
        std::ofstream out(damaged, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    const fs::path table = program.file(c.table);
    fs::path memo = table;
    memo.replace_extension(".DBT");
    std::map<fs::path, std::string> before;
    for (const fs::path& path : {table, memo}) {
        if (fs::exists(path)) {
            before[path] = readBytes(path);
        }
    }
    TDM dm(program.path());
    const auto errors = dm.DataModuleCreate();
    std::string all;
    for (const std::string& error : errors) {
        all += error + "\n";
    }
    ASSERT_EQ(errors.size(), 1u) << all;
    EXPECT_NE(errors[0].find(table.string()), std::string::npos) << errors[0];
    EXPECT_NE(errors[0].find("已损坏"), std::string::npos) << errors[0];
    for (const auto& [path, content] : before) {
        EXPECT_EQ(readBytes(path), content) << path;
    }
    EXPECT_EQ(dm.Qryhvel.active(), c.readable);
    EXPECT_TRUE(dm.TblwcrNew.active());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StartupDamage,
    ::testing::Values(DamageCase{"record_length_too_small", "cgwcr.DBF", "cgwcr.DBF",
                                 [](std::string& b) { setLe16(b, 10, 1); }, true},
                      DamageCase{"record_length_doubled", "hvel.DBF", "hvel.DBF",
                                 [](std::string& b) { setLe16(b, 10, 2 * le16(b, 10)); }, true},
                      DamageCase{"header_length_32_too_large", "hvel.DBF", "hvel.DBF",
                                 [](std::string& b) { setLe16(b, 8, le16(b, 8) + 32); }, true},
                      DamageCase{"cut_in_the_middle_of_the_records", "hvel.DBF", "hvel.DBF",
                                 [](std::string& b) { b.resize(b.size() - b.size() / 3); }, true},
                      DamageCase{"memo_file_cut", "hvel.DBF", "hvel.DBT",
                                 [](std::string& b) { b.resize(b.size() / 2); }, true},
                      DamageCase{"unknown_version", "hvel.DBF", "hvel.DBF",
                                 [](std::string& b) { b[0] = 0x30; }, false}),
    [](const auto& info) { return std::string(info.param.name); });

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

// The bytes of every file of folder, by name.
std::map<std::string, std::string> folderBytes(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        files[entry.path().filename().string()] = readBytes(entry.path());
    }
    return files;
}

// A save that a crash cut off after it wrote out: a record appended to hvel, the journal left.
void crashInASave(const ProgramDir& program) {
    auto hvel = store::DbfFile::open(program.file("hvel.DBF").string());
    hvel->holdWrites(true);
    hvel->append({{hvel->fieldIndex("ITEM_4"), store::Value("2004000001")}});
    store::Journal journal(program.data().string());
    journal.writeOut(hvel->journalMembers());
}

// The data folder put back from a copy made before the save, while the save's journal stayed:
// the journal is set aside, the start says so once, and the tables are the copy's.
TEST(Startup, TellsOnceOfAJournalSetAside) {
    ProgramDir program;
    const fs::path copy = program.path() / "copy";
    fs::copy(program.data(), copy);
    crashInASave(program);
    for (const auto& entry : fs::directory_iterator(copy)) {
        const fs::path restoring = program.data() / (entry.path().filename().string() + ".new");
        fs::copy_file(entry.path(), restoring);
        fs::rename(restoring, program.data() / entry.path().filename());
    }
    {
        TDM dm(program.path());
        const auto errors = dm.DataModuleCreate();
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_NE(errors[0].find("velmora.journal"), std::string::npos) << errors[0];
        EXPECT_NE(errors[0].find("hvel.DBF 已不是那次写入的那个文件"), std::string::npos)
            << errors[0];
        EXPECT_NE(errors[0].find("已改名为 velmora.journal.set-aside-"), std::string::npos)
            << errors[0];
        EXPECT_TRUE(dm.Qryhvel.active());
        EXPECT_EQ(dm.Qryhvel.recordCount(), 0);
    }
    std::map<std::string, std::string> tables = folderBytes(program.data());
    std::erase_if(tables,
                  [](const auto& file) { return file.first.starts_with("velmora.journal"); });
    EXPECT_EQ(tables, folderBytes(copy));
    TDM again(program.path());
    EXPECT_TRUE(again.DataModuleCreate().empty());
}

// A folder that this process cannot write for as long as the object lives: a read-only bind
// mount of it where the process may mount (as root, which a folder's permissions do not
// stop), else a folder without write permission.
class UnwritableFolder {
public:
    explicit UnwritableFolder(const fs::path& folder) : m_folder(folder) {
        if (::geteuid() != 0) {
            fs::permissions(
                folder, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                fs::perm_options::remove);
            m_done = true;
            return;
        }
        const char* path = folder.c_str();
        m_done = ::unshare(CLONE_NEWNS) == 0 &&
                 ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                 ::mount(path, path, nullptr, MS_BIND, nullptr) == 0;
        m_mounted = m_done;
        m_done = m_done &&
                 ::mount(nullptr, path, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
    }
    ~UnwritableFolder() {
        if (m_mounted) {
            ::umount2(m_folder.c_str(), MNT_DETACH);
        } else {
            fs::permissions(m_folder, fs::perms::owner_write, fs::perm_options::add);
        }
    }
    UnwritableFolder(const UnwritableFolder&) = delete;
    UnwritableFolder& operator=(const UnwritableFolder&) = delete;
    bool done() const { return m_done; }

private:
    fs::path m_folder;
    bool m_done = false;
    bool m_mounted = false;
};

// A data folder that cannot be written: told once, naming it; the tables are read as they
// are, nothing is packed, and a save refuses with the same message.
TEST(Startup, ReadsAnUnwritableDataFolderAsItIs) {
    ProgramDir program;
    {
        auto hvel = store::DbfFile::open(program.file("hvel.DBF").string());
        const int key = hvel->fieldIndex("ITEM_4");
        hvel->append({{key, store::Value("2004000001")}});
        hvel->append({{key, store::Value("2004000002")}});
        hvel->setDeleted(1, true);  // something for a pack to do
        hvel->flush();
    }
    const auto before = folderBytes(program.data());
    UnwritableFolder unwritable(program.data());
    if (!unwritable.done()) {
        GTEST_SKIP() << "this machine lets the test make no folder read-only";
    }
    TDM dm(program.path());
    const auto errors = dm.DataModuleCreate();
    ASSERT_EQ(errors.size(), 1u) << errors.front();
    EXPECT_TRUE(errors[0].starts_with("数据文件夹 " + program.data().string() + " 不能写入"))
        << errors[0];
    EXPECT_TRUE(dm.Qryhvel.active());
    EXPECT_EQ(dm.Qryhvel.recordCount(), 1);
    try {
        dm.database().run("update hvel set ITEM_3='乙'");
        ADD_FAILURE() << "a save in a folder that cannot be written";
    } catch (const store::EngineError& e) {
        EXPECT_EQ(e.what(), errors[0]);
    }
    EXPECT_EQ(folderBytes(program.data()), before);
}

// Bytes that are not GBK in a stored field: told at start-up with the table, record and field,
// and kept as they are.
TEST(Startup, TellsOfTextThatIsNotGbk) {
    ProgramDir program;
    {
        auto hvel = store::DbfFile::open(program.file("hvel.DBF").string());
        hvel->append({{hvel->fieldIndex("ITEM_4"), store::Value("2004000001")}});
        hvel->append({{hvel->fieldIndex("ITEM_4"), store::Value("2004000002")},
                      {hvel->fieldIndex("ITEM_3"), store::Value("XXXX")}});
        hvel->flush();
    }
    std::string bytes = readBytes(program.file("hvel.DBF"));
    bytes.replace(bytes.find("XXXX"), 4, "\xB0\xA1\xD6 ");  // 啊 and a lead byte alone
    {
        std::ofstream out(program.file("hvel.DBF"), std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    TDM dm(program.path());
    const auto errors = dm.DataModuleCreate();
    ASSERT_EQ(errors.size(), 1u) << errors.front();
    EXPECT_EQ(errors[0], "数据表文件 " + program.file("hvel.DBF").string() +
                             " 中有 1 处文字不是 GBK 编码，显示为“\uFFFD”，这些字节原样保留："
                             "第 2 条记录的字段 ITEM_3");
    EXPECT_EQ(readBytes(program.file("hvel.DBF")), bytes);
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
    EXPECT_EQ(ExchangeTables.join(QLatin1Char(',')),
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
