#include "GlyphButton.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

QIcon glyph(GlyphButton::Kind kind) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    if (kind == GlyphButton::Kind::Yes) {
        QPainterPath check;
        check.moveTo(2, 8);
        check.lineTo(6, 13);
        check.lineTo(14, 3);
        painter.setPen(QPen(QColor(0, 128, 0), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(check);
    } else {
        QFont font = painter.font();
        font.setBold(true);
        font.setPixelSize(15);
        painter.setFont(font);
        painter.setPen(QColor(0, 0, 192));
        painter.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("?"));
    }
    return QIcon(pixmap);
}

}  // namespace

GlyphButton::GlyphButton(QWidget* parent) : QPushButton(parent) {
    // The glyph stands to the right of the caption.
    setLayoutDirection(Qt::RightToLeft);
    setIcon(glyph(m_kind));
}

void GlyphButton::setKind(Kind kind) {
    if (kind != m_kind) {
        m_kind = kind;
        setIcon(glyph(kind));
    }
}
