// The text order of the table columns and like() on characters, as SQL functions.

#include "SqlFunctions.h"

#include <sqlite3.h>

#include <algorithm>
#include <optional>
#include <string>

#include "GbkCodec.h"
#include "SqlValues.h"
#include "Text.h"

namespace store::sql {

using text::trimTrailingBlanks;

namespace {

// The UTF-8 character of text at i, advancing i past it. A byte that does not start a valid
// sequence is a character of its own, mapped to a code no valid character has.
char32_t nextChar(std::string_view text, size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int extra = (lead & 0xE0) == 0xC0   ? 1
                      : (lead & 0xF0) == 0xE0 ? 2
                      : (lead & 0xF8) == 0xF0 ? 3
                                              : 0;
    if (lead >= 0x80 && extra == 0) {
        ++i;
        return 0xDC00 | lead;
    }
    char32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
    size_t j = i + 1;
    for (int k = 0; k < extra; ++k, ++j) {
        if (j >= text.size() || (static_cast<unsigned char>(text[j]) & 0xC0) != 0x80) {
            ++i;
            return 0xDC00 | lead;
        }
        c = (c << 6) | (static_cast<unsigned char>(text[j]) & 0x3F);
    }
    i = j;
    return c;
}

// LIKE on characters, case-sensitive: % matches any run of characters, _ exactly one, and the
// escape character makes the character after it literal.
bool likeMatch(std::string_view pattern, std::string_view text, std::optional<char32_t> escape) {
    size_t p = 0;
    size_t t = 0;
    size_t starP = std::string_view::npos;  // the pattern behind the last %
    size_t starT = 0;                       // where the text resumes when that % takes more
    for (;;) {
        if (p < pattern.size()) {
            size_t q = p;
            char32_t pc = nextChar(pattern, q);
            bool literal = false;
            if (escape && pc == *escape) {
                literal = true;
                if (q < pattern.size()) {
                    pc = nextChar(pattern, q);
                }
            }
            if (!literal && pc == '%') {
                starP = p = q;
                starT = t;
                continue;
            }
            if (t < text.size()) {
                size_t u = t;
                const char32_t tc = nextChar(text, u);
                if ((!literal && pc == '_') || pc == tc) {
                    p = q;
                    t = u;
                    continue;
                }
            }
        } else if (t == text.size()) {
            return true;
        }
        if (starP == std::string_view::npos || starT >= text.size()) {
            return false;
        }
        nextChar(text, starT);
        p = starP;
        t = starT;
    }
}

void likeFunction(sqlite3_context* context, int argc, sqlite3_value** argv) {
    for (int i = 0; i < argc; ++i) {
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL) {
            return;
        }
    }
    std::optional<char32_t> escape;
    if (argc == 3) {
        const std::string_view text = valueText(argv[2]);
        size_t end = 0;
        if (!text.empty()) {
            escape = nextChar(text, end);
        }
        if (text.empty() || end != text.size()) {
            sqlite3_result_error(context, "ESCAPE 后面须是一个字符", -1);
            return;
        }
    }
    // like(X, Y) is "Y LIKE X": the pattern comes first.
    const std::string_view pattern = valueText(argv[0]);
    sqlite3_result_int(context, likeMatch(pattern, valueText(argv[1]), escape) ? 1 : 0);
}

// The GBK bytes of the character at i, by which it sorts. A character that GBK cannot hold
// sorts after all that it can (no GBK byte is 0xFF).
std::string gbkSortKey(std::string_view text, size_t i) {
    size_t end = i;
    nextChar(text, end);
    const std::string_view character = text.substr(i, end - i);
    if (auto gbk = GbkCodec::encode(character)) {
        return *gbk;
    }
    return "\xFF" + std::string(character);
}

// Text order of the table columns: trailing blanks are ignored and characters compare as
// their GBK bytes, which puts common hanzi in pinyin order. ASCII is the same in UTF-8 and
// GBK and every other character sorts after it in both, so only the first differing
// character needs converting, and only when neither side of it is ASCII.
int compareText(void*, int sizeA, const void* dataA, int sizeB, const void* dataB) {
    const std::string_view a =
        trimTrailingBlanks({static_cast<const char*>(dataA), static_cast<size_t>(sizeA)});
    const std::string_view b =
        trimTrailingBlanks({static_cast<const char*>(dataB), static_cast<size_t>(sizeB)});
    const auto [itA, itB] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    size_t i = static_cast<size_t>(itA - a.begin());
    if (i == a.size() || i == b.size()) {
        return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
    }
    const auto byteA = static_cast<unsigned char>(a[i]);
    const auto byteB = static_cast<unsigned char>(b[i]);
    if (byteA < 0x80 || byteB < 0x80) {
        return byteA < byteB ? -1 : 1;
    }
    while (i > 0 && (static_cast<unsigned char>(a[i]) & 0xC0) == 0x80) {
        --i;
    }
    const int order = gbkSortKey(a, i).compare(gbkSortKey(b, i));
    if (order != 0) {
        return order < 0 ? -1 : 1;
    }
    return a.substr(i) < b.substr(i) ? -1 : 1;
}

}  // namespace

// compareText for two texts of the store.
int compareValues(std::string_view a, std::string_view b) {
    return compareText(nullptr, static_cast<int>(a.size()), a.data(), static_cast<int>(b.size()),
                       b.data());
}

int addFunctions(sqlite3* db) {
    int rc =
        sqlite3_create_collation_v2(db, kCollation, SQLITE_UTF8, nullptr, compareText, nullptr);
    for (int args : {2, 3}) {
        if (rc == SQLITE_OK) {
            rc = sqlite3_create_function_v2(db, "like", args, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                            nullptr, likeFunction, nullptr, nullptr, nullptr);
        }
    }
    return rc;
}

}  // namespace store::sql
