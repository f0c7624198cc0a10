#include "ReportRenderer.h"

#include <QBuffer>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPdfWriter>
#include <QPrinter>
#include <QTextLayout>
#include <map>

#include "MemoryTable.h"
#include "ReportForm.h"

namespace print {

namespace {

constexpr double kMmPerInch = 25.4;
constexpr double kFormDpi = 96;
constexpr double kVerticalPadding = 0.3;  // mm above and below text in its place
constexpr double kEpsilon = 0.001;
constexpr double kLineSpacing = 1.15;  // line height over the font's height

// The installed faces that stand in for the form's fonts, best first.
const std::map<QString, QStringList>& faceCandidates() {
    static const std::map<QString, QStringList> candidates = {
        {QStringLiteral("宋体"),
         {QStringLiteral("AR PL UMing CN"), QStringLiteral("AR PL SungtiL GB"),
          QStringLiteral("Noto Serif CJK SC"), QStringLiteral("WenQuanYi Micro Hei")}},
        {QStringLiteral("黑体"),
         {QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("WenQuanYi Micro Hei"),
          QStringLiteral("Noto Sans CJK SC")}},
        {QStringLiteral("楷体_GB2312"),
         {QStringLiteral("AR PL UKai CN"), QStringLiteral("AR PL KaitiM GB"),
          QStringLiteral("AR PL UMing CN")}},
    };
    return candidates;
}

const QString& installedFace(const QString& formFont) {
    static std::map<QString, QString> chosen;
    auto it = chosen.find(formFont);
    if (it != chosen.end()) {
        return it->second;
    }
    QString face = formFont;
    const auto candidates = faceCandidates().find(formFont);
    if (candidates != faceCandidates().end()) {
        const QStringList families = QFontDatabase::families();
        for (const QString& candidate : candidates->second) {
            if (families.contains(candidate)) {
                face = candidate;
                break;
            }
        }
    }
    return chosen.emplace(formFont, face).first->second;
}

double pxToMm(double px) {
    return px * kMmPerInch / kFormDpi;
}

// Lines of a text laid out in a width, with the font they were laid out in.
struct TextLines {
    QFont font;
    std::vector<QString> lines;
    std::vector<double> heights;
    double height = 0;
    bool fits = false;
};

// Paints one page of a form in device units; positions in the layout are millimetres.
class PagePainter {
public:
    PagePainter(QPainter& painter, const ReportForm& form, int pageNumber,
                std::vector<RenderNote>* notes)
        : m_painter(painter), m_form(form), m_page(pageNumber), m_notes(notes) {
        const QPaintDevice* device = painter.device();
        m_scale = device->logicalDpiX() / kMmPerInch;
        m_margin = form.layout()->margin;
    }

    void paint(const PagePlan& plan) {
        for (const PlacedBand& placed : plan) {
            for (const Element& e : placed.band->elements) {
                paintElement(e, placed);
            }
        }
    }

private:
    double dev(double mm) const { return mm * m_scale; }
    QPointF dev(QPointF mm, double top) const {
        return {dev(m_margin + mm.x()), dev(m_margin + top + mm.y())};
    }
    QRectF dev(const QRectF& mm, double top) const {
        return {dev(mm.topLeft(), top), QSizeF(dev(mm.width()), dev(mm.height()))};
    }

    void paintElement(const Element& e, const PlacedBand& placed) {
        switch (e.kind) {
            case ElementKind::Line: {
                m_painter.setPen(pen(e.lineWidth));
                m_painter.drawLine(
                    QLineF(dev(e.line.p1(), placed.top), dev(e.line.p2(), placed.top)));
                return;
            }
            case ElementKind::Rect:
                m_painter.setPen(pen(e.lineWidth));
                m_painter.setBrush(Qt::NoBrush);
                m_painter.drawRect(dev(e.rect, placed.top));
                return;
            case ElementKind::Text:
                paintText(e, e.text, placed);
                return;
            case ElementKind::Field:
            case ElementKind::Memo:
                paintText(e, m_form.recordValue(e.field), placed);
                return;
            case ElementKind::RowField: {
                const MemoryTable* table = m_form.dataset();
                const int column = table != nullptr ? table->fieldIndex(e.field) : -1;
                if (placed.row >= 0 && column >= 0) {
                    paintText(e, table->value(placed.row, column), placed);
                }
                return;
            }
            case ElementKind::Label:
                if (m_form.isEnabled(e.name)) {
                    paintText(e, m_form.caption(e.name), placed);
                }
                return;
            case ElementKind::PageNumber:
                if (m_form.isEnabled(e.name)) {
                    paintText(e, m_form.caption(e.name) + QString::number(m_page), placed);
                }
                return;
            case ElementKind::Check:
                if (e.box) {
                    paintBox(boxIn(dev(e.rect, placed.top)));
                }
                if (m_form.isEnabled(e.name)) {
                    paintText(e, m_form.caption(e.name), placed);
                }
                return;
            case ElementKind::Options:
                paintOptions(e, placed.top);
                return;
        }
    }

