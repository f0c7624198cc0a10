#pragma once

#include <QPushButton>

// A button with a state glyph on its right: a check mark for "yes" (complete) or a question
// mark for "help" (incomplete). The section buttons of the main window are glyph buttons.
class GlyphButton : public QPushButton {
    Q_OBJECT

public:
    enum class Kind { Yes, Help };

    explicit GlyphButton(QWidget* parent = nullptr);

    Kind kind() const { return m_kind; }
    void setKind(Kind kind);

private:
    Kind m_kind = Kind::Yes;
};
