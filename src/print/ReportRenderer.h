#pragma once

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QString>
#include <vector>

#include "ReportLayout.h"

class QPagedPaintDevice;

namespace print {

class ReportForm;

// The font of a style: the form's font names ("宋体", "黑体", "楷体_GB2312") mapped once to
// installed faces that hold every Chinese character and "√"; the size given in pixels at
// 96 dpi becomes points (12 px = 9 pt), so it prints at the same size on every device.
QFont reportFont(const QString& formFont, double sizePx, bool bold);

// Text that does not fit its place shrinks in half-pixel steps down to this size, 七号
// (5.25 pt), the smallest size of Chinese type that stays legible; text that still does not
// fit is cut after the last line that fits, which then ends in "…".
constexpr double kFloorSizePx = 7;

// Something the renderer had to do to a text so that it stays inside its place.
struct RenderNote {
    QString form;
    int page = 0;
    QString text;          // the text concerned
    QString caption;       // what the page calls a value (the element's caption); empty otherwise
    int row = -1;          // the list row (from 0) of a value in a detail band
    bool clipped = false;  // false: printed smaller than designed; true: cut
};

// Where the bands of a report land on its pages: the body once at the top of the first page,
// the column header at the top of every page, then the rows of the list's in-memory table as
// long as they fit above the footer, the summary once after the last row (on a new page when
// it does not fit), and the footer at the foot of every page.
struct PlacedBand {
    const Band* band = nullptr;
    double top = 0;  // mm below the top margin
    int row = -1;    // the table row of a detail band
};
using PagePlan = std::vector<PlacedBand>;
// Throws PrintError for a form without a layout.
std::vector<PagePlan> paginate(const ReportForm& form);
// The number of pages the form prints for its current data.
int pageCount(const ReportForm& form);

// One print job: pages of one or more forms, one after another, on a printer, a PDF writer or
// the printer of a print preview. Every page is A4 portrait; the forms' margins are their own.
class PrintJob {
public:
    // Begins painting; throws PrintError when the device does not start (no printer, a file
    // that cannot be written).
    explicit PrintJob(QPagedPaintDevice& device);
    ~PrintJob();
    PrintJob(const PrintJob&) = delete;
    PrintJob& operator=(const PrintJob&) = delete;

    // Adds pages first..last of the form (counted from 1; last 0 means to its last page).
    void add(const ReportForm& form, int first = 1, int last = 0);
    // Ends the job; the destructor ends it too.
    void finish();

    int pagesPrinted() const { return m_pages; }
    const std::vector<RenderNote>& notes() const { return m_notes; }

private:
    QPagedPaintDevice& m_device;
    QPainter m_painter;
    int m_pages = 0;
    std::vector<RenderNote> m_notes;
};

// Prints pages first..last of the form as one job. Without a range, a printer's own page
// range (chosen in its print dialog) limits the pages.
std::vector<RenderNote> render(const ReportForm& form, QPagedPaintDevice& device, int first = 1,
                               int last = 0);

// What printing the form as it is prepared does to its texts, page by page, without printing
// it: the same layout as on a printer (text is measured in the printers' resolution-independent
// metrics). Throws PrintError for a form without a layout.
std::vector<RenderNote> fitNotes(const ReportForm& form);

// One page (counted from 1) as a picture at the given resolution.
QImage renderPageImage(const ReportForm& form, int page, double dpi,
                       std::vector<RenderNote>* notes = nullptr);

}  // namespace print
