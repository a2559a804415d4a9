#include "station_dialog.h"

#include "app/background.h"
#include "app/text_table.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFrame>

namespace vellumet::ui {

StationDialog::StationDialog(StationLink& link, app::Messenger& messenger, QWidget* parent)
    : QDialog(parent), link_(link), messenger_(messenger) {}

StationDialog::~StationDialog() {
    running_.reset(); // cancels the job and waits for its thread
}

void StationDialog::runJob(std::function<Status(std::stop_token)> job,
                           std::function<void(const Status&)> done) {
    enabledBefore_.clear();
    for (QPushButton* b : buttons_) {
        enabledBefore_.push_back(b->isEnabled());
        b->setEnabled(false);
    }
    running_ = app::runInBackground<void>(
        this,
        [job = std::move(job)](const OperationContext& context) -> Status {
            return job(context.stopToken());
        },
        [this, done = std::move(done)](const Status& outcome) {
            running_.reset();
            for (std::size_t i = 0; i < buttons_.size() && i < enabledBefore_.size(); ++i)
                buttons_[i]->setEnabled(enabledBefore_[i]);
            done(outcome);
        });
}

void StationDialog::writeAndClose(std::vector<CommandFrame> frames) {
    if (!link_.connected()) {
        accept();
        return;
    }
    StationLink& link = link_;
    runJob([&link, frames = std::move(frames)](
               std::stop_token stop) { return link.writeSettings(frames, {}, stop); },
           [this](const Status& sent) {
               if (!sent)
                   reportFailure(sent);
               if (sent || sent.code() != Errc::Cancelled)
                   accept();
           });
}

void StationDialog::reportFailure(const Status& status) {
    if (status)
        return;
    switch (status.code()) {
    case Errc::AwayFromMainScreen:
        messenger_.warning(app::texts()[app::TextId::SwitchToMainScreen]);
        break;
    case Errc::Cancelled:
        break;
    case Errc::NotConnected:
    case Errc::StationGone:
        messenger_.error(app::texts()[app::TextId::Unconnected]);
        break;
    default:
        messenger_.error(status.error());
        break;
    }
}

void StationDialog::reject() {
    // The window's Close command is off while a write runs.
    if (running_)
        return;
    QDialog::reject();
}

void StationDialog::showNoStation(QBoxLayout* layout, const std::vector<QWidget*>& fields) {
    auto* note =
        new QLabel(QCoreApplication::translate(
                       "StationDialog", "No station is connected: there are no settings to show."),
                   this);
    note->setObjectName(QStringLiteral("noStation"));
    note->setWordWrap(true);
    layout->insertWidget(0, note);
    const QString none = QCoreApplication::translate("StationDialog", "no station");
    for (QWidget* field : fields) {
        if (auto* combo = qobject_cast<QComboBox*>(field)) {
            combo->setPlaceholderText(none);
            combo->setCurrentIndex(-1);
        } else if (auto* edit = qobject_cast<QLineEdit*>(field)) {
            edit->clear();
        } else if (auto* check = qobject_cast<QCheckBox*>(field)) {
            check->setChecked(false);
        }
        field->setEnabled(false);
    }
}

void StationDialog::fitBoxTo(QLineEdit* box, const QString& widest) {
    QStyleOptionFrame option;
    option.initFrom(box);
    option.lineWidth = box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, box);
    const QMargins margins = box->textMargins();
    // The line edit keeps two pixels of its own either side of the text.
    const int text = box->fontMetrics().horizontalAdvance(widest) + margins.left() +
                     margins.right() + 2 * 2 + 2 * option.lineWidth + 2;
    box->setMinimumWidth(qMax(box->minimumWidth(), text));
}

std::pair<QPushButton*, QPushButton*> StationDialog::addSaveExitRow(QBoxLayout* layout) {
    const app::TextTable& t = app::texts();
    auto* save = new QPushButton(t[app::TextId::Save], this);
    auto* exit = new QPushButton(t[app::TextId::Exit], this);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(save);
    row->addWidget(exit);
    layout->addLayout(row);
    addButton(save);
    addButton(exit);
    return {save, exit};
}

} // namespace vellumet::ui
