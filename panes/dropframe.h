#pragma once

#include <QWidget>

// The frame drawn around the place a drop would land in: a row, or a whole pane whose own
// folder takes the drop. It stands over the view's viewport as a child, lets the mouse
// through and leaves the selection's look alone, so that a drop target never looks
// selected. Named "dropFrame"; hidden while there is no target.
class CDropFrame : public QWidget
{
public:
    explicit CDropFrame(QWidget* viewport);

    // Frames `area` of the viewport; an empty one hides the frame.
    void Show(const QRect& area);

protected:
    void paintEvent(QPaintEvent* event) override;
};
