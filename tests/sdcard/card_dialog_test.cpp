#include "app/language.h"
#include "app/messenger.h"
#include "app/text_table.h"
#include "app/widgets/message_box_messenger.h"
#include "device/station_link.h"
#include "sdcard/card_transfer.h"
#include "sdcard/log_time.h"
#include "sdcard/record_list_model.h"
#include "sdcard/widgets/card_dialog.h"
#include "sim/virtual_station.h"
#include "store/automation_date.h"
#include "store/record_schema.h"
#include "store/record_store.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace vellumet;
using namespace vellumet::sdcard;

namespace {

class ScriptedMessenger : public app::Messenger {
public:
    void info(const QString& text) override { shown.push_back(text); }
    bool confirm(const QString& text, app::QuestionStyle style) override {
        asked.push_back(text);
        styles.push_back(style);
        return answer;
    }
    std::vector<QString> shown;
    std::vector<QString> asked;
    std::vector<app::QuestionStyle> styles;
    bool answer = true;
};

std::string withoutCr(QByteArray bytes) {
    return bytes.replace("\r\n", "\n").toStdString();
}

struct DialogRig {
    std::shared_ptr<sim::VirtualStation> station;
    std::unique_ptr<StationLink> link;
    QTemporaryDir data;
    ScriptedMessenger messenger;
    std::unique_ptr<CardDialog> dialog;

    explicit DialogRig(int reportMs, sim::Profile p = {}) {
        p.faults.reportMs = reportMs;
        station = std::make_shared<sim::VirtualStation>(p);
        link = std::make_unique<StationLink>(std::make_shared<sim::VirtualTransport>(station),
                                             LinkTiming::quick());
        link->openStation();
        EXPECT_TRUE(
            store::ensureRecordSchema(QFile::encodeName(data.filePath("7421.mdb")).toStdString())
                .ok());
        dialog = std::make_unique<CardDialog>(*link, messenger, data.path());
        dialog->show();
        waitIdle();
    }
    ~DialogRig() { dialog.reset(); }

    void waitIdle() {
        QSignalSpy finished(dialog.get(), &CardDialog::workFinished);
        if (dialog->busy()) {
            ASSERT_TRUE(finished.wait(20000));
        }
    }

    int rowOf(const QString& name) {
        for (int row = 0; row < dialog->fileList()->rowCount(); ++row)
            if (dialog->fileList()->item(row, 0)->text() == name)
                return row;
        return -1;
    }

    // Rows in the data folder's record database.
    std::size_t storedRows() {
        store::RecordStore store;
        EXPECT_TRUE(
            store.openDatabase(QFile::encodeName(data.filePath("7421.mdb")).toStdString()).ok());
        const auto all = store.readRecords(-1e9, 1e9, std::nullopt);
        EXPECT_TRUE(all.ok());
        return all.ok() ? all->size() : 0;
    }

    void exportFile(const QString& name) {
        click(name);
        dialog->exportButton()->click();
        waitIdle();
    }

    // The window closed and opened again, as its owner does.
    void reopen() {
        dialog.reset();
        dialog = std::make_unique<CardDialog>(*link, messenger, data.path());
        dialog->show();
        waitIdle();
    }

    QString graphUnit() {
        QString unit;
        dialog->setGraphOpener([&](const QString&, const QString& u) { unit = u; });
        dialog->graphButton()->click();
        return unit;
    }

