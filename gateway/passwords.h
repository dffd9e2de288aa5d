#pragma once

#include <QByteArray>
#include <QString>

namespace gateway {

// An account's password as the database keeps it: an argon2id string (libsodium's
// crypto_pwhash_str) with an empty salt, or, in accounts from before, the SHA-256 of the salt
// and the password.
struct StoredPassword {
    QByteArray salt;
    QByteArray hash;
};

enum class PasswordMatch { Wrong, Right, RightButOutdated };

// The argon2id string of a password. It takes about 0.1 s and 64 MB on purpose: never call it
// under a lock that other requests wait on. Throws GatewayError when the memory is not there.
QByteArray hashPassword(const QString& password);

// Whether the password is the stored one; RightButOutdated when it is kept the old way (or
// with other argon2 limits than today's) and should be hashed again. As slow as hashPassword.
PasswordMatch matchPassword(const StoredPassword& stored, const QString& password);

} // namespace gateway
