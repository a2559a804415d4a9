#pragma once

#include "core/result.h"

#include <stop_token>
#include <string>
#include <string_view>

namespace vellumet::cli {

// Whether path may be written by writeWholeFile: it does not exist yet, or it
// is a regular file (also behind symbolic links). A device, a FIFO, a folder
// or a socket is refused (Errc::InvalidInput), so that an output option never
// removes or feeds one.
Status checkOutputTarget(const std::string& path);

// Writes bytes to path so that the file holds either what it held before or
// all of bytes, never a part: into a new file beside it, every write and the
// sync to disk checked, then renamed over the old one. A symbolic link stays;
// the file it leads to is replaced. The old file's permissions are kept. A
// stop requested before the rename leaves the old file alone
// (Errc::Cancelled); any other failure is Errc::Io with the reason.
Status writeWholeFile(const std::string& path, std::string_view bytes,
                      const std::stop_token& stop = {});

} // namespace vellumet::cli
