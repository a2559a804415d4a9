#pragma once

#include <string>

namespace vellumet::cli {

// Makes sure the data folder (the given one, or the default when empty) exists
// and can be written; returns its absolute path or throws CommandError.
std::string prepareDataDir(const std::string& overrideDir);

} // namespace vellumet::cli
