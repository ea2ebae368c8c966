#include "panes/listcolumns.h"

#include <QEvent>
#include <QHeaderView>
#include <QTreeView>

namespace {

constexpr int kNameColumn = 0;
constexpr int kSizeColumn = 1;
constexpr int kModifiedColumn = 2;
// Wider than any screen: a stored width above it is damage.
constexpr int kMaxColumnWidth = 2000;

} // namespace

CListColumns::CListColumns(QTreeView& listView)
    : QObject(&listView)
    , view(listView)
{
    QHeaderView* header = view.header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    connect(header, &QHeaderView::sectionResized, this, &CListColumns::OnSectionResized);
    // The view sizes a column to its contents on a double click of its edge; for "Name" that
    // would move the border to "Size" by chance, so the double click is ours.
    disconnect(header, &QHeaderView::sectionHandleDoubleClicked, &view, nullptr);
    connect(header, &QHeaderView::sectionHandleDoubleClicked, this,
            &CListColumns::OnHandleDoubleClicked);
    viewport = view.viewport();
    viewport->installEventFilter(this);
}

void CListColumns::SetWidths(int sizeWidth, int modifiedWidth)
{
    fitting = true;
    view.header()->resizeSection(kSizeColumn, Clamped(sizeWidth));
    view.header()->resizeSection(kModifiedColumn, Clamped(modifiedWidth));
    fitting = false;
    FitName();
}

int CListColumns::SizeWidth() const
{
    return view.header()->sectionSize(kSizeColumn);
}

int CListColumns::ModifiedWidth() const
{
    return view.header()->sectionSize(kModifiedColumn);
}

bool CListColumns::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize && watched == viewport)
        FitName();
    return QObject::eventFilter(watched, event);
}

void CListColumns::OnSectionResized(int column, int oldWidth, int newWidth)
{
    if (fitting)
        return;
    // A border moves where the user drags it: the column right of it gives or takes the
    // difference. Right of "Modified" is the list's edge, so there "Name" gives.
    if (column == kNameColumn || column == kSizeColumn) {
        const int neighbour = column + 1;
        const int delta = newWidth - oldWidth;
        const int neighbourWidth = view.header()->sectionSize(neighbour);
        const int given = neighbourWidth - Clamped(neighbourWidth - delta);
        fitting = true;
        view.header()->resizeSection(neighbour, neighbourWidth - given);
        if (given != delta && column != kNameColumn)
            view.header()->resizeSection(column, oldWidth + given); // the neighbour is spent
        fitting = false;
    }
    FitName();
    emit WidthsChanged();
}

void CListColumns::OnHandleDoubleClicked(int column)
{
    // "Name" has no width of its own to fit; the others fit their texts, "Name" takes the rest.
    if (column == kNameColumn)
        return;
    fitting = true;
    view.resizeColumnToContents(column);
    view.header()->resizeSection(column, Clamped(view.header()->sectionSize(column)));
    fitting = false;
    FitName();
    emit WidthsChanged();
}

void CListColumns::FitName()
{
    const int spare = view.viewport()->width() - SizeWidth() - ModifiedWidth();
    fitting = true;
    view.header()->resizeSection(kNameColumn, qMax(kMinNameWidth, spare));
    fitting = false;
}

int CListColumns::Clamped(int width) const
{
    return qBound(view.header()->minimumSectionSize(), width, kMaxColumnWidth);
}
