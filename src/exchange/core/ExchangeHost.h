#pragma once

#include <QDate>

namespace exchange {

// What the long work of the exchange (reading a file, storing staged records) needs from the
// program around it. The windows' host (WindowHost) takes today from the program's clock and
// lets the windows repaint while no user input reaches them.
class ExchangeHost {
public:
    // Today's date: the main staging table's records without a valid date get it.
    virtual QDate today() const = 0;
    // Called now and then while the work runs.
    virtual void keepResponsive() = 0;

protected:
    ~ExchangeHost() = default;
};

}  // namespace exchange
