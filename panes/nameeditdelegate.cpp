#include "panes/nameeditdelegate.h"

#include <QLineEdit>

QWidget* CNameEditDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const
{
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    openEditor = editor;
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

std::optional<QString> CNameEditDelegate::TakeCommittedText()
{
    std::optional<QString> text;
    text.swap(committedText);
    return text;
}
