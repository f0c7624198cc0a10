#include "DocumentTexts.h"

#include <QDate>
#include <QLocale>

#include "GbkCodec.h"
#include "ResearchPeriod.h"

namespace documents {

namespace {

constexpr std::string_view kNationalPlan = "国家科技计划";

// Byte offsets of the first `count` characters of UTF-8 text (or of all of it).
size_t charactersPrefix(std::string_view text, size_t count) {
    size_t at = 0;
    for (; at < text.size() && count > 0; --count) {
        ++at;
        while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) {
            ++at;
        }
    }
    return at;
}

// Characters first..first+count-1 (from 1) of text, as far as it reaches.
std::string_view characters(std::string_view text, size_t first, size_t count) {
    size_t from = charactersPrefix(text, first - 1);
    text.remove_prefix(from);
    return text.substr(0, charactersPrefix(text, count));
}

std::string yearMonth(const researchperiod::Side& side) {
    if (!side.dotted) {
        return side.text;
    }
    return side.year + "年" + side.month + "月";
}

}  // namespace

size_t gbkLength(std::string_view text) {
    if (auto gbk = store::GbkCodec::encode(text)) {
        return gbk->size();
    }
    // A character outside GBK cannot come from a table; count it as two bytes all the same.
    size_t length = 0;
    for (unsigned char byte : text) {
        if (byte < 0x80) {
            length += 1;
        } else if ((byte & 0xC0) != 0x80) {
            length += 2;
        }
    }
    return length;
}

std::string AppendBreakIfShort(std::string text, size_t width) {
    if (gbkLength(text) < width) {
        text += '\r';
    }
    return text;
}

YearMonthPeriod SplitPeriodToYearMonth(std::string_view period) {
    const researchperiod::Period parts = researchperiod::SplitResearchPeriod(period);
    return {yearMonth(parts.start), yearMonth(parts.end)};
}

std::array<std::string, 3> SplitSemicolonList3(std::string_view value) {
    std::array<std::string, 3> parts;
    for (std::string& part : parts) {
        size_t separator = value.find(';');
        part = value.substr(0, separator);
        if (separator == std::string_view::npos) {
            break;
        }
        value.remove_prefix(separator + 1);
    }
    return parts;
}

DateParts SplitIsoDate(std::string_view date) {
    return {std::string(characters(date, 1, 4)), std::string(characters(date, 6, 2)),
            std::string(characters(date, 9, 2))};
}

std::string shortDateText(const store::Date& date) {
    return QLocale(QLocale::Chinese, QLocale::China)
        .toString(QDate(date.year, date.month, date.day), QLocale::ShortFormat)
        .toStdString();
}

std::string bracketNationalPlan(std::string_view names, std::string_view plan) {
    if (plan.empty()) {
        return std::string(names);
    }
    // The national plan as one whole text of the list, not inside another text.
    for (size_t at = names.find(kNationalPlan); at != std::string_view::npos;
         at = names.find(kNationalPlan, at + 1)) {
        size_t after = at + kNationalPlan.size();
        if ((at == 0 || names[at - 1] == ';') && (after == names.size() || names[after] == ';')) {
            return std::string(names.substr(0, after)) + "(" + std::string(plan) + ")" +
                   std::string(names.substr(after));
        }
    }
    return std::string(names);
}

}  // namespace documents
