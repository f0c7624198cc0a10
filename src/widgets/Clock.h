#pragma once

#include <QDate>

namespace widgets {

// Today's date, replaceable in tests.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDate today() const { return QDate::currentDate(); }

    static const Clock& instance();
    // Installs clock (not owned) in place of the system's; nullptr restores it.
    static void install(const Clock* clock);
};

// A clock standing still on one day, for tests.
class FixedClock : public Clock {
public:
    explicit FixedClock(QDate day) : m_day(day) { install(this); }
    ~FixedClock() override { install(nullptr); }
    QDate today() const override { return m_day; }

private:
    QDate m_day;
};

}  // namespace widgets
