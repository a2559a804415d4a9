// Drawing a 1,000,000-row window of the Temperature graph (three curves):
// thinned to the chart's pixel columns against every point handed to the line
// series, from the start of the drawing to the painted chart and to the
// written PNG (and how much of it went to reading and thinning the rows), with each way's peak
// resident memory. Each way runs in a fresh process of its own so that the memory figures are
// whole-process figures. Run by hand: build/bench/graph_bench [LOG] (make_bench_log writes one).
#include "graph/widgets/chart_drawing.h"
#include "graph/widgets/time_chart.h"
#include "sdcard/log_import.h"
#include "store/record_schema.h"
#include "store/record_store.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineSeries>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace vellumet;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// One way of drawing, in this process: prints one line of figures to `report`.
int runChild(int argc, char** argv, bool reduce, bool pngOnly, const char* database,
             const char* report, const char* png) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    graph::TimeChart chart;
    chart.resize(1200, 600);
    chart.grab(); // the first paint sets up fonts and the plot area; not part of a drawing

    const Clock::time_point start = Clock::now();
    store::RecordStore store;
    if (!store.openDatabase(database))
        return 1;
    const auto span = store.timeSpan();
    if (!span || !*span)
        return 1;
    graph::DrawRequest request;
    request.kind = graph::GraphKind::Temperature;
    request.start = (*span)->first - 1.0 / 86400.0;
    request.end = (*span)->last;
    request.unitText = QStringLiteral("(\u00b0C)");
    request.reduce = reduce;
    if (Status s = graph::drawWindow(chart, store, request); !s) {
        std::fprintf(stderr, "%s\n", s.error().text().c_str());
        return 1;
    }
    const double drawnMs = msSince(start);
    qsizetype points = 0;
    for (int i = 0; i < 3; ++i)
        points += chart.series(i)->count();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    const QImage painted = chart.grab().toImage();
    const double paintedMs = msSince(start);
    if (!graph::writePng(chart, QString::fromLocal8Bit(png)))
        return 1;
    const double pngMs = msSince(start);
    if (pngOnly)
        return 0;

    // A repaint of the drawn chart, as a pan or a resize causes.
    const Clock::time_point repaint = Clock::now();
    (void)chart.grab();
    const double repaintMs = msSince(repaint);
    // Zooming into the middle tenth: reading the finer data and painting it.
    const Clock::time_point zoom = Clock::now();
    const double tenth = (request.end - request.start) / 10.0;
    request.start += 4.5 * tenth;
    request.end = request.start + tenth;
    (void)graph::drawWindow(chart, store, request);
    (void)chart.grab();
    const double zoomMs = msSince(zoom);
    // Panning that by a tenth, as the arrow keys do: reading and painting.
    const Clock::time_point pan = Clock::now();
    const double shift = (request.end - request.start) / 10.0;
    request.start += shift;
    request.end += shift;
    (void)graph::drawWindow(chart, store, request);
    (void)chart.grab();
    const double panMs = msSince(pan);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::FILE* out = std::fopen(report, "w");
    if (!out)
        return 1;
    std::fprintf(out, "%lld %.1f %.1f %.1f %.1f %.1f %.1f %ld %d\n", static_cast<long long>(points),
                 drawnMs, paintedMs, pngMs, repaintMs, zoomMs, panMs, usage.ru_maxrss,
                 painted.width());
    std::fclose(out);
    return 0;
}

struct Figures {
    long long points = 0;
    double drawnMs = 0, paintedMs = 0, pngMs = 0, repaintMs = 0, zoomMs = 0, panMs = 0;
    long peakKb = 0;
};

bool spawnChild(const char* self, const char* mode, const std::string& database,
                const std::string& report, const std::string& png, Figures& f) {
    const char* args[] = {self,           "--child",   mode,   database.c_str(),
                          report.c_str(), png.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, const_cast<char**>(args), environ) !=
        0)
        return false;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return false;
    std::FILE* in = std::fopen(report.c_str(), "r");
    if (!in)
        return false;
    int width = 0;
    const bool ok =
        std::fscanf(in, "%lld %lf %lf %lf %lf %lf %lf %ld %d", &f.points, &f.drawnMs, &f.paintedMs,
                    &f.pngMs, &f.repaintMs, &f.zoomMs, &f.panMs, &f.peakKb, &width) == 9;
    std::fclose(in);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::strcmp(argv[1], "--child") == 0) {
        const std::string mode = argv[2];
        return runChild(1, argv, mode.starts_with("reduced"), mode.ends_with("-png"), argv[3],
                        argv[4], argv[5]);
    }

    const QString log = QString::fromLocal8Bit(argc > 1 ? argv[1] : "/tmp/bench_1m.csv");
    if (!QFile::exists(log)) {
        std::fprintf(stderr, "no log %s; write one with make_bench_log\n", qPrintable(log));
        return 1;
    }
    QTemporaryDir dir;
    const std::string database = QFile::encodeName(dir.filePath("7421.mdb")).toStdString();
    if (!store::ensureRecordSchema(database))
        return 1;
    sdcard::ImportOptions options;
    options.logPath = log;
    options.databasePath = dir.filePath("7421.mdb");
    Result<sdcard::ImportSummary> imported = sdcard::importLog(options, OperationContext({}, {}));
    if (!imported) {
        std::fprintf(stderr, "import: %s\n", imported.error().text().c_str());
        return 1;
    }
    std::printf("rows in the window: %lld\n", static_cast<long long>(imported->rows));

    const std::string outDir = QDir::temp().filePath(QStringLiteral("graph_bench")).toStdString();
    QDir().mkpath(QString::fromStdString(outDir));
    Figures reduced, plain;
    if (!spawnChild(argv[0], "reduced", database, dir.filePath("reduced.txt").toStdString(),
                    outDir + "/reduced.png", reduced) ||
        !spawnChild(argv[0], "plain", database, dir.filePath("plain.txt").toStdString(),
                    outDir + "/plain.png", plain)) {
        std::fprintf(stderr, "a drawing failed\n");
        return 1;
    }
    const auto row = [](const char* name, const Figures& f) {
        std::printf("%-8s points %9lld  drawn %9.1f ms  painted %9.1f ms  PNG %9.1f ms  "
                    "repaint %7.1f ms  zoom %7.1f ms  pan %7.1f ms  peak RSS %7.1f MB\n",
                    name, f.points, f.drawnMs, f.paintedMs, f.pngMs, f.repaintMs, f.zoomMs, f.panMs,
                    static_cast<double>(f.peakKb) / 1024.0);
    };
    row("thinned", reduced);
    row("plain", plain);
    std::printf("plain / thinned: painted %.1fx, PNG %.1fx (target at least 20x)\n",
                plain.paintedMs / reduced.paintedMs, plain.pngMs / reduced.pngMs);
    std::printf("pictures: %s/reduced.png and %s/plain.png\n", outDir.c_str(), outDir.c_str());
    return 0;
}
