#pragma once

#include <QString>
#include <QStringList>

// The command line and the road from it to the main window.
namespace startup {

struct Options {
    QString folder;     // --folder DIR
    QString screenshot; // --screenshot FILE
    bool help = false;
    bool version = false;
    QString error; // an unknown option or a missing value
};

Options parseOptions(const QStringList& arguments);
QString helpText();

// Runs the program; returns the process's exit code.
int run(int argc, char** argv);

} // namespace startup
