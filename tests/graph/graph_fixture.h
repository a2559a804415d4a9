#pragma once

#include "sdcard/log_import.h"
#include "store/record_schema.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

namespace vellumet::graph::test {

// A data folder whose record database holds a log the test writes.
class LogDatabase : public ::testing::Test {
public:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        database = dir.filePath("7421.mdb");
        ASSERT_TRUE(store::ensureRecordSchema(path()).ok());
    }

    std::string path() const { return QFile::encodeName(database).toStdString(); }

    // Imports a five-field log: a header, then the given lines.
    void importLog(const std::string& lines) {
        const QString log = dir.filePath("log.csv");
        QFile file(log);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)\n");
        file.write(lines.c_str());
        file.close();
        sdcard::ImportOptions options;
        options.logPath = log;
        options.databasePath = database;
        Result<sdcard::ImportSummary> summary =
            sdcard::importLog(options, OperationContext({}, {}));
        ASSERT_TRUE(summary.ok()) << summary.error().text();
    }

    // One reading a minute from 2024-03-05 00:00 on, temperature i/10.
    static std::string minuteLog(int count) {
        std::string text;
        for (int i = 0; i < count; ++i) {
            char line[96];
            std::snprintf(line, sizeof line, "2024-03-%02d %02d:%02d:00,%.1f,%d,%.1f,%.1f\n",
                          5 + i / 1440, i / 60 % 24, i % 60, i % 500 / 10.0, 40 + i % 30,
                          i % 500 / 10.0 - 5.0, i % 500 / 10.0 + 1.0);
            text += line;
        }
        return text;
    }

    QTemporaryDir dir;
    QString database;
};

} // namespace vellumet::graph::test
