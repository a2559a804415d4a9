#include "card_dialog.h"

#include "app/data_folder.h"
#include "app/data_folder_lock.h"
#include "graph/widgets/graph_dialog.h"

#include "app/background.h"
#include "app/error_text.h"
#include "app/text_table.h"
#include "device/station_link.h"
#include "sdcard/record_list_model.h"
#include "store/automation_date.h"
#include "store/record_store.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStringList>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace vellumet::sdcard {

using app::TextId;

namespace {

// A station's name as the list shows it: control characters made visible.
QString shownName(const QString& name) {
    QString shown;
    for (const QChar c : name)
        shown += c.category() == QChar::Other_Control ? QChar(0xFFFD) : c;
    return shown;
}

} // namespace

CardDialog::CardDialog(StationLink& link, app::Messenger& messenger, QString dataFolder,
                       QWidget* parent)
    : QDialog(parent), link_(link), messenger_(messenger), dataFolder_(std::move(dataFolder)),
      openFolder_([](const QUrl& url) { return QDesktopServices::openUrl(url); }),
      openGraph_([this](const QString& folder, const QString& unitText) {
          graph::GraphDialog graph(app::databasePath(folder), messenger_, this);
          graph.setUnitText(unitText);
          graph.exec();
      }) {
    const app::TextTable& t = app::texts();
    setWindowTitle(t[TextId::SdCardFile]);
    resize(1048, 674);

    auto* caption = new QLabel(t[TextId::Export], this);
    selected_ = new QLabel(this);
    selected_->setObjectName(QStringLiteral("selectedFile"));
    selected_->setTextFormat(Qt::PlainText); // a card file name, shown as it stands
    selected_->setMinimumWidth(136);
    export_ = new QPushButton(t[TextId::Export], this);
    delete_ = new QPushButton(QStringLiteral("Delete"), this); // "Delete" in both languages
    graph_ = new QPushButton(t[TextId::Graph], this);
    folder_ = new QPushButton(t[TextId::Folder], this);
    for (QPushButton* b : {export_, delete_, graph_, folder_})
        b->setAutoDefault(false);
    progress_ = new QProgressBar(this);
    progress_->setTextVisible(false);
    progress_->setRange(0, 1);
    progress_->setValue(0);

    files_ = new QTableWidget(0, 2, this);
    files_->setHorizontalHeaderLabels({t[TextId::FileName], t[TextId::Size]});
    files_->setSelectionBehavior(QAbstractItemView::SelectRows);
    files_->setSelectionMode(QAbstractItemView::SingleSelection);
    files_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    files_->verticalHeader()->hide();
    files_->setColumnWidth(0, 180);
    files_->setColumnWidth(1, 110);
    fitFileColumns();

    records_ = new RecordListModel(this);
    RecordCaptions captions;
    captions.time = t[TextId::Time];
    captions.temperature = t[TextId::Temperature];
    captions.humidity = t[TextId::Humidity];
    captions.dewPoint = t[TextId::DewPoint];
    captions.heatIndex = t[TextId::HeatIndex];
    records_->setCaptions(captions);
    recordsView_ = new QTableView(this);
    recordsView_->setModel(records_);
    recordsView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    recordsView_->verticalHeader()->hide();
    recordsView_->horizontalHeader()->setSectionsMovable(true);
    // The captions change with the import (units, an indoor log's three
    // columns): the columns follow them.
    connect(records_, &QAbstractItemModel::headerDataChanged, this, &CardDialog::fitRecordColumns);
    connect(records_, &QAbstractItemModel::modelReset, this, &CardDialog::fitRecordColumns);
    fitRecordColumns();

    auto* top = new QHBoxLayout;
    top->addWidget(caption);
    top->addWidget(selected_);
    for (QPushButton* b : {export_, delete_, graph_, folder_})
        top->addWidget(b);
    top->addWidget(progress_, 1);
    recordsSource_ = new QLabel(this);
    recordsSource_->setObjectName(QStringLiteral("recordsSource"));
    recordsSource_->setTextFormat(Qt::PlainText);
    auto* recordsColumn = new QVBoxLayout;
    recordsColumn->addWidget(recordsSource_);
    recordsColumn->addWidget(recordsView_, 1);
    auto* lists = new QHBoxLayout;
    lists->addWidget(files_);
    lists->addLayout(recordsColumn, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(lists, 1);

    connect(export_, &QPushButton::clicked, this, &CardDialog::onExport);
    connect(delete_, &QPushButton::clicked, this, &CardDialog::onDelete);
    connect(graph_, &QPushButton::clicked, this, &CardDialog::onGraph);
    connect(folder_, &QPushButton::clicked, this, &CardDialog::onFolder);
    connect(files_, &QTableWidget::cellClicked, this, [this](int row, int) { selectFile(row); });
    // The arrow keys move the current row; Export and Delete follow it.
    connect(files_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid())
                    selectFile(current.row());
            });
    files_->viewport()->installEventFilter(this);

    showStoredRecords();
    if (link_.connected())
        requestFileList();
}

