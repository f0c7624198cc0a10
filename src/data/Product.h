#pragma once

#include <QString>

// The product's name and the texts built from it.
namespace product {

inline QString name() {
    return QStringLiteral("Velmora");
}

// The bracketed edition and version label.
inline QString label() {
    return QStringLiteral("【单机版V4.0】");
}

// The application title: message boxes of the default error handler carry it, and the
// single-instance lock is named after it.
inline QString applicationTitle() {
    return name() + QStringLiteral("－") + label();
}

// The main window's caption.
inline QString mainCaption() {
    return name() + label();
}

}  // namespace product
