#pragma once

#include <QString>
#include <span>

class QLineEdit;

namespace widgets {

// The classification picker as the pages that open it see it. A caller owns a selector (an
// array of bytes, one per target edit): before opening the picker it zeroes the array and sets
// the byte of its target to 1.
class ClassPicker {
public:
    // Byte `byte` of selector stands for edit, whose codes come from the classification table
    // tableName ("xkfl", "ztflh" or "gxjs"). A page registers its targets once.
    virtual void registerTarget(std::span<const unsigned char> selector, int byte, QLineEdit* edit,
                                QString tableName) = 0;
    // Shows the picker modally for the caller that owns selector: the first byte set in it
    // names the target, whose edit gets the chosen "code  name". Returns the dialog's result.
    virtual int showFor(std::span<const unsigned char> selector) = 0;

protected:
    ~ClassPicker() = default;
};

}  // namespace widgets
