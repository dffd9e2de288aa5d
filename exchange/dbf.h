#pragma once

#include <QAnyStringView>
#include <QByteArrayView>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

// Reads the tables of FoxPro and dBase programs (DBF files) one record at a time: Visual
// FoxPro (version bytes 0x30, 0x31, 0x32) and dBase III (0x03; 0x83, 0x8B, 0xF5 with a memo
// file, whose memos are not read). Memory does not grow with the table.
namespace dbf {

struct Field {
    QString name; // as stored (FoxPro writes capitals)
    char type;    // 'C', 'N', 'F', 'D', 'L', 'I', 'Y', 'T', 'B', 'M', 'G', 'V', 'Q', 'W', '0'...
    int offset;   // from the start of the record (byte 0 is the deletion flag)
    int length;
    int decimals;
    int nullBit = -1;      // bit of _NullFlags that says the value is NULL; -1: not nullable
    int varLengthBit = -1; // V and Q: bit of _NullFlags that says the last byte holds the length
};

// What went wrong, with an Italian description of it.
class Error final {
public:
    enum Kind {
        Missing,    // no such file
        Unreadable, // the file exists but cannot be opened or read (locked, no permission)
        Damaged,    // header, field descriptors or records inconsistent or cut short
    };
    Error(Kind kind, QString message)
        : m_kind(kind)
        , m_message(std::move(message)) {}
    Kind kind() const { return m_kind; }
    const QString& message() const { return m_message; }

private:
    Kind m_kind;
    QString m_message;
};

class Table final {
public:
    // Opens the table and checks its header and field descriptors; throws Error.
    explicit Table(const QString& path);
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    // The file `name` + ".dbf" in `folder`, its name matched without regard to case; empty when
    // there is none.
    static QString find(const QString& folder, const QString& name);

    // Every descriptor in file order, the _NullFlags system field (type '0') included.
    const std::vector<Field>& fields() const;
    // The field of that name, without regard to case; -1 when there is none.
    int fieldIndex(QAnyStringView name) const;
    // Records the header announces, deleted ones included.
    qint64 recordCount() const;

    // Moves to the next record not marked deleted; false after the last one. Throws
    // Error(Damaged) when a record is cut short by the end of the file.
    bool next();
    // Position of the current record, from 1, deleted records counted.
    qint64 recordNumber() const;

    // The value of a field of the current record as text, std::nullopt for NULL. Character
    // fields come as stored, trailing blanks included; varchar fields at their length; numbers
    // as Italians write them ("12", "12,5"); dates "dd/MM/yyyy"; date-times
    // "dd/MM/yyyy HH:mm:ss"; logicals "Vero" / "Falso". A blank numeric, date or logical field,
    // and memo, general, picture, blob and varbinary fields (not read: no memo file is needed),
    // read as NULL. Text is decoded with the table's code page.
    std::optional<QString> text(int field) const;
    // The stored bytes of a character or varchar field of the current record, as text() reads
    // its characters, when each is a byte below 0x80 that the code page reads as itself (so
    // the bytes are that text in UTF-8 too); std::nullopt otherwise (NULL, another type, any
    // other byte), and text() tells. Valid until the next record.
    std::optional<QByteArrayView> asciiText(int field) const;

private:
    const Field* valued(int field) const;
    struct Data;
    std::unique_ptr<Data> m_data;
};

} // namespace dbf
