#include "setup_dialog.h"

#include "app/text_table.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <tuple>

namespace vellumet::ui {

using app::TextId;

namespace {

QString daylightSavingLabel() {
    return QCoreApplication::translate("Setup", "DST");
}

QString onOffText(bool on) {
    return on ? QCoreApplication::translate("Setup", "ON")
              : QCoreApplication::translate("Setup", "OFF");
}

// The area list as the window shows it; the station's own names stay in
// settings::areaItems, which the command line reads.
QStringList areaTexts(int areas) {
    QStringList texts;
    for (int area = 1; area <= settings::areaItems(areas).size(); ++area)
        texts << QCoreApplication::translate("Setup", "CH Area%1").arg(area);
    return texts;
}

} // namespace

SetupDialog::SetupDialog(StationLink& link, app::Messenger& messenger,
                         const StationSnapshot& station, settings::AreaGrid& storedAreas,
                         QWidget* parent)
    : StationDialog(link, messenger, parent), grid_(storedAreas) {
    const app::TextTable& t = app::texts();
    setWindowTitle(t[TextId::Setup]);
    auto* layout = new QVBoxLayout(this);

    auto* general = new QGroupBox(this);
    auto* form = new QGridLayout(general);
    const QString labels[] = {t[TextId::GraphType],  t[TextId::GraphTime],  t[TextId::TimeFormat],
                              t[TextId::DateFormat], daylightSavingLabel(), t[TextId::TimeZone],
                              t[TextId::Units]};
    const QStringList items[] = {
        settings::graphTypeItems(),  settings::graphTimeItems(),      settings::timeFormatItems(),
        settings::dateFormatItems(), settings::daylightSavingItems(), settings::timeZoneItems(),
        settings::unitItems()};
    for (std::size_t i = 0; i < combos_.size(); ++i) {
        combos_[i] = new QComboBox(general);
        combos_[i]->addItems(items[i]);
        if (combos_[i] == daylightSaving())
            for (int item = 0; item < combos_[i]->count(); ++item)
                combos_[i]->setItemText(item, onOffText(item == 1));
        form->addWidget(new QLabel(labels[i], general), static_cast<int>(i), 0);
        form->addWidget(combos_[i], static_cast<int>(i), 1);
    }
    interval_ = new QLineEdit(general);
    setInterval_ = new QPushButton(t[TextId::SetInterval], general);
    auto* intervalRow = new QHBoxLayout;
    intervalRow->addWidget(interval_);
    intervalRow->addWidget(new QLabel(t[TextId::Minute], general));
    intervalRow->addWidget(setInterval_);
    form->addWidget(new QLabel(t[TextId::Interval], general), 7, 0);
    form->addLayout(intervalRow, 7, 1);
    layout->addWidget(general);

    auto* areas = new QGroupBox(this);
    auto* grid = new QGridLayout(areas);
    area_ = new QComboBox(areas);
    grid->addWidget(area_, 0, 0);
    for (int channel = 1; channel <= kChannelCount; ++channel)
        grid->addWidget(new QLabel(QStringLiteral("CH%1").arg(channel), areas), 0, channel);
    const QString rows[] = {t[TextId::Temperature], t[TextId::DewPoint], t[TextId::HeatIndex]};
    for (int item = 0; item < 3; ++item) {
        grid->addWidget(new QLabel(rows[item], areas), item + 1, 0);
        for (int channel = 1; channel <= kChannelCount; ++channel) {
            auto* check = new QCheckBox(areas);
            boxes_[static_cast<std::size_t>(item)][static_cast<std::size_t>(channel - 1)] = check;
            grid->addWidget(check, item + 1, channel);
        }
    }
    layout->addWidget(areas);

    std::tie(save_, exit_) = addSaveExitRow(layout);
    addButton(setInterval_);
    // No default button: the dialog would otherwise pick Set Interval, and
    // Enter after changing a setting would send the interval and drop the change.
    for (QPushButton* button : {save_, setInterval_, exit_})
        button->setAutoDefault(false);

    if (link.connected()) {
        grid_.setAreas(station.areas());
        area_->addItems(areaTexts(grid_.areas()));
        station_ = station.stationSettings();
        const settings::SetupSelection sel = settings::selectionFor(station_);
        const int selected[] = {sel.graphType,      sel.graphTime, sel.timeFormat, sel.dateFormat,
                                sel.daylightSaving, sel.timeZone,  sel.unit};
        for (std::size_t i = 0; i < combos_.size(); ++i)
            combos_[i]->setCurrentIndex(selected[i]); // -1: no item matches the station's byte
        grid_.load(station_, grid_.areas());
        interval_->setText(QString::number(station.interval));
    } else {
        // The grid then shows area 1 as it was last stored.
        area_->addItems(areaTexts(kFiveAreas));
        save_->setEnabled(false);
        std::vector<QWidget*> fields(combos_.begin(), combos_.end());
        fields.push_back(interval_);
        fields.push_back(setInterval_);
        showNoStation(layout, fields);
    }
    area_->setCurrentIndex(0);
    areaChanged(0);
    initialising_ = false;

    connect(area_, &QComboBox::currentIndexChanged, this, &SetupDialog::areaChanged);
    connect(save_, &QPushButton::clicked, this, &SetupDialog::save);
    connect(setInterval_, &QPushButton::clicked, this, &SetupDialog::setInterval);
    connect(exit_, &QPushButton::clicked, this, &SetupDialog::reject);
}

void SetupDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        StationDialog::keyPressEvent(event);
        return;
    }
    event->accept();
    if (busy())
        return;
    QWidget* focus = focusWidget();
    if (focus == interval_) {
        setInterval();
    } else if (auto* button = qobject_cast<QPushButton*>(focus)) {
        if (button->isEnabled())
            button->click();
    } else if (save_->isEnabled()) {
        save();
    }
}