    void click(const QString& name) {
        const int row = rowOf(name);
        ASSERT_GE(row, 0);
        QTableWidget* list = dialog->fileList();
        const QRect cell = list->visualRect(list->model()->index(row, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    }
};

} // namespace

TEST(CardDialog, ExportCannotBeEndedWhileItRuns) {
    DialogRig rig(1);
    ASSERT_EQ(rig.dialog->fileList()->rowCount(), 6);
    rig.dialog->exportButton()->click();
    ASSERT_EQ(rig.messenger.shown.size(), 1u);
    EXPECT_EQ(rig.messenger.shown[0], app::texts()[app::TextId::SelectFile]);

    rig.click("CH1_2612.CSV");
    EXPECT_EQ(rig.dialog->selectedLabel()->text(), "CH1_2612.CSV");
    QSignalSpy finished(rig.dialog.get(), &CardDialog::workFinished);
    rig.dialog->exportButton()->click();
    ASSERT_TRUE(rig.dialog->busy());
    EXPECT_FALSE(rig.dialog->exportButton()->isEnabled());
    EXPECT_FALSE(rig.dialog->deleteButton()->isEnabled());
    EXPECT_FALSE(rig.dialog->graphButton()->isEnabled());
    EXPECT_TRUE(rig.dialog->folderButton()->isEnabled());
    // Every way out is refused while the transfer runs; the window keeps
    // answering its event loop meanwhile.
    rig.dialog->close();
    QTest::keyClick(rig.dialog.get(), Qt::Key_Escape);
    QTest::keyClick(rig.dialog.get(), Qt::Key_Return);
    rig.dialog->reject();
    QTest::qWait(50);
    EXPECT_TRUE(rig.dialog->isVisible());
    EXPECT_TRUE(rig.dialog->busy());
    ASSERT_TRUE(finished.wait(20000));

    EXPECT_EQ(withoutCr([&] {
                  QFile f(QDir(rig.data.path()).filePath("CH1_2612.CSV"));
                  f.open(QIODevice::ReadOnly);
                  return f.readAll();
              }()),
              *rig.station->cardFile("CH1_2612.CSV"));
    const std::string card = *rig.station->cardFile("CH1_2612.CSV");
    EXPECT_EQ(rig.dialog->recordList()->model()->rowCount(),
              std::count(card.begin(), card.end(), '\n') - 1);
    // The export has ended: its bar is empty again, not left full.
    EXPECT_EQ(rig.dialog->progressBar()->value(), rig.dialog->progressBar()->minimum());
    EXPECT_EQ(rig.messenger.shown.size(), 1u); // no failure shown
    EXPECT_TRUE(rig.dialog->exportButton()->isEnabled());

    QString graphFolder, graphUnit;
    rig.dialog->setGraphOpener([&](const QString& folder, const QString& unit) {
        graphFolder = folder;
        graphUnit = unit;
    });
    rig.dialog->graphButton()->click();
    EXPECT_EQ(graphFolder, rig.data.path()) << "the graph of the data folder's database";
    EXPECT_EQ(graphUnit, rig.dialog->lastImport()->unitText);
    EXPECT_FALSE(graphUnit.isEmpty());

    rig.dialog->close();
    EXPECT_FALSE(rig.dialog->isVisible());
}

TEST(CardDialog, DeleteAsksFirstThenRemovesCardFileAndLocalCopy) {
    DialogRig rig(0);
    const QString local = QDir(rig.data.path()).filePath("CH4_2612.CSV");
    QFile copy(local);
    ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
    copy.write("Time\r\n");
    copy.close();

    rig.click("CH4_2612.CSV");
    rig.messenger.answer = false;
    rig.dialog->deleteButton()->click();
    ASSERT_EQ(rig.messenger.asked.size(), 1u);
    EXPECT_EQ(rig.messenger.asked[0], app::texts()[app::TextId::ConfirmDelete]);
    // Enter alone must not delete: Cancel is the default, under a warning.
    EXPECT_EQ(rig.messenger.styles[0].defaultButton, app::QuestionStyle::Button::Cancel);
    EXPECT_EQ(rig.messenger.styles[0].icon, app::QuestionStyle::Icon::Warning);
    EXPECT_FALSE(rig.dialog->busy());
    EXPECT_TRUE(rig.station->cardFile("CH4_2612.CSV").has_value());
    EXPECT_TRUE(QFile::exists(local));

    rig.messenger.answer = true;
    rig.dialog->deleteButton()->click();
    rig.waitIdle();
    EXPECT_FALSE(rig.station->cardFile("CH4_2612.CSV").has_value());
    EXPECT_FALSE(QFile::exists(local));
    EXPECT_EQ(rig.rowOf("CH4_2612.CSV"), -1);
    EXPECT_EQ(rig.dialog->fileList()->rowCount(), 5);
    EXPECT_EQ(rig.dialog->selectedLabel()->text(), rig.dialog->fileList()->item(0, 0)->text());
    EXPECT_TRUE(rig.messenger.shown.empty());
}

// The file Export and Delete act on: a click on a row or the arrow keys choose
// it, a click below the rows clears it. The records list starts with its plain
// captions; an import puts the units into them.
TEST(CardDialog, SelectionFollowsClicksAndArrowKeysAndCaptionsFollowTheImport) {
    DialogRig rig(0);
    QTableWidget* list = rig.dialog->fileList();
    ASSERT_GE(list->rowCount(), 3);
    const QAbstractItemModel* records = rig.dialog->recordList()->model();
    const auto captions = [records] {
        QStringList shown;
        for (int c = 0; c < records->columnCount(); ++c)
            shown << records->headerData(c, Qt::Horizontal).toString();
        return shown.join(',').toStdString();
    };
    EXPECT_EQ(captions(), "Time,Temperature,Humidity,DewPoint,HeatIndex");

    const QString first = list->item(0, 0)->text();
    rig.click(first);
    EXPECT_EQ(rig.dialog->selectedRow(), 0);
    const QRect last = list->visualRect(list->model()->index(list->rowCount() - 1, 0));
    const QPoint below(last.center().x(), last.bottom() + last.height());
    ASSERT_TRUE(list->viewport()->rect().contains(below));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, below);
    EXPECT_EQ(rig.dialog->selectedRow(), -1);
    EXPECT_TRUE(rig.dialog->selectedLabel()->text().isEmpty());
    EXPECT_TRUE(list->selectedItems().isEmpty());
    rig.dialog->deleteButton()->click();
    ASSERT_EQ(rig.messenger.shown.size(), 1u);
    EXPECT_EQ(rig.messenger.shown[0], app::texts()[app::TextId::SelectFile]);
    EXPECT_TRUE(rig.messenger.asked.empty());

