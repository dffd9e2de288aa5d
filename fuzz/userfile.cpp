// The local users' file, tempaccesso, as the login reads it.
#include "users/userfile.h"
#include "fuzz/fuzzing.h"

void fuzzing::run(QByteArrayView input) {
    file(input, QStringLiteral("tempaccesso"));
    const users::Contents contents = users::read(folder());
    users::damageNotice(contents);
    for (const users::User& user : contents.users)
        users::levelName(user.level);
}
