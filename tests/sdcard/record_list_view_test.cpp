#include "sdcard/record_list_model.h"
#include "store/record_schema.h"

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace vellumet;
using namespace vellumet::sdcard;

// The records list inside a view, as the card window will show it.
TEST(RecordListView, ShowsAnImportedLogInATableView) {
    QTemporaryDir dir;
    const QString log = dir.filePath("CH1.CSV");
    {
        QFile file(log);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)\n");
        for (int i = 0; i < 500; ++i)
            file.write(QByteArray("2026-12-01 1:00:00,") + QByteArray::number(i) +
                       ",45,9.1,21.5\n");
    }
    ImportOptions options;
    options.logPath = log;
    options.databasePath = dir.filePath("7421.mdb");
    options.keepRows = true;
    ASSERT_TRUE(
        store::ensureRecordSchema(QFile::encodeName(options.databasePath).toStdString()).ok());
    const Result<ImportSummary> result = importLog(options, OperationContext({}, {}));
    ASSERT_TRUE(result.ok()) << result.error().text();

    RecordListModel model;
    model.setTable(result->table, result->unitText);
    QTableView view;
    view.setModel(&model);
    view.resize(700, 300);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));

    EXPECT_EQ(view.horizontalHeader()->count(), 5);
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Temperature(°C)"));
    const QModelIndex first = view.indexAt(QPoint(5, 5));
    ASSERT_TRUE(first.isValid());
    EXPECT_EQ(first.data().toString(), QStringLiteral("2026-12-01 1:00:00"));
    view.scrollToBottom();
    const QModelIndex last = model.index(499, 1);
    EXPECT_FALSE(view.visualRect(last).isEmpty());
    EXPECT_EQ(last.data().toString(), QStringLiteral("499"));
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
