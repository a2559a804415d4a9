#include "live_display.h"

#include "app/text_table.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace vellumet::ui {

namespace {

// Rectangles are given as left, top, right, bottom, the right and bottom edges
// being outside, so a block from 10 to 110 is 100 pixels wide.
constexpr QRect edges(int left, int top, int right, int bottom) {
    return QRect(left, top, right - left, bottom - top);
}

// clang-format off
const std::array<ChannelLayout, kChannelCount> kLayout{{
    {edges(10, 8, 110, 25),    edges(10, 30, 110, 70),    edges(10, 70, 110, 110),   edges(10, 110, 110, 150)},
    {edges(170, 8, 270, 25),   edges(170, 30, 270, 70),   edges(170, 70, 270, 110),  edges(170, 110, 270, 150)},
    {edges(320, 8, 420, 25),   edges(320, 30, 420, 70),   edges(320, 70, 420, 110),  edges(320, 110, 420, 150)},
    {edges(10, 162, 110, 185), edges(10, 185, 110, 222),  edges(10, 225, 110, 262),  edges(10, 265, 110, 342)},
    {edges(170, 162, 270, 185),edges(170, 185, 270, 222), edges(170, 225, 270, 262), edges(170, 265, 270, 302)},
    {edges(320, 162, 420, 185),edges(320, 185, 420, 222), edges(320, 225, 420, 262), edges(320, 265, 420, 302)},
    {edges(10, 315, 110, 335), edges(10, 330, 110, 370),  edges(10, 370, 110, 400),  edges(10, 410, 110, 450)},
    {edges(170, 315, 270, 335),edges(170, 330, 270, 370), edges(170, 370, 270, 400), edges(170, 410, 270, 450)},
}};
// clang-format on

QString block(const QString& caption, const std::string& value) {
    return caption + QStringLiteral(":\r\n ") + QString::fromUtf8(value.c_str());
}

// One panel behind each channel: a little wider than the text column, from
// just above the label to just below the last block.
QRectF panelFor(int channel) {
    static constexpr int kLeft[3] = {3, 163, 313};
    static constexpr int kTop[3] = {3, 157, 310};
    static constexpr int kBottom[3] = {154, 307, 466};
    const int row = channel / 3;
    const int column = channel % 3;
    return QRectF(kLeft[column], kTop[row], 150, kBottom[row] - kTop[row]);
}

void drawThermometer(QPainter& p, QPointF base, double height, double width, QColor fluid) {
    const double bulb = width * 1.9;
    QPainterPath tube;
    tube.addRoundedRect(QRectF(base.x() - width / 2, base.y() - height, width, height), width / 2,
                        width / 2);
    tube.addEllipse(base, bulb / 2, bulb / 2);
    p.setPen(QPen(QColor(70, 40, 90), std::max(1.0, width / 6)));
    p.setBrush(QColor(250, 250, 252));
    p.drawPath(tube.simplified());
    p.setPen(Qt::NoPen);
    p.setBrush(fluid);
    p.drawEllipse(base, bulb / 2 - width / 5, bulb / 2 - width / 5);
    const double inner = width * 0.45;
    p.drawRoundedRect(QRectF(base.x() - inner / 2, base.y() - height * 0.62, inner, height * 0.62),
                      inner / 2, inner / 2);
}

void drawDrop(QPainter& p, QPointF tip, double size, QColor colour) {
    QPainterPath drop;
    drop.moveTo(tip);
    drop.cubicTo(tip + QPointF(size * 0.55, size * 0.55), tip + QPointF(size * 0.55, size),
                 tip + QPointF(0, size));
    drop.cubicTo(tip + QPointF(-size * 0.55, size), tip + QPointF(-size * 0.55, size * 0.55), tip);
    QLinearGradient fill(tip, tip + QPointF(0, size));
    fill.setColorAt(0, colour.lighter(150));
    fill.setColorAt(1, colour);
    p.setPen(QPen(colour.darker(140), std::max(1.0, size / 18)));
    p.setBrush(fill);
    p.drawPath(drop);
}

QImage makeBackground() {
    QImage image(kPictureWidth, kPictureHeight, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, kPictureHeight);
    sky.setColorAt(0, QColor(236, 226, 244));
    sky.setColorAt(1, QColor(204, 186, 222));
    p.fillRect(image.rect(), sky);

    // Faint contour lines, like isobars on a weather chart.
    p.setPen(QPen(QColor(255, 255, 255, 70), 1.2));
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 9; ++i) {
        const double r = 60.0 + i * 34.0;
        p.drawEllipse(QPointF(400, 410), r * 1.25, r);
    }

