#pragma once

#include "command.h"

#include "sdcard/log_import.h"
#include "store/archive.h"

#include <QJsonValue>

#include <optional>
#include <string>
#include <vector>

namespace vellumet::cli {

// The history of every import (archive, records --archive, name).
int runArchive(Invocation& invocation);
int runName(Invocation& invocation);
// records with --archive among its arguments.
int runArchiveRecords(Invocation& invocation);

// A channel as the user names it: CH1 … CH8, IN, or (with archive) a name
// given with `name`; UsageError otherwise.
int channelOf(store::Archive* archive, const std::string& text);
// The name shown for a channel: the user's, else its own.
std::string shownName(store::Archive& archive, const std::string& station, int channel);

// Takes import's --channel NAME out of args; the channel, when given.
std::optional<int> importChannelOption(std::vector<std::string>& args);
// What an import did to the history, for import's output.
std::string importArchiveText(const sdcard::ImportSummary& summary);
QJsonValue importArchiveJson(const sdcard::ImportSummary& summary);

} // namespace vellumet::cli
