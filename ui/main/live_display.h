#pragma once

#include "device/readings.h"

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
};

ChannelTexts channelTexts(int channel, const ChannelReading& reading, bool fahrenheit,
                          const app::TextTable& texts);

// The picture's background: panels for the eight channels on a soft gradient,
// made once and kept.
const QImage& backgroundImage();

// The program's icon at the given size, drawn (a thermometer and a drop).
QImage iconImage(int size);

// Composes the whole picture: background, then for CH1 to CH8 the label and
// the three blocks, each left- and top-aligned and clipped to its rectangle.
void paintLiveDisplay(QPainter& painter, const Readings& readings, bool fahrenheit,
                      const app::TextTable& texts);

// The picture as an image, as the window shows it.
QImage renderLiveDisplay(const Readings& readings, bool fahrenheit, const app::TextTable& texts);

} // namespace vellumet::ui
