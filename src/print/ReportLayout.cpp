#include "ReportLayout.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QXmlStreamReader>
#include <algorithm>
#include <functional>
#include <map>
#include <optional>

namespace print {

namespace {

// The layout file as a tree: elements with their attributes, children and text.
struct Node {
    QString name;  // empty for a run of text
    QHash<QString, QString> attributes;
    std::vector<Node> children;
    QString text;
    int line = 0;
};

Node readTree(const QByteArray& xml, const QString& source) {
    QXmlStreamReader reader(xml);
    Node root;
    std::vector<Node*> open;
    while (!reader.atEnd()) {
        reader.readNext();
        const int line = static_cast<int>(reader.lineNumber());
        if (reader.isStartElement()) {
            Node node;
            node.name = reader.name().toString();
            node.line = line;
            for (const QXmlStreamAttribute& attribute : reader.attributes()) {
                node.attributes.insert(attribute.name().toString(), attribute.value().toString());
            }
            if (open.empty()) {
                root = std::move(node);
                open.push_back(&root);
            } else {
                open.back()->children.push_back(std::move(node));
                open.push_back(&open.back()->children.back());
            }
        } else if (reader.isEndElement()) {
            open.pop_back();
        } else if (reader.isCharacters() && !open.empty()) {
            Node text;
            text.text = reader.text().toString();
            text.line = line;
            open.back()->children.push_back(std::move(text));
        }
    }
    if (reader.hasError()) {
        throw PrintError(QStringLiteral("版面文件 %1 第 %2 行无法读取：%3")
                             .arg(source)
                             .arg(reader.lineNumber())
                             .arg(reader.errorString()));
    }
    return root;
}

// Text content: each source line trimmed and joined without a separator (Chinese text has no
// blanks between words); <br/> breaks the line.
QString contentText(const Node& node, const std::function<void(const Node&)>& otherChild = {}) {
    QString text;
    for (const Node& child : node.children) {
        if (child.name.isEmpty()) {
            const QStringList lines = child.text.split(u'\n');
            for (const QString& line : lines) {
                text += line.trimmed();
            }
        } else if (child.name == u"br") {
            text += u'\n';
        } else if (otherChild) {
            otherChild(child);
        }
    }
    return text;
}

class Parser {
public:
    Parser(QString source, const PieceSource& pieces)
        : m_source(std::move(source)), m_pieces(pieces) {}

    ReportLayout parse(const Node& root) {
        if (root.name != u"report") {
            fail(root, QStringLiteral("根元素应为 report"));
        }
        allow(root, {"form", "dataset", "font", "size", "bold", "align", "valign", "wrap", "pad"});
        ReportLayout layout;
        layout.form = required(root, "form");
        layout.dataset = root.attributes.value(QStringLiteral("dataset"));
        const TextStyle base = style(root, TextStyle{QStringLiteral("宋体")});
        std::map<BandKind, int> seen;
        for (const Node& child : root.children) {
            if (child.name.isEmpty()) {
                requireBlank(child);
                continue;
            }
            if (child.name != u"band") {
                fail(child, QStringLiteral("report 中只能有 band"));
            }
            allow(child,
                  {"kind", "height", "font", "size", "bold", "align", "valign", "wrap", "pad"});
            Band band;
            band.kind = bandKind(child);
            if (seen[band.kind]++ > 0) {
                fail(child, QStringLiteral("同类的 band 只能有一个"));
            }
            band.height = number(child, "height");
            const QRectF area(0, 0, layout.printableWidth(), band.height);
            place(child, area, style(child, base), band.elements);
            layout.bands.push_back(std::move(band));
        }
        if (layout.band(BandKind::Detail) != nullptr && layout.dataset.isEmpty()) {
            fail(root, QStringLiteral("有 detail 的版面须以 dataset 指明内存表"));
        }
        checkUniqueNames(layout);
        return layout;
    }

private:
    [[noreturn]] void fail(const Node& node, const QString& why) const {
        throw PrintError(
            QStringLiteral("版面文件 %1 第 %2 行：%3").arg(m_source).arg(node.line).arg(why));
    }

    void requireBlank(const Node& text) const {
        if (!text.text.trimmed().isEmpty()) {
            fail(text, QStringLiteral("此处不能有文字“%1”").arg(text.text.trimmed()));
        }
    }

    void allow(const Node& node, std::initializer_list<const char*> names) const {
        allowNames(node, std::vector<const char*>(names));
    }

