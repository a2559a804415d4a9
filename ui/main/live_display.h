#pragma once

#include "device/readings.h"
#include "device/station_blocks.h"
#include "device/station_snapshot.h"

#include <QImage>
#include <QRect>
#include <QString>

#include <array>

class QPainter;

namespace vellumet::app {
class TextTable;
}

namespace vellumet::ui {

inline constexpr int kPictureWidth = 480;
inline constexpr int kPictureHeight = 475;

// Where one channel's four texts go in the picture.
struct ChannelLayout {
    QRect label;
    QRect temperature;
    QRect humidity;
    QRect dewPoint;
};

const std::array<ChannelLayout, kChannelCount>& channelLayouts();

// The four texts of one channel. The blocks keep their "\r\n" line break:
// caption and colon on the first line, a blank and the value on the second.
struct ChannelTexts {
    QString label;
    QString temperature;
    QString humidity;
    QString dewPoint;
    QString alarm; // "Alarm: high" or "Alarm: low" past a limit, else empty
};

ChannelTexts channelTexts(int channel, const ChannelReading& reading, bool fahrenheit,
                          const app::TextTable& texts, AlarmState alarm = AlarmState::None);

using AlarmStates = std::array<AlarmState, kChannelCount>;
// Where each channel's reading stands against the alarm limits the station
// last sent (no alarm before they have come).
AlarmStates alarmStates(const StationSnapshot& station);

// The picture's background: panels for the eight channels on a soft gradient,
// made once and kept.
const QImage& backgroundImage();

// The program's icon at the given size, drawn (a thermometer and a drop).
QImage iconImage(int size);

// Composes the whole picture: background, then for CH1 to CH8 the label and
// the three blocks, each left- and top-aligned and clipped to its rectangle.
// A channel past an alarm limit gets a red frame and its alarm word beside
// its label.
void paintLiveDisplay(QPainter& painter, const Readings& readings, bool fahrenheit,
                      const app::TextTable& texts, const AlarmStates& alarms = {});

// The picture as an image, as the window shows it.
QImage renderLiveDisplay(const Readings& readings, bool fahrenheit, const app::TextTable& texts,
                         const AlarmStates& alarms = {});

// Where a channel's alarm word goes: beside its label, over the rule.
QRect alarmBadgeRect(int channel);

} // namespace vellumet::ui
