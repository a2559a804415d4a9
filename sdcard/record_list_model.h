#pragma once

#include "log_import.h"

#include <QAbstractTableModel>
#include <QString>

#include <memory>

namespace vellumet::sdcard {

// Column captions without units; the window fills them from its text table.
struct RecordCaptions {
    QString time = QStringLiteral("Time");
    QString temperature = QStringLiteral("Temperature");
    QString humidity = QStringLiteral("Humidity");
    QString dewPoint = QStringLiteral("DewPoint");
    QString heatIndex = QStringLiteral("HeatIndex");
};

// The records list: the readings of the last imported log, three columns for
// an indoor log and five otherwise. Texts are made only for the cells a view
// asks for, straight from the file's bytes; a field is shown whole.
class RecordListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit RecordListModel(QObject* parent = nullptr);

    // Shows the rows of an import (null: none). Until then the captions are
    // the plain words; an import puts its unit into the temperature-like
    // captions, e.g. "Temperature(°C)", and "(%)" after the humidity.
    void setTable(std::shared_ptr<const LogTable> table, const QString& unitText);
    void setCaptions(const RecordCaptions& captions);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    std::shared_ptr<const LogTable> table_;
    QString unitText_;
    RecordCaptions captions_;
};

} // namespace vellumet::sdcard