    void allowNames(const Node& node, const std::vector<const char*>& names) const {
        for (auto it = node.attributes.cbegin(); it != node.attributes.cend(); ++it) {
            const bool known = std::any_of(names.begin(), names.end(), [&it](const char* name) {
                return it.key() == QLatin1String(name);
            });
            if (!known) {
                fail(node, QStringLiteral("%1 没有属性 %2").arg(node.name, it.key()));
            }
        }
    }

    QString required(const Node& node, const char* name) const {
        const QString value = node.attributes.value(QLatin1String(name));
        if (value.isEmpty()) {
            fail(node, QStringLiteral("%1 缺少属性 %2").arg(node.name, QLatin1String(name)));
        }
        return value;
    }

    double number(const Node& node, const char* name, std::optional<double> fallback = {}) const {
        const auto it = node.attributes.constFind(QLatin1String(name));
        if (it == node.attributes.cend()) {
            if (!fallback) {
                fail(node, QStringLiteral("%1 缺少属性 %2").arg(node.name, QLatin1String(name)));
            }
            return *fallback;
        }
        bool ok = false;
        const double value = it->toDouble(&ok);
        if (!ok) {
            fail(node, QStringLiteral("属性 %1 不是数：%2").arg(QLatin1String(name), *it));
        }
        return value;
    }

    bool flag(const Node& node, const char* name, bool fallback) const {
        const auto it = node.attributes.constFind(QLatin1String(name));
        if (it == node.attributes.cend()) {
            return fallback;
        }
        if (*it != u"0" && *it != u"1") {
            fail(node, QStringLiteral("属性 %1 应为 0 或 1").arg(QLatin1String(name)));
        }
        return *it == u"1";
    }

    BandKind bandKind(const Node& node) const {
        static const std::map<QString, BandKind> kinds = {
            {QStringLiteral("body"), BandKind::Body},
            {QStringLiteral("header"), BandKind::Header},
            {QStringLiteral("detail"), BandKind::Detail},
            {QStringLiteral("summary"), BandKind::Summary},
            {QStringLiteral("footer"), BandKind::Footer}};
        const auto it = kinds.find(required(node, "kind"));
        if (it == kinds.end()) {
            fail(node, QStringLiteral("band 的 kind 应为 body、header、detail、summary 或 footer"));
        }
        return it->second;
    }

    // The style of node: the inherited one with the node's own style attributes.
    TextStyle style(const Node& node, TextStyle inherited) const {
        const auto& a = node.attributes;
        if (a.contains(QStringLiteral("font"))) {
            inherited.font = a.value(QStringLiteral("font"));
        }
        inherited.sizePx = number(node, "size", inherited.sizePx);
        inherited.bold = flag(node, "bold", inherited.bold);
        inherited.wrap = flag(node, "wrap", inherited.wrap);
        inherited.padding = number(node, "pad", inherited.padding);
        if (a.contains(QStringLiteral("align"))) {
            static const std::map<QString, Qt::Alignment> horizontal = {
                {QStringLiteral("left"), Qt::AlignLeft},
                {QStringLiteral("center"), Qt::AlignHCenter},
                {QStringLiteral("right"), Qt::AlignRight}};
            const auto it = horizontal.find(a.value(QStringLiteral("align")));
            if (it == horizontal.end()) {
                fail(node, QStringLiteral("align 应为 left、center 或 right"));
            }
            inherited.align = (inherited.align & Qt::AlignVertical_Mask) | it->second;
        }
        if (a.contains(QStringLiteral("valign"))) {
            static const std::map<QString, Qt::Alignment> vertical = {
                {QStringLiteral("top"), Qt::AlignTop},
                {QStringLiteral("middle"), Qt::AlignVCenter},
                {QStringLiteral("bottom"), Qt::AlignBottom}};
            const auto it = vertical.find(a.value(QStringLiteral("valign")));
            if (it == vertical.end()) {
                fail(node, QStringLiteral("valign 应为 top、middle 或 bottom"));
            }
            inherited.align = (inherited.align & Qt::AlignHorizontal_Mask) | it->second;
        }
        return inherited;
    }

    // The rectangle of node within its container: x, y from the container's corner, w and h
    // filling the rest of the container unless given.
    QRectF area(const Node& node, const QRectF& container) const {
        const double x = number(node, "x", 0);
        const double y = number(node, "y", 0);
        const double w = number(node, "w", container.width() - x);
        const double h = number(node, "h", container.height() - y);
        return QRectF(container.x() + x, container.y() + y, w, h);
    }

