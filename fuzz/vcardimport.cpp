// "Importa vCard": a file into a new address book.
#include "exchange/vcard.h"
#include "fuzz/fuzzing.h"
#include "store/database.h"

void fuzzing::run(QByteArrayView input) {
    const auto book = freshBook();
    vcard::importFile(file(input, QStringLiteral("contatti.vcf")), *book);
}
