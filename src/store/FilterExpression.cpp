// The parser of a dataset's filter expression, and the quoting of a text for one.

#include "FilterExpression.h"

#include "Errors.h"
#include "Text.h"

namespace store {

using text::equalsIgnoringCase;

std::vector<FilterTerm> parseFilter(const std::string& text, const std::string& source,
                                    const std::function<int(const std::string&)>& storedField) {
    std::vector<FilterTerm> terms;
    auto fail = [&](const std::string& why) {
        throw EngineError(source + "的过滤条件 " + text + " 有误：" + why);
    };
    size_t i = 0;
    auto skipBlanks = [&] {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
            ++i;
        }
    };
    skipBlanks();
    while (i < text.size()) {
        const size_t nameStart = i;
        while (i < text.size() && text[i] != '=' && text[i] != ' ' && text[i] != '\t') {
            ++i;
        }
        const std::string name = text.substr(nameStart, i - nameStart);
        skipBlanks();
        if (i >= text.size() || text[i] != '=' || name.empty()) {
            fail("应是“字段=值”");
        }
        ++i;
        skipBlanks();
        FilterTerm term;
        term.field = storedField(name);
        if (term.field < 0) {
            throw EngineError(source + "中没有字段 " + name);
        }
        if (i < text.size() && text[i] == '\'') {
            std::string value;
            ++i;
            bool closed = false;
            while (i < text.size()) {
                if (text[i] == '\'') {
                    if (i + 1 < text.size() && text[i + 1] == '\'') {
                        value += '\'';
                        i += 2;
                        continue;
                    }
                    closed = true;
                    ++i;
                    break;
                }
                value += text[i++];
            }
            if (!closed) {
                fail("文字缺少结尾的单引号");
            }
            // A trailing "*" asks for a prefix match; "**" stands for a "*" of the text, so a
            // value that itself ends in stars can still be matched exactly.
            size_t stars = 0;
            while (stars < value.size() && value[value.size() - 1 - stars] == '*') {
                ++stars;
            }
            term.prefix = stars % 2 == 1;
            value.resize(value.size() - stars);
            value.append(stars / 2, '*');
            term.value = Value(std::move(value));
        } else {
            const size_t numberStart = i;
            while (i < text.size() && text[i] != ' ' && text[i] != '\t') {
                ++i;
            }
            const std::string number = text.substr(numberStart, i - numberStart);
            try {
                term.value = Value(Value(number).asNumber());
            } catch (const ValueError&) {
                fail(number + " 不是数字");
            }
            if (number.empty()) {
                fail("缺少值");
            }
        }
        terms.push_back(std::move(term));
        skipBlanks();
        if (i < text.size()) {
            if (text.size() - i < 4 ||
                !equalsIgnoringCase(std::string_view(text).substr(i, 3), "and") ||
                (text[i + 3] != ' ' && text[i + 3] != '\t')) {
                fail("条件之间应是 and");
            }
            i += 3;
            skipBlanks();
            if (i >= text.size()) {
                fail("and 后面缺少条件");
            }
        }
    }
    return terms;
}

std::string filterText(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    for (char c : text) {
        out += c;
        if (c == '\'') {
            out += '\'';
        }
    }
    size_t stars = 0;
    while (stars < text.size() && text[text.size() - 1 - stars] == '*') {
        ++stars;
    }
    out.append(stars, '*');
    return out;
}

}  // namespace store
