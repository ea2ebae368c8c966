#include "panes/dirlistmodel.h"

#include "panes/listformat.h"

#include <QIcon>

namespace {

enum Column { kNameColumn = 0, kSizeColumn = 1, kModifiedColumn = 2, kColumnCount = 3 };

} // namespace

CDirListModel::CDirListModel(const QList<QPixmap>& iconList, QObject* parent)
    : QAbstractTableModel(parent)
    , icons(iconList)
{}

void CDirListModel::SetRows(QList<DirListRow> newRows)
{
    beginResetModel();
    rows = std::move(newRows);
    endResetModel();
}

void CDirListModel::Clear()
{
    SetRows({});
}

void CDirListModel::AppendRow(const DirListRow& row)
{
    const int at = RowCount();
    beginInsertRows({}, at, at);
    rows.append(row);
    endInsertRows();
}

void CDirListModel::SetName(int row, const QString& name)
{
    if (row < 0 || row >= RowCount())
        return;
    rows[row].name = name;
    const QModelIndex changed = index(row, kNameColumn);
    emit dataChanged(changed, changed);
}

int CDirListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : RowCount();
}

int CDirListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CDirListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= RowCount())
        return {};
    const DirListRow& row = rows[index.row()];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        switch (index.column()) {
        case kNameColumn:
            return row.name;
        case kSizeColumn:
            if (row.kind)
                return QString(QLatin1Char('<') + QLatin1String(row.kind) + QLatin1Char('>'));
            return row.hasSize ? FormatSizeText(row.size) : QString();
        case kModifiedColumn:
            return row.hasDate ? FormatDateText(row.writeTime) : QString();
        }
        break;
    case Qt::DecorationRole:
        if (index.column() == kNameColumn && row.icon >= 0 && row.icon < icons.size())
            return QIcon(icons[row.icon]);
        break;
    case Qt::TextAlignmentRole:
        if (index.column() == kSizeColumn)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    case kIconIndexRole:
        return row.icon;
    case kEntryRole:
        return row.entry;
    }
    return {};
}

QVariant CDirListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole) {
        switch (section) {
        case kNameColumn:
            return QStringLiteral("Name");
        case kSizeColumn:
            return QStringLiteral("Size");
        case kModifiedColumn:
            return QStringLiteral("Modified");
        }
    }
    if (role == Qt::TextAlignmentRole && section == kSizeColumn)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags CDirListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags result =
        Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren | Qt::ItemIsDragEnabled;
    if (index.column() == kNameColumn)
        result |= Qt::ItemIsEditable;
    return result;
}

bool CDirListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || index.column() != kNameColumn)
        return false;
    emit NameEdited(index.row(), value.toString());
    return false;
}
