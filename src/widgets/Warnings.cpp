#include "Warnings.h"

#include <QApplication>
#include <QMainWindow>

#include "Dialogs.h"
#include "Product.h"
#include "SilentAbort.h"

namespace widgets {

QWidget* mainWindow() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMainWindow*>(window) != nullptr) {
            return window;
        }
    }
    return nullptr;
}

void ShowWarning(const QString& text) {
    Dialogs::instance().message(mainWindow(), Icon::Warning, product::name(), text, Ok, Ok);
}

void ShowWarningAndAbort(const QString& text) {
    ShowWarning(text);
    throw SilentAbort();
}

void showException(const QString& text) {
    Dialogs::instance().message(QApplication::activeWindow(), Icon::Critical,
                                product::applicationTitle(), text, Ok, Ok);
}

}  // namespace widgets
