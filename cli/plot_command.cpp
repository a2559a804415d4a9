#include "archive_plot.h"
#include "commands.h"
#include "data_dir.h"
#include "file_output.h"

#include "app/data_folder.h"
#include "graph/graph_plan.h"
#include "sdcard/log_import.h"
#include "store/automation_date.h"
#include "store/record_store.h"

#ifdef VELLUMET_HAVE_GRAPH
#include "graph/widgets/chart_drawing.h"
#include "graph/widgets/time_chart.h"

#include <QApplication>
#endif

#include <QFile>
#include <QString>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <limits>
#include <memory>
#include <optional>

namespace vellumet::cli {

namespace {

struct PlotArguments {
    std::string out;
    std::optional<double> from;
    std::optional<double> to;
    std::string kind = "temperature";
    int width = 1200;
    int height = 600;
    std::optional<std::string> unit; // nothing: the imported log's
    bool svg = false;
    // From the history: a curve per channel.
    bool archive = false;
    std::vector<std::string> channels;
};

constexpr int kMinSide = 200;
constexpr int kMaxSide = 10000;
// An axis title, not a text: enough for any unit with its brackets.
constexpr std::size_t kMaxUnitLength = 32;

// The image form follows the name: .png or .svg, in any case.
bool endsWith(const std::string& text, std::string_view suffix) {
    if (text.size() < suffix.size())
        return false;
    const std::string tail = text.substr(text.size() - suffix.size());
    return std::equal(tail.begin(), tail.end(), suffix.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

void parseUnit(const std::string& text, PlotArguments& args) {
    const std::string tooLong =
        "--unit is longer than " + std::to_string(kMaxUnitLength) + " characters";
    if (text.size() > 4 * kMaxUnitLength) // no character takes more than 4 bytes
        throw UsageError(tooLong);
    const QString unit = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (unit.toUtf8() != QByteArray::fromStdString(text))
        throw UsageError("--unit must be UTF-8 text");
    if (static_cast<std::size_t>(unit.toUcs4().size()) > kMaxUnitLength)
        throw UsageError(tooLong);
    for (const QChar c : unit)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            throw UsageError("--unit must not hold control characters");
    args.unit = text;
}

void parseSize(const std::string& text, PlotArguments& args) {
    const auto x = text.find('x');
    if (x == std::string::npos)
        throw UsageError("--size: '" + text + "' is not of the form WIDTHxHEIGHT");
    const int w = parseInteger(text.substr(0, x), "--size width");
    const int h = parseInteger(text.substr(x + 1), "--size height");
    if (w < kMinSide || w > kMaxSide || h < kMinSide || h > kMaxSide)
        throw UsageError("--size: width and height must be from " + std::to_string(kMinSide) +
                         " to " + std::to_string(kMaxSide));
    args.width = w;
    args.height = h;
}

PlotArguments parsePlotArguments(const std::vector<std::string>& list) {
    PlotArguments args;
    OptionReader words(list);
    while (words.next()) {
        if (words.arg() == "--archive") {
            args.archive = true;
            continue;
        }
        const std::string name = words.name();
        if (name != "--out" && name != "--from" && name != "--to" && name != "--kind" &&
            name != "--size" && name != "--unit" && name != "--channel")
            throw UsageError("plot: unknown argument '" + words.arg() + "'");
        const std::string value = words.value();
        if (name == "--out")
            args.out = value;
        else if (name == "--channel")
            args.channels.push_back(value);
        else if (name == "--from")
            args.from = parseTimeOption(value, name);
        else if (name == "--to")
            args.to = parseTimeOption(value, name);
        else if (name == "--kind") {
            if (!graph::parseGraphKind(value))
                throw UsageError("--kind: '" + value + "' is neither temperature nor humidity");
            args.kind = value;
        } else if (name == "--size")
            parseSize(value, args);
        else
            parseUnit(value, args);
    }
    if (args.out.empty())
        throw UsageError("plot needs --out FILE.png or --out FILE.svg");
    if (endsWith(args.out, ".svg"))
        args.svg = true;
    else if (!endsWith(args.out, ".png"))
        throw UsageError("--out: '" + args.out + "' must end in .png or .svg");
    if (args.from && args.to && *args.from > *args.to)
        throw UsageError("Time Error: --from is later than --to");
    if (!args.channels.empty() && !args.archive)
        throw UsageError("--channel is for plot --archive");
    return args;
}

#ifdef VELLUMET_HAVE_GRAPH
// Ends the command when a signal asked it to stop; nothing is written then.
void checkInterrupted(const Invocation& inv) {
    if (inv.interrupted())
        throw CommandError("interrupted; nothing was written");
}

// The chart needs a widget application; only this command pays for one. Without
// a platform chosen it draws offscreen, so no display is needed.
class ChartApplication {
public:
    ChartApplication() {
        if (QCoreApplication::instance()) {
            if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
                throw CommandError("plot: cannot draw inside a non-graphical application");
            return;
        }
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        own_ = std::make_unique<QApplication>(argc_, argv_);
    }

private:
    int argc_ = 1;
    char name_[13] = "vellumet-cli";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> own_;
};
#endif

} // namespace

int runPlot(Invocation& inv) {
    const PlotArguments args = parsePlotArguments(inv.args());
#ifdef VELLUMET_HAVE_GRAPH
    // Before any work: a device or a folder is never replaced by the image.
    if (Status target = checkOutputTarget(args.out); !target)
        throw CommandError(target.error().text());
    if (args.archive) {
        ChartApplication application;
        const std::string image =
            drawArchivePlot(inv, {args.channels, args.kind, args.from, args.to, args.unit,
                                  args.width, args.height, args.svg, args.out});
        checkInterrupted(inv);
        if (Status s = writeWholeFile(args.out, image, inv.stop()); !s) {
            checkInterrupted(inv);
            throw CommandError(s.error().text());
        }
        inv.err() << kProgramName << ": wrote " << args.out << '\n';
        return kExitOk;
    }
    store::RecordStore store;
    const std::string database = prepareDatabase(inv.options().dataDir);
    if (Status s = store.openDatabase(database); !s)
        throw CommandError(s.error().text());
    checkInterrupted(inv);

    graph::DrawRequest request;
    request.kind = *graph::parseGraphKind(args.kind);
    if (args.unit) {
        request.unitText = QString::fromStdString(*args.unit);
    } else {
        // The unit the last import noted beside its rows; a log that named
        // none, or rows no import noted, are taken as degrees Celsius.
        const Result<std::optional<std::string>> noted = store.readParam(sdcard::kParamUnit);
        if (!noted)
            throw CommandError(noted.error().text());
        request.unitText = QString::fromStdString(noted->value_or(std::string()));
        if (request.unitText.isEmpty())
            request.unitText = QStringLiteral("(\u00b0C)");
    }
    request.start = args.from.value_or(std::numeric_limits<double>::lowest());
    request.end = args.to.value_or(std::numeric_limits<double>::max());
    request.stop = inv.stop();
    if (!args.from || !args.to) {
        // An open end reaches to the log's first or last reading, which sets
        // the time axis there.
        Result<std::optional<store::RecordStore::TimeSpan>> span = store.timeSpan();
        if (!span)
            throw CommandError(span.error().text());
        if (!*span)
            throw CommandError("the record database holds no readings; import a log first");
        if (!args.from)
            request.start = (*span)->first - 1.0 / 86400.0;
        if (!args.to)
            request.end = (*span)->last;
        if (request.start > request.end)
            throw UsageError("Time Error: the window ends before it starts");
    }

    ChartApplication application;
    checkInterrupted(inv);
    graph::TimeChart chart;
    chart.resize(args.width, args.height);
    if (!args.from)
        request.axis = std::pair{request.start + 1.0 / 86400.0, request.end};
    if (Status s = graph::drawWindow(chart, store, request); !s) {
        checkInterrupted(inv);
        throw CommandError(s.error().text());
    }
    checkInterrupted(inv);
    const QByteArray image =
        graph::chartImage(chart, args.svg ? graph::ImageFormat::Svg : graph::ImageFormat::Png);
    if (image.isEmpty())
        throw CommandError("cannot draw the " + std::string(args.svg ? "SVG" : "PNG") + " image");
    checkInterrupted(inv);
    if (Status s = writeWholeFile(
            args.out, std::string_view(image.constData(), static_cast<std::size_t>(image.size())),
            inv.stop());
        !s) {
        checkInterrupted(inv);
        throw CommandError(s.error().text());
    }
    inv.err() << kProgramName << ": wrote " << args.out << '\n';
    return kExitOk;
#else
    (void)args;
    throw CommandError("plot: this build has no charts");
#endif
}

} // namespace vellumet::cli
