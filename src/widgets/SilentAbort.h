#pragma once

#include <exception>

// Cancels the action in progress without a message: a check that has already told the user
// what is wrong throws it, and the application's default error handler passes over it.
class SilentAbort : public std::exception {
public:
    const char* what() const noexcept override { return "action cancelled"; }
};
