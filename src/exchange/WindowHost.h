#pragma once

#include "ExchangeHost.h"

// The exchange's long work as the windows run it: today from the program's clock, and between
// steps the windows repaint while no user input reaches them, so no handler can start while
// the work runs.
class WindowHost final : public exchange::ExchangeHost {
public:
    QDate today() const override;
    void keepResponsive() override;
};
