#include "language_dialog.h"

#include "app/background.h"
#include "app/language.h"
#include "app/text_table.h"
#include "settings/language_logic.h"

#include <QComboBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

namespace vellumet::app {

LanguageDialog::LanguageDialog(StationLink& link, Messenger& messenger, QString iniPath,
                               QWidget* parent)
    : QDialog(parent), link_(link), messenger_(messenger), iniPath_(std::move(iniPath)) {
    setWindowTitle(texts()[TextId::Language]);
    auto* layout = new QGridLayout(this);
    combo_ = new QComboBox(this);
    combo_->addItems(settings::languageItems());
    openedItem_ = settings::languageItem(languageFromSettings(iniPath_));
    combo_->setCurrentIndex(openedItem_);
    save_ = new QPushButton(texts()[TextId::Save], this);
    exit_ = new QPushButton(texts()[TextId::Exit], this);
    save_->setAutoDefault(false);
    exit_->setAutoDefault(false);
    layout->addWidget(new QLabel(texts()[TextId::Language], this), 0, 0);
    layout->addWidget(combo_, 0, 1, 1, 2);
    layout->addWidget(save_, 1, 1);
    layout->addWidget(exit_, 1, 2);
    connect(save_, &QPushButton::clicked, this, &LanguageDialog::save);
    connect(exit_, &QPushButton::clicked, this, &LanguageDialog::reject);
}

LanguageDialog::~LanguageDialog() {
    running_.reset();
}

void LanguageDialog::save() {
    const UiLanguage language = settings::languageOfItem(combo_->currentIndex());
    // Main.ini first: it holds the choice even when the station is not told.
    if (Status written = settings::writeLanguageChoice(iniPath_, language); !written) {
        messenger_.error(QString::fromStdString(written.error().text()));
        return;
    }
    if (!link_.connected()) {
        accept();
        return;
    }
    save_->setEnabled(false);
    exit_->setEnabled(false);
    StationLink& link = link_;
    running_ = runInBackground<void>(
        this,
        [&link, language](const OperationContext& context) {
            return settings::tellStationLanguage(link, language, context.stopToken());
        },
        [this](const Status& told) {
            running_.reset();
            if (!told && told.code() == Errc::AwayFromMainScreen)
                messenger_.warning(texts()[TextId::SwitchToMainScreen]);
            else if (!told && told.code() != Errc::Cancelled)
                messenger_.error(texts()[TextId::Unconnected]);
            accept();
        });
}

void LanguageDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        QDialog::keyPressEvent(event);
        return;
    }
    if (running_)
        return;
    if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
        button->click(); // Enter presses the button that has the focus
        return;
    }
    // A changed choice is saved rather than lost in the restart that follows.
    if (combo_->currentIndex() != openedItem_)
        save();
    else
        accept();
}

void LanguageDialog::reject() {
    if (running_)
        return;
    QDialog::reject();
}

} // namespace vellumet::app
