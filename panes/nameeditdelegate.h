#pragma once

#include <QPointer>
#include <QStyledItemDelegate>

#include <optional>

// The editor of a name edited in place. It never writes the text into the model: the pane
// renames the file or folder when the edit ends and sets the name only when that worked.
// It also knows whether its editor is open: the view may drop an editor without closing it
// (its row removed, the model reset), and then no end of the edit is ever reported.
class CNameEditDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;

    // Whether a name is being edited: an editor of this delegate exists and is shown. The
    // view hides an editor as soon as it lets it go, and deletes it later.
    bool IsEditing() const;

    // The text of the edit that ended with Enter or by leaving the editor; nothing when it
    // was cancelled. Taking it forgets it.
    std::optional<QString> TakeCommittedText();

private:
    mutable QPointer<QWidget> openEditor;
    mutable std::optional<QString> committedText;
};