CardDialog::~CardDialog() {
    if (worker_)
        worker_->cancel(); // its waits on the link end at once
    worker_.reset();       // waits for its thread; nothing is handed to this window any more
    folderLock_.reset();
}

bool CardDialog::lockDataFolder() {
    auto lock = app::DataFolderLock::acquire(dataFolder_);
    if (!lock) {
        messenger_.error(lock.error());
        return false;
    }
    folderLock_ = std::move(*lock);
    return true;
}

namespace {

// What a finished Export tells beyond the rows it shows: an old copy kept
// aside, a failed transfer and what stands in the database after it.
QString fetchMessage(const FetchOutcome& fetched) {
    const app::TextTable& t = app::texts();
    const TransferOutcome& transfer = fetched.transfer;
    QStringList lines;
    if (transfer.chunkFailure)
        lines << t[TextId::FileErrors] << app::errorText(*transfer.chunkFailure);
    if (transfer.restarted())
        lines << (transfer.oldCopy == OldCopy::Longer
                      ? QCoreApplication::translate(
                            "CardDialog", "The local copy was longer than the card file and was "
                                          "kept as %1; the file was fetched anew.")
                      : QCoreApplication::translate(
                            "CardDialog", "The local copy differed from the card file and was "
                                          "kept as %1; the file was fetched anew."))
                     .arg(QDir::toNativeSeparators(transfer.keptAs));
    if (transfer.chunkFailure && fetched.import)
        lines << QCoreApplication::translate(
                     "CardDialog",
                     "%1 of %2 bytes are kept; the records were replaced by the whole "
                     "lines that arrived: %3 rows now stand in the database.")
                     .arg(transfer.held)
                     .arg(transfer.cardSize)
                     .arg(fetched.import->rows);
    if (fetched.importFailure)
        lines << app::errorText(*fetched.importFailure)
              << QCoreApplication::translate("CardDialog",
                                             "The records in the database are as they were.");
    return lines.join(QLatin1Char('\n'));
}

} // namespace

void CardDialog::requestFileList() {
    if (worker_)
        return;
    StationLink& link = link_;
    setBusy(app::runInBackground<CardListing>(
        this,
        [&link](const OperationContext& context) {
            return sdcard::requestFileList(link, context.stopToken());
        },
        [this](const Result<CardListing>& listing) {
            listing_ = listing ? *listing : CardListing{};
            showListing();
            finishWork();
        }));
}

void CardDialog::showListing() {
    files_->setRowCount(0);
    files_->setRowCount(static_cast<int>(listing_.entries.size()));
    for (int row = 0; row < files_->rowCount(); ++row) {
        const CardEntry& e = listing_.entries[static_cast<std::size_t>(row)];
        auto* name = new QTableWidgetItem(shownName(e.name));
        auto* size = new QTableWidgetItem(e.sizeText);
        name->setTextAlignment(Qt::AlignCenter);
        size->setTextAlignment(Qt::AlignCenter);
        if (!e.readable()) {
            const QString why = e.usable() ? e.readProblem : e.problem;
            for (QTableWidgetItem* item : {name, size}) {
                item->setForeground(palette().brush(QPalette::Disabled, QPalette::Text));
                item->setToolTip(why);
            }
        }
        files_->setItem(row, 0, name);
        files_->setItem(row, 1, size);
    }
    fitFileColumns();
    selectFile(-1);
}

void CardDialog::fitFileColumns() {
    // Each column as wide as its caption and its texts need, at least as
    // wide as it starts; the list as wide as its columns and a scroll bar.
    int width = 0;
    for (int column = 0; column < files_->columnCount(); ++column) {
        const int start = column == 0 ? 180 : 110;
        files_->resizeColumnToContents(column);
        files_->setColumnWidth(column, std::max(files_->columnWidth(column) + 12, start));
        width += files_->columnWidth(column);
    }
    files_->setMinimumWidth(width + files_->verticalScrollBar()->sizeHint().width() +
                            2 * files_->frameWidth());
}

void CardDialog::fitRecordColumns() {
    // Each column as wide as its caption, the time column as wide as a time
    // too; the cells are not measured, as a log may have a million rows.
    const QHeaderView* header = recordsView_->horizontalHeader();
    const QFontMetrics metrics(recordsView_->font());
    const int timeWidth = metrics.horizontalAdvance(QStringLiteral("2026-12-31 23:59:59"));
    for (int column = 0; column < records_->columnCount(); ++column) {
        const int caption = header->sectionSizeHint(column);
        const int cells =
            column == 0 ? timeWidth : metrics.horizontalAdvance(QStringLiteral("-40.0"));
        recordsView_->setColumnWidth(column, std::max(caption, cells) + 24);
    }
}

