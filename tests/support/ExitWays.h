#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QTest>
#include <string>

namespace testsupport {

// The ways a user leaves a dialog or page: its exit button, Esc, the window manager's close.
enum class Way { Button, Escape, WindowClose };

inline std::string wayName(Way way) {
    switch (way) {
        case Way::Button:
            return "button";
        case Way::Escape:
            return "escape";
        case Way::WindowClose:
            return "window_close";
    }
    return {};
}

inline void leave(QWidget& window, QAbstractButton& exitButton, Way way) {
    switch (way) {
        case Way::Button:
            exitButton.click();
            break;
        case Way::Escape:
            QTest::keyClick(&window, Qt::Key_Escape);
            break;
        case Way::WindowClose: {
            QCloseEvent event;
            QApplication::sendEvent(&window, &event);
            break;
        }
    }
}

}  // namespace testsupport
