#pragma once

#include <QList>
#include <QString>

class QWidget;

// What a folder copy left out on purpose (pipes, devices, links that lead nowhere, names
// the destination cannot hold), with the reason, so that the user is told at the end of
// the action in one box instead of never. Owned by whoever runs the action.
class CSkippedItems
{
public:
    struct Item
    {
        QString path; // as the user knows it
        QString reason;
    };

    void Add(const QString& path, const QString& reason) { items.append({path, reason}); }
    qsizetype Count() const { return items.size(); }
    const QList<Item>& Items() const { return items; }
    // Forgets what came after the first `count` items: a copy that was undone left nothing
    // out.
    void KeepFirst(qsizetype count) { items.resize(std::min(count, items.size())); }

    // "3 items were not copied:" and a line per item (the first kListedItems of them).
    QString Text() const;
    // Shows Text() in one box owned by `owner` when anything was left out, then forgets it.
    void Report(QWidget* owner);

    static constexpr int kListedItems = 30;

private:
    QList<Item> items;
};
