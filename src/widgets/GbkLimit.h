#pragma once

#include <QValidator>

class QComboBox;
class QLineEdit;

namespace widgets {

// The length of text in GBK bytes (a Chinese character takes two), or -1 when GBK cannot hold
// some character of it.
int gbkByteLength(const QString& text);

// Holds an edit's text to at most maxBytes GBK bytes, the way an edit's maximum length holds
// it to a number of characters: a character typed beyond the limit is refused, and of a
// pasted text only the part that fits, cut at a whole character, goes in. Text that GBK
// cannot hold is refused whole. One validator serves one edit.
class GbkLengthValidator : public QValidator {
    Q_OBJECT

public:
    explicit GbkLengthValidator(int maxBytes, QObject* parent = nullptr);
    int maxBytes() const { return m_maxBytes; }
    State validate(QString& input, int& pos) const override;

private:
    int m_maxBytes;
    // The text last accepted: a change cut back to it is refused rather than rewritten, so
    // that the edit keeps its undo history.
    mutable QString m_accepted;
};

// Limits edit (or an editable combo box's edit) to maxBytes GBK bytes.
void limitGbkBytes(QLineEdit* edit, int maxBytes);
void limitGbkBytes(QComboBox* combo, int maxBytes);

}  // namespace widgets