    void place(const Node& parent, const QRectF& container, const TextStyle& inherited,
               std::vector<Element>& out) {
        for (const Node& node : parent.children) {
            if (node.name.isEmpty()) {
                requireBlank(node);
            } else {
                placeElement(node, container, inherited, out);
            }
        }
    }

    static constexpr std::initializer_list<const char*> kBoxAttributes = {
        "x", "y", "w", "h", "font", "size", "bold", "align", "valign", "wrap", "pad"};

    void allowBox(const Node& node, std::initializer_list<const char*> more) const {
        std::vector<const char*> names(kBoxAttributes);
        names.insert(names.end(), more);
        allowNames(node, names);
    }

    void noChildren(const Node& node) const {
        for (const Node& child : node.children) {
            if (!child.name.isEmpty()) {
                fail(child, QStringLiteral("%1 中不能有 %2").arg(node.name, child.name));
            }
        }
    }

    void placeElement(const Node& node, const QRectF& container, const TextStyle& inherited,
                      std::vector<Element>& out) {
        Element e;
        e.sourceLine = node.line;
        const QString& tag = node.name;
        if (tag == u"group") {
            allowBox(node, {});
            place(node, area(node, container), style(node, inherited), out);
            return;
        }
        if (tag == u"grid") {
            placeGrid(node, container, inherited, out);
            return;
        }
        if (tag == u"include") {
            allowBox(node, {"piece"});
            noChildren(node);
            placePiece(node, required(node, "piece"), area(node, container), style(node, inherited),
                       out);
            return;
        }
        if (tag == u"line") {
            allow(node, {"x1", "y1", "x2", "y2", "width"});
            e.kind = ElementKind::Line;
            const QPointF origin = container.topLeft();
            e.line = QLineF(origin + QPointF(number(node, "x1"), number(node, "y1")),
                            origin + QPointF(number(node, "x2"), number(node, "y2")));
            e.lineWidth = number(node, "width", e.lineWidth);
            out.push_back(std::move(e));
            return;
        }
        if (tag == u"rect") {
            allow(node, {"x", "y", "w", "h", "width"});
            e.kind = ElementKind::Rect;
            e.rect = area(node, container);
            e.lineWidth = number(node, "width", e.lineWidth);
            out.push_back(std::move(e));
            return;
        }
        static const std::map<QString, ElementKind> kinds = {
            {QStringLiteral("text"), ElementKind::Text},
            {QStringLiteral("field"), ElementKind::Field},
            {QStringLiteral("rowfield"), ElementKind::RowField},
            {QStringLiteral("label"), ElementKind::Label},
            {QStringLiteral("check"), ElementKind::Check},
            {QStringLiteral("memo"), ElementKind::Memo},
            {QStringLiteral("pagenumber"), ElementKind::PageNumber},
            {QStringLiteral("options"), ElementKind::Options}};
        const auto kind = kinds.find(tag);
        if (kind == kinds.end()) {
            fail(node, QStringLiteral("未知的元素 %1").arg(tag));
        }
        e.kind = kind->second;
        e.rect = area(node, container);
        e.style = style(node, inherited);
        switch (e.kind) {
            case ElementKind::Text:
                allowBox(node, {});
                e.text = contentText(node, [this](const Node& child) {
                    fail(child, QStringLiteral("text 中只能有文字和 br"));
                });
                break;
            case ElementKind::Field:
            case ElementKind::RowField:
                allowBox(node, {"name", "caption"});
                noChildren(node);
                e.field = required(node, "name");
                e.caption = node.attributes.value(QStringLiteral("caption"));
                break;
            case ElementKind::Memo:
                allowBox(node, {"field", "name", "caption"});
                noChildren(node);
                e.field = required(node, "field");
                e.name = node.attributes.value(QStringLiteral("name"));
                e.caption = node.attributes.value(QStringLiteral("caption"));
                if (!node.attributes.contains(QStringLiteral("valign"))) {
                    e.style.align = (e.style.align & Qt::AlignHorizontal_Mask) | Qt::AlignTop;
                }
                break;
            case ElementKind::Label:
            case ElementKind::PageNumber:
                if (e.kind == ElementKind::Label) {
                    allowBox(node, {"name", "caption"});
                } else {
                    allowBox(node, {"name"});
                }
                e.name = required(node, "name");
                e.caption = node.attributes.value(QStringLiteral("caption"));
                e.text = contentText(
                    node, [this](const Node& child) { fail(child, QStringLiteral("只能有文字")); });
                break;
            case ElementKind::Check:
                allowBox(node, {"name", "box"});
                noChildren(node);
                e.name = required(node, "name");
                e.box = flag(node, "box", false);
                if (!node.attributes.contains(QStringLiteral("align"))) {
                    e.style.align = (e.style.align & Qt::AlignVertical_Mask) | Qt::AlignHCenter;
                }
                break;
            case ElementKind::Options:
                allowBox(node, {"field", "prefix", "list", "columns", "gap", "line"});
                e.field = required(node, "field");
                e.prefix = node.attributes.value(QStringLiteral("prefix"), QStringLiteral("QL_"));
                e.codeList = node.attributes.value(QStringLiteral("list"), e.field.toLower());
                e.columns = static_cast<int>(number(node, "columns", 0));
                e.optionGap = number(node, "gap", e.optionGap);
                e.lineHeight = number(node, "line", e.lineHeight);
                e.options = optionItems(node);
                break;
            default:
                break;
        }
        out.push_back(std::move(e));
    }

