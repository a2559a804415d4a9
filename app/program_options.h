#pragma once

#include <QString>
#include <QStringList>

namespace vellumet::app {

struct ProgramOptions {
    bool simulate = false;
    QString profilePath; // --simulate=PROFILE
    QString dataDir;     // --data-dir DIR
    QString tracePath;   // --trace FILE
    QString device;      // --device PATH|SERIAL
    bool help = false;
    bool version = false;
    QString error; // not empty: the command line could not be used
};

// Parses the window program's arguments (without the program name). Accepts
// "--option VALUE" and "--option=VALUE" for the options that take a value;
// --simulate takes its profile only in the "=" form, so that it can stand alone.
ProgramOptions parseProgramOptions(const QStringList& arguments);

QString programHelpText(const QString& programName);

} // namespace vellumet::app
