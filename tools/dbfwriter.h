#pragma once

#include <QString>

#include <memory>
#include <optional>
#include <vector>

// Writes FoxPro tables (DBF) for tests, benchmarks and demo data: the hotel program's customer
// table without the hotel program.
namespace dbfwriter {

struct Column {
    QString name; // up to 10 characters
    char type;    // 'C', 'N', 'F', 'D', 'L', 'I', 'Y', 'T', 'B', 'M', 'V'
    int length;   // ignored where the type fixes it (D 8, L 1, I 4, Y 8, T 8, B 8, M 4)
    int decimals = 0;
    bool nullable = false; // Visual FoxPro only: gets a bit in _NullFlags
};

class Writer final {
public:
    // Creates the file (replacing one). `version`: 0x30, 0x31 or 0x32 (Visual FoxPro, with a
    // _NullFlags field when a column is nullable or varchar) or 0x03 (dBase III). `codePage`:
    // the code page byte (0x03 Windows-1252, 0x01 DOS 437, 0x02 DOS 850).
    Writer(const QString& path, std::vector<Column> columns, unsigned char version = 0x30,
           unsigned char codePage = 0x03);
    ~Writer(); // finishes when finish() was not called
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // One record, a value per column in the column's own written form: C and V the text
    // (encoded with the code page), N and F the number with '.', D "yyyyMMdd", L "T" or "F",
    // I a whole number, Y a number with '.', T "yyyyMMddHHmmss", B a number, M ignored.
    // std::nullopt writes NULL (nullable columns) or blanks.
    void add(const std::vector<std::optional<QString>>& values, bool deleted = false);
    // Writes the record count and the end-of-file mark; false when the file could not be written.
    bool finish();

private:
    struct Data;
    std::unique_ptr<Data> m_data;
};

} // namespace dbfwriter
