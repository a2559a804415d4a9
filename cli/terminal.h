#pragma once

#include <ostream>

namespace vellumet::cli {

// Whether a progress bar may be drawn on err: only when err is the process's
// standard error, that is a terminal, and the terminal can erase a line (not
// TERM=dumb). Redirected or piped output never gets control characters.
//
// The tool prints no colour; should it ever, it must also honour NO_COLOR.
bool progressBarWanted(const std::ostream& err);

} // namespace vellumet::cli