    for (int channel = 0; channel < kChannelCount; ++channel) {
        const QRectF panel = panelFor(channel);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(80, 30, 100, 40));
        p.drawRoundedRect(panel.translated(1.5, 2), 9, 9);
        QLinearGradient face(panel.topLeft(), panel.bottomLeft());
        face.setColorAt(0, QColor(255, 255, 255, 245));
        face.setColorAt(1, QColor(247, 242, 251, 240));
        p.setBrush(face);
        p.setPen(QPen(QColor(180, 20, 180, 90), 1));
        p.drawRoundedRect(panel, 9, 9);
        // A coloured rule from the channel name to the panel's edge. It runs
        // beside the name, not under it: the last row's first block starts
        // inside the name's rectangle.
        const QRect label = kLayout[static_cast<std::size_t>(channel)].label;
        p.setPen(QPen(QColor(180, 20, 180, 160), 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(label.left() + 40, label.top() + 9.5),
                   QPointF(panel.right() - 10, label.top() + 9.5));
        // Small symbols beside the three blocks.
        const auto& layout = kLayout[static_cast<std::size_t>(channel)];
        const double symbolX = panel.right() - 20;
        drawThermometer(p, QPointF(symbolX, layout.temperature.top() + 28), 20, 5,
                        QColor(214, 62, 62));
        drawDrop(p, QPointF(symbolX, layout.humidity.top() + 6), 20, QColor(52, 120, 210));
        drawDrop(p, QPointF(symbolX, layout.dewPoint.top() + 6), 16, QColor(90, 170, 190));
    }

    // The free place of the last row carries the name.
    const QRectF brand(313, 310, 150, 156);
    QRadialGradient glow(brand.center(), 80);
    glow.setColorAt(0, QColor(255, 255, 255, 150));
    glow.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(brand.center(), 80, 80);
    drawThermometer(p, QPointF(brand.center().x() - 16, brand.top() + 82), 52, 10,
                    QColor(214, 62, 62));
    drawDrop(p, QPointF(brand.center().x() + 20, brand.top() + 36), 42, QColor(52, 120, 210));
    QFont name(QStringLiteral("Arial"));
    name.setPixelSize(22);
    name.setBold(true);
    p.setFont(name);
    p.setPen(QColor(110, 20, 120));
    p.drawText(QRectF(brand.left(), brand.top() + 104, brand.width(), 28), Qt::AlignCenter,
               QStringLiteral("Vellumet"));
    QFont small(QStringLiteral("Arial"));
    small.setPixelSize(11);
    p.setFont(small);
    p.setPen(QColor(110, 70, 130));
    p.drawText(QRectF(brand.left(), brand.top() + 130, brand.width(), 18), Qt::AlignCenter,
               QStringLiteral("Thermo-hygrometer"));
    return image;
}

// The picture's font is 16 pixels high from the top of its tallest letter to the
// bottom of its deepest, line spacing included, so that the two-line blocks fit
// their rectangles. Qt sizes fonts by their em, which is smaller; take the
// largest em whose full height is still 16.
QFont displayFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Helvetica"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(QFont::Normal);
    for (int size = 16; size > 8; --size) {
        font.setPixelSize(size);
        if (QFontMetrics(font).height() <= 16)
            break;
    }
    return font;
}

// The colour of a channel past an alarm limit.
const QColor kAlarmColour(200, 0, 0);

// A red frame around the channel's panel and its alarm word on a red badge.
void paintAlarm(QPainter& painter, int channel, const QString& word) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(kAlarmColour, 3));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(panelFor(channel).adjusted(1, 1, -1, -1), 9, 9);
    const QRect badge = alarmBadgeRect(channel);
    QFont font = painter.font();
    font.setPixelSize(11);
    font.setBold(true);
    const qreal wide = QFontMetricsF(font).horizontalAdvance(word) + 10;
    const QRectF box(badge.left(), badge.top(), std::min<qreal>(wide, badge.width()),
                     badge.height());
    painter.setPen(Qt::NoPen);
    painter.setBrush(kAlarmColour);
    painter.drawRoundedRect(box, 4, 4);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignCenter, word);
    painter.restore();
}

