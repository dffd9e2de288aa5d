#pragma once

#include <QByteArrayView>
#include <QString>

#include <memory>

namespace store {
class Database;
}

// What the fuzz targets share. Each target defines fuzzing::run, called once per input.
namespace fuzzing {

void run(QByteArrayView input);

// Replaces the file `name` of the process's scratch folder with the input; its path.
QString file(QByteArrayView input, const QString& name);
// A folder of the process's own, removed at its end.
QString folder();
// A new empty address book, made as the program makes one: a copy of the folder's template.
std::unique_ptr<store::Database> freshBook();
// A service's answer as an input holds it: the first line is the Content-Type header, the rest
// the body. The body's bytes, and its text as the program decodes it by the header's charset.
QByteArrayView body(QByteArrayView input);
QString reply(QByteArrayView input);

} // namespace fuzzing
