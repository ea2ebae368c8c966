#pragma once

#include "app/direntry.h"

#include <QString>

class QCollator;

// The texts the list panes show and the key they sort by.

enum class SortKeyKind { Name, Extension, Size, Date };

// The sort kind that the application's Sort By flags select (Name when none is set).
SortKeyKind CurrentSortKeyKind();

// The text an entry sorts by: "0" (folder) or "1" (file), then the zero-padded size or
// date where those are the key, then the name or, by extension, "ext.rest". Numbers are
// padded to the width of their whole 64-bit range, so the text order is the numeric order.
QString BuildSortKey(const DirEntry& entry, SortKeyKind kind);

// "4,294,967,295"
QString FormatSizeText(quint64 size);
// The local time as "3/7/07 2:05 PM"; a time that cannot be converted gives "// : ".
QString FormatDateText(qint64 utcSeconds);

// The comparison behind the panes' order: locale-aware and without regard to case. Digits
// are compared one by one (the keys are padded), "." before digits before letters.
QCollator PaneCollator();
