// "Importa file csv" into a new address book; when the column names do not tell the mobile,
// with the columns a user would match in "Abbina le colonne".
#include "exchange/csvimport.h"
#include "fuzz/fuzzing.h"
#include "store/database.h"

void fuzzing::run(QByteArrayView input) {
    const QString path = file(input, QStringLiteral("contatti.csv"));
    const auto book = freshBook();
    if (csvimport::importFile(path, *book).status == csvimport::Outcome::NoNumberColumn)
        csvimport::importFile(path, csvimport::Columns{0, 1, 2, 3}, *book);
}
