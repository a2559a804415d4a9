#include "setup_logic.h"

#include "settings_text.h"

#include <QCoreApplication>

namespace vellumet::settings {

using app::TextId;

QStringList graphTypeItems() {
    return {text(TextId::Temperature), text(TextId::Humidity), text(TextId::DewPoint),
            text(TextId::HeatIndex)};
}

QStringList graphTimeItems() {
    return {QStringLiteral("12H"), QStringLiteral("24H"), QStringLiteral("48H"),
            QStringLiteral("72H")};
}

QStringList timeFormatItems() {
    QStringList items;
    for (int i = 0; i < 3; ++i)
        items << QString::fromLatin1(timeFormatName(i).data(),
                                     static_cast<qsizetype>(timeFormatName(i).size()));
    return items;
}

QStringList dateFormatItems() {
    QStringList items;
    for (int i = 0; i < 3; ++i)
        items << QString::fromLatin1(dateFormatName(i).data(),
                                     static_cast<qsizetype>(dateFormatName(i).size()));
    return items;
}

QStringList daylightSavingItems() {
    return {QStringLiteral("OFF"), QStringLiteral("ON")};
}

QStringList timeZoneItems() {
    QStringList items;
    for (int hours = kTimeZoneMin; hours <= kTimeZoneMax; ++hours)
        items << QString::number(hours);
    return items;
}

QStringList unitItems() {
    return {QString::fromUtf8("°C"), QString::fromUtf8("°F")};
}

QStringList areaItems(int areas) {
    QStringList items;
    for (int area = 1; area <= (areas >= kMaxAreas ? kMaxAreas : kFiveAreas); ++area)
        items << QStringLiteral("CH Area%1").arg(area);
    return items;
}

namespace {

int indexIn(int value, int count) {
    return value >= 0 && value < count ? value : -1;
}

} // namespace

SetupSelection selectionFor(const StationSettings& s) {
    SetupSelection sel;
    sel.graphType = indexIn(s.graphType, 4);
    for (int i = 0; i < static_cast<int>(kGraphTimeHours.size()); ++i)
        if (kGraphTimeHours[static_cast<std::size_t>(i)] == s.graphTimeHours)
            sel.graphTime = i;
    sel.timeFormat = indexIn(s.timeFormat, 3);
    sel.dateFormat = indexIn(s.dateFormat, 3);
    sel.daylightSaving = indexIn(s.daylightSaving, 2);
    sel.timeZone = s.timeZoneHours >= kTimeZoneMin && s.timeZoneHours <= kTimeZoneMax
                       ? s.timeZoneHours - kTimeZoneMin
                       : -1;
    sel.unit = indexIn(s.unit, 2);
    return sel;
}

StationSettings applySelection(const StationSettings& station, const SetupSelection& sel) {
    StationSettings s = station;
    if (sel.graphType >= 0 && sel.graphType < 4)
        s.graphType = sel.graphType;
    if (sel.graphTime >= 0 && sel.graphTime < static_cast<int>(kGraphTimeHours.size()))
        s.graphTimeHours = kGraphTimeHours[static_cast<std::size_t>(sel.graphTime)];
    if (sel.timeFormat >= 0 && sel.timeFormat < 3)
        s.timeFormat = sel.timeFormat;
    if (sel.dateFormat >= 0 && sel.dateFormat < 3)
        s.dateFormat = sel.dateFormat;
    if (sel.daylightSaving >= 0 && sel.daylightSaving < 2)
        s.daylightSaving = sel.daylightSaving;
    if (sel.timeZone >= 0 && sel.timeZone <= kTimeZoneMax - kTimeZoneMin)
        s.timeZoneHours = sel.timeZone + kTimeZoneMin;
    if (sel.unit >= 0 && sel.unit < 2)
        s.unit = sel.unit;
    return s;
}

void AreaGrid::load(const StationSettings& settings, int areas) {
    setAreas(areas);
    // A five-area station's block says nothing about areas 6 to 8.
    for (int area = 0; area < areas_; ++area)
        masks_[static_cast<std::size_t>(area)] = settings.areaMasks[static_cast<std::size_t>(area)];
}

std::uint32_t AreaGrid::select(int area, std::uint32_t gridNow, bool initialising) {
    if (area < 0 || area >= kMaxAreas)
        area = 0;
    if (!initialising)
        masks_[static_cast<std::size_t>(selected_)] = gridNow & kAreaBits;
    selected_ = area;
    return masks_[static_cast<std::size_t>(area)];
}

std::array<std::uint32_t, kMaxAreas> AreaGrid::masksForSave(std::uint32_t gridNow) const {
    std::array<std::uint32_t, kMaxAreas> masks = masks_;
    masks[static_cast<std::size_t>(selected_)] = gridNow & kAreaBits;
    return masks;
}

Status checkAreaMasks(const std::array<std::uint32_t, kMaxAreas>& masks, int areas) {
    const int count = areas >= kMaxAreas ? kMaxAreas : kFiveAreas;
    for (int area = 0; area < count; ++area)
        if ((masks[static_cast<std::size_t>(area)] & kAreaBits) == 0)
            return makeError(Errc::InvalidInput, text(TextId::AreaInputError).toStdString());
    return {};
}

Result<CommandFrame> setupSaveFrame(const StationSettings& settings, int areas) {
    if (Status checked = checkAreaMasks(settings.areaMasks, areas); !checked)
        return checked.error();
    return settingsFrame(settings, areas);
}

QString wholeMinutesText() {
    return QCoreApplication::translate("Setup", "Please enter a whole number of minutes.");
}

Result<int> intervalFromText(const QString& boxText) {
    const std::optional<int> minutes = integerOf(boxText);
    if (!minutes)
        return makeError(
            Errc::InvalidInput,
            (text(TextId::IntervalRange) + QLatin1Char('\n') + wholeMinutesText()).toStdString());
    if (!intervalInRange(*minutes))
        return makeError(Errc::InvalidInput, text(TextId::IntervalRange).toStdString());
    return *minutes;
}

} // namespace vellumet::settings

