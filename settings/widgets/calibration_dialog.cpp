#include "calibration_dialog.h"

#include "app/text_table.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <tuple>

namespace vellumet::ui {

using app::TextId;

CalibrationDialog::CalibrationDialog(StationLink& link, app::Messenger& messenger,
                                     const StationSnapshot& station, QWidget* parent)
    : StationDialog(link, messenger, parent) {
    const app::TextTable& t = app::texts();
    setWindowTitle(t[TextId::Calibration]);
    if (link.connected())
        editor_.emplace(station.calibration, station.readings, link.fahrenheit());
    else
        editor_.emplace(settings::CalibEditor::unconnected(station.readings, link.fahrenheit()));

    auto* outer = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(t[TextId::Temperature], this), 0, 1, 1, 2);
    grid->addWidget(new QLabel(t[TextId::Humidity], this), 0, 3, 1, 2);
    const QString unit = QString::fromUtf8(editor_->fahrenheit() ? "°F" : "°C");
    const settings::CalibForm& f = editor_->opening();
    for (int channel = 1; channel <= kChannelCount; ++channel) {
        const auto i = static_cast<std::size_t>(channel - 1);
        temperature_[i] = new QLineEdit(f.temperature[i], this);
        humidity_[i] = new QLineEdit(f.humidity[i], this);
        fitBoxTo(temperature_[i], QStringLiteral("-88.8"));
        fitBoxTo(humidity_[i], QStringLiteral("-88"));
        temperature_[i]->setEnabled(editor_->temperatureEditable(channel));
        humidity_[i]->setEnabled(editor_->humidityEditable(channel));
        grid->addWidget(new QLabel(QStringLiteral("CH%1:").arg(channel), this), channel, 0);
        grid->addWidget(temperature_[i], channel, 1);
        grid->addWidget(new QLabel(unit, this), channel, 2);
        grid->addWidget(humidity_[i], channel, 3);
        grid->addWidget(new QLabel(QStringLiteral("%"), this), channel, 4);
    }
    outer->addLayout(grid);
    std::tie(save_, exit_) = addSaveExitRow(outer);
    if (!link.connected()) {
        save_->setEnabled(false);
        std::vector<QWidget*> fields(temperature_.begin(), temperature_.end());
        fields.insert(fields.end(), humidity_.begin(), humidity_.end());
        showNoStation(outer, fields);
    }
    connect(save_, &QPushButton::clicked, this, &CalibrationDialog::save);
    connect(exit_, &QPushButton::clicked, this, &CalibrationDialog::reject);
}

void CalibrationDialog::save() {
    settings::CalibForm form;
    for (std::size_t i = 0; i < kChannelCount; ++i) {
        form.temperature[i] = temperature_[i]->text();
        form.humidity[i] = humidity_[i]->text();
    }
    const Result<CommandFrame> frame = editor_->frame(form);
    if (!frame) {
        messenger_.warning(QString::fromStdString(frame.error().text()));
        return;
    }
    writeAndClose({*frame});
}

} // namespace vellumet::ui
