#include "virtual_station.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QString>

#include <cmath>
#include <filesystem>
#include <functional>

namespace vellumet::sim {

namespace {

// A profile is a few hundred bytes of JSON; anything past this is not one.
constexpr std::uintmax_t kMaxProfileBytes = 1024 * 1024;

// Reasons are thrown as text and caught once, so that every check reads as one line.
struct ProfileError {
    std::string reason;
};

[[noreturn]] void fail(const std::string& reason) {
    throw ProfileError{reason};
}

int integerField(const QJsonValue& value, const std::string& name, int low, int high) {
    if (!value.isDouble())
        fail("\"" + name + "\" must be a number");
    const double d = value.toDouble();
    if (d != std::floor(d) || d < low || d > high)
        fail("\"" + name + "\" must be a whole number from " + std::to_string(low) + " to " +
             std::to_string(high));
    return static_cast<int>(d);
}

std::uint8_t commandCode(const QString& key) {
    bool ok = false;
    const QString k = key.trimmed();
    const uint code =
        k.startsWith("0x", Qt::CaseInsensitive) ? k.mid(2).toUInt(&ok, 16) : k.toUInt(&ok, 10);
    if (!ok || code > 0xFF)
        fail("answer key \"" + key.toStdString() + "\" is not a command code such as \"0x03\"");
    return static_cast<std::uint8_t>(code);
}

Block answerBlock(const QJsonValue& value, const std::string& key) {
    if (!value.isString())
        fail("answer \"" + key + "\" must be a string of hex digits or a list of them");
    QString hex = value.toString();
    hex.remove(' ');
    if (hex.size() % 2 != 0 || hex.size() > 128)
        fail("answer \"" + key + "\" must hold an even number of hex digits, at most 128");
    Block b{};
    for (qsizetype i = 0; i < hex.size(); i += 2) {
        bool ok = false;
        const uint byte = hex.mid(i, 2).toUInt(&ok, 16);
        if (!ok)
            fail("answer \"" + key + "\" holds \"" + hex.mid(i, 2).toStdString() +
                 "\", which is not a hex byte");
        b[static_cast<std::size_t>(i / 2)] = static_cast<std::uint8_t>(byte);
    }
    return b; // shorter answers are filled with zero bytes
}

void readFields(const QJsonObject& object, const std::string& where,
                const std::map<QString, std::function<void(const QJsonValue&)>>& readers) {
    for (auto it = object.begin(); it != object.end(); ++it) {
        const auto reader = readers.find(it.key());
        if (reader == readers.end())
            fail("unknown field \"" + it.key().toStdString() + "\"" + where);
        reader->second(it.value());
    }
}

Profile parse(const QJsonObject& root, const QString& profileDir) {
    Profile p;
    const std::map<QString, std::function<void(const QJsonValue&)>> faultReaders = {
        {"silent",
         [&](const QJsonValue& v) {
             if (!v.isBool())
                 fail("\"silent\" must be true or false");
             p.faults.silent = v.toBool();
         }},
        {"answerDelayMs",
         [&](const QJsonValue& v) {
             p.faults.answerDelayMs = integerField(v, "answerDelayMs", 0, 600000);
         }},
        {"reportMs",
         [&](const QJsonValue& v) { p.faults.reportMs = integerField(v, "reportMs", 0, 10000); }},
        {"unplugAfterReports",
         [&](const QJsonValue& v) {
             p.faults.unplugAfterReports = integerField(v, "unplugAfterReports", 0, 1 << 30);
         }},
        {"corruptContentEvery",
         [&](const QJsonValue& v) {
             p.faults.corruptContentEvery = integerField(v, "corruptContentEvery", 0, 1 << 30);
         }},
        {"ignore",
         [&](const QJsonValue& v) {
             if (!v.isArray())
                 fail("\"ignore\" must be a list of command codes");
             for (const QJsonValue& code : v.toArray())
                 p.faults.ignored.insert(commandCode(code.toString()));
         }},
    };
    const std::map<QString, std::function<void(const QJsonValue&)>> readers = {
        {"answers",
         [&](const QJsonValue& v) {
             if (!v.isObject())
                 fail("\"answers\" must be an object of command code to hex answer");
             const QJsonObject answers = v.toObject();
             for (auto it = answers.begin(); it != answers.end(); ++it) {
                 const std::string key = it.key().toStdString();
                 if (!it.value().isArray()) {
                     p.answers[commandCode(it.key())] = answerBlock(it.value(), key);
                     continue;
                 }
                 // One report per element, sent in order.
                 const QJsonArray reports = it.value().toArray();
                 if (reports.isEmpty() || reports.size() > 100000)
                     fail("answer \"" + key + "\" must list 1 to 100000 reports");
                 std::vector<Block>& sequence = p.answerSequences[commandCode(it.key())];
                 for (const QJsonValue& report : reports)
                     sequence.push_back(answerBlock(report, key));
             }
         }},
        {"ident",
         [&](const QJsonValue& v) {
             if (!v.isString())
                 fail("\"ident\" must be a string");
             const QString text = v.toString();
             for (const QChar c : text)
                 if (c.unicode() > 0xFF || c.unicode() == 0)
                     fail("\"ident\" must be Latin-1 text without NUL characters");
             const QByteArray bytes = text.toLatin1();
             p.ident.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
         }},
        {"screenAway",
         [&](const QJsonValue& v) { p.screenAway = integerField(v, "screenAway", 0, 255); }},
        {"interval",
         [&](const QJsonValue& v) { p.interval = integerField(v, "interval", 0, 255); }},
        {"unit", [&](const QJsonValue& v) { p.unit = integerField(v, "unit", 0, 255); }},
        {"sdDir",
         [&](const QJsonValue& v) {
             if (!v.isString())
                 fail("\"sdDir\" must be a folder name");
             const QString dir = QDir(profileDir).absoluteFilePath(v.toString());
             if (!QFileInfo(dir).isDir())
                 fail("sdDir \"" + dir.toStdString() + "\" is not a folder");
             p.sdDir = QDir::cleanPath(dir).toStdString();
         }},
        {"faults",
         [&](const QJsonValue& v) {
             if (!v.isObject())
                 fail("\"faults\" must be an object");
             readFields(v.toObject(), " in \"faults\"", faultReaders);
         }},
    };
    readFields(root, "", readers);
    return p;
}

} // namespace

Result<Profile> loadProfile(const std::string& path) {
    // Only a regular file is opened: a FIFO would block the open and the read,
    // and a device such as /dev/zero would never end.
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec) {
        return makeError(Errc::InvalidInput, path + ": cannot read the profile: " + ec.message());
    }
    if (!std::filesystem::is_regular_file(status)) {
        return makeError(Errc::InvalidInput,
                         path + ": not a regular file; a profile must be a JSON file");
    }
    const std::string tooLarge = path + ": the profile is larger than 1 MB";
    if (const auto size = std::filesystem::file_size(path, ec); !ec && size > kMaxProfileBytes) {
        return makeError(Errc::InvalidInput, tooLarge + " (" + std::to_string(size) + " bytes)");
    }
    const QString file = QString::fromStdString(path);
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        return makeError(Errc::InvalidInput,
                         path + ": cannot read the profile: " + in.errorString().toStdString());
    }
    // Read no more than the limit allows, in case the file grew since.
    const QByteArray bytes = in.read(static_cast<qint64>(kMaxProfileBytes) + 1);
    if (static_cast<std::uintmax_t>(bytes.size()) > kMaxProfileBytes) {
        return makeError(Errc::InvalidInput, tooLarge);
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        return makeError(Errc::InvalidInput, path + ": not valid JSON at offset " +
                                                 std::to_string(parseError.offset) + ": " +
                                                 parseError.errorString().toStdString());
    }
    if (!doc.isObject()) {
        return makeError(Errc::InvalidInput, path + ": the profile must be a JSON object");
    }
    try {
        return parse(doc.object(), QFileInfo(file).absolutePath());
    } catch (const ProfileError& e) {
        return makeError(Errc::InvalidInput, path + ": " + e.reason);
    }
}

} // namespace vellumet::sim
