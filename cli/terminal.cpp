#include "terminal.h"

#include "cli.h"

#include <QString>
#include <QtGlobal>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#if __has_include(<stdio_ext.h>)
#include <stdio_ext.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

namespace vellumet::cli {

namespace {

// Where standard output's file ends before a write, when it is a regular file
// (a log redirected with > or >>); -1 otherwise.
off_t regularFileEnd(const std::ostream& out) {
    struct stat info {};
    if (&out != &std::cout || ::fstat(STDOUT_FILENO, &info) != 0 || !S_ISREG(info.st_mode))
        return -1;
    return ::lseek(STDOUT_FILENO, 0, SEEK_CUR);
}

void libraryMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtDebugMsg || type == QtInfoMsg ||
        message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    std::cerr << kProgramName << ": " << message.toLocal8Bit().constData() << '\n' << std::flush;
}

} // namespace

void routeLibraryMessages() {
    qInstallMessageHandler(libraryMessage);
}

bool progressBarWanted(const std::ostream& err) {
    if (&err != &std::cerr || isatty(STDERR_FILENO) == 0)
        return false;
    const char* term = std::getenv("TERM");
    return term == nullptr || std::strcmp(term, "dumb") != 0;
}

bool outputContinuesAFile(const std::ostream& out) {
    struct stat info {};
    return &out == &std::cout && ::fstat(STDOUT_FILENO, &info) == 0 && S_ISREG(info.st_mode) &&
           info.st_size > 0;
}

Status writeOutput(std::ostream& out, std::string_view text) {
    if (!out)
        return makeError(Errc::Io, "cannot write standard output: an earlier write failed");
    // Whatever an earlier piece left in the buffer goes first, so that the
    // position below is where text starts.
    out.flush();
    const off_t start = out ? regularFileEnd(out) : -1;
    errno = 0;
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (out)
        return {};
    const int error = errno;
    if (&out == &std::cout) {
        // What stdio still holds of text must not follow at the exit's flush.
#if __has_include(<stdio_ext.h>)
        __fpurge(stdout);
#endif
        if (start >= 0 && ::ftruncate(STDOUT_FILENO, start) == 0)
            ::lseek(STDOUT_FILENO, start, SEEK_SET);
    }
    return makeError(Errc::Io, std::string("cannot write standard output: ") +
                                   (error != 0 ? std::strerror(error) : "the stream refused it"));
}

} // namespace vellumet::cli
