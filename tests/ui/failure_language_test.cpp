#include "app/data_folder_lock.h"
#include "app/error_text.h"
#include "app/language.h"
#include "app/text_table.h"
#include "app/widgets/message_box_messenger.h"
#include "device/link_texts.h"
#include "device/station_access.h"
#include "sdcard/card_transfer.h"
#include "sdcard/log_import.h"
#include "store/record_schema.h"
#include "tests/device/denying_transport.h"
#include "tests/ui/station_rig.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

using namespace vellumet;
using namespace std::chrono_literals;

namespace {

// Words of the failures' English texts that no German one has; a German text
// with one of them left in it is half translated.
const QStringList kEnglishWords = {
    "the",        "not",         "cannot",    "station",   "answer",  "time",   "away", "went",
    "log",        "file",        "open",      "read",      "holds",   "binary", "data", "readings",
    "database",   "No",          "such",      "denied",    "install", "reload", "rule", "user",
    "permission", "Unconnected", "directory", "unchanged", "byte"};

// The text of the message box that shows `failure`, as the windows show it.
QString shownInBox(const Error& failure, const QString& picture = {}) {
    app::MessageBoxMessenger boxes;
    app::Messenger& messenger = boxes; // as every window holds it
    QString text;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            text = box->text();
            if (!picture.isEmpty())
                box->grab().save(picture);
            box->accept();
        }
    });
    messenger.error(failure);
    return text;
}

QStringList englishLeftIn(QString text, const QStringList& keep) {
    for (const QString& k : keep)
        text.remove(k); // paths, the rule file and the command stay as they are
    QStringList left;
    for (const QString& word : kEnglishWords)
        if (text.contains(QRegularExpression(QStringLiteral("\\b%1\\b").arg(word))))
            left << word;
    return left;
}

Error timeoutFailure() {
    StationRig rig(StationRig::profile(/*silent=*/true));
    rig.link->openStation();
    return rig.link->query(query::Settings, {}).error();
}

Error stationGoneFailure() {
    sim::Profile profile = StationRig::profile();
    profile.faults.ignored = {cmd::Settings};
    StationRig rig(profile);
    StationLink& link = *rig.link;
    link.setLinkLostListener([&link] { link.markStationGone(); });
    link.openStation();
    std::thread unplug([&] {
        std::this_thread::sleep_for(50ms); // while the link waits for the answer
        rig.station->unplug();
    });
    Result<Block> answer = link.query(query::Settings, {});
    unplug.join();
    link.setLinkLostListener(nullptr);
    return answer.error();
}

// A card file's transfer cut off by the station going away: the transfer
// puts the link's words into a sentence of its own.
Error transferCutOffFailure(const QString& folder, std::int64_t& size) {
    sim::Profile profile = StationRig::profile();
    profile.faults.unplugAfterReports = 10;
    StationRig rig(profile);
    StationLink& link = *rig.link;
    link.setLinkLostListener([&link] { link.markStationGone(); });
    link.openStation();
    sdcard::TransferRequest request;
    request.entry.rawName = "CH1_2612.CSV";
    request.entry.name = QString::fromStdString(request.entry.rawName);
    request.entry.size = size =
        static_cast<std::int64_t>(rig.station->cardFile(request.entry.rawName)->size());
    request.dataFolder = folder;
    const Result<sdcard::TransferOutcome> outcome =
        sdcard::transferFile(link, request, OperationContext({}, {}));
    link.setLinkLostListener(nullptr);
    if (!outcome)
        return outcome.error();
    return outcome->chunkFailure.value_or(makeError(Errc::InvalidInput, "no chunk failed"));
}

Error notConnectedFailure() {
    StationRig rig;
    return rig.link->query(query::Settings, {}).error();
}

Error accessDeniedFailure() {
    StationRig rig;
    StationLink link(std::make_shared<test::DenyingTransport>(rig.transport), LinkTiming::quick());
    link.openStation();
    return link.openStatus().error();
}

Error awayFromMainScreenFailure() {
    sim::Profile profile = StationRig::profile();
    profile.screenAway = 1;
    StationRig rig(profile);
    rig.link->openStation();
    return rig.link->writeSettings({}, {}, {}).error();
}

