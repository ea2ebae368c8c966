#pragma once

#include "inet/listingparser.h"

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

// Turns a listing into entries while it arrives, in pieces of any size, so that only the
// entries are kept and never the whole listing. A line longer than kMaxLineLength is
// skipped without being kept.
class CListingReader
{
public:
    static constexpr qsizetype kMaxLineLength = 64 * 1024;

    CListingReader(ListingFormat format, qint64 nowUtc);

    void Feed(QByteArrayView bytes);
    // The last line, when the listing does not end with a line end.
    void Finish();

    std::size_t EntryCount() const { return entries.size(); }
    qint64 LineCount() const { return lines; }
    // Whether lines came of which none gave an entry ("total N" lines aside): a listing
    // that could not be read, not an empty folder.
    bool NothingReadable() const { return entries.empty() && unreadable > 0; }
    // The entries, without spare capacity.
    std::vector<FtpListEntry> TakeEntries();

private:
    void TakeLine(QByteArrayView line);

    ListingFormat format;
    qint64 now;
    QByteArray pending;
    bool skippingLongLine = false;
    std::vector<FtpListEntry> entries;
    qint64 lines = 0;
    qint64 unreadable = 0;
};
