// Edits limited by the GBK byte width of their field.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <ostream>

#include "GbkLimit.h"

namespace {

using widgets::gbkByteLength;
using widgets::limitGbkBytes;

// Types text key by key, as the keyboard or an input method delivers it.
void type(QWidget* widget, const QString& text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

QString chinese(int count) {
    return QString(count, QChar(0x4E2D));  // 中
}

TEST(GbkByteLength, CountsTwoForAChineseCharacter) {
    EXPECT_EQ(gbkByteLength(QStringLiteral("中a文")), 5);
    EXPECT_EQ(gbkByteLength(QString()), 0);
    EXPECT_EQ(gbkByteLength(QStringLiteral("a😀")), -1);
}

struct InsertCase {
    const char* name;
    int maxBytes;
    QString before;
    int cursor;      // where the text goes in
    QString insert;  // as typed or pasted
    QString after;
    int cursorAfter;
};

void PrintTo(const InsertCase& c, std::ostream* os) {
    *os << c.name;
}

class GbkLimitedEdit : public ::testing::TestWithParam<InsertCase> {};

TEST_P(GbkLimitedEdit, TakesOnlyWhatFits) {
    const InsertCase& c = GetParam();
    QLineEdit edit;
    limitGbkBytes(&edit, c.maxBytes);
    edit.setText(c.before);
    edit.setCursorPosition(c.cursor);
    edit.insert(c.insert);
    EXPECT_EQ(edit.text(), c.after);
    EXPECT_EQ(edit.cursorPosition(), c.cursorAfter);
    EXPECT_LE(gbkByteLength(edit.text()), c.maxBytes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GbkLimitedEdit,
    ::testing::Values(InsertCase{"seventieth_chinese_character_fits", 140, chinese(69), 69,
                                 chinese(1), chinese(70), 70},
                      InsertCase{"seventy_first_chinese_character_refused", 140, chinese(70), 70,
                                 chinese(1), chinese(70), 70},
                      InsertCase{"chinese_character_refused_with_one_byte_left", 140,
                                 chinese(69) + QLatin1Char('a'), 70, chinese(1),
                                 chinese(69) + QLatin1Char('a'), 70},
                      InsertCase{"ascii_fits_the_last_byte", 140, chinese(69) + QLatin1Char('a'),
                                 70, QStringLiteral("b"), chinese(69) + QStringLiteral("ab"), 71},
                      InsertCase{"paste_cut_to_what_fits", 140, chinese(68), 68,
                                 QStringLiteral("一二三四五"), chinese(68) + QStringLiteral("一二"),
                                 70},
                      InsertCase{"paste_in_the_middle_keeps_the_text_after_it", 10,
                                 QStringLiteral("abcd"), 2, QStringLiteral("一二三四"),
                                 QStringLiteral("ab一二三cd"), 5},
                      InsertCase{"paste_cut_at_a_whole_character", 5, QStringLiteral("ab"), 2,
                                 QStringLiteral("一二"), QStringLiteral("ab一"), 3},
                      InsertCase{"text_outside_gbk_refused", 140, QStringLiteral("ab"), 2,
                                 QStringLiteral("c😀"), QStringLiteral("ab"), 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GbkLimit, TypedKeysBeyondTheLimitAreRefusedAndUndoStillWorks) {
    QLineEdit edit;
    limitGbkBytes(&edit, 4);
    type(&edit, QStringLiteral("中文字"));
    EXPECT_EQ(edit.text(), QStringLiteral("中文"));
    type(&edit, QStringLiteral("x"));
    EXPECT_EQ(edit.text(), QStringLiteral("中文"));
    // Refusing leaves the edit's undo history as it was.
    EXPECT_TRUE(edit.isUndoAvailable());
}

TEST(GbkLimit, PasteFromTheClipboardIsCut) {
    QLineEdit edit;
    limitGbkBytes(&edit, 140);
    edit.setText(chinese(69));
    QApplication::clipboard()->setText(QStringLiteral("一二三"));
    if (QApplication::clipboard()->text() != QStringLiteral("一二三")) {
        GTEST_SKIP() << "no clipboard on this platform";
    }
    edit.paste();
    EXPECT_EQ(edit.text(), chinese(69) + QStringLiteral("一"));
}

TEST(GbkLimit, LimitsAnEditableComboBox) {
    QComboBox combo;
    combo.setEditable(true);
    limitGbkBytes(&combo, 5);
    type(combo.lineEdit(), QStringLiteral("中文字"));
    EXPECT_EQ(combo.currentText(), QStringLiteral("中文"));
    type(combo.lineEdit(), QStringLiteral("ab"));
    EXPECT_EQ(combo.currentText(), QStringLiteral("中文a"));
}

}  // namespace
