#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

// Numbers that asked not to be written to: the file esclusi in the application folder, one
// number a line, compared by the program's number rule ("333 1234567" is "+39 3331234567").
namespace excluded {

inline const QString fileName = QStringLiteral("esclusi");

// What the list compares: the number as address books keep it, or the text without blanks when
// it is no phone number.
QString key(QStringView number);

class List final {
public:
    // The list of the application folder; empty when it has none.
    static List load(const QString& appFolder);
    // Replaces the file (write, then rename); false when it could not be written.
    bool save(const QString& appFolder) const;

    bool contains(QStringView number) const;
    // False when the number is empty or already listed.
    bool add(QStringView number);
    // False when it was not listed.
    bool remove(QStringView number);
    // As kept: each number's key, in the order added.
    const QStringList& numbers() const { return m_numbers; }

private:
    QStringList m_numbers;
    QSet<QString> m_keys;
};

struct Imported {
    int added = 0;
    int already = 0;     // listed before
    QStringList refused; // "riga N: reason" for a line that is no phone number
};
// Adds the numbers of a text file's lines (blank lines skipped).
Imported importLines(List& list, const QStringList& lines);

} // namespace excluded
