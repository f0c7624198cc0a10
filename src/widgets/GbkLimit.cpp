#include "GbkLimit.h"

#include <QComboBox>
#include <QLineEdit>
#include <algorithm>
#include <optional>
#include <string>

#include "GbkCodec.h"

namespace widgets {

namespace {

std::optional<std::string> toGbk(const QString& text) {
    return store::GbkCodec::encode(text.toStdString());
}

}  // namespace

int gbkByteLength(const QString& text) {
    const auto gbk = toGbk(text);
    return gbk ? static_cast<int>(gbk->size()) : -1;
}

GbkLengthValidator::GbkLengthValidator(int maxBytes, QObject* parent)
    : QValidator(parent), m_maxBytes(maxBytes) {}

QValidator::State GbkLengthValidator::validate(QString& input, int& pos) const {
    const auto whole = toGbk(input);
    if (!whole) {
        return Invalid;
    }
    if (whole->size() <= static_cast<size_t>(m_maxBytes)) {
        m_accepted = input;
        return Acceptable;
    }
    // What was just typed or pasted ends at the cursor: keep the text after the cursor and as
    // much of the text before it as fits, dropping the tail of the insertion.
    pos = std::clamp(pos, 0, static_cast<int>(input.size()));
    const QString after = input.mid(pos);
    const auto before = toGbk(input.left(pos));
    const int afterBytes = gbkByteLength(after);
    if (!before || afterBytes < 0 || afterBytes > m_maxBytes) {
        return Invalid;
    }
    const size_t kept =
        store::GbkCodec::fitPrefix(*before, static_cast<size_t>(m_maxBytes - afterBytes));
    const QString keptBefore =
        QString::fromStdString(store::GbkCodec::decode(before->substr(0, kept)));
    const QString cut = keptBefore + after;
    if (cut == m_accepted) {
        return Invalid;
    }
    input = cut;
    pos = static_cast<int>(keptBefore.size());
    m_accepted = input;
    return Acceptable;
}

void limitGbkBytes(QLineEdit* edit, int maxBytes) {
    edit->setValidator(new GbkLengthValidator(maxBytes, edit));
}

void limitGbkBytes(QComboBox* combo, int maxBytes) {
    combo->setValidator(new GbkLengthValidator(maxBytes, combo));
}

}  // namespace widgets