    // Down twice from the clicked first row, up once: the second file.
    rig.click(first);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Up);
    const QString second = list->item(1, 0)->text();
    EXPECT_EQ(rig.dialog->selectedRow(), 1);
    EXPECT_EQ(rig.dialog->selectedLabel()->text(), second);
    rig.dialog->deleteButton()->click();
    rig.waitIdle();
    EXPECT_FALSE(rig.station->cardFile(second.toStdString()).has_value());
    EXPECT_TRUE(rig.station->cardFile(first.toStdString()).has_value());

    // Delete chose the first row again; Down goes to the next and Export copies it.
    ASSERT_EQ(rig.dialog->selectedRow(), 0);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    const QString exported = list->item(1, 0)->text();
    rig.dialog->exportButton()->click();
    rig.waitIdle();
    EXPECT_TRUE(QFile::exists(QDir(rig.data.path()).filePath(exported)));
    EXPECT_FALSE(QFile::exists(QDir(rig.data.path()).filePath(first)));
    ASSERT_TRUE(rig.dialog->lastImport().has_value());
    const QString unit = rig.dialog->lastImport()->unitText;
    ASSERT_FALSE(unit.isEmpty());
    EXPECT_EQ(captions(), QStringLiteral("Time,Temperature%1,Humidity(%),DewPoint%1,HeatIndex%1")
                              .arg(unit)
                              .toStdString());
}

