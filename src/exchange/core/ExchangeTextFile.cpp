#include "ExchangeTextFile.h"

#include <QString>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <vector>

#include "Dataset.h"
#include "Errors.h"
#include "ExchangeHost.h"
#include "GbkCodec.h"
#include "Text.h"

namespace exchange {

namespace {

constexpr char kQuote = '"';
constexpr char kTab = '\t';
constexpr std::string_view kTabQuote = "\t\"";
constexpr std::string_view kQuoteTab = "\"\t";
// How many physical lines are read between two calls of keepResponsive().
constexpr int kLinesPerRepaint = 64;

std::string systemError(const std::string& what, const std::string& path) {
    return fileErrorText(what, path, errno);
}

// A value in messages: at most twenty characters of it.
std::string shortened(const std::string& utf8) {
    const QString text = QString::fromStdString(utf8);
    return text.size() <= 20 ? utf8 : (text.left(20) + QStringLiteral("…")).toStdString();
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

}  // namespace

std::string BadFormatText(const std::string& detail) {
    return detail.empty() ? "文件的格式不正确" : "文件的格式不正确\n" + detail;
}

std::string fileErrorText(const std::string& what, const std::string& path, int error) {
    std::string reason;
    switch (error) {
        case ENOENT:
            reason = "文件或文件夹不存在";
            break;
        case EACCES:
        case EPERM:
            reason = "没有权限";
            break;
        case ENOSPC:
            reason = "磁盘空间不足";
            break;
        case EROFS:
            reason = "磁盘只读";
            break;
        case EISDIR:
            reason = "这是一个文件夹";
            break;
        case ENOTDIR:
            reason = "路径中有一段不是文件夹";
            break;
        case ENAMETOOLONG:
            reason = "文件名太长";
            break;
        case EMFILE:
        case ENFILE:
            reason = "打开的文件太多";
            break;
        default:
            reason = "系统错误" + std::to_string(error);
            break;
    }
    return what + "“" + path + "”：" + reason + "。";
}

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
        throw ExchangeIoError(systemError("无法建立文件", path));
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
        throw ExchangeIoError("无法把“" + shortened(std::string(utf8)) + "”写入文件“" + m_path +
                              "”：其中有GBK编码以外的字符。");
    }
    if (std::fwrite(gbk->data(), 1, gbk->size(), m_file) != gbk->size()) {
        throw ExchangeIoError(systemError("无法写入文件", m_path));
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
        throw ExchangeIoError(systemError("无法写入文件", m_path));
    }
}

void WriteExchangeRows(store::Dataset& rows, ExchangeTextWriter& file) {
    const int last = rows.fieldCount() - 1;
    const bool flagLast =
        last >= 0 && store::text::equalsIgnoringCase(rows.fieldDef(last).name, "ITEM_188");
    for (rows.first(); !rows.eof(); rows.next()) {
        for (int i = 0; i < last; ++i) {
            file.column(ExchangeText(rows.field(i).value()));
        }
        if (last >= 0) {
            const std::string text = ExchangeText(rows.field(last).value());
            file.lastColumn(flagLast ? (text == "1" ? "1" : "0") : text);
        }
    }
}

void WriteExchangeFile(store::Dataset& query, const std::string& path) {
    ExchangeTextWriter writer(path);
    WriteExchangeRows(query, writer);
    writer.close();
}

// ---- reading ---------------------------------------------------------------------------

ExchangeReader::ExchangeReader(store::Table& target, const ExchangeHost& host,
                               ExchangeVariant variant, std::string fileName)
    : m_target(target),
      m_host(host),
      m_variant(variant),
      m_fileName(std::move(fileName)),
      m_fieldCount(target.fieldCount()) {
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

void ExchangeReader::fail(const std::string& what) {
    if (m_target.state() != store::Dataset::State::Browse) {
        m_target.cancel();
    }
    const std::string file = m_fileName.empty() ? std::string() : "“" + m_fileName + "”";
    throw ExchangeFormatError(file + "第" + std::to_string(m_line) + "行" + what);
}

void ExchangeReader::storeText(int field, std::string_view gbk) {
    if (gbk.empty()) {
        m_target.field(field).clear();
        return;
    }
    bool invalid = false;
    std::string text = store::GbkCodec::decode(gbk, &invalid);
    if (invalid) {
        fail("，字段" + m_target.fieldDef(field).name + "中有不是GBK编码的字节。");
    }
    m_target.field(field).set(store::Value(std::move(text)));
}

int CountColumns(std::string_view record) {
    std::vector<std::string_view> parts;
    for (size_t start = 0;;) {
        const size_t tab = record.find(kTab, start);
        parts.push_back(record.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos) {
            break;
        }
        start = tab + 1;
    }
    int columns = 1;  // the first column is never quoted
    for (size_t i = 1; i < parts.size(); ++columns) {
        const std::string_view piece = parts[i++];
        const size_t leading = piece.find_first_not_of(kQuote);
        const size_t opening = leading == std::string_view::npos ? piece.size() : leading;
        int quotes = CountQuotes(piece);
        if (opening % 2 == 1) {
            while (quotes % 2 == 1 && i < parts.size()) {
                quotes += CountQuotes(parts[i++]);
            }
        }
    }
    return columns;
}

void ExchangeReader::importTabLine(std::string_view record, int line) {
    if (trimControls(record).empty()) {
        return;
    }
    m_line = line;
    ++m_counts.records;
    const int columns = CountColumns(record);
    const int fields = m_target.fieldCount();
    m_counts.shortRecords += columns < fields ? 1 : 0;
    m_counts.longRecords += columns > fields ? 1 : 0;

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
                    const QDate today = m_host.today();
                    piece = store::Date{today.year(), today.month(), today.day()}.toIso();
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
        try {
            m_target.post();
        } catch (const store::ValueError&) {
            fail("有表中字段存不下的值（文字过长，或数字、日期的写法不对）。");
        }
    }
}

void ImportTabLine(ExchangeReader& reader, std::string_view record) {
    reader.importTabLine(record);
}

ExchangeReadCounts ReadExchangeFile(const std::string& path, store::Table& target,
                                    ExchangeHost& host, ExchangeVariant variant) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw ExchangeIoError(systemError("无法打开文件", path));
    }
    ExchangeReader reader(target, host, variant, std::filesystem::path(path).filename().string());
    int linesRead = 0;
    auto readLine = [&](std::string& line) {
        if (!std::getline(in, line)) {
            if (in.bad()) {
                throw ExchangeIoError(systemError("无法读取文件", path));
            }
            return false;
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (++linesRead % kLinesPerRepaint == 0) {
            host.keepResponsive();
        }
        return true;
    };

    // A quoted value opens only at a TAB followed by a quote, and may hold line breaks: the
    // physical lines are joined (by CR LF) until every quoted value of the record is closed.
    std::string line;
    while (readLine(line)) {
        const int firstLine = linesRead;
        std::string record = line;
        std::string work = line;
        std::string quoted;
        bool done = false;
        while (!done) {
            const size_t open = work.find(kTabQuote);
            if (open == std::string::npos) {
                reader.importTabLine(record, firstLine);
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
                    reader.importTabLine(record, firstLine);
                    done = true;
                    break;
                }
                std::string next;
                if (!readLine(next)) {
                    reader.importTabLine(record, firstLine);  // a value never closed ends here
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
    return reader.counts();
}

}  // namespace exchange
