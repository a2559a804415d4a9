#include "terminal.h"

#include <cstdlib>
#include <cstring>
#include <iostream>

#include <unistd.h>

namespace vellumet::cli {

bool progressBarWanted(const std::ostream& err) {
    if (&err != &std::cerr || isatty(STDERR_FILENO) == 0)
        return false;
    const char* term = std::getenv("TERM");
    return term == nullptr || std::strcmp(term, "dumb") != 0;
}

} // namespace vellumet::cli