// Delete takes the records with it only when they are the deleted file's
// readings; the unit of the imported log outlives the window.
TEST(CardDialog, DeleteEmptiesOnlyItsOwnRecordsAndTheUnitOutlivesTheWindow) {
    DialogRig rig(0);
    rig.exportFile("CH2_2612.CSV"); // a °F log
    ASSERT_EQ(rig.storedRows(), 2016u);
    ASSERT_TRUE(rig.messenger.shown.empty());

    rig.reopen();
    EXPECT_EQ(rig.graphUnit(), QStringLiteral("(°F)"));

    // Neither a header-only log nor one never imported holds these rows.
    for (const char* other : {"CH5_2612.CSV", "CH4_2612.CSV"}) {
        rig.click(other);
        rig.dialog->deleteButton()->click();
        rig.waitIdle();
        EXPECT_FALSE(rig.station->cardFile(other).has_value()) << other;
        EXPECT_EQ(rig.storedRows(), 2016u) << other;
        EXPECT_TRUE(rig.messenger.shown.empty()) << other;
    }

    rig.click("CH2_2612.CSV");
    rig.dialog->deleteButton()->click();
    rig.waitIdle();
    EXPECT_EQ(rig.storedRows(), 0u);
    ASSERT_EQ(rig.messenger.shown.size(), 1u);
    EXPECT_EQ(rig.messenger.shown[0],
              QStringLiteral("The 2016 readings of CH2_2612.CSV were removed from the record "
                             "database."));
    EXPECT_EQ(rig.graphUnit(), QStringLiteral("(°C)"));
}

// Dates that read either way are read in the order the station writes them,
// whatever the user's locale says.
TEST(CardDialog, ExportReadsAmbiguousDatesInTheStationsOrder) {
    QTemporaryDir card;
    QFile log(QDir(card.path()).filePath("CH1_2401.CSV"));
    ASSERT_TRUE(log.open(QIODevice::WriteOnly));
    log.write("Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)\n"
              "01/02/2024 10:00:00,20.0,50,9.3,20.0\n");
    log.close();
    // The station's order is the one the locale would not choose.
    const bool localeDayFirst = orderOfLocale(QLocale::system()) == DateOrder::DayFirst;
    sim::Profile profile;
    profile.sdDir = card.path().toStdString();
    Block settings = sim::VirtualStation(profile).settingsBlock();
    settings[4] = localeDayFirst ? 1 : 2; // month/day : day/month
    profile.answers[0x04] = settings;
    DialogRig rig(0, profile);

    rig.exportFile("CH1_2401.CSV");
    ASSERT_TRUE(rig.messenger.shown.empty());
    store::RecordStore store;
    ASSERT_TRUE(
        store.openDatabase(QFile::encodeName(rig.data.filePath("7421.mdb")).toStdString()).ok());
    const auto rows = store.readRecords(-1e9, 1e9, std::nullopt);
    ASSERT_TRUE(rows.ok());
    ASSERT_EQ(rows->size(), 1u);
    EXPECT_EQ(store::formatDateTime(rows->front().time),
              localeDayFirst ? "2024-01-02 10:00:00" : "2024-02-01 10:00:00");
}

