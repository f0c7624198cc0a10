#pragma once

#include "Unitpage8.h"

// The persons list opened from the second-level units: the completing persons of the current
// record, with the same layout, rules and person dialog as the section's own list.
class TFpage12 : public TFpage8 {
    Q_OBJECT

public:
    explicit TFpage12(widgets::MainWindowOperations& mainWindow, QWidget* parent = nullptr);
};

// The program's second persons list, created at start-up.
extern TFpage12* Fpage12;
