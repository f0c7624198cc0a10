#pragma once

#include <stdexcept>
#include <string>

namespace store {

// Every failure of the table store carries a message fit to show to the user.
class StoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Failures of the engine itself: a table file that is missing, damaged, locked or unreadable,
// and SQL that the engine cannot compile or run. Callers word these apart from other errors.
class EngineError : public StoreError {
public:
    using StoreError::StoreError;
};

// A file that another holder has locked: a table open elsewhere, a journal in use.
class BusyError : public EngineError {
public:
    using EngineError::EngineError;
};

// A value that a field cannot hold: a character outside GBK, text wider than the field in GBK
// bytes, a number too wide, a malformed date. Raised before anything is written.
class ValueError : public StoreError {
public:
    using StoreError::StoreError;
};

}  // namespace store
