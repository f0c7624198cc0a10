#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>

namespace store {
class Dataset;
class Table;
class Value;
}  // namespace store

// Exchange text files: one table per file, GBK, one record per line ended by CR LF, columns
// separated by one TAB, no header line. Every text handed in or out of these functions is
// UTF-8; the conversion to and from GBK happens at the file.
namespace exchange {

// A file that cannot be created, opened, written or read.
class ExchangeIoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The text form of a value in an exchange file: "" for null, numbers in their shortest exact
// form with a "." ("12.5", "3"), dates "YYYY-MM-DD", flags "T" / "F", a memo's whole text.
std::string ExchangeText(const store::Value& value);

// text with every double quote doubled.
std::string EscapeFieldQuotes(std::string_view text);
// The number of double quotes in text.
int CountQuotes(std::string_view text);
// text with every pair of double quotes replaced by one, scanning left to right.
std::string UndoubleQuotes(std::string_view text);
// A column other than the last: quoted (with its quotes doubled) when the text holds a TAB or
// a CR or begins with a double quote, else unchanged. The separating TAB is not included.
std::string QuoteColumn(std::string_view text);

// Writes a file record by record: column() for every column but the last, lastColumn() to end
// the record. The file is created or truncated on construction.
class ExchangeTextWriter {
public:
    // Throws ExchangeIoError when the file cannot be created.
    explicit ExchangeTextWriter(const std::string& path);
    ~ExchangeTextWriter();
    ExchangeTextWriter(const ExchangeTextWriter&) = delete;
    ExchangeTextWriter& operator=(const ExchangeTextWriter&) = delete;

    // The text by QuoteColumn(), then a TAB.
    void column(std::string_view text);
    // The text unchanged (never quoted), then CR LF.
    void lastColumn(std::string_view text);
    // Writes text unchanged without ending the column (for columns of a fixed form).
    void raw(std::string_view text);
    // Flushes and closes; throws ExchangeIoError when the data could not be written.
    void close();

private:
    void put(std::string_view utf8);
    std::string m_path;
    std::FILE* m_file = nullptr;
};

// Rewrites path with every row of query (moved to its first row): all fields by the column
// rules, the last one unquoted; a last field named ITEM_188 is written "1" when its text is
// "1", else "0". Throws ExchangeIoError on a file error.
void WriteExchangeFile(store::Dataset& query, const std::string& path);

// Package files are read into the staging tables; code-table files into the code tables,
// which differ in two details of the split (no 102 rule, and W is 1 for 98 fields).
enum class ExchangeVariant { Package, CodeTable };

// The per-file state of the reader over one open target table: the field count K, the
// first-record flag and the first field carried over from a record that ran into the next.
class ExchangeReader {
public:
    explicit ExchangeReader(store::Table& target,
                            ExchangeVariant variant = ExchangeVariant::Package);

    store::Table& target() const { return m_target; }
    int fieldCount() const { return m_fieldCount; }
    // Appends and posts one row per record found in record (GBK bytes of one joined record).
    void importTabLine(std::string_view record);

private:
    void storeText(int field, std::string_view gbk);
    store::Table& m_target;
    ExchangeVariant m_variant;
    int m_fieldCount;
    int m_carryWidth;
    bool m_repairDate;
    bool m_firstRecord = true;
    std::string m_carried;
};

// One record's text (GBK bytes, physical lines joined by CR LF) into the reader's table.
void ImportTabLine(ExchangeReader& reader, std::string_view record);

// Reads path record by record (a quoted value may span physical lines) into target, appending
// and posting one row per record. Lets the window repaint now and then. Throws
// ExchangeIoError when the file cannot be read; a value a field cannot take throws the
// store's error and ends the reading.
void ReadExchangeFile(const std::string& path, store::Table& target,
                      ExchangeVariant variant = ExchangeVariant::Package);

}  // namespace exchange
