// Renders the program's windows against the virtual station, off screen, into
// PNG files for the documentation:
//   vellumet_screenshots [OUTDIR [en|de]]   (default docs/screenshots, English)
// The scale comes from the environment as for the program (QT_SCALE_FACTOR,
// QT_FONT_DPI).
// It runs the real application (its data folder, texts and menu wiring) on a
// fresh data folder, waits for the first refresh, then takes each shot of
// kShots in turn: the main window itself, or the dialog a menu command opens.
#include "ui/main/application.h"
#include "ui/main/main_window.h"

#include "app/data_folder.h"
#include "app/program_options.h"
#include "graph/widgets/graph_dialog.h"
#include "sdcard/widgets/card_dialog.h"
#include "settings/language_logic.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace {

using namespace vellumet;
using namespace std::chrono_literals;
using ui::MainWindow;

// Gets the program ready for a shot: the data folder and the open window.
struct Stage {
    QString dataFolder;
    MainWindow& window;
};

struct Shot {
    const char* name; // OUTDIR/<name>.png
    // None: the main window (or what open shows); otherwise the menu command
    // whose dialog is shown.
    std::optional<ui::MenuCommand> command = std::nullopt;
    // Runs first, e.g. to import a log so that a list has rows to show.
    std::function<void(Stage&)> prepare = {};
    // Once the dialog is up: what the user would do in it first, and when the
    // result is there to be shot.
    std::function<void(QWidget&)> act = {};
    std::function<bool(QWidget&)> ready = {};
    // A window no menu command opens (the graph opens from the SD-card window).
    std::function<std::unique_ptr<QWidget>(Stage&)> open = {};
};

// The SD-card window: copy the first log of the card, import it and show it.
void exportFirstLog(QWidget& dialog) {
    auto* history = qobject_cast<sdcard::CardDialog*>(&dialog);
    if (!history)
        return;
    history->selectFile(0);
    history->exportButton()->click();
}

bool recordsShown(QWidget& dialog) {
    auto* history = qobject_cast<sdcard::CardDialog*>(&dialog);
    return history && !history->busy() && history->recordList()->model()->rowCount() > 0;
}

// The graph of the log the SD-card shot imported, over its whole time.
std::unique_ptr<QWidget> graphOfTheImportedLog(Stage& stage) {
    auto graph = std::make_unique<graph::GraphDialog>(app::databasePath(stage.dataFolder),
                                                      stage.window.messenger());
    graph->setUnitText(QStringLiteral("(°C)"));
    graph->resize(900, 620);
    graph->show();
    graph->showWholeLog();
    return graph;
}

// One row per picture. A dialog wired to the menu needs only its command id.
const std::vector<Shot>& shots() {
    static const std::vector<Shot> list = {
        {"main-window"},
        {"about", ui::MenuCommand::About},
        {"setup", ui::MenuCommand::Setup},
        {"alarm", ui::MenuCommand::Alarm},
        {"calibration", ui::MenuCommand::Calibration},
        {"language", ui::MenuCommand::Language},
        {"sd-card", ui::MenuCommand::SdCardFile, {}, exportFirstLog, recordsShown},
        {"graph", std::nullopt, {}, {}, {}, graphOfTheImportedLog},
    };
    return list;
}

constexpr auto kPoll = 50ms;
constexpr auto kSettle = 400ms;   // lets a dialog fill its controls and paint
constexpr auto kGiveUp = 20000ms; // per step

class Photographer {
public:
    Photographer(ui::Application& app, QString outDir) : app_(app), outDir_(std::move(outDir)) {}

    void start() {
        waitFor([this] { return firstRefreshDone(); }, [this] { next(); });
    }
    int taken() const { return taken_; }
    bool failed() const { return failed_; }

private:
    bool firstRefreshDone() const {
        return app_.mainDlg && app_.mainDlg->isVisible() &&
               app_.mainDlg->session().poll().refreshCount() >= 1;
    }

