#include "alarm_dialog.h"

#include "app/text_table.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <tuple>

namespace vellumet::ui {

using app::TextId;

AlarmDialog::AlarmDialog(StationLink& link, app::Messenger& messenger,
                         const StationSnapshot& station, QWidget* parent)
    : StationDialog(link, messenger, parent) {
    const app::TextTable& t = app::texts();
    setWindowTitle(t[TextId::Alarm]);
    if (link.connected())
        editor_.emplace(station.alarmSwitches, station.temperatureLimits, station.humidityLimits,
                        link.fahrenheit());
    else
        editor_.emplace(settings::AlarmEditor::unconnected(link.fahrenheit()));

    auto* layout = new QHBoxLayout;
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(layout);
    const QString unit = unitText();
    for (int group = 0; group < 2; ++group) {
        const bool temperature = group == 0;
        auto* box =
            new QGroupBox(t[temperature ? TextId::TemperatureAlarm : TextId::HumidityAlarm], this);
        auto* grid = new QGridLayout(box);
        QComboBox*& onOff = temperature ? temperatureSwitch_ : humiditySwitch_;
        onOff = new QComboBox(box);
        onOff->addItems({QCoreApplication::translate("Setup", "ON"),
                         QCoreApplication::translate("Setup", "OFF")});
        grid->addWidget(
            new QLabel(t[temperature ? TextId::TemperatureAlarm : TextId::HumidityAlarm], box), 0,
            0, 1, 2);
        grid->addWidget(onOff, 0, 2, 1, 2);
        grid->addWidget(new QLabel(t[TextId::High], box), 1, 1, 1, 3);
        grid->addWidget(new QLabel(t[TextId::Low], box), 1, 4, 1, 3);
        for (int channel = 1; channel <= kChannelCount; ++channel) {
            grid->addWidget(new QLabel(QStringLiteral("CH%1:").arg(channel), box), channel + 1, 0);
            for (int side = 0; side < 2; ++side) {
                const auto row = static_cast<std::size_t>(2 * group + side);
                const auto i = static_cast<std::size_t>(channel - 1);
                enables_[row][i] = new QCheckBox(box);
                limits_[row][i] = new QLineEdit(box);
                // The widest a limit gets: -40.0 °C, 140.0 °F.
                fitBoxTo(limits_[row][i], QStringLiteral("-140.0"));
                grid->addWidget(enables_[row][i], channel + 1, 1 + 3 * side);
                grid->addWidget(limits_[row][i], channel + 1, 2 + 3 * side);
                grid->addWidget(new QLabel(temperature ? unit : QStringLiteral("%"), box),
                                channel + 1, 3 + 3 * side);
            }
        }
        layout->addWidget(box);
    }
    std::tie(save_, exit_) = addSaveExitRow(outer);
    save_->setDefault(true);

    const settings::AlarmForm& f = editor_->opening();
    temperatureSwitch_->setCurrentIndex(f.temperatureSwitch);
    humiditySwitch_->setCurrentIndex(f.humiditySwitch);
    const std::array<const std::array<QString, kChannelCount>*, 4> texts = {
        &f.temperatureHigh, &f.temperatureLow, &f.humidityHigh, &f.humidityLow};
    const std::array<const std::array<bool, kChannelCount>*, 4> ons = {
        &f.temperatureHighOn, &f.temperatureLowOn, &f.humidityHighOn, &f.humidityLowOn};
    for (std::size_t row = 0; row < 4; ++row)
        for (std::size_t i = 0; i < kChannelCount; ++i) {
            limits_[row][i]->setText((*texts[row])[i]);
            enables_[row][i]->setChecked((*ons[row])[i]);
        }
    switchChanged();
    if (!link.connected()) {
        save_->setEnabled(false);
        std::vector<QWidget*> fields{temperatureSwitch_, humiditySwitch_};
        for (std::size_t row = 0; row < 4; ++row)
            for (std::size_t i = 0; i < kChannelCount; ++i) {
                fields.push_back(limits_[row][i]);
                fields.push_back(enables_[row][i]);
            }
        showNoStation(outer, fields);
    }

    connect(temperatureSwitch_, &QComboBox::currentIndexChanged, this, &AlarmDialog::switchChanged);
    connect(humiditySwitch_, &QComboBox::currentIndexChanged, this, &AlarmDialog::switchChanged);
    connect(save_, &QPushButton::clicked, this, &AlarmDialog::save);
    connect(exit_, &QPushButton::clicked, this, &AlarmDialog::reject);
}

QString AlarmDialog::unitText() const {
    return QString::fromUtf8(editor_->fahrenheit() ? "°F" : "°C");
}

void AlarmDialog::switchChanged() {
    // A switch without a selection counts as OFF.
    const bool on[] = {temperatureSwitch_->currentIndex() == 0,
                       humiditySwitch_->currentIndex() == 0};
    for (std::size_t row = 0; row < 4; ++row)
        for (std::size_t i = 0; i < kChannelCount; ++i) {
            limits_[row][i]->setEnabled(on[row / 2]);
            enables_[row][i]->setEnabled(on[row / 2]);
        }
}

settings::AlarmForm AlarmDialog::form() const {
    settings::AlarmForm f;
    f.temperatureSwitch = temperatureSwitch_->currentIndex();
    f.humiditySwitch = humiditySwitch_->currentIndex();
    std::array<std::array<QString, kChannelCount>*, 4> texts = {
        &f.temperatureHigh, &f.temperatureLow, &f.humidityHigh, &f.humidityLow};
    std::array<std::array<bool, kChannelCount>*, 4> ons = {
        &f.temperatureHighOn, &f.temperatureLowOn, &f.humidityHighOn, &f.humidityLowOn};
    for (std::size_t row = 0; row < 4; ++row)
        for (std::size_t i = 0; i < kChannelCount; ++i) {
            (*texts[row])[i] = limits_[row][i]->text();
            (*ons[row])[i] = enables_[row][i]->isChecked();
        }
    return f;
}

void AlarmDialog::save() {
    const Result<settings::AlarmFrames> frames = editor_->frames(form());
    if (!frames) {
        messenger_.warning(QString::fromStdString(frames.error().text()));
        return;
    }
    writeAndClose({frames->switches, frames->temperatures, frames->humidities});
}

} // namespace vellumet::ui
