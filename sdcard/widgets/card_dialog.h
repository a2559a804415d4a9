#pragma once

#include "app/messenger.h"
#include "core/operation.h"
#include "sdcard/card_transfer.h"

#include <QDialog>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QProgressBar;
class QPushButton;
class QTableView;
class QTableWidget;

namespace vellumet {
class StationLink;
namespace app {
class DataFolderLock;
}
} // namespace vellumet

namespace vellumet::sdcard {

class RecordListModel;

// The SD-card window: the card's files, Export (copy with resume, then
// import), the imported readings, Graph, Delete and Folder. Every exchange
// with the station runs off the window's thread; while one runs, nothing can
// end or disturb it, and the window keeps answering.
class CardDialog : public QDialog {
    Q_OBJECT
public:
    CardDialog(StationLink& link, app::Messenger& messenger, QString dataFolder,
               QWidget* parent = nullptr);
    ~CardDialog() override;

    // Asks the station for its files (also done when the window opens).
    void requestFileList();
    // The list row the next Export or Delete acts on; -1 for none. A click on
    // a row and the arrow keys choose it; a click below the rows clears it.
    void selectFile(int row);
    int selectedRow() const { return selectedRow_; }
    bool busy() const { return worker_ != nullptr; }
    // How Folder opens the data folder; QDesktopServices by default.
    void setFolderOpener(std::function<bool(const QUrl&)> opener) {
        openFolder_ = std::move(opener);
    }
    // How Graph opens the graph window: for the data folder's database and the
    // temperature unit of the imported log. A fresh window for each press.
    using GraphOpener = std::function<void(const QString& dataFolder, const QString& unitText)>;
    void setGraphOpener(GraphOpener opener) { openGraph_ = std::move(opener); }
    // The last import, kept for Graph.
    const std::optional<ImportSummary>& lastImport() const { return lastImport_; }

    QTableWidget* fileList() const { return files_; }
    QTableView* recordList() const { return recordsView_; }
    QPushButton* exportButton() const { return export_; }
    QPushButton* deleteButton() const { return delete_; }
    QPushButton* graphButton() const { return graph_; }
    QPushButton* folderButton() const { return folder_; }
    QProgressBar* progressBar() const { return progress_; }
    QLabel* selectedLabel() const { return selected_; }
    // Which log the records list (and the graph) shows.
    QLabel* recordsLabel() const { return recordsSource_; }

    void done(int result) override;

signals:
    // A background exchange (list, export, delete) has ended.
    void workFinished();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onExport();
    void onDelete();
    void onGraph();
    void onFolder();
    void setBusy(std::shared_ptr<OperationHandle> worker);
    void finishWork();
    void showListing();
    void fitFileColumns();
    void fitRecordColumns();
    // The records list from what the database holds, read when the window
    // opens; and the line that names their log.
    void showStoredRecords();
    void nameRecords(const QString& fileName, std::int64_t rows);
    const CardEntry* selectedEntry();
    // Takes the data folder's lock for an action that writes there; says why
    // not when another process holds it.
    bool lockDataFolder();

    StationLink& link_;
    app::Messenger& messenger_;
    const QString dataFolder_;
    std::function<bool(const QUrl&)> openFolder_;
    GraphOpener openGraph_;

    QLabel* selected_ = nullptr;
    QPushButton* export_ = nullptr;
    QPushButton* delete_ = nullptr;
    QPushButton* graph_ = nullptr;
    QPushButton* folder_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QTableWidget* files_ = nullptr;
    QTableView* recordsView_ = nullptr;
    QLabel* recordsSource_ = nullptr;
    RecordListModel* records_ = nullptr;

    CardListing listing_;
    int selectedRow_ = -1;
    std::shared_ptr<OperationHandle> worker_;
    std::unique_ptr<app::DataFolderLock> folderLock_; // while Export or Delete writes
    std::optional<ImportSummary> lastImport_;
};

} // namespace vellumet::sdcard
