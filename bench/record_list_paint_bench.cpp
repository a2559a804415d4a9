// The records list's first paint with all rows of a 1,000,000-line log: from
// handing the model to a table view to the first finished picture.
// Run by hand: QT_QPA_PLATFORM=offscreen build/bench/record_list_paint_bench [LOG [PNG]]
#include "sdcard/log_import.h"
#include "sdcard/record_list_model.h"
#include "store/record_schema.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QTableView>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace vellumet;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString log =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/bench_1m.csv");
    QTemporaryDir dir;
    (void)store::ensureRecordSchema(QFile::encodeName(dir.filePath("7421.mdb")).toStdString());
    sdcard::ImportOptions options;
    options.logPath = log;
    options.databasePath = dir.filePath("7421.mdb");
    options.keepRows = true;
    const Result<sdcard::ImportSummary> summary =
        sdcard::importLog(options, OperationContext({}, {}));
    if (!summary || !summary->table) {
        std::fprintf(stderr, "import failed: %s\n",
                     summary ? "no rows kept" : summary.error().text().c_str());
        return 1;
    }

    std::vector<double> times;
    for (int round = 0; round < 7; ++round) {
        sdcard::RecordListModel model;
        QTableView view;
        view.resize(600, 400);
        QElapsedTimer timer;
        timer.start();
        model.setTable(summary->table, QStringLiteral("(°C)"));
        view.setModel(&model);
        const QPixmap picture = view.grab(); // lays out and paints the visible rows
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        if (picture.isNull())
            return 1;
        if (round == 0 && argc > 2)
            picture.save(QString::fromLocal8Bit(argv[2])); // to look at
    }
    std::sort(times.begin(), times.end());
    std::printf("rows %lld, first paint: min %.1f ms, median %.1f ms, max %.1f ms\n",
                static_cast<long long>(summary->table->rowCount()), times.front(),
                times[times.size() / 2], times.back());
    return 0;
}
