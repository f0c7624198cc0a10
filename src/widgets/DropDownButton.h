#pragma once

#include <QComboBox>

// A combo box whose drop-down opens a window of the caller's instead of a list: the
// classification drop-downs beside an edit open the tree picker.
class DropDownButton : public QComboBox {
    Q_OBJECT

public:
    using QComboBox::QComboBox;

    void showPopup() override { emit dropDown(); }

signals:
    void dropDown();
};