    void next() {
        if (index_ >= shots().size()) {
            app_.mainDlg->reject();
            return;
        }
        const Shot& shot = shots()[index_++];
        MainWindow& window = *app_.mainDlg;
        Stage stage{app_.dataFolder, window};
        if (shot.prepare)
            shot.prepare(stage);
        if (shot.open) {
            std::shared_ptr<QWidget> opened = shot.open(stage);
            QTimer::singleShot(kSettle, [this, &shot, opened] {
                save(*opened, shot.name);
                opened->close();
                next();
            });
            return;
        }
        if (!shot.command) {
            QTimer::singleShot(kSettle, [this, &shot, &window] {
                save(window, shot.name);
                next();
            });
            return;
        }
        // The command shows its dialog modally; it runs from the event loop so
        // that this sequence goes on while the dialog is open.
        QTimer::singleShot(0, &window,
                           [&window, command = *shot.command] { window.runCommand(command); });
        waitFor([&window] { return dialogOver(window) != nullptr; },
                [this, &shot, &window] {
                    if (shot.act)
                        shot.act(*dialogOver(window));
                    waitFor(
                        [&shot, &window] {
                            QWidget* dialog = dialogOver(window);
                            return dialog && (!shot.ready || shot.ready(*dialog));
                        },
                        [this, &shot, &window] { shootDialog(shot, window); });
                });
    }

    void shootDialog(const Shot& shot, MainWindow& window) {
        QTimer::singleShot(kSettle, [this, &shot, &window] {
            if (QWidget* dialog = dialogOver(window)) {
                save(*dialog, shot.name);
                dialog->close();
            }
            waitFor([&window] { return dialogOver(window) == nullptr; }, [this] { next(); });
        });
    }

    static QWidget* dialogOver(MainWindow& window) {
        QWidget* modal = QApplication::activeModalWidget();
        return modal && modal != &window ? modal : nullptr;
    }

    void save(QWidget& widget, const char* name) {
        const QString path = QDir(outDir_).filePath(QString::fromLatin1(name) + ".png");
        if (widget.grab().save(path)) {
            ++taken_;
            std::printf("%s\n", qPrintable(path));
        } else {
            std::fprintf(stderr, "vellumet_screenshots: cannot write %s\n", qPrintable(path));
            failed_ = true;
        }
    }

    void waitFor(std::function<bool()> ready, std::function<void()> then,
                 std::chrono::milliseconds waited = 0ms) {
        if (ready()) {
            then();
            return;
        }
        if (waited > kGiveUp) {
            std::fprintf(stderr, "vellumet_screenshots: shot %zu did not come up\n", index_);
            failed_ = true;
            if (app_.mainDlg)
                app_.mainDlg->reject();
            return;
        }
        QTimer::singleShot(kPoll, [this, ready = std::move(ready), then = std::move(then), waited] {
            waitFor(ready, then, waited + kPoll);
        });
    }

    ui::Application& app_;
    QString outDir_;
    std::size_t index_ = 0;
    int taken_ = 0;
    bool failed_ = false;
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vellumet"));
    const QString outDir =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/screenshots");
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "vellumet_screenshots: cannot make %s\n", qPrintable(outDir));
        return 1;
    }
    QTemporaryDir data;
    if (!data.isValid()) {
        std::fprintf(stderr, "vellumet_screenshots: no temporary data folder\n");
        return 1;
    }

    // German: chosen in the data folder's Main.ini, as the Language window does.
    const bool german = argc > 2 && QString::fromLocal8Bit(argv[2]) == QStringLiteral("de");
    if (german) {
        const app::DataFolderResult folder = app::prepareDataFolder(data.path(), {});
        const QString ini = QDir(folder.path).filePath(QString::fromLatin1(app::kSettingsFileName));
        if (!folder.status || !settings::writeLanguageChoice(ini, app::UiLanguage::German)) {
            std::fprintf(stderr, "vellumet_screenshots: cannot choose German in %s\n",
                         qPrintable(ini));
            return 1;
        }
    }

    app::ProgramOptions options;
    options.simulate = true;
    options.dataDir = data.path();
    ui::Application app;
    Photographer photographer(app, outDir);
    QTimer::singleShot(0, [&photographer] { photographer.start(); });
    app.initInstance(options);

    const int expected = static_cast<int>(shots().size());
    if (photographer.failed() || photographer.taken() != expected) {
        std::fprintf(stderr,
                     "vellumet_screenshots: %d of %d shots taken (is Vellumet already running?)\n",
                     photographer.taken(), expected);
        return 1;
    }
    return 0;
}
