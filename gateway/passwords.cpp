#include "gateway/passwords.h"

#include "gateway/gatewayerror.h"

#include <QCryptographicHash>

#include <sodium.h>

namespace gateway {

namespace {

constexpr auto opsLimit = crypto_pwhash_OPSLIMIT_INTERACTIVE;
constexpr auto memLimit = crypto_pwhash_MEMLIMIT_INTERACTIVE;

bool isArgon2(const QByteArray& hash) {
    return hash.startsWith("$argon2");
}

} // namespace

QByteArray hashPassword(const QString& password) {
    const QByteArray utf8 = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, utf8.constData(), static_cast<unsigned long long>(utf8.size()),
                          opsLimit, memLimit) != 0)
        throw GatewayError(QStringLiteral("Memoria insufficiente per cifrare la password"));
    return QByteArray(out);
}

PasswordMatch matchPassword(const StoredPassword& stored, const QString& password) {
    const QByteArray utf8 = password.toUtf8();
    if (isArgon2(stored.hash)) {
        // The stored text ends at its NUL, as libsodium reads it.
        if (crypto_pwhash_str_verify(stored.hash.constData(), utf8.constData(),
                                     static_cast<unsigned long long>(utf8.size())) != 0)
            return PasswordMatch::Wrong;
        return crypto_pwhash_str_needs_rehash(stored.hash.constData(), opsLimit, memLimit) == 0
                   ? PasswordMatch::Right
                   : PasswordMatch::RightButOutdated;
    }
    const QByteArray old = QCryptographicHash::hash(stored.salt + utf8, QCryptographicHash::Sha256);
    if (old.size() != stored.hash.size() || sodium_memcmp(old.constData(), stored.hash.constData(),
                                                          static_cast<size_t>(old.size())) != 0)
        return PasswordMatch::Wrong;
    return PasswordMatch::RightButOutdated;
}

} // namespace gateway
