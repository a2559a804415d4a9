#pragma once

#include "core/result.h"
#include "device/command_frame.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace vellumet {
class StationLink;
}

namespace vellumet::sdcard {

// One line of the card's file list. The name comes from the station and is
// not trusted: it becomes a local path only when problem() is empty.
struct CardEntry {
    std::string rawName;    // the station's bytes (Latin-1)
    QString name;           // the same as text
    std::int64_t size = -1; // bytes; -1 when the line carried none
    QString sizeText;
    // Why the program cannot copy, delete or keep this file; empty when it can.
    QString problem;
    // Only the delete request is out of reach (a name of 53 to 60 bytes can
    // still be deleted, but not read).
    QString readProblem;

    bool usable() const { return problem.isEmpty(); }
    bool readable() const { return problem.isEmpty() && readProblem.isEmpty(); }
};

struct CardListing {
    std::vector<CardEntry> entries; // in the station's order, duplicates kept
    bool complete = false;          // the end of the list arrived in time
};

// "%0.2f KB" up to 1 MiB, "%0.2f MB" above.
QString sizeText(std::int64_t bytes);

// Why a card file name cannot be used for a local copy (empty: it can).
// A plain file name only: not empty, no "/" or "\" or ":", not "." or "..",
// no control characters, not one of the program's own files in the data
// folder, and short enough for the delete request.
QString nameProblem(std::string_view latin1Name);
// Why the name does not fit the read request (empty: it does).
QString readNameProblem(std::string_view latin1Name);

// One report of the list: lead byte, name, ",", size as four bytes big-endian.
// nullopt for the end of the list ("{@}"); an entry with a problem for a
// report that cannot be read as a list line.
std::optional<CardEntry> parseFileLine(const Block& report, std::size_t received);

// The names of the card (command 0x01). The entries that arrived are kept
// when the end of the list does not come in time (complete is then false);
// an error only when the station could not be asked at all.
Result<CardListing> requestFileList(StationLink& link, std::stop_token stop = {});

// The last listed entry of that name (a station that lists a name twice
// means the later size), or null.
const CardEntry* findEntry(const CardListing& listing, const QString& name);

// Sends the delete command (0x20) for a listed file. No answer comes.
Status deleteCardFile(StationLink& link, const CardEntry& entry, std::stop_token stop = {});

} // namespace vellumet::sdcard
