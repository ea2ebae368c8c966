#pragma once

#include <QStyledItemDelegate>

#include <optional>

// The editor of a name edited in place. It never writes the text into the model: the pane
// renames the file or folder when the edit ends and sets the name only when that worked.
class CNameEditDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;

    // The text of the edit that ended with Enter or by leaving the editor; nothing when it
    // was cancelled. Taking it forgets it.
    std::optional<QString> TakeCommittedText();

private:
    mutable std::optional<QString> committedText;
};
