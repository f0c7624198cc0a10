#pragma once

#include <QDate>

#include "ExchangeHost.h"

namespace testsupport {

// A host whose today is one fixed day; counts how often the work let the windows repaint.
class FixedHost final : public exchange::ExchangeHost {
public:
    explicit FixedHost(QDate day = QDate(2026, 12, 10)) : m_day(day) {}
    QDate today() const override { return m_day; }
    void keepResponsive() override { ++pauses; }

    int pauses = 0;

private:
    QDate m_day;
};

}  // namespace testsupport
