#include "Unitpage12.h"

TFpage12* Fpage12 = nullptr;

TFpage12::TFpage12(widgets::MainWindowOperations& mainWindow, QWidget* parent)
    : TFpage8(mainWindow, parent) {
    setObjectName(QStringLiteral("TFpage12"));
}
