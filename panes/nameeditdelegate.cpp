#include "panes/nameeditdelegate.h"

#include <QLineEdit>

void CNameEditDelegate::setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex&) const
{
    if (const auto* line = qobject_cast<QLineEdit*>(editor))
        committedText = line->text();
}

std::optional<QString> CNameEditDelegate::TakeCommittedText()
{
    std::optional<QString> text;
    text.swap(committedText);
    return text;
}
