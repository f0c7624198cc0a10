#pragma once

#include "WordExport.h"

namespace print {

// The document export's questions and messages as the program's message boxes: the question
// with OK and Cancel and no icon, errors with the error icon, the rest with the information
// icon.
class ExportMessageBoxes final : public documents::ExportMessages {
public:
    bool confirm(const QString& title, const QString& text) override;
    void showError(const QString& title, const QString& text) override;
    void showInformation(const QString& title, const QString& text) override;
};

}  // namespace print
