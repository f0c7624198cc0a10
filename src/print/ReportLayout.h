#pragma once

#include <QByteArray>
#include <QLineF>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

// The layout of one report page as read from its layout file (src/forms/reports/<unit>.xml,
// described in the README beside the files). Positions and sizes are millimetres; a band's
// elements are placed relative to the band's top-left corner inside the page margins.
namespace print {

// A failure of printing that the user sees: a layout file that cannot be read, a control the
// layout lacks, a printer that does not start. The message is Chinese and names what failed.
class PrintError : public std::runtime_error {
public:
    explicit PrintError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

enum class BandKind {
    Body,     // printed once, at the top of the first page (single pages hold everything here)
    Header,   // column header: at the top of every page of a list
    Detail,   // one row of the list's in-memory table
    Summary,  // once, after the body and the last row
    Footer,   // at the foot of every page
};

struct TextStyle {
    QString font;  // the form's font name: "宋体", "黑体", "楷体_GB2312"
    double sizePx = 12;
    bool bold = false;
    Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter;
    bool wrap = true;
    double padding = 1;  // mm left and right of the text inside its rectangle
};

struct OptionItem {
    QString code;
    QString caption;
};

enum class ElementKind {
    Text,        // static text
    Field,       // a field of the current record, printed as stored
    RowField,    // a field of the list's in-memory table (detail band)
    Label,       // a label whose caption the preparation sets, by name
    Check,       // a check label: "√" when marked
    Memo,        // a memo field of the record, wrapped from the top
    PageNumber,  // caption followed by the running page number of the report
    Options,     // a group of options: box with its check label, then the caption
    Line,
    Rect,
};

struct Element {
    ElementKind kind = ElementKind::Text;
    QRectF rect;  // mm within the band
    QLineF line;  // Line only
    double lineWidth = 0.2;
    QString name;   // control name (Label, Check, PageNumber, Memo, Options: none)
    QString field;  // Field, RowField, Memo, Options
    QString text;   // static text or the design caption
    // Field, RowField, Label, Memo: what the page calls the value ("对成果创造性贡献"), for
    // telling the user which value was cut.
    QString caption;
    TextStyle style;
    bool box = false;  // Check: draw a box around the mark
    // Options
    QString prefix;    // "QL_" or "QR_"
    QString codeList;  // the zdxx list the codes come from (zddm), for checks of the layout
    std::vector<OptionItem> options;
    int columns = 0;          // 0: options flow one after another, wrapping
    double optionGap = 3;     // mm between flowing options
    double lineHeight = 5.5;  // mm per line of options
    int sourceLine = 0;       // line of the layout file, for messages

    // Name of the check label of option i.
    QString checkName(const OptionItem& option) const {
        return prefix + field + u'_' + option.code;
    }
};

struct Band {
    BandKind kind = BandKind::Body;
    double height = 0;
    std::vector<Element> elements;
};

// The text of a shared layout piece by name (src/forms/reports/pieces/<name>.xml), or none when
// there is no such piece.
using PieceSource = std::function<std::optional<QByteArray>(const QString& name)>;
// The pieces compiled into the program.
std::optional<QByteArray> compiledPiece(const QString& name);

struct ReportLayout {
    QString unit;     // the layout file's name: "yyPrintUnit03"
    QString form;     // the report form it belongs to: "TyyPrint03"
    QString dataset;  // list pages: "ClientDataSet1" .. "ClientDataSet3"
    double pageWidth = 210;
    double pageHeight = 297;
    double margin = 10;
    std::vector<Band> bands;

    const Band* band(BandKind kind) const;
    // The elements of those kinds, band by band in layout order.
    std::vector<const Element*> elements(std::initializer_list<ElementKind> kinds) const;
    // The height the bands may fill on a page: page height less two margins.
    double printableHeight() const { return pageHeight - 2 * margin; }
    double printableWidth() const { return pageWidth - 2 * margin; }

    // Names of the report labels of the form in layout order: labels set by code, check labels
    // (those of option groups included) and the static page labels.
    QStringList labelNames() const;
    // Every control name of the form: the report labels, page-number controls and named memos.
    QStringList controlNames() const;
    // The record fields and in-memory table fields the layout binds.
    QStringList recordFields() const;
    QStringList rowFields() const;

    // Reads a layout file; source names it in messages, pieces supplies the pieces it includes.
    // Throws PrintError naming the file (the page's or the piece's) and line of anything it
    // cannot read.
    static ReportLayout parse(const QByteArray& xml, const QString& source,
                              const PieceSource& pieces = compiledPiece);
    // The compiled-in layout of a unit, or null when no layout file of that name exists.
    static std::shared_ptr<const ReportLayout> load(const QString& unit);
};

}  // namespace print
