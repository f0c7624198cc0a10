// The archiver's progress window: the window runs its events while arj works, and "取消" ends
// the run and what it started.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QThread>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "ArchiverFixture.h"
#include "ArchiverProgress.h"
#include "Dialogs.h"

using namespace exchange;
namespace fs = std::filesystem;
using testsupport::ArchiverTest;

namespace {

class ArchiverProgressTest : public ArchiverTest {
protected:
    void SetUp() override { makeArchive("X.ARJ", {{"A.TXT", "a"}}); }

    static QAbstractButton* cancelButton(QDialog& dialog) {
        return dialog.findChild<QAbstractButton*>(QStringLiteral("cancelButton"));
    }

    widgets::ScriptedDialogs m_dialogs;
    ArchiverProgress m_progress;
};

TEST_F(ArchiverProgressTest, TheWindowRunsItsEventsWhileTheArchiverWorks) {
    ArjArchiver arj;
    arj.setProgram(script("sleep 0.5; echo unpacked > A.TXT"));
    int ticks = 0;
    QString caption;
    m_dialogs.onExec = [&](QDialog& dialog) {
        caption = dialog.findChild<QLabel*>(QStringLiteral("caption"))->text();
        EXPECT_EQ(cancelButton(dialog)->text(), QStringLiteral("取消"));
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
        tick.start(20);
        QEventLoop loop;
        QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
        loop.exec();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    };
    arj.extract(folder() / "X.ARJ", folder(), {"A.TXT"});
    EXPECT_EQ(caption, QStringLiteral("正在解压“X.ARJ”……"));
    EXPECT_GT(ticks, 5);
    EXPECT_EQ(read(folder() / "A.TXT"), "unpacked\n");
}

// Whether process pid is alive (neither gone nor a zombie).
bool running(const std::string& pid) {
    std::ifstream stat("/proc/" + pid + "/stat");
    std::string line;
    if (!std::getline(stat, line)) {
        return false;
    }
    const size_t state = line.rfind(") ");
    return state != std::string::npos && line[state + 2] != 'Z';
}

// The archiver and what it started (a script's child here) end; what it wrote goes.
TEST_F(ArchiverProgressTest, CancelEndsTheArchiverAndRemovesItsOutput) {
    for (const bool pack : {false, true}) {
        SCOPED_TRACE(pack ? "pack" : "extract");
        write(folder() / "IN.TXT", "in");
        const fs::path child = scriptFolder() / "child";
        ArjArchiver arj;
        arj.setProgram(script("echo partial > A.TXT; echo partial > P.ARJ; sleep 30 & echo $! > " +
                              child.string() + "; wait"));
        m_dialogs.onExec = [&](QDialog& dialog) {
            QTimer::singleShot(200, cancelButton(dialog), &QAbstractButton::click);
            QEventLoop loop;
            QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
            loop.exec();
        };
        QElapsedTimer clock;
        clock.start();
        if (pack) {
            EXPECT_THROW(arj.pack(folder(), "P.ARJ", {"IN.TXT"}), ArchiverCancelled);
        } else {
            EXPECT_THROW(arj.extract(folder() / "X.ARJ", folder(), {"A.TXT"}), ArchiverCancelled);
        }
        EXPECT_LT(clock.elapsed(), 10000);
        EXPECT_EQ(names(folder()), (std::set<std::string>{"IN.TXT", "X.ARJ"}));
        const std::string pid = read(child);
        QElapsedTimer ending;
        ending.start();
        while (running(pid.substr(0, pid.find('\n'))) && ending.elapsed() < 3000) {
            QThread::msleep(20);
        }
        EXPECT_FALSE(running(pid.substr(0, pid.find('\n'))));
    }
}

}  // namespace
