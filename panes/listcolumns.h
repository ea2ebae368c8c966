#pragma once

#include <QObject>

class QTreeView;
class QWidget;

// The columns of a file list: "Name" takes whatever width "Size" and "Modified" leave in the
// viewport, so the columns always fill the list and no empty band remains at its right. The
// user drags the borders between the columns as in a splitter: the column right of a border
// gives what the one left of it takes, and at the list's right edge "Name" gives. Held by the
// list view it is made for (its parent).
class CListColumns : public QObject
{
    Q_OBJECT

public:
    explicit CListColumns(QTreeView& view);

    // Sets "Size" and "Modified" (pixels, each at least the header's minimum) and fits "Name".
    void SetWidths(int sizeWidth, int modifiedWidth);
    int SizeWidth() const;
    int ModifiedWidth() const;

    // "Name" is never made narrower than this; below it the list scrolls sideways instead.
    static constexpr int kMinNameWidth = 100;

signals:
    // The user changed the width of "Size" or "Modified".
    void WidthsChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnSectionResized(int column, int oldWidth, int newWidth);
    void OnHandleDoubleClicked(int column);
    void FitName();
    int Clamped(int width) const;

    QTreeView& view;
    // Kept apart from the view: its events may still come while the view is being
    // destroyed, when the view can no longer be asked for it.
    QWidget* viewport = nullptr;
    bool fitting = false;
};
