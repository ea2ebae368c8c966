#pragma once

#include <QPersistentModelIndex>
#include <QPointer>
#include <QStyledItemDelegate>

#include <optional>

// The editor of a name edited in place. It never writes the text into the model: the pane
// renames the file or folder when the edit ends and sets the name only when that worked.
// It also knows whether its editor is open: the view may drop an editor without closing it
// (its row removed, the model reset), and then no end of the edit is ever reported. Tab in
// the editor ends the edit as Enter does, instead of opening the next name at once.
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

    // The edit that ended with Enter or by leaving the editor: the item edited (invalid when
    // it is gone) and the text; nothing when it was cancelled. Taking it forgets it.
    struct Committed
    {
        QModelIndex index;
        QString text;
    };
    std::optional<Committed> TakeCommitted();

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    mutable QPointer<QWidget> openEditor;
    mutable QPersistentModelIndex editedIndex;
    mutable std::optional<QString> committedText;
};
