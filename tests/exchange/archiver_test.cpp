// The archiver against Debian's arj, and its failure handling against stand-in programs.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "Archiver.h"

using namespace exchange;
namespace fs = std::filesystem;

namespace {

class ArchiverTest : public ::testing::Test {
protected:
    fs::path folder() const { return fs::path(m_dir.path().toStdString()); }
    void write(const fs::path& path, const std::string& bytes) const {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::set<std::string> names(const fs::path& where) const {
        std::set<std::string> out;
        for (const auto& entry : fs::directory_iterator(where)) {
            out.insert(entry.path().filename().string());
        }
        return out;
    }
    // A stand-in archiver: a shell script run in place of arj.
    std::string script(const std::string& body) const {
        const fs::path path = folder() / "fake-arj.sh";
        write(path, "#!/bin/sh\n" + body + "\n");
        fs::permissions(path, fs::perms::owner_all);
        return path.string();
    }

    QTemporaryDir m_dir;
};

TEST_F(ArchiverTest, PacksAndExtractsWithTheRealArj) {
    ArjArchiver arj;
    ASSERT_FALSE(arj.program().empty()) << "arj is not installed";
    const fs::path out = folder() / "out";
    const fs::path in = folder() / "in";
    fs::create_directories(out);
    fs::create_directories(in);
    write(out / "HVEL.TXT", "k\t\"a\r\nb\"\tc\r\n");
    write(out / "unit.txt", std::string("\xb3\xc9\xb9\xfb\r\n"));  // GBK bytes unchanged
    arj.pack(out, "dovaqy.arj", {"HVEL.TXT", "unit.txt"});
    ASSERT_TRUE(fs::exists(out / "dovaqy.arj"));

    fs::copy_file(out / "dovaqy.arj", in / "dovaqy.arj");
    write(in / "HVEL.TXT", "old");  // overwritten without a question
    arj.extract(in, "dovaqy.arj");
    EXPECT_EQ(names(in), (std::set<std::string>{"dovaqy.arj", "HVEL.TXT", "unit.txt"}));
    EXPECT_EQ(read(in / "HVEL.TXT"), read(out / "HVEL.TXT"));
    EXPECT_EQ(read(in / "unit.txt"), read(out / "unit.txt"));
}

TEST_F(ArchiverTest, RealArjFailuresLeaveNothingBehind) {
    ArjArchiver arj;
    write(folder() / "A.TXT", "a");
    EXPECT_THROW(arj.pack(folder(), "p.arj", {"A.TXT", "MISSING.TXT"}), ArchiverError);
    EXPECT_THROW(arj.extract(folder(), "nothere.arj"), ArchiverError);
    write(folder() / "broken.arj", "not an archive");
    EXPECT_THROW(arj.extract(folder(), "broken.arj"), ArchiverError);
    EXPECT_EQ(names(folder()), (std::set<std::string>{"A.TXT", "broken.arj"}));
}

TEST_F(ArchiverTest, NamesThatLookLikeSwitchesAreFileNames) {
    ArjArchiver arj;
    write(folder() / "A.TXT", "a");
    arj.pack(folder(), "-y.arj", {"A.TXT"});
    EXPECT_TRUE(fs::exists(folder() / "-y.arj"));
}

TEST_F(ArchiverTest, RunsWithSafeSwitchesClosedInputAndInThePackageFolder) {
    ArjArchiver arj;
    arj.setProgram(script("pwd > args.txt; echo \"$@\" >> args.txt; read x && exit 7; exit 0"));
    arj.extract(folder(), "DFJHXX.ARJ");
    arj.pack(folder(), "dovaqy.arj", {"HVEL.TXT", "UNIT.TXT"});
    EXPECT_EQ(read(folder() / "args.txt"),
              fs::canonical(folder()).string() + "\na -+ -y -- dovaqy.arj HVEL.TXT UNIT.TXT\n");
}

TEST_F(ArchiverTest, FailureRemovesWhatTheRunWrote) {
    struct Case {
        const char* name;
        const char* body;
        std::chrono::milliseconds timeout;
    };
    const Case cases[] = {
        {"ExitStatus", "echo partial > NEW.TXT; echo rewritten > OLD.TXT; exit 1",
         std::chrono::seconds(30)},
        {"Signal", "echo partial > NEW.TXT; echo rewritten > OLD.TXT; kill -9 $$",
         std::chrono::seconds(30)},
        {"Timeout", "echo partial > NEW.TXT; echo rewritten > OLD.TXT; exec sleep 30",
         std::chrono::milliseconds(300)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        write(folder() / "OLD.TXT", "old");
        write(folder() / "KEEP.TXT", "keep");
        fs::last_write_time(folder() / "OLD.TXT",
                            fs::last_write_time(folder() / "OLD.TXT") - std::chrono::hours(1));
        ArjArchiver arj(c.timeout);
        arj.setProgram(script(c.body));
        EXPECT_THROW(arj.extract(folder(), "X.ARJ"), ArchiverError);
        EXPECT_FALSE(fs::exists(folder() / "NEW.TXT"));
        EXPECT_FALSE(fs::exists(folder() / "OLD.TXT"));
        EXPECT_EQ(read(folder() / "KEEP.TXT"), "keep");
    }
}

TEST_F(ArchiverTest, MissingProgramIsAnError) {
    ArjArchiver arj;
    arj.setProgram((folder() / "no-such-arj").string());
    EXPECT_THROW(arj.extract(folder(), "X.ARJ"), ArchiverError);
}

TEST_F(ArchiverTest, NamesAreFoundAndRemovedWithoutRegardToCase) {
    write(folder() / "hvel.txt", "1");
    write(folder() / "Unit.Txt", "2");
    EXPECT_EQ(findIgnoringCase(folder(), "HVEL.TXT"), folder() / "hvel.txt");
    EXPECT_EQ(findIgnoringCase(folder(), "hvel.txt"), folder() / "hvel.txt");
    EXPECT_EQ(findIgnoringCase(folder(), "EXPERT.TXT"), std::nullopt);
    write(folder() / "HVEL.TXT", "3");
    removeIgnoringCase(folder(), "Hvel.txt");
    EXPECT_EQ(names(folder()), (std::set<std::string>{"Unit.Txt"}));
}

TEST_F(ArchiverTest, InstalledArchiverReplacesTheDefault) {
    struct Recorder : Archiver {
        void pack(const fs::path&, const std::string&, const std::vector<std::string>&) override {}
        void extract(const fs::path&, const std::string& name) override { last = name; }
        std::string last;
    } recorder;
    EXPECT_NE(dynamic_cast<ArjArchiver*>(&Archiver::instance()), nullptr);
    Archiver::install(&recorder);
    Archiver::instance().extract(folder(), "A.ARJ");
    Archiver::install(nullptr);
    EXPECT_EQ(recorder.last, "A.ARJ");
    EXPECT_NE(dynamic_cast<ArjArchiver*>(&Archiver::instance()), nullptr);
}

}  // namespace