std::uint32_t SetupDialog::gridMask() const {
    std::uint32_t mask = 0;
    for (int item = 0; item < 3; ++item)
        for (int channel = 1; channel <= kChannelCount; ++channel)
            if (box(item, channel)->isChecked())
                mask |= 1u << (3 * (channel - 1) + item);
    return mask;
}

void SetupDialog::showMask(std::uint32_t mask, int area) {
    for (int item = 0; item < 3; ++item)
        for (int channel = 1; channel <= kChannelCount; ++channel) {
            box(item, channel)->setChecked(areaShows(mask, channel, static_cast<AreaItem>(item)));
            box(item, channel)->setEnabled(settings::AreaGrid::boxEnabled(area, channel));
        }
}

void SetupDialog::areaChanged(int area) {
    if (area < 0)
        return;
    showMask(grid_.select(area, gridMask(), initialising_), area);
}

void SetupDialog::save() {
    settings::SetupSelection sel;
    int* fields[] = {&sel.graphType,      &sel.graphTime, &sel.timeFormat, &sel.dateFormat,
                     &sel.daylightSaving, &sel.timeZone,  &sel.unit};
    for (std::size_t i = 0; i < combos_.size(); ++i)
        *fields[i] = combos_[i]->currentIndex();
    StationSettings wanted = settings::applySelection(station_, sel);
    wanted.areaMasks = grid_.masksForSave(gridMask());
    const Result<CommandFrame> frame = settings::setupSaveFrame(wanted, grid_.areas());
    if (!frame) {
        messenger_.warning(QString::fromStdString(frame.error().text()));
        return;
    }
    writeAndClose({*frame});
}

void SetupDialog::setInterval() {
    const Result<int> minutes = settings::intervalFromText(interval_->text());
    if (!minutes) {
        messenger_.warning(QString::fromStdString(minutes.error().text()));
        return;
    }
    if (!link_.connected()) {
        messenger_.warning(app::texts()[TextId::Unconnected]);
        return;
    }
    StationLink& link = link_;
    const int value = *minutes;
    runJob([&link, value](std::stop_token stop) { return setLoggingInterval(link, value, stop); },
           [this](const Status& sent) {
               if (sent)
                   messenger_.info(app::texts()[TextId::SetIntervalSuccess]);
               else
                   reportFailure(sent);
           });
}

} // namespace vellumet::ui
