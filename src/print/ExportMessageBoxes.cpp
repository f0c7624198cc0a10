#include "ExportMessageBoxes.h"

#include "Dialogs.h"

namespace print {

bool ExportMessageBoxes::confirm(const QString& title, const QString& text) {
    return widgets::Dialogs::instance().message(nullptr, widgets::Icon::None, title, text,
                                                widgets::Ok | widgets::Cancel,
                                                widgets::Ok) == widgets::Ok;
}

void ExportMessageBoxes::showError(const QString& title, const QString& text) {
    widgets::Dialogs::instance().message(nullptr, widgets::Icon::Critical, title, text, widgets::Ok,
                                         widgets::Ok);
}

void ExportMessageBoxes::showInformation(const QString& title, const QString& text) {
    widgets::Dialogs::instance().message(nullptr, widgets::Icon::Information, title, text,
                                         widgets::Ok, widgets::Ok);
}

}  // namespace print
