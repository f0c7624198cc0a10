#pragma once

// The filter expression of a dataset ("field='text' and field=number ..."), parsed into the
// terms that rows are matched against.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "Value.h"

namespace store {

// One "field=value" of a filter: a text or a number, a text ending in "*" matching by prefix.
struct FilterTerm {
    int field = -1;
    Value value;
    bool prefix = false;
};

// The terms of text: field='text' or field=number, joined by "and" outside quotes; '' inside
// a text is a quote, and "**" at its end a "*" of the text. storedField gives the index of a
// stored field by name, or -1; source names the dataset in the EngineError of a text that
// does not parse.
std::vector<FilterTerm> parseFilter(const std::string& text, const std::string& source,
                                    const std::function<int(const std::string&)>& storedField);

// text as the value of a filter term: quotes doubled and trailing stars doubled, so that
// it matches itself exactly ("张*" becomes "张**").
std::string filterText(std::string_view text);

}  // namespace store