// The transfer's own errors are in the user's language; a file name in them
// is taken as it is, even with a marker of its own.
TEST(CardDialog, TransferErrorsInGerman) {
    QTemporaryDir dir;
    const QString odd = dir.filePath(QStringLiteral("%2 odd"));
    ASSERT_TRUE(QDir().mkpath(odd));
    for (const app::UiLanguage language : {app::UiLanguage::German, app::UiLanguage::English}) {
        app::installTranslations(language);
        const Result<sdcard::LocalCopyState> state = sdcard::inspectLocalCopy(odd);
        ASSERT_FALSE(state);
        const QString shown = QDir::toNativeSeparators(odd);
        EXPECT_EQ(QString::fromStdString(state.error().text()),
                  language == app::UiLanguage::German
                      ? QString::fromUtf8("%1 ist keine gewöhnliche Datei; sie bleibt unberührt")
                            .arg(shown)
                      : QStringLiteral("%1 is not a plain file; it is left alone").arg(shown));
    }
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app::installTranslations(app::UiLanguage::English);
    app::loadTexts();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// Names from the card are text, never markup: the list, the selected name and
// any message show a name like "<b>x</b>" as it stands.
TEST(CardDialog, CardNamesAreShownAsPlainText) {
    const auto report = [](const std::string& name) {
        Block b{};
        b[0] = '{';
        std::copy(name.begin(), name.end(), b.begin() + 1);
        b[1 + name.size()] = ',';
        b[1 + name.size() + 4] = 100; // 100 bytes
        b[1 + name.size() + 5] = '}';
        return b;
    };
    Block end{};
    end[0] = '{';
    end[1] = '@';
    end[2] = '}';
    sim::Profile profile;
    profile.answerSequences[0x01] = {report("<i>y</i>.CSV"), report("<b>x.CSV"), end};
    DialogRig rig(1, profile);
    ASSERT_EQ(rig.dialog->fileList()->rowCount(), 2);
    EXPECT_EQ(rig.dialog->fileList()->item(0, 0)->text(), QStringLiteral("<i>y</i>.CSV"));
    rig.click(QStringLiteral("<b>x.CSV"));
    auto* selected = rig.dialog->findChild<QLabel*>(QStringLiteral("selectedFile"));
    ASSERT_NE(selected, nullptr);
    EXPECT_EQ(selected->text(), QStringLiteral("<b>x.CSV"));
    EXPECT_EQ(selected->textFormat(), Qt::PlainText);

    // The message boxes of the program show such text literally too.
    app::MessageBoxMessenger boxes(rig.dialog.get());
    QString shownText;
    Qt::TextFormat shownFormat = Qt::AutoText;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shownText = box->text();
            shownFormat = box->textFormat();
            box->accept();
        }
    });
    boxes.info(QStringLiteral("<b>x.CSV</b> cannot be copied"));
    EXPECT_EQ(shownText, QStringLiteral("<b>x.CSV</b> cannot be copied"));
    EXPECT_EQ(shownFormat, Qt::PlainText);
}

// A question that destroys something shows the warning icon, and Enter
// answers it with Cancel; an ordinary one keeps OK as its default.
TEST(CardDialog, MessageBoxQuestionsTakeTheirIconAndDefaultButton) {
    app::MessageBoxMessenger boxes;
    struct Case {
        app::QuestionStyle style;
        QMessageBox::Icon icon;
        QMessageBox::StandardButton enterPresses;
    } cases[] = {
        {app::kWarningQuestion, QMessageBox::Warning, QMessageBox::Cancel},
        {{}, QMessageBox::Question, QMessageBox::Ok},
    };
    for (const Case& c : cases) {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString title;
        QTimer::singleShot(0, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                icon = box->icon();
                title = box->windowTitle();
                QTest::keyClick(box, Qt::Key_Return);
            }
        });
        const bool ok = boxes.confirm(QStringLiteral("Are you sure?"), c.style);
        EXPECT_EQ(icon, c.icon);
        EXPECT_EQ(title, QStringLiteral("Vellumet"));
        EXPECT_EQ(ok, c.enterPresses == QMessageBox::Ok);
    }
}

