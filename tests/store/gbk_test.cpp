#include <gtest/gtest.h>

#include "GbkCodec.h"

namespace store {
namespace {

TEST(GbkCodecTest, RoundTripsChineseAndAscii) {
    const char* texts[] = {
        "",     "abc 123",          "中文",         "成果名称：高新技术（一）", "€",
        "乗乢", "全角ＡＢＣ　空格", "mixed 中 text"};
    for (const char* text : texts) {
        auto gbk = GbkCodec::encode(text);
        ASSERT_TRUE(gbk) << text;
        bool invalid = true;
        EXPECT_EQ(GbkCodec::decode(*gbk, &invalid), text);
        EXPECT_FALSE(invalid);
    }
}

TEST(GbkCodecTest, EncodesToTheGbkBytes) {
    EXPECT_EQ(GbkCodec::encode("中文"), std::string("\xD6\xD0\xCE\xC4"));
    // Trail bytes include '\' and '_': 乗 is 81 5C, 乢 is 81 5F.
    EXPECT_EQ(GbkCodec::encode("乗乢"), std::string("\x81\x5C\x81\x5F"));
    EXPECT_EQ(GbkCodec::encode("€"), std::string("\x80"));
}

TEST(GbkCodecTest, RefusesWhatGbkCannotHold) {
    const char* texts[] = {"emoji 😀", "한국어", "\xC3\x28", "\xE4\xB8", "\xED\xA0\x80", "\xC0\xAF"};
    for (const char* text : texts) {
        EXPECT_EQ(GbkCodec::encode(text), std::nullopt) << text;
    }
}

TEST(GbkCodecTest, DecodesBadBytesAsReplacementCharacters) {
    struct Case {
        std::string gbk;
        std::string utf8;
    };
    const std::string bad = "\xEF\xBF\xBD";  // U+FFFD
    const Case cases[] = {
        {"ab\xD6", "ab" + bad},      // lead byte cut off at the end
        {"\xD6 a", bad + " a"},      // lead byte before a blank: keep the blank
        {"\xFF!", bad + "!"},        // never a GBK byte
        {"\xFE\xFE!", bad + "!"},    // well-formed pair with no character
        {"\xD6\x7F", bad + "\x7F"},  // 7F is never a trail byte
        {"\xD6\xD0\xD6", "中" + bad},
    };
    for (const auto& c : cases) {
        bool invalid = false;
        EXPECT_EQ(GbkCodec::decode(c.gbk, &invalid), c.utf8);
        EXPECT_TRUE(invalid);
        EXPECT_FALSE(GbkCodec::isValid(c.gbk));
    }
    EXPECT_TRUE(GbkCodec::isValid("\xD6\xD0\xCE\xC4 abc"));  // 中文
}

// The check takes whole runs of common hanzi at once: every pair of bytes, eight times over,
// is valid exactly when it decodes to a character.
TEST(GbkCodecTest, ChecksEveryPairAsItDecodes) {
    for (int lead = 0x80; lead <= 0xFF; ++lead) {
        for (int trail = 0x00; trail <= 0xFF; ++trail) {
            std::string run;
            for (int i = 0; i < 8; ++i) {
                run += static_cast<char>(lead);
                run += static_cast<char>(trail);
            }
            bool invalid = false;
            GbkCodec::decode(run, &invalid);
            ASSERT_EQ(GbkCodec::isValid(run), !invalid) << std::hex << lead << " " << trail;
        }
    }
}

TEST(GbkCodecTest, FitsPrefixWithoutCuttingACharacter) {
    std::string gbk = *GbkCodec::encode("ab中文c");  // a b D6 D0 CE C4 c
    const std::pair<size_t, size_t> cases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 2},  {4, 4},
                                               {5, 4}, {6, 6}, {7, 7}, {100, 7}};
    for (const auto& [maxBytes, expected] : cases) {
        EXPECT_EQ(GbkCodec::fitPrefix(gbk, maxBytes), expected) << maxBytes;
    }
    EXPECT_EQ(GbkCodec::fitPrefix("a\xD6", 2), 2u);  // a lone lead byte is one byte
}

}  // namespace
}  // namespace store