    QPen pen(double widthMm) const {
        QPen pen(Qt::black, dev(widthMm));
        pen.setCapStyle(Qt::SquareCap);
        return pen;
    }

    // The largest square centred in rect, a little inside it.
    static QRectF boxIn(const QRectF& rect) {
        const double side = std::min(rect.width(), rect.height()) * 0.8;
        return QRectF(rect.center() - QPointF(side / 2, side / 2), QSizeF(side, side));
    }

    void paintBox(const QRectF& box) {
        m_painter.setPen(pen(0.15));
        m_painter.setBrush(Qt::NoBrush);
        m_painter.drawRect(box);
    }

    TextLines layoutText(const QString& text, const TextStyle& style, double sizePx, double width,
                         double height) const {
        TextLines result;
        result.font = reportFont(style.font, sizePx, style.bold);
        QString prepared = text;
        prepared.replace(u'\n', QChar::LineSeparator);
        QTextLayout layout(prepared, result.font, m_painter.device());
        QTextOption option;
        option.setWrapMode(style.wrap ? QTextOption::WrapAtWordBoundaryOrAnywhere
                                      : QTextOption::NoWrap);
        layout.setTextOption(option);
        layout.beginLayout();
        bool wide = false;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            wide = wide || line.naturalTextWidth() > width + kEpsilon;
            result.lines.push_back(
                prepared.mid(line.textStart(), line.textLength()).remove(QChar::LineSeparator));
            result.heights.push_back(line.height() * kLineSpacing);
            result.height += result.heights.back();
        }
        layout.endLayout();
        result.fits = !wide && result.height <= height + kEpsilon;
        return result;
    }

    void paintText(const Element& e, const QString& text, const PlacedBand& placed) {
        if (text.isEmpty()) {
            return;
        }
        const QRectF outer = dev(e.rect, placed.top);
        const QRectF inner = outer.adjusted(dev(e.style.padding), dev(kVerticalPadding),
                                            -dev(e.style.padding), -dev(kVerticalPadding));
        double size = e.style.sizePx;
        TextLines lines = layoutText(text, e.style, size, inner.width(), inner.height());
        while (!lines.fits && size - 0.5 >= std::min(kFloorSizePx, e.style.sizePx) - kEpsilon) {
            size -= 0.5;
            lines = layoutText(text, e.style, size, inner.width(), inner.height());
        }
        bool clipped = false;
        if (!lines.fits) {
            clipped = clipLines(lines, inner.width(), inner.height());
        }
        if (size < e.style.sizePx || clipped) {
            note({m_form.name(), m_page, text, e.caption, placed.row, clipped});
        }
        drawLines(lines, inner, e.style.align);
    }

    // Keeps the lines that fit the height; the last kept line ends in "…" to show the cut.
    bool clipLines(TextLines& lines, double width, double height) const {
        const QFontMetricsF metrics(lines.font, m_painter.device());
        size_t kept = 0;
        double used = 0;
        while (kept < lines.lines.size() && used + lines.heights[kept] <= height + kEpsilon) {
            used += lines.heights[kept];
            ++kept;
        }
        kept = std::max<size_t>(kept, 1);
        QString rest;
        for (size_t i = kept - 1; i < lines.lines.size(); ++i) {
            rest += lines.lines[i];
        }
        QString last = metrics.elidedText(rest, Qt::ElideRight, width);
        if (last == rest) {  // a single line wider than its place: cut it all the same
            last = metrics.elidedText(rest + QStringLiteral("…"), Qt::ElideRight, width);
        }
        lines.lines.resize(kept);
        lines.heights.resize(kept);
        lines.lines.back() = last;
        lines.height = used > 0 ? used : lines.heights.front();
        return true;
    }

    void drawLines(const TextLines& lines, const QRectF& inner, Qt::Alignment align) {
        double y = inner.top();
        if (align & Qt::AlignVCenter) {
            y += (inner.height() - lines.height) / 2;
        } else if (align & Qt::AlignBottom) {
            y += inner.height() - lines.height;
        }
        m_painter.setFont(lines.font);
        m_painter.setPen(Qt::black);
        const Qt::Alignment horizontal = align & Qt::AlignHorizontal_Mask;
        for (size_t i = 0; i < lines.lines.size(); ++i) {
            const QRectF lineRect(inner.left(), y, inner.width(), lines.heights[i]);
            m_painter.drawText(lineRect,
                               static_cast<int>(horizontal | Qt::AlignVCenter | Qt::TextSingleLine),
                               lines.lines[i]);
            y += lines.heights[i];
        }
    }

