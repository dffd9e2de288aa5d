// The records of a csv file as the column window shows them: line 1 and the first contacts.
#include "exchange/csvimport.h"
#include "fuzz/fuzzing.h"

void fuzzing::run(QByteArrayView input) {
    csvimport::preview(file(input, QStringLiteral("contatti.csv")));
}
