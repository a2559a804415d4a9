#pragma once

#include <string_view>

namespace vellumet::cli {

// The longer help of one command, shown by `vellumet-cli COMMAND --help`.
struct CommandHelp {
    std::string_view name;
    std::string_view details; // keys, forms, values: lines within 80 columns
    std::string_view example; // one command line
};

// nullptr for a command without longer help (its usage and summary are shown).
const CommandHelp* commandHelp(std::string_view name);

} // namespace vellumet::cli