namespace vellumet::settings {

namespace {

constexpr std::array<const char*, 4> kGraphTypeNames = {"temperature", "humidity", "dewpoint",
                                                        "heatindex"};
constexpr std::array<const char*, 3> kAreaItemNames = {"temperature", "dewpoint", "heatindex"};

Error badValue(const std::string& key, const std::string& value, const std::string& accepted) {
    return makeError(Errc::InvalidInput,
                     key + ": '" + value + "' is not accepted; use " + accepted);
}

std::optional<int> wholeNumber(const std::string& text) {
    return integerOf(QString::fromStdString(text));
}

std::string areaText(std::uint32_t mask) {
    std::string out;
    for (int channel = 1; channel <= kChannelCount; ++channel)
        for (int item = 0; item < 3; ++item)
            if (areaShows(mask, channel, static_cast<AreaItem>(item))) {
                if (!out.empty())
                    out += ',';
                out += "CH" + std::to_string(channel) + '-' +
                       kAreaItemNames[static_cast<std::size_t>(item)];
            }
    return out;
}

Result<std::uint32_t> areaMask(const std::string& key, const std::string& value) {
    const std::string accepted =
        "a list like CH1-temperature,CH2-dewpoint,CH8-heatindex (channels 1 to 8)";
    std::uint32_t mask = 0;
    const QStringList items = QString::fromStdString(value).split(',', Qt::SkipEmptyParts);
    for (const QString& raw : items) {
        const QString item = raw.trimmed().toLower();
        const qsizetype dash = item.indexOf('-');
        if (!item.startsWith(QLatin1String("ch")) || dash < 0)
            return badValue(key, value, accepted);
        bool ok = false;
        const int channel = item.mid(2, dash - 2).toInt(&ok);
        if (!ok || channel < 1 || channel > kChannelCount)
            return badValue(key, value, accepted);
        int which = -1;
        for (int i = 0; i < 3; ++i)
            if (item.mid(dash + 1) == QLatin1String(kAreaItemNames[static_cast<std::size_t>(i)]))
                which = i;
        if (which < 0)
            return badValue(key, value, accepted);
        mask |= 1u << (3 * (channel - 1) + which);
    }
    if (mask == 0)
        return makeError(Errc::InvalidInput,
                         key + ": " + text(app::TextId::AreaInputError).toStdString());
    return mask;
}

int areaIndexOf(const std::string& key) {
    if (key.size() == 5 && key.rfind("area", 0) == 0 && key[4] >= '1' && key[4] <= '8')
        return key[4] - '1';
    return -1;
}

} // namespace

std::vector<std::string> settingKeys(int areas) {
    std::vector<std::string> keys = {"graph-type",      "graph-time", "time-format", "date-format",
                                     "daylight-saving", "time-zone",  "unit"};
    for (int area = 1; area <= (areas >= kMaxAreas ? kMaxAreas : kFiveAreas); ++area)
        keys.push_back("area" + std::to_string(area));
    return keys;
}

std::string settingValue(const StationSettings& s, const std::string& key) {
    const SetupSelection sel = selectionFor(s);
    if (key == "graph-type")
        return sel.graphType >= 0 ? kGraphTypeNames[static_cast<std::size_t>(sel.graphType)]
                                  : std::to_string(s.graphType);
    if (key == "graph-time")
        return std::to_string(s.graphTimeHours);
    if (key == "time-format")
        return sel.timeFormat >= 0 ? std::string(timeFormatName(s.timeFormat))
                                   : std::to_string(s.timeFormat);
    if (key == "date-format")
        return sel.dateFormat >= 0 ? std::string(dateFormatName(s.dateFormat))
                                   : std::to_string(s.dateFormat);
    if (key == "daylight-saving")
        return sel.daylightSaving >= 0 ? (s.daylightSaving != 0 ? "on" : "off")
                                       : std::to_string(s.daylightSaving);
    if (key == "time-zone")
        return std::to_string(s.timeZoneHours);
    if (key == "unit")
        return sel.unit >= 0 ? (s.unit != 0 ? "F" : "C") : std::to_string(s.unit);
    if (const int area = areaIndexOf(key); area >= 0)
        return areaText(s.areaMasks[static_cast<std::size_t>(area)]);
    return {};
}

Status applySetting(StationSettings& s, const std::string& key, const std::string& value,
                    int areas) {
    const QString v = QString::fromStdString(value).trimmed();
    const auto pick = [&](const QStringList& names) -> int {
        for (qsizetype i = 0; i < names.size(); ++i)
            if (v.compare(names[i], Qt::CaseInsensitive) == 0)
                return static_cast<int>(i);
        return -1;
    };
    if (key == "graph-type") {
        const int i = pick({"temperature", "humidity", "dewpoint", "heatindex"});
        if (i < 0)
            return badValue(key, value, "temperature, humidity, dewpoint or heatindex");
        s.graphType = i;
    } else if (key == "graph-time") {
        const int i = pick({"12", "24", "48", "72"});
        if (i < 0)
            return badValue(key, value, "12, 24, 48 or 72 (hours)");
        s.graphTimeHours = kGraphTimeHours[static_cast<std::size_t>(i)];
    } else if (key == "time-format") {
        const int i = pick(timeFormatItems());
        if (i < 0)
            return badValue(key, value, "h:mm:ss, \"AM h:mm:ss\" or \"h:mm:ss AM\"");
        s.timeFormat = i;
    } else if (key == "date-format") {
        const int i = pick(dateFormatItems());
        if (i < 0)
            return badValue(key, value, "YYYY-MM-DD, MM-DD-YYYY or DD-MM-YYYY");
        s.dateFormat = i;
    } else if (key == "daylight-saving") {
        const int i = pick({"off", "on"});
        if (i < 0)
            return badValue(key, value, "on or off");
        s.daylightSaving = i;
    } else if (key == "time-zone") {
        const std::optional<int> hours = wholeNumber(value);
        if (!hours || *hours < kTimeZoneMin || *hours > kTimeZoneMax)
            return badValue(key, value, "a whole number of hours from -12 to 12");
        s.timeZoneHours = *hours;
    } else if (key == "unit") {
        int i = pick({"C", "F"});
        if (i < 0)
            i = pick(unitItems());
        if (i < 0)
            return badValue(key, value, "C or F");
        s.unit = i;
    } else if (const int area = areaIndexOf(key);
               area >= 0 && area < (areas >= kMaxAreas ? kMaxAreas : kFiveAreas)) {
        const Result<std::uint32_t> mask = areaMask(key, value);
        if (!mask)
            return mask.error();
        s.areaMasks[static_cast<std::size_t>(area)] = *mask;
    } else {
        std::string known;
        for (const std::string& k : settingKeys(areas))
            known += (known.empty() ? "" : ", ") + k;
        return makeError(Errc::InvalidInput,
                         "unknown setting '" + key + "'; the station has " + known);
    }
    return {};
}

} // namespace vellumet::settings
