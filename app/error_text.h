#pragma once

#include "core/result.h"

#include <QString>

namespace vellumet::app {

// A failure as the user reads it, in the language of the installed
// translator. The layers built on Qt put their messages into that language
// where they make them; the phrases of the layers below (a kind's own
// phrase, the station link's) are looked up in the catalogue here. Paths,
// file names and the station's or SQLite's own words stay as they are.
// Without a translator (the command line) this is failure.text().
QString errorText(const Error& failure);

// A file's error string as Qt gives it, in the user's language where Qt's own
// catalogue has it: Qt marks its few common phrases ("Permission denied")
// for translation but hands them out in English. Other system words stay.
QString systemErrorText(const QString& errorString);

} // namespace vellumet::app