    // A shared piece placed like a group: its elements relative to the include's rectangle, in
    // the include's style. Messages about its contents name the piece's file.
    void placePiece(const Node& include, const QString& name, const QRectF& box,
                    const TextStyle& inherited, std::vector<Element>& out) {
        static const QRegularExpression validName(QStringLiteral("^[A-Za-z0-9_-]+$"));
        if (!validName.match(name).hasMatch()) {
            fail(include, QStringLiteral("片段名 %1 只能由字母、数字、_ 和 - 组成").arg(name));
        }
        if (m_openPieces.contains(name)) {
            fail(include, QStringLiteral("片段 %1 包含了它自己").arg(name));
        }
        const std::optional<QByteArray> xml = m_pieces ? m_pieces(name) : std::nullopt;
        if (!xml) {
            fail(include, QStringLiteral("没有片段 %1（pieces/%1.xml）").arg(name));
        }
        const QString pageSource = m_source;
        m_source = QStringLiteral("pieces/%1.xml").arg(name);
        const Node root = readTree(*xml, m_source);
        if (root.name != u"piece") {
            fail(root, QStringLiteral("片段的根元素应为 piece"));
        }
        allow(root, {"font", "size", "bold", "align", "valign", "wrap", "pad"});
        m_openPieces << name;
        place(root, box, style(root, inherited), out);
        m_openPieces.removeLast();
        m_source = pageSource;
    }

    // "code caption" items separated by ";" or line breaks.
    std::vector<OptionItem> optionItems(const Node& node) const {
        std::vector<OptionItem> items;
        QString all;
        for (const Node& child : node.children) {
            if (!child.name.isEmpty()) {
                fail(child, QStringLiteral("options 中只能有选项文字"));
            }
            all += child.text;
        }
        for (QString item : all.split(QRegularExpression(QStringLiteral("[;\n]")))) {
            item = item.trimmed();
            if (item.isEmpty()) {
                continue;
            }
            const qsizetype blank = item.indexOf(u' ');
            if (blank < 0) {
                fail(node, QStringLiteral("选项“%1”应写作：代码 空格 文字").arg(item));
            }
            items.push_back({item.left(blank), item.mid(blank + 1).trimmed()});
        }
        if (items.empty()) {
            fail(node, QStringLiteral("options 中没有选项"));
        }
        return items;
    }

    struct Cell {
        QRectF own;   // the cell's place in its row
        QRectF rect;  // with the joined cells below it
        bool joinUp = false;
        bool ruleLeft = true;
        const Node* node = nullptr;
        TextStyle style;
        Cell* owner = nullptr;  // the cell a joined cell continues
    };

