#pragma once

#include <QString>
#include <string_view>

#include "Dataset.h"
#include "Value.h"

// Stored values as the windows show them, and texts of the windows as stored values.
namespace widgets {

inline QString valueText(const store::Value& value) {
    return QString::fromStdString(value.asText());
}

// An empty text is stored as null.
inline store::Value textValue(const QString& text) {
    return text.isEmpty() ? store::Value() : store::Value(text.toStdString());
}

inline QString fieldText(store::Dataset& dataset, std::string_view name) {
    return valueText(dataset.field(name).value());
}

inline QString fieldText(store::Dataset& dataset, int index) {
    return valueText(dataset.field(index).value());
}

}  // namespace widgets