QString forDrawing(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

const std::array<ChannelLayout, kChannelCount>& channelLayouts() {
    return kLayout;
}

ChannelTexts channelTexts(int channel, const ChannelReading& reading, bool fahrenheit,
                          const app::TextTable& texts, AlarmState alarm) {
    ChannelTexts out;
    if (alarm == AlarmState::High)
        out.alarm = QCoreApplication::translate("LiveDisplay", "Alarm: high");
    else if (alarm == AlarmState::Low)
        out.alarm = QCoreApplication::translate("LiveDisplay", "Alarm: low");
    out.label = QStringLiteral("CH%1").arg(channel + 1);
    out.temperature = block(texts.at(app::TextId::Temperature),
                            formatTemperature(reading.temperature, TextForm::WithUnit, fahrenheit));
    out.humidity = block(texts.at(app::TextId::Humidity),
                         formatHumidity(reading.humidity, TextForm::WithUnit));
    out.dewPoint =
        block(texts.at(app::TextId::DewPoint),
              formatTemperature(channelDewPoint(reading), TextForm::WithUnit, fahrenheit));
    return out;
}

AlarmStates alarmStates(const StationSnapshot& station) {
    AlarmStates states{};
    if (!station.has(StationPart::Alarms))
        return states;
    const AlarmSettings settings = station.alarms();
    for (int channel = 0; channel < kChannelCount; ++channel)
        states[static_cast<std::size_t>(channel)] =
            alarmStateOf(settings, channel, station.readings[static_cast<std::size_t>(channel)]);
    return states;
}

QRect alarmBadgeRect(int channel) {
    const QRect label = kLayout[static_cast<std::size_t>(channel)].label;
    const QRectF panel = panelFor(channel);
    return QRect(label.left() + 36, label.top() + 1,
                 static_cast<int>(panel.right()) - 6 - (label.left() + 36), 16);
}

const QImage& backgroundImage() {
    static const QImage image = makeBackground();
    return image;
}

QImage iconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    QLinearGradient face(0, 0, 0, 64);
    face.setColorAt(0, QColor(206, 60, 206));
    face.setColorAt(1, QColor(140, 16, 140));
    p.setPen(Qt::NoPen);
    p.setBrush(face);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 13, 13);
    drawThermometer(p, QPointF(24, 48), 34, 8, QColor(230, 70, 70));
    drawDrop(p, QPointF(43, 14), 28, QColor(80, 160, 240));
    return image;
}

void paintLiveDisplay(QPainter& painter, const Readings& readings, bool fahrenheit,
                      const app::TextTable& texts, const AlarmStates& alarms) {
    painter.drawImage(0, 0, backgroundImage());
    static const QFont font = displayFont();
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.setBackgroundMode(Qt::TransparentMode);
    constexpr int flags = Qt::AlignLeft | Qt::AlignTop;
    for (int channel = 0; channel < kChannelCount; ++channel) {
        const auto& layout = kLayout[static_cast<std::size_t>(channel)];
        const ChannelTexts t =
            channelTexts(channel, readings[static_cast<std::size_t>(channel)], fahrenheit, texts,
                         alarms[static_cast<std::size_t>(channel)]);
        if (!t.alarm.isEmpty())
            paintAlarm(painter, channel, t.alarm);
        for (const auto& [rect, text] :
             {std::pair{layout.label, t.label}, std::pair{layout.temperature, t.temperature},
              std::pair{layout.humidity, t.humidity}, std::pair{layout.dewPoint, t.dewPoint}}) {
            painter.save();
            painter.setClipRect(rect);
            const QString drawn = forDrawing(text);
            // A caption wider than its block (German "Luftfeuchtigkeit:") is
            // narrowed to fit rather than cut off.
            const qreal wide = QFontMetricsF(font).boundingRect(QRectF(rect), flags, drawn).width();
            if (wide > rect.width()) {
                painter.translate(rect.left(), 0);
                painter.scale(rect.width() / wide, 1.0);
                painter.translate(-rect.left(), 0);
                painter.drawText(QRectF(rect.left(), rect.top(), wide, rect.height()), flags,
                                 drawn);
            } else {
                painter.drawText(rect, flags, drawn);
            }
            painter.restore();
        }
    }
}

QImage renderLiveDisplay(const Readings& readings, bool fahrenheit, const app::TextTable& texts,
                         const AlarmStates& alarms) {
    QImage image(kPictureWidth, kPictureHeight, QImage::Format_RGB32);
    QPainter painter(&image);
    paintLiveDisplay(painter, readings, fahrenheit, texts, alarms);
    painter.end();
    return image;
}

} // namespace vellumet::ui
