#pragma once

#include "command.h"

namespace vellumet::cli {

// One handler per command; each parses its own arguments first (UsageError),
// then talks to the station (CommandError), and leaves its result in output.
int runLive(Invocation& invocation);
int runDevices(Invocation& invocation);
int runWatch(Invocation& invocation);
int runInfo(Invocation& invocation);
int runSyncTime(Invocation& invocation);
int runSetInterval(Invocation& invocation);
int runImport(Invocation& invocation);
int runRecords(Invocation& invocation);
int runFiles(Invocation& invocation);
int runFetch(Invocation& invocation);
int runDelete(Invocation& invocation);
int runPlot(Invocation& invocation);
int runSetSettings(Invocation& invocation);
int runSetAlarm(Invocation& invocation);
int runSetCalibration(Invocation& invocation);
int runSetLanguage(Invocation& invocation);
int runBackup(Invocation& invocation);
int runRestore(Invocation& invocation);

} // namespace vellumet::cli
