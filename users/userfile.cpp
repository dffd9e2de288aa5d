#include "users/userfile.h"

#include "platform/lines.h"
#include "platform/textfile.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace users {

namespace {

const QString levels[] = {QStringLiteral("Administrator"), QStringLiteral("Power User"),
                          QStringLiteral("User"), QStringLiteral("Guest")};

// Shifts every code by +1 (scramble) or -1 (unscramble) times its amount.
std::optional<QByteArray> shift(QByteArrayView text, int direction) {
    const qsizetype n = text.size();
    QByteArray out(n, Qt::Uninitialized);
    for (qsizetype i = 0; i < n; ++i) {
        const int amount = i == 0 ? int(n) : int(i + 1);
        const int code = static_cast<unsigned char>(text[i]) + direction * amount;
        if (code < 0 || code > 255)
            return std::nullopt;
        out[i] = static_cast<char>(code);
    }
    return out;
}

} // namespace

std::optional<QByteArray> scramble(QByteArrayView record) {
    return shift(record, +1);
}

std::optional<QByteArray> unscramble(QByteArrayView line) {
    return shift(line, -1);
}

std::optional<QByteArray> lineOf(const User& user) {
    if (user.name.contains(u',') || user.password.contains(u','))
        return std::nullopt;
    const auto record =
        platform::TextFile::encodeExactly(user.name + u',' + user.password + u',' + user.level);
    if (!record)
        return std::nullopt;
    const auto line = scramble(*record);
    // A scrambled line holding a line end could not be read back.
    if (!line || line->contains('\r') || line->contains('\n'))
        return std::nullopt;
    return line;
}

std::optional<User> userOf(QByteArrayView line) {
    const auto record = unscramble(line);
    if (!record)
        return std::nullopt;
    // Name, password and level: a record without all three is no user.
    const QStringList fields = platform::TextFile::decode(*record).split(u',');
    if (fields.size() != 3)
        return std::nullopt;
    return User{fields[0], fields[1], fields[2]};
}

QString levelName(const QString& code) {
    bool ok = false;
    const int n = code.toInt(&ok);
    return ok && code.size() == 1 && n >= 1 && n <= 4 ? levels[n - 1] : QString();
}

QString levelCode(const QString& name) {
    for (int i = 0; i < 4; ++i)
        if (levels[i] == name)
            return QString::number(i + 1);
    return {};
}

QString filePath(const QString& appFolder) {
    return QDir(appFolder).filePath(QStringLiteral("tempaccesso"));
}

Contents read(const QString& appFolder) {
    Contents contents;
    QFile file(filePath(appFolder));
    if (!file.exists()) {
        contents.status = Contents::Missing;
        return contents;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        contents.status = Contents::Unreadable;
        return contents;
    }
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        contents.status = Contents::Unreadable;
        return contents;
    }
    platform::LineReader lines(data);
    int records = 0;
    while (const auto line = lines.next()) {
        if (line->isEmpty())
            continue;
        // The program never writes more: such a file is damaged, and none of it counts.
        if (++records > maxUsers) {
            contents.status = Contents::TooLong;
            contents.users.clear();
            contents.unreadable = 0;
            return contents;
        }
        if (auto user = userOf(*line))
            contents.users.append(*std::move(user));
        else
            ++contents.unreadable;
    }
    return contents;
}

QString damageNotice(const Contents& contents) {
    const QString file = QStringLiteral("Il file degli utenti tempaccesso è danneggiato: ");
    if (contents.status == Contents::TooLong)
        return file + QStringLiteral("contiene più di %1 righe e nessun utente è stato letto.")
                          .arg(maxUsers);
    if (contents.unreadable == 1)
        return file + QStringLiteral("1 riga è illeggibile e non vale come utente.");
    if (contents.unreadable > 1)
        return file + QStringLiteral("%1 righe sono illeggibili e non valgono come utenti.")
                          .arg(contents.unreadable);
    return {};
}

bool write(const QString& appFolder, const QList<User>& users) {
    QByteArray data;
    for (const User& user : users) {
        const auto line = lineOf(user);
        if (!line)
            return false;
        data += *line + "\r\n";
    }
    QSaveFile file(filePath(appFolder));
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
        return false;
    return file.commit();
}

Login login(const QString& appFolder, const QString& name, const QString& password) {
    const Contents contents = read(appFolder);
    switch (contents.status) {
    case Contents::Missing:
        return write(appFolder, {}) ? Login::FileCreated : Login::Unreadable;
    case Contents::Unreadable:
    case Contents::TooLong:
        return Login::Unreadable;
    case Contents::Read:
        break;
    }
    for (const User& user : contents.users)
        if (user.name == name && user.password == password)
            return Login::Accepted;
    return Login::Refused;
}

} // namespace users