    struct OptionPlace {
        QRectF box;
        QPointF caption;  // top-left of the caption, mm relative to the group
        double captionWidth = 0;
    };

    // Places the options at a size; false when they do not fit the group's rectangle.
    bool placeOptions(const Element& e, double sizePx, std::vector<OptionPlace>& places,
                      double& usedHeight) const {
        const QFont font = reportFont(e.style.font, sizePx, e.style.bold);
        const QFontMetricsF metrics(font, m_painter.device());
        const double width = e.rect.width() - 2 * e.style.padding;
        const double lineHeight = std::min(e.lineHeight, e.rect.height());
        const double boxSide = std::min(pxToMm(sizePx), lineHeight - 0.6);
        const double boxGap = 0.8;
        places.clear();
        double x = 0;
        int line = 0;
        bool fits = true;
        for (size_t i = 0; i < e.options.size(); ++i) {
            const double captionWidth = metrics.horizontalAdvance(e.options[i].caption) / m_scale;
            const double itemWidth = boxSide + boxGap + captionWidth;
            if (e.columns > 0) {
                const double column = width / e.columns;
                x = column * static_cast<double>(i % e.columns);
                line = static_cast<int>(i) / e.columns;
                fits = fits && itemWidth <= column + kEpsilon;
            } else {
                if (i > 0 && x + itemWidth > width + kEpsilon) {
                    x = 0;
                    ++line;
                }
                fits = fits && itemWidth <= width + kEpsilon;
            }
            const double top = line * lineHeight;
            OptionPlace place;
            place.box = QRectF(x, top + (lineHeight - boxSide) / 2, boxSide, boxSide);
            place.caption = QPointF(x + boxSide + boxGap, top);
            place.captionWidth = captionWidth;
            places.push_back(place);
            if (e.columns == 0) {
                x += itemWidth + e.optionGap;
            }
        }
        usedHeight = (line + 1) * lineHeight;
        return fits && usedHeight <= e.rect.height() + kEpsilon;
    }

    void paintOptions(const Element& e, double top) {
        double size = e.style.sizePx;
        std::vector<OptionPlace> places;
        double used = 0;
        bool fits = placeOptions(e, size, places, used);
        while (!fits && size - 0.5 >= std::min(kFloorSizePx, e.style.sizePx) - kEpsilon) {
            size -= 0.5;
            fits = placeOptions(e, size, places, used);
        }
        if (!fits || size < e.style.sizePx) {
            QStringList captions;
            for (const OptionItem& option : e.options) {
                captions << option.caption;
            }
            note({m_form.name(), m_page, captions.join(u' '), {}, -1, !fits});
        }
        const QFont font = reportFont(e.style.font, size, e.style.bold);
        const double lineHeight = std::min(e.lineHeight, e.rect.height());
        const QPointF origin(e.rect.left() + e.style.padding,
                             e.rect.top() + std::max(0.0, (e.rect.height() - used) / 2));
        // Options beyond the group's rectangle are not painted over what lies below it.
        const double limit = e.rect.bottom() + kEpsilon;
        for (size_t i = 0; i < places.size(); ++i) {
            const OptionPlace& place = places[i];
            if (origin.y() + place.box.bottom() > limit) {
                break;
            }
            const QRectF box = dev(place.box.translated(origin), top);
            paintBox(box);
            const QString mark = m_form.caption(e.checkName(e.options[i]));
            m_painter.setPen(Qt::black);
            if (!mark.isEmpty()) {
                m_painter.setFont(reportFont(e.style.font, size * 0.9, false));
                m_painter.drawText(box, Qt::AlignCenter, mark);
            }
            m_painter.setFont(font);
            const QRectF caption(dev(place.caption + origin, top),
                                 QSizeF(dev(place.captionWidth) + 1, dev(lineHeight)));
            m_painter.drawText(caption, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                               e.options[i].caption);
        }
    }

    void note(RenderNote note) {
        if (m_notes != nullptr) {
            m_notes->push_back(std::move(note));
        }
    }

    QPainter& m_painter;
    const ReportForm& m_form;
    int m_page;
    std::vector<RenderNote>* m_notes;
    double m_scale = 1;
    double m_margin = 10;
};

const ReportLayout& requireLayout(const ReportForm& form) {
    if (!form.hasLayout()) {
        throw PrintError(QStringLiteral("报表 %1 的版面文件 %2.xml 尚未提供")
                             .arg(form.name(), form.info().unit));
    }
    return *form.layout();
}

}  // namespace

