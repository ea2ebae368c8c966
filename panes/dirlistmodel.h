#pragma once

#include "app/direntry.h"

#include <QAbstractTableModel>
#include <QList>
#include <QPixmap>

// One row of a file list: an entry of the pane's listing (by index), or an item that has
// no entry (a folder just made by New Folder).
struct DirListRow
{
    int entry = -1; // index into the pane's entries, -1 for none
    int icon = 0;   // index into the document's small icons
    QString name;
    quint64 size = 0;
    qint64 writeTime = 0;
    bool hasSize = false;       // files show their size, folders an empty column
    const char* kind = nullptr; // shown instead of a size: "pipe", "socket", "device"
    bool hasDate = false;
};

// The rows of a file list pane, in the order shown, with the columns "Name", "Size" and
// "Modified". Texts of the size and date columns are made when a row is painted, so a
// folder of 100,000 entries costs one row record each and nothing more.
class CDirListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    // Role of column 0 that answers the row's icon index.
    static constexpr int kIconIndexRole = Qt::UserRole + 1;
    // Role of column 0 that answers the row's entry index (-1 for none).
    static constexpr int kEntryRole = Qt::UserRole + 2;

    CDirListModel(const QList<QPixmap>& icons, QObject* parent = nullptr);

    void SetRows(QList<DirListRow> rows);
    void Clear();
    void AppendRow(const DirListRow& row);
    void SetName(int row, const QString& name);
    const DirListRow& Row(int row) const { return rows[row]; }
    int RowCount() const { return static_cast<int>(rows.size()); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // The view never takes an edited name itself: the pane renames the file and, on
    // success, sets the row's name (SetName).
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

signals:
    // An in-place edit of row `row` ended with `text`.
    void NameEdited(int row, const QString& text);

private:
    const QList<QPixmap>& icons;
    QList<DirListRow> rows;
};
