#pragma once

#include <QString>

namespace gateway {

// A user name as accounts are stored and compared: Unicode NFC, so that "josé" typed with one
// character or with "e" and a combining accent is one name.
QString accountName(const QString& user);

// Whether the name mixes writing systems, as a Cyrillic "о" among Latin letters does, so that
// it could pass for another account's name. Digits, punctuation and combining marks belong to
// any; the scripts one language writes together (Japanese, Chinese, Korean, each also with
// Latin letters) are no mix.
bool mixesScripts(const QString& user);

} // namespace gateway