void CardDialog::showStoredRecords() {
    const QString database = app::databasePath(dataFolder_);
    const Result<std::optional<ImportedLog>> held =
        QFile::exists(database) ? importedLog(database) : std::optional<ImportedLog>();
    if (!held || !*held) {
        nameRecords({}, 0);
        return;
    }
    store::RecordStore store;
    Result<std::vector<store::LogRecord>> rows =
        store.openDatabase(QFile::encodeName(database).toStdString())
            ? store.readRecords(std::numeric_limits<double>::lowest(),
                                std::numeric_limits<double>::max(), std::nullopt)
            : Result<std::vector<store::LogRecord>>(std::vector<store::LogRecord>());
    if (!rows) {
        messenger_.info(app::errorText(rows.error()));
        nameRecords({}, 0);
        return;
    }
    const std::int64_t count = static_cast<std::int64_t>(rows->size());
    // An indoor log is told by its name, as when it was imported.
    records_->setStoredRows(std::move(*rows), (*held)->fileName.contains(QLatin1String("IN")),
                            (*held)->unitText);
    nameRecords((*held)->fileName, count);
}

void CardDialog::nameRecords(const QString& fileName, std::int64_t rows) {
    recordsSource_->setText(
        fileName.isEmpty() ? QCoreApplication::translate("CardDialog", "No log imported.")
                           : QCoreApplication::translate("CardDialog", "Readings of %1 (%2 rows)")
                                 .arg(shownName(fileName))
                                 .arg(rows));
}

void CardDialog::selectFile(int row) {
    selectedRow_ = row >= 0 && row < files_->rowCount() ? row : -1;
    const QTableWidgetItem* name = selectedRow_ < 0 ? nullptr : files_->item(selectedRow_, 0);
    selected_->setText(name ? name->text() : QString());
    if (selectedRow_ >= 0) {
        files_->selectRow(selectedRow_);
    } else {
        files_->clearSelection();
        // No current row either, so that the next arrow key starts afresh.
        files_->setCurrentIndex(QModelIndex());
    }
}

bool CardDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == files_->viewport() && event->type() == QEvent::MouseButtonPress) {
        const auto* press = static_cast<QMouseEvent*>(event);
        if (!files_->indexAt(press->position().toPoint()).isValid())
            selectFile(-1); // a click that hits no row, e.g. below the last one
    }
    return QDialog::eventFilter(watched, event);
}

const CardEntry* CardDialog::selectedEntry() {
    if (selectedRow_ < 0 || selectedRow_ >= static_cast<int>(listing_.entries.size())) {
        messenger_.warning(app::texts()[TextId::SelectFile]);
        return nullptr;
    }
    return &listing_.entries[static_cast<std::size_t>(selectedRow_)];
}

void CardDialog::setBusy(std::shared_ptr<OperationHandle> worker) {
    worker_ = std::move(worker);
    for (QPushButton* b : {export_, delete_, graph_})
        b->setEnabled(false);
}

void CardDialog::finishWork() {
    worker_.reset();
    // The bar shows work in progress only: once it has ended the bar is empty.
    progress_->setRange(0, 1);
    progress_->setValue(0);
    for (QPushButton* b : {export_, delete_, graph_})
        b->setEnabled(true);
    emit workFinished();
}

