#pragma once

#include <compare>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace store {

struct Date {
    int year = 0;
    int month = 0;
    int day = 0;

    auto operator<=>(const Date&) const = default;

    bool isValid() const;
    // "YYYYMMDD", as a dBase date field stores it.
    std::string toDbf() const;
    // "YYYY-MM-DD".
    std::string toIso() const;
    // Accepts "YYYYMMDD", "YYYY-MM-DD", "YYYY.MM.DD" and "YYYY/MM/DD" (one- or two-digit month
    // and day with a separator); nullopt for anything else or an impossible date.
    static std::optional<Date> parse(std::string_view text);
};

// One field value as the store reads and writes it. Text is UTF-8.
class Value {
public:
    enum class Kind { Null, Text, Number, Date, Bool };

    Value() = default;
    Value(std::string text) : m_v(std::move(text)) {}
    Value(std::string_view text) : m_v(std::string(text)) {}
    Value(const char* text) : m_v(std::string(text)) {}
    Value(double number) : m_v(number) {}
    Value(int number) : m_v(static_cast<double>(number)) {}
    Value(long long number) : m_v(static_cast<double>(number)) {}
    Value(Date date) : m_v(date) {}
    Value(bool flag) : m_v(flag) {}

    Kind kind() const { return static_cast<Kind>(m_v.index()); }
    bool isNull() const { return kind() == Kind::Null; }

    // Null reads as "", numbers in their shortest exact form ("12.5", "3"), dates as
    // "YYYY-MM-DD", flags as "T" / "F".
    std::string asText() const;
    // Null and empty text read as 0; text that is not a number throws ValueError.
    double asNumber() const;
    // Text is parsed with Date::parse; nullopt for null or unparsable text.
    std::optional<Date> asDate() const;
    bool asBool() const;

    bool operator==(const Value&) const = default;

private:
    std::variant<std::monostate, std::string, double, Date, bool> m_v;
};

// Shortest text that reads back as the same double; integral values have no decimal point.
std::string formatNumber(double value);

}  // namespace store