// The records list names the log it shows, whichever file is selected, and
// after the window is opened again it shows what the database holds.
TEST(CardDialog, TheRecordsListNamesItsLogAndComesBackFromTheDatabase) {
    DialogRig rig(0);
    const QAbstractItemModel* records = rig.dialog->recordList()->model();
    EXPECT_EQ(rig.dialog->recordsLabel()->text(), QStringLiteral("No log imported."));
    rig.exportFile("CH2_2612.CSV");
    ASSERT_TRUE(rig.messenger.shown.empty());
    const QString named = QStringLiteral("Readings of CH2_2612.CSV (2016 rows)");
    EXPECT_EQ(rig.dialog->recordsLabel()->text(), named);
    rig.click("CH1_2612.CSV");
    EXPECT_EQ(rig.dialog->recordsLabel()->text(), named);
    const QString firstTime = records->index(0, 0).data().toString();
    const QString firstTemperature = records->index(0, 1).data().toString();

    rig.reopen();
    records = rig.dialog->recordList()->model();
    EXPECT_EQ(rig.dialog->recordsLabel()->text(), named);
    ASSERT_EQ(records->rowCount(), 2016);
    ASSERT_EQ(records->columnCount(), 5);
    EXPECT_EQ(records->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Temperature(°F)"));
    // The same reading, as the database holds it.
    store::RecordStore store;
    ASSERT_TRUE(
        store.openDatabase(QFile::encodeName(rig.data.filePath("7421.mdb")).toStdString()).ok());
    const auto stored = store.readRecords(-1e9, 1e9, std::nullopt);
    ASSERT_TRUE(stored.ok() && !stored->empty());
    EXPECT_EQ(records->index(0, 0).data().toString(),
              QString::fromStdString(store::formatDateTime(stored->front().time)));
    EXPECT_DOUBLE_EQ(records->index(0, 1).data().toString().toDouble(),
                     firstTemperature.toDouble());
    EXPECT_FALSE(firstTime.isEmpty());

    rig.click("CH2_2612.CSV");
    rig.dialog->deleteButton()->click();
    rig.waitIdle();
    EXPECT_EQ(records->rowCount(), 0);
    EXPECT_EQ(rig.dialog->recordsLabel()->text(), QStringLiteral("No log imported."));
}

// Every column of the card's file list is as wide as its caption and its
// texts, and the list shows them whole, in English and in German.
TEST(CardDialog, TheFileListsColumnsFitTheirTexts) {
    for (app::UiLanguage language : {app::UiLanguage::English, app::UiLanguage::German}) {
        app::installTranslations(language);
        app::texts().load();
        DialogRig rig(0);
        QTableWidget* list = rig.dialog->fileList();
        ASSERT_GT(list->rowCount(), 0);
        const QFontMetrics metrics(list->font());
        int total = 0;
        for (int c = 0; c < list->columnCount(); ++c) {
            int need = metrics.horizontalAdvance(list->horizontalHeaderItem(c)->text());
            for (int row = 0; row < list->rowCount(); ++row)
                need = std::max(need, metrics.horizontalAdvance(list->item(row, c)->text()));
            EXPECT_GT(list->columnWidth(c), need) << c;
            total += list->columnWidth(c);
        }
        EXPECT_LE(total, list->viewport()->width());
        // The records list's captions, with their units as after an import.
        auto* model = qobject_cast<sdcard::RecordListModel*>(rig.dialog->recordList()->model());
        ASSERT_TRUE(model);
        model->setStoredRows({}, false, QStringLiteral("°C"));
        const QTableView* records = rig.dialog->recordList();
        const QFontMetrics recordMetrics(records->horizontalHeader()->font());
        ASSERT_EQ(model->columnCount(), 5);
        for (int c = 0; c < model->columnCount(); ++c) {
            const QString caption = model->headerData(c, Qt::Horizontal).toString();
            EXPECT_GT(records->columnWidth(c), recordMetrics.horizontalAdvance(caption))
                << caption.toStdString();
        }
        if (language == app::UiLanguage::German) {
            EXPECT_EQ(list->horizontalHeaderItem(1)->text(), QStringLiteral("Größe"));
            EXPECT_EQ(rig.dialog->recordsLabel()->text(),
                      QStringLiteral("Noch kein Protokoll importiert."));
        }
    }
    app::installTranslations(app::UiLanguage::English);
    app::texts().load();
}