Error importFailure(const QString& log, const QString& database) {
    sdcard::ImportOptions options;
    options.logPath = log;
    options.databasePath = database;
    options.archive = false;
    return sdcard::importLog(options, OperationContext({}, {})).error();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

struct FailureCase {
    const char* name;
    std::function<Error()> make;
    Errc code;
    QString german;
    QString kept = {}; // a path that stays as it is
};

} // namespace

// Every failure of the station and of an import reaches the window's message
// box in German when the window runs in German; the command line, run in a
// German data folder and locale, keeps to English.
TEST(FailureLanguage, StationAndImportFailuresInGermanAndTheCommandLineStaysEnglish) {
    QTranslator qtGerman;
    if (!qtGerman.load(QLocale(QLocale::German), QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        GTEST_SKIP() << "Qt's German catalogue (qtbase_de.qm, package qt6-translations-l10n) "
                        "is not installed: the system's file errors cannot be German";

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString database = dir.filePath(QStringLiteral("7421.mdb"));
    ASSERT_TRUE(store::ensureRecordSchema(QFile::encodeName(database).toStdString()));
    ASSERT_TRUE(
        writeFile(dir.filePath(QStringLiteral("Main.ini")), "[Language]\nLanguage=Deutsch\n"));
    const QString missing = dir.filePath(QStringLiteral("CH1_gone.CSV"));
    const QString binary = dir.filePath(QStringLiteral("CH2_bin.CSV"));
    // 60 bytes of text, then binary data.
    ASSERT_TRUE(writeFile(binary, QByteArray("Time,Temperature(C),Humidity(%)\n"
                                             "2026-12-01 10:00:00,21.5,40\n") +
                                      QByteArray(4, '\0')));
    const QString headerOnly = dir.filePath(QStringLiteral("CH3_empty.CSV"));
    ASSERT_TRUE(
        writeFile(headerOnly, "Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)\n"));
    const QString silentProfile = dir.filePath(QStringLiteral("silent.json"));
    ASSERT_TRUE(writeFile(silentProfile, R"({"faults": {"silent": true}})"));

    const auto u = [](const char* text) { return QString::fromUtf8(text); };
    std::int64_t cardSize = 0;
    const FailureCase cases[] = {
        {"station gone", stationGoneFailure, Errc::StationGone,
         u("Die Station ist nicht mehr erreichbar")},
        {"timeout", timeoutFailure, Errc::Timeout,
         u("Die Station hat nicht rechtzeitig geantwortet")},
        {"transfer cut off", [&] { return transferCutOffFailure(dir.path(), cardSize); },
         Errc::StationGone, u("Die Station ist nicht mehr erreichbar bei Byte 0 von %1")},
        {"not connected", notConnectedFailure, Errc::NotConnected, u("Getrennt")},
        {"access denied", accessDeniedFailure, Errc::AccessDenied,
         u("Keine Berechtigung, die Station zu öffnen: Installieren Sie die udev-Regel %1 und "
           "laden Sie udev mit „%2“ neu.")
             .arg(QString::fromLatin1(kUdevRuleFile), QString::fromLatin1(kUdevReloadCommand))},
        {"away from the main screen", awayFromMainScreenFailure, Errc::AwayFromMainScreen,
         u("Bitte schalten Sie die Station auf den Hauptbildschirm.")},
        {"import of a file it cannot read", [&] { return importFailure(missing, database); },
         Errc::Io,
         u("%1 kann nicht geöffnet werden: Die Datei oder das Verzeichnis konnte nicht gefunden "
           "werden"),
         missing},
        {"import of a malformed log", [&] { return importFailure(binary, database); },
         Errc::BadData, u("%1 ist kein Textprotokoll: Die Datei enthält Binärdaten bei Byte 60"),
         binary},
        {"data folder in use",
         [&] {
             auto holder = app::DataFolderLock::acquire(dir.path(), 0ms, {});
             EXPECT_TRUE(holder.ok());
             return app::DataFolderLock::acquire(dir.path(), 0ms, {}).error();
         },
         Errc::Io,
         u("Der Datenordner %1 wird von Prozess ") +
             QString::number(QCoreApplication::applicationPid()) +
             u(" benutzt; versuchen Sie es erneut, wenn er fertig ist"),
         QDir::toNativeSeparators(dir.path())},
        {"import of a log without readings", [&] { return importFailure(headerOnly, database); },
         Errc::NoReadings, u("Keine Messwerte in %1; die Datenbank ist unverändert"), headerOnly},
    };

    app::installTranslations(app::UiLanguage::German);
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Error failure = c.make();
        EXPECT_EQ(failure.code, c.code) << failure.text();
        const QString picture = QDir(QStringLiteral(VELLUMET_TEST_OUTPUT_DIR))
                                    .filePath(QStringLiteral("failure_in_german.png"));
        const QString shown = shownInBox(failure, c.code == Errc::BadData ? picture : QString());
        const QString expected = !c.german.contains(QLatin1String("%1")) ? c.german
                                 : c.kept.isEmpty()                      ? c.german.arg(cardSize)
                                                                         : c.german.arg(c.kept);
        EXPECT_EQ(shown.toStdString(), expected.toStdString());
        const QStringList kept = {c.kept, QString::fromLatin1(kUdevRuleFile),
                                  QString::fromLatin1(kUdevReloadCommand)};
        EXPECT_EQ(englishLeftIn(shown, kept).join(' ').toStdString(), "");
    }
    // Every fixed phrase of the link has its German, also those the cases
    // above do not provoke.
    for (const char* phrase : kLinkTexts)
        EXPECT_EQ(englishLeftIn(app::errorText(makeError(Errc::StationGone, phrase)), {})
                      .join(' ')
                      .toStdString(),
                  "")
            << phrase;
    // The record database's own account (SQLite's words) stays as it is,
    // after a German sentence; in English it stands alone.
    const QString good = dir.filePath(QStringLiteral("CH4_good.CSV"));
    ASSERT_TRUE(writeFile(good, "Time,Temperature(C),Humidity(%)\n2026-12-01 10:00:00,21.5,40\n"));
    const Error refused = importFailure(good, dir.path()); // a folder is no database
    EXPECT_EQ(refused.code, Errc::Database) << refused.text();
    EXPECT_EQ(shownInBox(refused), u("Die Datenbank hat einen Fehler gemeldet:\n") +
                                       QString::fromStdString(refused.text()));
    app::installTranslations(app::UiLanguage::English);
    EXPECT_EQ(shownInBox(refused), QString::fromStdString(refused.text()));

    // The same failures from the command line, which installs no catalogue
    // whatever Main.ini and the locale say.
    const QStringList data = {QStringLiteral("--data-dir"), dir.path()};
    const struct {
        QStringList args;
        QString english;
    } fromCli[] = {
        {QStringList{QStringLiteral("--simulate=") + silentProfile} + data +
             QStringList{"set-interval", "5"},
         u("the station did not answer in time")},
        {data + QStringList{"import", missing},
         u("cannot open %1: No such file or directory").arg(missing)},
        {data + QStringList{"import", binary},
         u("%1 is not a text log: it holds binary data at byte 60").arg(binary)},
    };
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LANG"), QStringLiteral("de_DE.UTF-8"));
    env.insert(QStringLiteral("LANGUAGE"), QStringLiteral("de"));
    for (const auto& c : fromCli) {
        SCOPED_TRACE(c.english.toStdString());
        QProcess cli;
        cli.setProcessEnvironment(env);
        cli.start(QStringLiteral(VELLUMET_CLI_EXECUTABLE), c.args);
        ASSERT_TRUE(cli.waitForFinished(30000));
        EXPECT_NE(cli.exitCode(), 0);
        const QString said = QString::fromUtf8(cli.readAllStandardError());
        EXPECT_TRUE(said.contains(c.english)) << said.toStdString();
        for (const char* german : {"nicht", "Station", "Datei", "Protokoll", "Messwerte"})
            EXPECT_FALSE(said.contains(QLatin1String(german))) << said.toStdString();
    }
}
