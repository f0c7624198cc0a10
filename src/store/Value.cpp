#include "Value.h"
#include "Text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "Errors.h"

namespace store {

namespace {

// Digits only, between minDigits and maxDigits of them.
std::optional<int> parseDigits(std::string_view text, size_t minDigits, size_t maxDigits) {
    if (text.size() < minDigits || text.size() > maxDigits) {
        return std::nullopt;
    }
    int result = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), result);
    if (ec != std::errc() || end != text.data() + text.size() || text.front() == '-' ||
        text.front() == '+') {
        return std::nullopt;
    }
    return result;
}

}  // namespace

bool Date::isValid() const {
    static constexpr std::array<int, 12> monthDays = {31, 29, 31, 30, 31, 30,
                                                      31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) {
        return false;
    }
    if (month == 2) {
        bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        return day <= (leap ? 29 : 28);
    }
    return day <= monthDays[month - 1];
}

std::string Date::toDbf() const {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04d%02d%02d", year, month, day);
    return buffer;
}

std::string Date::toIso() const {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", year, month, day);
    return buffer;
}

std::optional<Date> Date::parse(std::string_view text) {
    text = text::trimBlanks(text);
    Date date;
    if (text.size() == 8 && text.find_first_not_of("0123456789") == std::string_view::npos) {
        date = {*parseDigits(text.substr(0, 4), 4, 4), *parseDigits(text.substr(4, 2), 2, 2),
                *parseDigits(text.substr(6, 2), 2, 2)};
    } else {
        size_t first = text.find_first_of("-./");
        if (first == std::string_view::npos) {
            return std::nullopt;
        }
        char separator = text[first];
        size_t second = text.find(separator, first + 1);
        if (second == std::string_view::npos) {
            return std::nullopt;
        }
        auto year = parseDigits(text.substr(0, first), 4, 4);
        auto month = parseDigits(text.substr(first + 1, second - first - 1), 1, 2);
        auto day = parseDigits(text.substr(second + 1), 1, 2);
        if (!year || !month || !day) {
            return std::nullopt;
        }
        date = {*year, *month, *day};
    }
    if (!date.isValid()) {
        return std::nullopt;
    }
    return date;
}

std::string formatNumber(double value) {
    if (value == 0) {
        return "0";  // also for -0
    }
    char buffer[400];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (ec != std::errc()) {
        auto [end2, ec2] = std::to_chars(buffer, buffer + sizeof buffer, value);
        return std::string(buffer, end2);
    }
    return std::string(buffer, end);
}

std::string Value::asText() const {
    switch (kind()) {
        case Kind::Null:
            return {};
        case Kind::Text:
            return std::get<std::string>(m_v);
        case Kind::Number:
            return formatNumber(std::get<double>(m_v));
        case Kind::Date:
            return std::get<Date>(m_v).toIso();
        case Kind::Bool:
            return std::get<bool>(m_v) ? "T" : "F";
    }
    return {};
}

double Value::asNumber() const {
    switch (kind()) {
        case Kind::Null:
            return 0;
        case Kind::Number:
            return std::get<double>(m_v);
        case Kind::Bool:
            return std::get<bool>(m_v) ? 1 : 0;
        case Kind::Date:
            throw ValueError("日期 " + asText() + " 不是数字");
        case Kind::Text:
            break;
    }
    const std::string& text = std::get<std::string>(m_v);
    std::string_view digits = text::trimBlanks(text);
    if (digits.empty()) {
        return 0;
    }
    if (digits.front() == '+') {
        digits.remove_prefix(1);
    }
    double result = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), result,
                                     std::chars_format::fixed);
    if (ec != std::errc() || end != digits.data() + digits.size() || digits.empty() ||
        !std::isfinite(result)) {
        throw ValueError("“" + text + "” 不是数字");
    }
    return result;
}

std::optional<Date> Value::asDate() const {
    switch (kind()) {
        case Kind::Date:
            return std::get<Date>(m_v);
        case Kind::Text:
            return Date::parse(std::get<std::string>(m_v));
        default:
            return std::nullopt;
    }
}

bool Value::asBool() const {
    switch (kind()) {
        case Kind::Bool:
            return std::get<bool>(m_v);
        case Kind::Number:
            return std::get<double>(m_v) != 0;
        case Kind::Text: {
            std::string_view text = text::trimBlanks(std::get<std::string>(m_v));
            return text == "T" || text == "t" || text == "Y" || text == "y" || text == "1" ||
                   text == "true";
        }
        default:
            return false;
    }
}

}  // namespace store
