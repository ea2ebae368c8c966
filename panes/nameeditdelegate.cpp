#include "panes/nameeditdelegate.h"

#include <QKeyEvent>
#include <QLineEdit>

QWidget* CNameEditDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const
{
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    openEditor = editor;
    editedIndex = index;
    return editor;
}

void CNameEditDelegate::setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex&) const
{
    if (const auto* line = qobject_cast<QLineEdit*>(editor))
        committedText = line->text();
}

bool CNameEditDelegate::IsEditing() const
{
    return openEditor && !openEditor->isHidden();
}

std::optional<CNameEditDelegate::Committed> CNameEditDelegate::TakeCommitted()
{
    std::optional<QString> text;
    text.swap(committedText);
    const QModelIndex index = editedIndex;
    editedIndex = QPersistentModelIndex();
    if (!text)
        return std::nullopt;
    return Committed{index, *text};
}

bool CNameEditDelegate::eventFilter(QObject* object, QEvent* event)
{
    auto* editor = qobject_cast<QWidget*>(object);
    if (editor && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
            emit commitData(editor);
            emit closeEditor(editor, NoHint);
            return true;
        }
    }
    return QStyledItemDelegate::eventFilter(object, event);
}