QFont reportFont(const QString& formFont, double sizePx, bool bold) {
    QFont font(installedFace(formFont));
    font.setPointSizeF(sizePx * 72 / kFormDpi);
    font.setBold(bold);
    return font;
}

std::vector<PagePlan> paginate(const ReportForm& form) {
    const ReportLayout& layout = requireLayout(form);
    const Band* header = layout.band(BandKind::Header);
    const Band* body = layout.band(BandKind::Body);
    const Band* detail = layout.band(BandKind::Detail);
    const Band* summary = layout.band(BandKind::Summary);
    const Band* footer = layout.band(BandKind::Footer);
    const double bottom = layout.printableHeight() - (footer != nullptr ? footer->height : 0);

    std::vector<PagePlan> pages;
    PagePlan page;
    double y = 0;
    auto startPage = [&] {
        page.clear();
        y = 0;
        if (header != nullptr) {
            page.push_back({header, 0});
            y = header->height;
        }
    };
    auto endPage = [&] {
        if (footer != nullptr) {
            page.push_back({footer, bottom});
        }
        pages.push_back(page);
    };
    auto place = [&](const Band* band, int row) {
        if (y + band->height > bottom + kEpsilon && y > (header != nullptr ? header->height : 0)) {
            endPage();
            startPage();
        }
        page.push_back({band, y, row});
        y += band->height;
    };

    startPage();
    if (body != nullptr) {
        place(body, -1);
    }
    const MemoryTable* table = form.dataset();
    if (detail != nullptr && table != nullptr) {
        for (int row = 0; row < table->rowCount(); ++row) {
            place(detail, row);
        }
    }
    if (summary != nullptr) {
        place(summary, -1);
    }
    endPage();
    return pages;
}

int pageCount(const ReportForm& form) {
    return static_cast<int>(paginate(form).size());
}

PrintJob::PrintJob(QPagedPaintDevice& device) : m_device(device) {
    // The painter's origin is the corner of the paper: the layouts keep their own margins.
    QPageLayout a4(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0),
                   QPageLayout::Millimeter);
    a4.setMode(QPageLayout::FullPageMode);
    m_device.setPageLayout(a4);
    if (!m_painter.begin(&m_device)) {
        throw PrintError(QStringLiteral("无法开始打印：打印机不可用，或输出文件不能写入。"));
    }
}

PrintJob::~PrintJob() {
    finish();
}

void PrintJob::add(const ReportForm& form, int first, int last) {
    const std::vector<PagePlan> pages = paginate(form);
    const int count = static_cast<int>(pages.size());
    if (last <= 0 || last > count) {
        last = count;
    }
    for (int page = std::max(first, 1); page <= last; ++page) {
        if (m_pages > 0) {
            m_device.newPage();
        }
        PagePainter(m_painter, form, page, &m_notes).paint(pages[page - 1]);
        ++m_pages;
    }
}

void PrintJob::finish() {
    if (m_painter.isActive()) {
        m_painter.end();
    }
}

std::vector<RenderNote> render(const ReportForm& form, QPagedPaintDevice& device, int first,
                               int last) {
    const auto* printer = dynamic_cast<const QPrinter*>(&device);
    if (printer != nullptr && first == 1 && last == 0 && printer->fromPage() > 0) {
        first = printer->fromPage();
        last = printer->toPage();
    }
    PrintJob job(device);
    job.add(form, first, last);
    job.finish();
    return job.notes();
}

std::vector<RenderNote> fitNotes(const ReportForm& form) {
    requireLayout(form);
    QBuffer discarded;
    discarded.open(QIODevice::WriteOnly);
    QPdfWriter writer(&discarded);
    return render(form, writer);
}

QImage renderPageImage(const ReportForm& form, int page, double dpi,
                       std::vector<RenderNote>* notes) {
    const ReportLayout& layout = requireLayout(form);
    const std::vector<PagePlan> pages = paginate(form);
    if (page < 1 || page > static_cast<int>(pages.size())) {
        throw PrintError(QStringLiteral("报表 %1 没有第 %2 页").arg(form.name()).arg(page));
    }
    const double scale = dpi / kMmPerInch;
    QImage image(qRound(layout.pageWidth * scale), qRound(layout.pageHeight * scale),
                 QImage::Format_RGB32);
    const int dotsPerMeter = qRound(dpi / kMmPerInch * 1000);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    PagePainter(painter, form, page, notes).paint(pages[page - 1]);
    return image;
}

}  // namespace print
