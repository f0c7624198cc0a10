#include "ExchangeTextFile.h"

#include <QCoreApplication>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "Clock.h"
#include "Dataset.h"
#include "GbkCodec.h"
#include "Text.h"

namespace exchange {

namespace {

constexpr char kQuote = '"';
constexpr char kTab = '\t';
constexpr std::string_view kTabQuote = "\t\"";
constexpr std::string_view kQuoteTab = "\"\t";
// How many physical lines are read between two chances for the window to repaint.
constexpr int kLinesPerRepaint = 64;

std::string systemError(const std::string& what, const std::string& path) {
    return what + " \"" + path + "\": " + std::strerror(errno);
}

// Without blanks and control characters at either end (every byte up to the space; none of
// them can be part of a two-byte GBK character).
std::string_view trimControls(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') {
        text.remove_suffix(1);
    }
    return text;
}

// The text before the first TAB of data, which loses it and the TAB (all of data when it has
// no TAB).
std::string takeColumn(std::string& data) {
    const size_t tab = data.find(kTab);
    std::string piece;
    if (tab == std::string::npos) {
        piece = std::move(data);
        data.clear();
    } else {
        piece = data.substr(0, tab);
        data.erase(0, tab + 1);
    }
    return piece;
}

// The quoted piece less its enclosing quotes, with its doubled quotes made single.
std::string unquote(std::string_view piece) {
    if (piece.size() < 2) {
        return {};
    }
    return UndoubleQuotes(piece.substr(1, piece.size() - 2));
}

std::string todayText() {
    const QDate today = widgets::Clock::instance().today();
    return store::Date{today.year(), today.month(), today.day()}.toIso();
}

}  // namespace

std::string ExchangeText(const store::Value& value) {
    return value.asText();
}

std::string EscapeFieldQuotes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        out += c;
        if (c == kQuote) {
            out += kQuote;
        }
    }
    return out;
}

int CountQuotes(std::string_view text) {
    int count = 0;
    for (char c : text) {
        count += c == kQuote ? 1 : 0;
    }
    return count;
}

std::string UndoubleQuotes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == kQuote && i + 1 < text.size() && text[i + 1] == kQuote) {
            ++i;
        }
    }
    return out;
}

std::string QuoteColumn(std::string_view text) {
    const bool quoted = text.find_first_of("\t\r") != std::string_view::npos ||
                        (!text.empty() && text.front() == kQuote);
    if (!quoted) {
        return std::string(text);
    }
    return kQuote + EscapeFieldQuotes(text) + kQuote;
}

// ---- writing ---------------------------------------------------------------------------

ExchangeTextWriter::ExchangeTextWriter(const std::string& path) : m_path(path) {
    m_file = std::fopen(path.c_str(), "wb");
    if (m_file == nullptr) {
        throw ExchangeIoError(systemError("Cannot create file", path));
    }
}

ExchangeTextWriter::~ExchangeTextWriter() {
    if (m_file != nullptr) {
        std::fclose(m_file);
    }
}

void ExchangeTextWriter::put(std::string_view utf8) {
    const std::optional<std::string> gbk = store::GbkCodec::encode(utf8);
    if (!gbk) {
        throw ExchangeIoError("Cannot write \"" + std::string(utf8) + "\" to \"" + m_path +
                              "\": the text holds a character outside GBK");
    }
    if (std::fwrite(gbk->data(), 1, gbk->size(), m_file) != gbk->size()) {
        throw ExchangeIoError(systemError("Cannot write file", m_path));
    }
}

void ExchangeTextWriter::column(std::string_view text) {
    put(QuoteColumn(text));
    put("\t");
}

void ExchangeTextWriter::lastColumn(std::string_view text) {
    put(text);
    put("\r\n");
}

void ExchangeTextWriter::raw(std::string_view text) {
    put(text);
}

void ExchangeTextWriter::close() {
    if (m_file == nullptr) {
        return;
    }
    const bool failed = std::ferror(m_file) != 0;
    const int closed = std::fclose(m_file);
    m_file = nullptr;
    if (failed || closed != 0) {
        throw ExchangeIoError(systemError("Cannot write file", m_path));
    }
}

void WriteExchangeFile(store::Dataset& query, const std::string& path) {
    ExchangeTextWriter writer(path);
    const int last = query.fieldCount() - 1;
    const bool flagLast =
        last >= 0 && store::text::equalsIgnoringCase(query.fieldDef(last).name, "ITEM_188");
    for (query.first(); !query.eof(); query.next()) {
        for (int i = 0; i < last; ++i) {
            writer.column(ExchangeText(query.field(i).value()));
        }
        if (last >= 0) {
            const std::string text = ExchangeText(query.field(last).value());
            writer.lastColumn(flagLast ? (text == "1" ? "1" : "0") : text);
        }
    }
    writer.close();
}

// ---- reading ---------------------------------------------------------------------------

