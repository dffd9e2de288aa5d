#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The local users (file tempaccesso in the application folder): one line per user, the record
// name + "," + password + "," + level code scrambled on its Windows-1252 codes, CR LF.
namespace users {

inline constexpr int maxUsers = 1001;

struct User {
    QString name;
    QString password;
    QString level; // "1" Administrator, "2" Power User, "3" User, "4" Guest, or empty
};

// The character at position 1 moves by the length n, the one at position i (from 2) by i.
// std::nullopt when a code would leave 0..255.
std::optional<QByteArray> scramble(QByteArrayView record);
std::optional<QByteArray> unscramble(QByteArrayView line);

// The line of a user; std::nullopt when the record cannot be stored: a comma in the name or the
// password, a character Windows-1252 lacks, or a code that scrambling would push past 255.
std::optional<QByteArray> lineOf(const User& user);
// A line read back; std::nullopt when it cannot be unscrambled or does not hold exactly a name,
// a password and a level.
std::optional<User> userOf(QByteArrayView line);

// "Administrator", "Power User", "User", "Guest" for the codes "1" to "4"; empty otherwise.
QString levelName(const QString& code);
// The code of a level's name (exact text); empty for any other text.
QString levelCode(const QString& name);

QString filePath(const QString& appFolder);

struct Contents {
    // TooLong: more than maxUsers records; the file is damaged and no user is read from it.
    enum Status { Read, Missing, Unreadable, TooLong } status = Read;
    QList<User> users;  // in file order
    int unreadable = 0; // damaged lines, left out: never a user
};
// Lines may end in CR LF, LF or CR alone.
Contents read(const QString& appFolder);
// What to tell the user about a damaged file (lines that are no user, too many lines); empty
// when there is nothing to tell.
QString damageNotice(const Contents& contents);
// Replaces the file (temporary file renamed); false when it could not be written or a user
// cannot be stored (see lineOf).
bool write(const QString& appFolder, const QList<User>& users);

enum class Login { Accepted, Refused, FileCreated, Unreadable };
// Checks a name and password (exact, letter case counts) against the file. A missing file is
// created empty (FileCreated).
Login login(const QString& appFolder, const QString& name, const QString& password);

} // namespace users
