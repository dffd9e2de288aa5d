#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <memory>
#include <optional>

namespace store {
class Database;
namespace sqlite {
class Statement;
}
} // namespace store

// Fields in a message's text ("Gentile {Nome},"), filled for each recipient from the address
// book it was chosen from.
namespace textfields {

inline const QString nameField = QStringLiteral("{Nome}");
inline const QString surnameField = QStringLiteral("{Cognome}");
inline const QString numberField = QStringLiteral("{Cellulare}");

struct Person {
    QString name;
    QString surname;
    QString number;
};

// True when the text holds a field.
bool hasFields(QStringView text);
// The text with its fields filled from the person; with none (a number not in the book) every
// field is empty. An empty field takes the blank before it ("Gentile {Nome}," -> "Gentile,"),
// or the blank after it at the start of a line.
QString fill(QStringView text, const std::optional<Person>& person);

// The contacts of one address book by number, each asked once through the number's index.
class People final {
public:
    People(); // no book: nobody is in it
    explicit People(store::Database& book);
    ~People();
    People(const People&) = delete;
    People& operator=(const People&) = delete;
    // The contact with this number: as written, or as the book keeps it ("+39 333 1234567").
    std::optional<Person> find(const QString& number);

private:
    std::optional<Person> lookUp(const QString& number);
    std::unique_ptr<store::sqlite::Statement> m_lookup;
    QHash<QString, std::optional<Person>> m_found;
};

// A text filled for one recipient.
struct Filled {
    QString number;
    QString text;
    std::optional<Person> person;
};
// The text filled for each number.
QList<Filled> fillAll(const QString& text, const QStringList& numbers, People& people);
// Who a filled text is for: "Anna Rossi (3331234567)", or the number alone.
QString recipientName(const Filled& filled);
// The index of the text that takes the largest share of its SMS (its alphabet's); -1 for none.
qsizetype fullest(const QList<Filled>& texts);
// The index of the first text that does not go as one SMS; -1 when all do.
qsizetype firstTooLong(const QList<Filled>& texts);

} // namespace textfields