ExchangeReader::ExchangeReader(store::Table& target, ExchangeVariant variant)
    : m_target(target), m_variant(variant), m_fieldCount(target.fieldCount()) {
    const bool package = m_variant == ExchangeVariant::Package;
    if (package && m_fieldCount == 102) {
        m_fieldCount = 101;
    }
    // The width of the first field of the main table (ITEM_1) and of the child tables (ITEM_4).
    m_carryWidth = m_fieldCount == (package ? 99 : 98) ? 1 : 10;
    // The main staging table, however its name is spelt ("HVELtemp.dbf", "hveltemp.DBF").
    std::string_view name = target.tableName();
    if (name.size() > 4 && store::text::equalsIgnoringCase(name.substr(name.size() - 4), ".dbf")) {
        name.remove_suffix(4);
    }
    m_repairDate = store::text::equalsIgnoringCase(name, "HVELtemp");
}

void ExchangeReader::storeText(int field, std::string_view gbk) {
    if (gbk.empty()) {
        m_target.field(field).clear();
    } else {
        m_target.field(field).set(store::Value(store::GbkCodec::decode(gbk)));
    }
}

void ExchangeReader::importTabLine(std::string_view record) {
    std::string data(record);
    const int k = m_fieldCount;
    bool first = true;
    while (!trimControls(data).empty()) {
        m_target.append();
        if (first) {
            const size_t tab = data.find(kTab);
            if (tab == std::string::npos) {
                m_carried.clear();
            } else {
                m_carried = data.substr(0, tab);
                data.erase(0, tab + 1);
            }
            first = false;
        }
        storeText(0, m_carried);
        for (int c = 1; c <= k - 2; ++c) {
            std::string piece = takeColumn(data);
            const size_t leading = piece.find_first_not_of(kQuote);
            const size_t opening = leading == std::string::npos ? piece.size() : leading;
            if (opening % 2 == 1) {
                // A quoted value runs on over TABs until its quotes pair up (or data ends).
                while (CountQuotes(piece) % 2 == 1 && !data.empty()) {
                    piece += kTab;
                    piece += takeColumn(data);
                }
                // A value left open by the end of the record keeps its last character.
                piece = CountQuotes(piece) % 2 == 0
                            ? unquote(piece)
                            : UndoubleQuotes(std::string_view(piece).substr(1));
            } else {
                if (m_repairDate && c == 5 &&
                    !store::Date::parse(store::text::trimBlanks(piece)).has_value()) {
                    piece = todayText();
                }
                if (!piece.empty() && piece.front() == kQuote) {
                    piece = unquote(piece);
                }
            }
            storeText(c, piece);
        }
        std::string tail = data;
        if (const size_t tab = data.find(kTab); tab != std::string::npos) {
            data.erase(0, tab + 1);
        }
        const size_t width = std::min(tail.size(), static_cast<size_t>(m_carryWidth));
        m_carried = std::string(trimControls(std::string_view(tail).substr(tail.size() - width)));
        tail = std::string(trimControls(std::string_view(tail).substr(0, tail.size() - width)));
        if (data.find(kTab) == std::string::npos) {
            tail = std::string(trimControls(data));
            data.clear();
        }
        if (k >= 1) {
            storeText(k - 1, tail);
        }
        m_target.post();
    }
}

void ImportTabLine(ExchangeReader& reader, std::string_view record) {
    reader.importTabLine(record);
}

void ReadExchangeFile(const std::string& path, store::Table& target, ExchangeVariant variant) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw ExchangeIoError(systemError("Cannot open file", path));
    }
    ExchangeReader reader(target, variant);
    int linesRead = 0;
    auto readLine = [&](std::string& line) {
        if (!std::getline(in, line)) {
            if (in.bad()) {
                throw ExchangeIoError(systemError("Cannot read file", path));
            }
            return false;
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (++linesRead % kLinesPerRepaint == 0 && QCoreApplication::instance() != nullptr) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        }
        return true;
    };

    // A quoted value opens only at a TAB followed by a quote, and may hold line breaks: the
    // physical lines are joined (by CR LF) until every quoted value of the record is closed.
    std::string line;
    while (readLine(line)) {
        std::string record = line;
        std::string work = line;
        std::string quoted;
        bool done = false;
        while (!done) {
            const size_t open = work.find(kTabQuote);
            if (open == std::string::npos) {
                reader.importTabLine(record);
                break;
            }
            work.erase(0, open + kTabQuote.size());
            quoted = kTabQuote;
            if (work.find(kQuoteTab) == std::string::npos) {
                quoted += work;
            }
            while (true) {
                if (const size_t close = work.find(kQuoteTab); close != std::string::npos) {
                    quoted += work.substr(0, close + kQuoteTab.size());
                    work.erase(0, close + 1);
                    if (CountQuotes(quoted) % 2 == 1) {
                        continue;
                    }
                    break;  // look for the next quoted value of the record
                }
                if (CountQuotes(quoted) % 2 == 0 && !quoted.empty() && quoted.back() == kQuote) {
                    reader.importTabLine(record);
                    done = true;
                    break;
                }
                std::string next;
                if (!readLine(next)) {
                    reader.importTabLine(record);  // a value never closed ends with the file
                    done = true;
                    break;
                }
                record += "\r\n";
                record += next;
                work = next;
                if (next.find(kQuoteTab) == std::string::npos) {
                    quoted += next;
                }
            }
        }
    }
}

}  // namespace exchange
