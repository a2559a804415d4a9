#pragma once

#include "core/result.h"

#include <ostream>
#include <string_view>

namespace vellumet::cli {

// Whether a progress bar may be drawn on err: only when err is the process's
// standard error, that is a terminal, and the terminal can erase a line (not
// TERM=dumb). Redirected or piped output never gets control characters.
//
// The tool prints no colour; should it ever, it must also honour NO_COLOR.
bool progressBarWanted(const std::ostream& err);

// Whether out is the process's standard output and that is a regular file
// that already holds data (a log appended to with >>): a stream then leaves
// out its header, which the file has from before.
bool outputContinuesAFile(const std::ostream& out);

// Qt's own notices reach standard error in the tool's one-line form, and
// those that tell nobody anything (no XDG_RUNTIME_DIR under cron: Qt then uses
// a private folder of its own) not at all. Called once, by main().
void routeLibraryMessages();

// Writes text to out and flushes it; an error says why it could not be
// written ("cannot write standard output: ..."). When out is the process's
// standard output and that is a regular file, a failed write is cut off
// again, so that no part of text stays behind in the file (a log that ran out
// of space ends with its last whole line). A stream that failed before
// refuses every later write.
Status writeOutput(std::ostream& out, std::string_view text);

} // namespace vellumet::cli
