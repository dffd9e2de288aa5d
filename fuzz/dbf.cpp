// A FoxPro or dBase table, as the hotel import reads one: every field of every record.
#include "exchange/dbf.h"
#include "fuzz/fuzzing.h"

void fuzzing::run(QByteArrayView input) {
    try {
        dbf::Table table(file(input, QStringLiteral("anagrafiche.dbf")));
        const int fields = static_cast<int>(table.fields().size());
        for (const dbf::Field& field : table.fields())
            table.fieldIndex(field.name);
        while (table.next()) {
            for (int field = 0; field < fields; ++field) {
                table.text(field);
                table.asciiText(field);
            }
        }
    } catch (const dbf::Error&) {
    }
}
