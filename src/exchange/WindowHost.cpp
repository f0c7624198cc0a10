#include "WindowHost.h"

#include <QCoreApplication>

#include "Clock.h"

QDate WindowHost::today() const {
    return widgets::Clock::instance().today();
}

void WindowHost::keepResponsive() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