    void placeGrid(const Node& node, const QRectF& container, const TextStyle& inherited,
                   std::vector<Element>& out) {
        allow(node, {"x", "y", "w", "line", "frame", "font", "size", "bold", "align", "valign",
                     "wrap", "pad"});
        const TextStyle gridStyle = style(node, inherited);
        const double x0 = container.x() + number(node, "x", 0);
        const double y0 = container.y() + number(node, "y", 0);
        const double width = number(node, "w", container.right() - x0);
        const double lineWidth = number(node, "line", 0.2);
        const double frameWidth = number(node, "frame", lineWidth);

        std::vector<std::vector<Cell>> rows;
        std::vector<bool> ruleAbove;
        double y = y0;
        for (const Node& rowNode : node.children) {
            if (rowNode.name.isEmpty()) {
                requireBlank(rowNode);
                continue;
            }
            if (rowNode.name != u"row") {
                fail(rowNode, QStringLiteral("grid 中只能有 row"));
            }
            allow(rowNode, {"h", "rule", "font", "size", "bold", "align", "valign", "wrap", "pad"});
            const double h = number(rowNode, "h");
            const TextStyle rowStyle = style(rowNode, gridStyle);
            std::vector<const Node*> cellNodes;
            double given = 0;
            int open = 0;
            for (const Node& cellNode : rowNode.children) {
                if (cellNode.name.isEmpty()) {
                    requireBlank(cellNode);
                    continue;
                }
                if (cellNode.name != u"cell") {
                    fail(cellNode, QStringLiteral("row 中只能有 cell"));
                }
                allow(cellNode, {"w", "join", "rule", "font", "size", "bold", "align", "valign",
                                 "wrap", "pad"});
                cellNodes.push_back(&cellNode);
                if (cellNode.attributes.contains(QStringLiteral("w"))) {
                    given += number(cellNode, "w");
                } else {
                    ++open;
                }
            }
            if (cellNodes.empty()) {
                fail(rowNode, QStringLiteral("row 中没有 cell"));
            }
            const double rest = width - given;
            if (rest < -0.01 || (open == 0 && rest > 0.01)) {
                fail(rowNode, QStringLiteral("各 cell 宽度之和 %1 与 grid 宽度 %2 不符")
                                  .arg(given)
                                  .arg(width));
            }
            std::vector<Cell> cells;
            double x = x0;
            for (const Node* cellNode : cellNodes) {
                Cell cell;
                const double w = cellNode->attributes.contains(QStringLiteral("w"))
                                     ? number(*cellNode, "w")
                                     : rest / open;
                cell.own = cell.rect = QRectF(x, y, w, h);
                cell.node = cellNode;
                cell.style = style(*cellNode, rowStyle);
                cell.ruleLeft = flag(*cellNode, "rule", true);
                const QString join = cellNode->attributes.value(QStringLiteral("join"));
                if (!join.isEmpty() && join != u"up") {
                    fail(*cellNode, QStringLiteral("join 只能是 up"));
                }
                cell.joinUp = join == u"up";
                x += w;
                cells.push_back(cell);
            }
            rows.push_back(std::move(cells));
            ruleAbove.push_back(flag(rowNode, "rule", true));
            y += h;
        }
        if (rows.empty()) {
            fail(node, QStringLiteral("grid 中没有 row"));
        }

        // Joined cells extend the cell above them.
        for (size_t r = 1; r < rows.size(); ++r) {
            for (Cell& cell : rows[r]) {
                if (!cell.joinUp) {
                    continue;
                }
                Cell* above = nullptr;
                for (Cell& candidate : rows[r - 1]) {
                    if (qAbs(candidate.rect.left() - cell.rect.left()) < 0.01 &&
                        qAbs(candidate.rect.right() - cell.rect.right()) < 0.01) {
                        above = candidate.owner != nullptr ? candidate.owner : &candidate;
                    }
                }
                if (above == nullptr) {
                    fail(*cell.node, QStringLiteral("join=\"up\" 的 cell 上方没有同宽的 cell"));
                }
                cell.owner = above;
                above->rect.setBottom(cell.rect.bottom());
            }
        }
        if (rows.front().front().joinUp) {
            fail(*rows.front().front().node, QStringLiteral("第一行的 cell 不能 join"));
        }

        auto addLine = [&out](QPointF from, QPointF to, double width, int line) {
            Element e;
            e.kind = ElementKind::Line;
            e.line = QLineF(from, to);
            e.lineWidth = width;
            e.sourceLine = line;
            out.push_back(std::move(e));
        };
        const double bottom = y;
        addLine({x0, y0}, {x0 + width, y0}, frameWidth, node.line);
        addLine({x0, bottom}, {x0 + width, bottom}, frameWidth, node.line);
        addLine({x0, y0}, {x0, bottom}, frameWidth, node.line);
        addLine({x0 + width, y0}, {x0 + width, bottom}, frameWidth, node.line);
        for (size_t r = 0; r < rows.size(); ++r) {
            for (size_t c = 0; c < rows[r].size(); ++c) {
                const Cell& cell = rows[r][c];
                const QRectF& own = cell.own;
                if (r > 0 && !cell.joinUp && ruleAbove[r]) {
                    addLine(own.topLeft(), own.topRight(), lineWidth, cell.node->line);
                }
                if (c > 0 && cell.ruleLeft) {
                    addLine(own.topLeft(), own.bottomLeft(), lineWidth, cell.node->line);
                }
            }
        }
        for (const auto& row : rows) {
            for (const Cell& cell : row) {
                if (cell.joinUp) {
                    const bool empty = std::all_of(
                        cell.node->children.begin(), cell.node->children.end(),
                        [](const Node& child) {
                            return child.name.isEmpty() && child.text.trimmed().isEmpty();
                        });
                    if (!empty) {
                        fail(*cell.node, QStringLiteral("join=\"up\" 的 cell 应为空"));
                    }
                    continue;
                }
                placeCell(cell, out);
            }
        }
    }

