#include "error_text.h"

#include "device/link_texts.h"
#include "device/station_access.h"

#include <QCoreApplication>

namespace vellumet::app {

namespace {

// The phrases of errcText() (core/result.h), as the catalogue holds them.
const char* const kErrcContext = "Errc";
const char* const kErrorTextContext = "ErrorText";
// Put before the record database's own account of what it refused, which
// comes in English from SQLite and the store.
const char* const kDatabaseLead = QT_TRANSLATE_NOOP("ErrorText", "The record database failed:");

} // namespace

QString errorText(const Error& failure) {
    // The system's refusal names only the device node; the sentence tells
    // what lets this user open the station, as the status bar does.
    if (failure.code == Errc::AccessDenied)
        return QCoreApplication::translate(kStationAccessContext, kAccessDeniedText)
            .arg(QString::fromLatin1(kUdevRuleFile), QString::fromLatin1(kUdevReloadCommand));
    if (failure.message.empty())
        return QCoreApplication::translate(kErrcContext, errcText(failure.code));
    const QString message = QString::fromStdString(failure.message);
    // One of the link's fixed phrases, or a message already in the user's
    // language: translate() hands back what it does not know.
    const QString linkPhrase =
        QCoreApplication::translate(kLinkTextContext, failure.message.c_str());
    if (linkPhrase != message)
        return linkPhrase;
    if (failure.code == Errc::Database) {
        const QString lead = QCoreApplication::translate(kErrorTextContext, kDatabaseLead);
        // In English the store's own sentence says it all.
        if (lead != QLatin1String(kDatabaseLead))
            return lead + QLatin1Char('\n') + message;
    }
    return message;
}

QString systemErrorText(const QString& errorString) {
    return QCoreApplication::translate("QIODevice", errorString.toUtf8().constData());
}

} // namespace vellumet::app
