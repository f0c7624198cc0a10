#pragma once

#include <QString>

class QWidget;

// The program's shared message boxes. They stand over the main window, the parent of every
// other window.
namespace widgets {

// Message box with the product name as title, the exclamation icon and OK.
void ShowWarning(const QString& text);
// ShowWarning, then cancels the calling action (SilentAbort).
[[noreturn]] void ShowWarningAndAbort(const QString& text);
// The default error handler's box: the text under the application title, the error icon.
void showException(const QString& text);
// The program's main window, or null while there is none.
QWidget* mainWindow();

}  // namespace widgets
