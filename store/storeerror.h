#pragma once

#include <QString>

#include <exception>

namespace store {

// Engine error codes, as the archive code has always known them.
enum ErrorCode : int {
    NoCurrentRecord = 3021,   // MoveFirst or a field read with no current row
    UpdateWithoutEdit = 3020, // Update without AddNew or Edit
    FileNotFound = 3024,      // OpenDatabase on a file that does not exist
    TableNotFound = 3078,     // a table name the database does not hold
    ItemNotFound = 3265,      // a field name the recordset does not hold
    NotADatabase = 3343,      // a file that is not an archive database
    DatabaseExists = 3204,    // creating a database over an existing file
    RecordDeleted = 3167,     // editing or deleting a row that is gone
    EngineFailure = 3049      // anything else the engine reports (I/O, corruption, locking)
};

// A failure of the archive engine: a code and an Italian message for the user.
class StoreError final : public std::exception {
public:
    StoreError(int code, QString message);
    int code() const noexcept { return m_code; }
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    int m_code;
    QString m_message;
    QByteArray m_utf8;
};

} // namespace store
