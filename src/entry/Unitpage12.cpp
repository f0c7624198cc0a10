#include "Unitpage12.h"

TFpage12* Fpage12 = nullptr;

TFpage12::TFpage12(QWidget* parent) : TFpage8(parent) {
    setObjectName(QStringLiteral("TFpage12"));
}
