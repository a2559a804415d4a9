#include "application.h"

#include "app/program_options.h"
#include "core/version.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv) {
    // Options that need no window are answered before a display is opened.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const vellumet::app::ProgramOptions options = vellumet::app::parseProgramOptions(arguments);
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "vellumet: %s\n%s", qPrintable(options.error),
                     qPrintable(vellumet::app::programHelpText(QStringLiteral("vellumet"))));
        return 2;
    }
    if (options.help) {
        std::fputs(qPrintable(vellumet::app::programHelpText(QStringLiteral("vellumet"))), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("Vellumet %s\n", vellumet::kVersion);
        return 0;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vellumet"));
    QApplication::setApplicationVersion(QString::fromLatin1(vellumet::kVersion));
    QApplication::setDesktopFileName(QStringLiteral("org.vellumet.Vellumet"));
    QApplication::setWindowIcon(vellumet::ui::appIcon());

    vellumet::ui::Application app;
    return app.initInstance(options);
}
