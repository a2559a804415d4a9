#include "record_list_model.h"

#include "store/automation_date.h"

#include <limits>

namespace vellumet::sdcard {

RecordListModel::RecordListModel(QObject* parent) : QAbstractTableModel(parent) {}

void RecordListModel::setTable(std::shared_ptr<const LogTable> table, const QString& unitText) {
    beginResetModel();
    table_ = std::move(table);
    stored_.reset();
    unitText_ = unitText;
    endResetModel();
}

void RecordListModel::setStoredRows(std::vector<store::LogRecord> rows, bool indoor,
                                    const QString& unitText) {
    beginResetModel();
    table_.reset();
    stored_ = std::move(rows);
    storedIndoor_ = indoor;
    unitText_ = unitText;
    endResetModel();
}

QString RecordListModel::storedField(int row, int column) const {
    const store::LogRecord& r = (*stored_)[static_cast<std::size_t>(row)];
    const auto temperature = [](float value) {
        return value == store::kNoValue ? QStringLiteral("--")
                                        : QString::number(static_cast<double>(value), 'f', 1);
    };
    switch (column) {
    case 0:
        // A time the import could not read is stored as 0.
        return r.time == 0.0 ? QStringLiteral("--")
                             : QString::fromStdString(store::formatDateTime(r.time));
    case 1:
        return temperature(r.temperature);
    case 2:
        return r.humidity == store::kNoHumidity ? QStringLiteral("--")
                                                : QString::number(r.humidity);
    case 3:
        return temperature(r.dewPoint);
    default:
        return temperature(r.heatIndex);
    }
}

void RecordListModel::setCaptions(const RecordCaptions& captions) {
    captions_ = captions;
    if (columnCount() > 0)
        emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

int RecordListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !shown())
        return 0;
    // A view counts rows in int; a log has far fewer lines than that.
    return static_cast<int>(std::min<std::size_t>(table_ ? table_->rowCount() : stored_->size(),
                                                  std::numeric_limits<int>::max()));
}

int RecordListModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    return shown() && indoor() ? 3 : 5;
}

QVariant RecordListModel::data(const QModelIndex& index, int role) const {
    if (!shown() || !index.isValid())
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    if (role != Qt::DisplayRole)
        return {};
    if (stored_)
        return storedField(index.row(), index.column());
    const std::string_view field =
        table_->field(static_cast<std::size_t>(index.row()), index.column());
    return QString::fromLatin1(field.data(), static_cast<qsizetype>(field.size()));
}

QVariant RecordListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    if (role != Qt::DisplayRole || section < 0 || section >= columnCount())
        return {};
    const bool imported = shown();
    const QString unit = imported ? unitText_ : QString();
    switch (section) {
    case 0:
        return captions_.time;
    case 1:
        return captions_.temperature + unit;
    case 2:
        return imported ? captions_.humidity + QStringLiteral("(%)") : captions_.humidity;
    case 3:
        return captions_.dewPoint + unit;
    default:
        return captions_.heatIndex + unit;
    }
}

} // namespace vellumet::sdcard