    // A cell's own text fills it; its child elements are placed within it.
    void placeCell(const Cell& cell, std::vector<Element>& out) {
        std::vector<const Node*> children;
        const QString text =
            contentText(*cell.node, [&children](const Node& child) { children.push_back(&child); });
        if (!text.isEmpty()) {
            Element e;
            e.kind = ElementKind::Text;
            e.rect = cell.rect;
            e.style = cell.style;
            e.text = text;
            e.sourceLine = cell.node->line;
            out.push_back(std::move(e));
        }
        for (const Node* child : children) {
            placeElement(*child, cell.rect, cell.style, out);
        }
    }

    void checkUniqueNames(const ReportLayout& layout) const {
        QSet<QString> names;
        for (const QString& name : layout.controlNames()) {
            if (names.contains(name)) {
                throw PrintError(QStringLiteral("版面文件 %1：控件名 %2 重复").arg(m_source, name));
            }
            names.insert(name);
        }
    }

    QString m_source;  // the file being read: the page's, or the piece's while it is placed
    const PieceSource& m_pieces;
    QStringList m_openPieces;  // the pieces being placed, outermost first
};

}  // namespace

const Band* ReportLayout::band(BandKind kind) const {
    for (const Band& b : bands) {
        if (b.kind == kind) {
            return &b;
        }
    }
    return nullptr;
}

std::vector<const Element*> ReportLayout::elements(std::initializer_list<ElementKind> kinds) const {
    std::vector<const Element*> found;
    for (const Band& b : bands) {
        for (const Element& e : b.elements) {
            if (std::find(kinds.begin(), kinds.end(), e.kind) != kinds.end()) {
                found.push_back(&e);
            }
        }
    }
    return found;
}

QStringList ReportLayout::labelNames() const {
    QStringList names;
    for (const Element* e :
         elements({ElementKind::Label, ElementKind::Check, ElementKind::Options})) {
        if (e->kind == ElementKind::Options) {
            for (const OptionItem& option : e->options) {
                names << e->checkName(option);
            }
        } else {
            names << e->name;
        }
    }
    return names;
}

QStringList ReportLayout::controlNames() const {
    QStringList names = labelNames();
    for (const Element* e : elements({ElementKind::PageNumber, ElementKind::Memo})) {
        if (!e->name.isEmpty()) {
            names << e->name;
        }
    }
    return names;
}

namespace {

QStringList fieldsOf(const std::vector<const Element*>& elements) {
    QStringList fields;
    for (const Element* e : elements) {
        if (!fields.contains(e->field)) {
            fields << e->field;
        }
    }
    return fields;
}

}  // namespace

QStringList ReportLayout::recordFields() const {
    return fieldsOf(elements({ElementKind::Field, ElementKind::Memo}));
}

QStringList ReportLayout::rowFields() const {
    return fieldsOf(elements({ElementKind::RowField}));
}

std::optional<QByteArray> compiledPiece(const QString& name) {
    QFile file(QStringLiteral(":/reports/pieces/%1.xml").arg(name));
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.readAll();
}

ReportLayout ReportLayout::parse(const QByteArray& xml, const QString& source,
                                 const PieceSource& pieces) {
    const Node root = readTree(xml, source);
    return Parser(source, pieces).parse(root);
}

std::shared_ptr<const ReportLayout> ReportLayout::load(const QString& unit) {
    QFile file(QStringLiteral(":/reports/%1.xml").arg(unit));
    if (!file.open(QIODevice::ReadOnly)) {
        return nullptr;
    }
    auto layout =
        std::make_shared<ReportLayout>(parse(file.readAll(), unit + QStringLiteral(".xml")));
    layout->unit = unit;
    return layout;
}

}  // namespace print