void CardDialog::onExport() {
    if (worker_)
        return;
    const CardEntry* entry = selectedEntry();
    if (!entry)
        return;
    if (!entry->readable()) {
        messenger_.warning(entry->usable() ? entry->readProblem : entry->problem);
        return;
    }
    if (!lockDataFolder())
        return;
    FetchRequest request;
    request.transfer.entry = *entry;
    request.transfer.dataFolder = dataFolder_;
    request.databasePath = app::databasePath(dataFolder_);
    request.keepRows = true;
    progress_->setRange(0, 1);
    progress_->setValue(0);
    StationLink& link = link_;
    setBusy(app::runInBackground<FetchOutcome>(
        this,
        [&link, request](const OperationContext& context) {
            return fetchFile(link, request, context);
        },
        [this, name = entry->name](const Result<FetchOutcome>& fetched) {
            folderLock_.reset();
            finishWork();
            const app::TextTable& t = app::texts();
            if (!fetched) {
                switch (fetched.code()) {
                case Errc::Cancelled:
                    return;
                case Errc::NotConnected:
                case Errc::StationGone:
                    messenger_.error(t[TextId::Unconnected]);
                    return;
                case Errc::Io:
                    messenger_.error(t[TextId::CreateError] + QStringLiteral("\n") +
                                     app::errorText(fetched.error()));
                    return;
                default:
                    messenger_.error(fetched.error());
                    return;
                }
            }
            if (fetched->import) {
                lastImport_ = fetched->import;
                records_->setTable(fetched->import->table, fetched->import->unitText);
                nameRecords(name, fetched->import->rows);
            }
            if (const QString message = fetchMessage(*fetched); !message.isEmpty())
                messenger_.tell(message, fetched->transfer.chunkFailure || fetched->importFailure
                                             ? app::MessageKind::Warning
                                             : app::MessageKind::Information);
        },
        [this](std::int64_t done, std::int64_t total) {
            if (total <= 0) {
                progress_->setRange(0, 1);
                progress_->setValue(1);
                return;
            }
            // The bar counts in units that fit an int whatever the file's size.
            const std::int64_t scale = total > 1'000'000'000 ? 1024 : 1;
            progress_->setRange(0, static_cast<int>(total / scale));
            progress_->setValue(static_cast<int>(done / scale));
        }));
}

void CardDialog::onDelete() {
    if (worker_)
        return;
    const CardEntry* chosen = selectedEntry();
    if (!chosen)
        return;
    if (!chosen->usable()) {
        messenger_.warning(chosen->problem);
        return;
    }
    if (!messenger_.confirm(app::texts()[TextId::ConfirmDelete], app::kWarningQuestion))
        return;
    if (!lockDataFolder())
        return;
    const CardEntry entry = *chosen;
    const int row = selectedRow_;
    StationLink& link = link_;
    setBusy(app::runInBackground<void>(
        this,
        [&link, entry](const OperationContext& context) {
            return deleteCardFile(link, entry, context.stopToken());
        },
        [this, entry, row](const Status& sent) {
            finishWork();
            // Held until the copy and the records are gone.
            const std::unique_ptr<app::DataFolderLock> lock = std::move(folderLock_);
            if (!sent && sent.code() == Errc::Cancelled)
                return;
            // Without a station the local copy still goes, as the card cannot be reached.
            if (!sent && sent.code() != Errc::NotConnected && sent.code() != Errc::StationGone) {
                messenger_.error(sent.error());
                return;
            }
            const QString local = QDir(dataFolder_).filePath(entry.name);
            if (QFile::exists(local) && !QFile::remove(local))
                messenger_.error(QCoreApplication::translate(
                                     "CardDialog", "The local copy %1 could not be removed.")
                                     .arg(QDir::toNativeSeparators(local)));
            if (row >= 0 && row < files_->rowCount()) {
                files_->removeRow(row);
                listing_.entries.erase(listing_.entries.begin() + row);
            }
            selectFile(files_->rowCount() > 0 ? 0 : -1);
            // The records go only when they are this file's readings; those
            // of another log stay, as nothing of them was deleted.
            const Result<std::optional<ImportedLog>> removed =
                forgetRecordsOf(app::databasePath(dataFolder_), entry.name);
            if (!removed) {
                messenger_.error(QCoreApplication::translate(
                                     "CardDialog", "The readings of %1 could not be removed from "
                                                   "the record database:\n%2")
                                     .arg(shownName(entry.name), app::errorText(removed.error())));
            } else if (*removed) {
                records_->setTable(nullptr, QString());
                lastImport_.reset();
                nameRecords({}, 0);
                messenger_.info(QCoreApplication::translate(
                                    "CardDialog",
                                    "The %1 readings of %2 were removed from the record database.")
                                    .arg((*removed)->rows)
                                    .arg(shownName(entry.name)));
            }
        }));
}

void CardDialog::onGraph() {
    if (worker_)
        return;
    // The unit of the log imported in this window, else the one the last
    // import noted in the database, else degrees Celsius as a fresh station
    // writes.
    QString unit = lastImport_ ? lastImport_->unitText : QString();
    if (!lastImport_) {
        const Result<std::optional<ImportedLog>> held = importedLog(app::databasePath(dataFolder_));
        if (held && *held)
            unit = (*held)->unitText;
    }
    if (unit.isEmpty())
        unit = QStringLiteral("(°C)");
    openGraph_(dataFolder_, unit);
}

void CardDialog::onFolder() {
    openFolder_(QUrl::fromLocalFile(dataFolder_));
}

void CardDialog::done(int result) {
    if (worker_)
        return; // a transfer or deletion in progress is never cut off by closing
    QDialog::done(result);
}

void CardDialog::closeEvent(QCloseEvent* event) {
    if (worker_) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void CardDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        accept(); // refused by done() while work runs
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace vellumet::sdcard
