#pragma once

#include "log_import.h"
#include "store/record_store.h"

#include <QAbstractTableModel>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

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
    // Shows rows read back from the record database, for a log whose file
    // is not held: times and values as stored, "--" where a value is missing.
    void setStoredRows(std::vector<store::LogRecord> rows, bool indoor, const QString& unitText);
    void setCaptions(const RecordCaptions& captions);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    bool shown() const { return table_ || stored_; }
    bool indoor() const { return table_ ? table_->indoor() : storedIndoor_; }
    QString storedField(int row, int column) const;

    std::shared_ptr<const LogTable> table_;
    std::optional<std::vector<store::LogRecord>> stored_;
    bool storedIndoor_ = false;
    QString unitText_;
    RecordCaptions captions_;
};

} // namespace vellumet::sdcard
