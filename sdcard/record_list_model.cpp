#include "record_list_model.h"

#include <limits>

namespace vellumet::sdcard {

RecordListModel::RecordListModel(QObject* parent) : QAbstractTableModel(parent) {}

void RecordListModel::setTable(std::shared_ptr<const LogTable> table, const QString& unitText) {
    beginResetModel();
    table_ = std::move(table);
    unitText_ = unitText;
    endResetModel();
}

void RecordListModel::setCaptions(const RecordCaptions& captions) {
    captions_ = captions;
    if (columnCount() > 0)
        emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

int RecordListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !table_)
        return 0;
    // A view counts rows in int; a log has far fewer lines than that.
    return static_cast<int>(
        std::min<std::size_t>(table_->rowCount(), std::numeric_limits<int>::max()));
}

int RecordListModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    return table_ && table_->indoor() ? 3 : 5;
}

QVariant RecordListModel::data(const QModelIndex& index, int role) const {
    if (!table_ || !index.isValid())
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    if (role != Qt::DisplayRole)
        return {};
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
    const bool imported = table_ != nullptr;
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
