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

namespace exchange {
class ExchangeHost;
}

// Exchange text files: one table per file, GBK, one record per line ended by CR LF, columns
// separated by one TAB, no header line. Every text handed in or out of these functions is
// UTF-8; the conversion to and from GBK happens at the file.
namespace exchange {

// A file that cannot be created, opened, written or read.
class ExchangeIoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file whose text cannot go into its table: bytes that are not GBK, or a value that its
// field cannot hold. The message names the file and the line.
class ExchangeFormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The message for a package or table file that cannot be read: "文件的格式不正确" and, on a
// second line, what is wrong with it.
std::string BadFormatText(const std::string& detail);

// The message of a failed file operation, in Chinese: what failed (for example "无法打开文件"),
// the file, and why, from the system's error number.
std::string fileErrorText(const std::string& what, const std::string& path, int error);

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

// Writes every row of rows (moved to its first row) to file: all fields by the column rules,
// the last one unquoted; a last field named ITEM_188 is written "1" when its text is "1", else
// "0".
void WriteExchangeRows(store::Dataset& rows, ExchangeTextWriter& file);
// Rewrites path with every row of query by WriteExchangeRows. Throws ExchangeIoError on a file
// error.
void WriteExchangeFile(store::Dataset& query, const std::string& path);

// Package files are read into the staging tables; code-table files into the code tables,
// which differ in two details of the split (no 102 rule, and W is 1 for 98 fields).
enum class ExchangeVariant { Package, CodeTable };

// What a reading found: the records read, and among them those that had fewer or more
// columns than the table has fields (read by the rules for missing and surplus columns).
struct ExchangeReadCounts {
    int records = 0;
    int shortRecords = 0;
    int longRecords = 0;
    bool operator==(const ExchangeReadCounts&) const = default;
};

// The per-file state of the reader over one open target table: the field count K, the
// first field carried over from a record that ran into the next, and the counts.
class ExchangeReader {
public:
    // fileName names the file in messages; host gives today's date for the main staging
    // table's missing dates.
    ExchangeReader(store::Table& target, const ExchangeHost& host,
                   ExchangeVariant variant = ExchangeVariant::Package, std::string fileName = {});

    store::Table& target() const { return m_target; }
    int fieldCount() const { return m_fieldCount; }
    const ExchangeReadCounts& counts() const { return m_counts; }
    // Appends and posts one row per record found in record (GBK bytes of one joined record
    // that begins on physical line line). Throws ExchangeFormatError, the row not posted, for
    // bytes that are not GBK or a value that its field cannot hold.
    void importTabLine(std::string_view record, int line = 0);

private:
    void storeText(int field, std::string_view gbk);
    [[noreturn]] void fail(const std::string& what);
    store::Table& m_target;
    const ExchangeHost& m_host;
    ExchangeVariant m_variant;
    std::string m_fileName;
    int m_fieldCount;
    int m_carryWidth;
    bool m_repairDate;
    int m_line = 0;
    std::string m_carried;
    ExchangeReadCounts m_counts;
};

// One record's text (GBK bytes, physical lines joined by CR LF) into the reader's table.
void ImportTabLine(ExchangeReader& reader, std::string_view record);

// The number of columns of one joined record as the reader takes it apart: the first column
// ends at the first TAB, and a later column that opens with an odd number of double quotes
// runs on over TABs until its quotes pair up.
int CountColumns(std::string_view record);

// Reads path record by record (a quoted value may span physical lines) into target, appending
// and posting one row per record. Calls host's keepResponsive() now and then. Throws
// ExchangeIoError when the file cannot be read and ExchangeFormatError when a record cannot
// be stored, which ends the reading.
ExchangeReadCounts ReadExchangeFile(const std::string& path, store::Table& target,
                                    ExchangeHost& host,
                                    ExchangeVariant variant = ExchangeVariant::Package);

}  // namespace exchange
