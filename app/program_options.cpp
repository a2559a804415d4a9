#include "program_options.h"

namespace vellumet::app {

namespace {

// Takes the value of an option that needs one; returns false when it is missing.
bool takeValue(const QStringList& args, qsizetype& i, const QString& name, QString& value,
               QString& error) {
    const QString& arg = args[i];
    if (arg.startsWith(name + QLatin1Char('='))) {
        value = arg.mid(name.size() + 1);
    } else if (i + 1 < args.size()) {
        value = args[++i];
    } else {
        error = QStringLiteral("%1 needs a value").arg(name);
        return false;
    }
    if (value.isEmpty()) {
        error = QStringLiteral("%1 needs a value").arg(name);
        return false;
    }
    return true;
}

bool isOption(const QString& arg, const QString& name) {
    return arg == name || arg.startsWith(name + QLatin1Char('='));
}

} // namespace

ProgramOptions parseProgramOptions(const QStringList& arguments) {
    ProgramOptions options;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            options.help = true;
        } else if (arg == QLatin1String("--version") || arg == QLatin1String("-v")) {
            options.version = true;
        } else if (arg == QLatin1String("--simulate")) {
            options.simulate = true;
        } else if (arg.startsWith(QLatin1String("--simulate="))) {
            options.simulate = true;
            options.profilePath = arg.mid(11);
            if (options.profilePath.isEmpty())
                options.error = QStringLiteral("--simulate= needs a profile file");
        } else if (isOption(arg, QStringLiteral("--data-dir"))) {
            takeValue(arguments, i, QStringLiteral("--data-dir"), options.dataDir, options.error);
        } else if (isOption(arg, QStringLiteral("--trace"))) {
            takeValue(arguments, i, QStringLiteral("--trace"), options.tracePath, options.error);
        } else if (isOption(arg, QStringLiteral("--device"))) {
            takeValue(arguments, i, QStringLiteral("--device"), options.device, options.error);
            if (options.error.isEmpty() && options.device.isEmpty())
                options.error = QStringLiteral("--device needs a device path or serial number");
        } else {
            options.error = QStringLiteral("unknown option %1").arg(arg);
        }
        if (!options.error.isEmpty())
            break;
    }
    return options;
}

QString programHelpText(const QString& programName) {
    return QStringLiteral(
               "Usage: %1 [options]\n"
               "Shows the live readings of the eight-channel thermo-hygrometer station.\n"
               "\n"
               "  --simulate[=PROFILE]  use the virtual station (optionally from a profile file)\n"
               "  --data-dir DIR        keep Main.ini and 7421.mdb in DIR instead of the\n"
               "                        default data folder\n"
               "  --trace FILE          write every frame to and from the station to FILE\n"
               "  --device PATH|SERIAL  use the station with this node path or serial number\n"
               "                        (default: $VELLUMET_DEVICE, else the first one found)\n"
               "  --help                show this text and end\n"
               "  --version             show the version and end\n")
        .arg(programName);
}

} // namespace vellumet::app
