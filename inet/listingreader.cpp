#include "inet/listingreader.h"

namespace {

// "total 123", which ls puts before the entries.
bool IsTotalLine(QByteArrayView line)
{
    if (!line.startsWith("total "))
        return false;
    for (const char c : line.sliced(6)) {
        if ((c < '0' || c > '9') && c != '\r')
            return false;
    }
    return true;
}

bool IsBlank(QByteArrayView line)
{
    for (const char c : line) {
        if (c != ' ' && c != '\t' && c != '\r')
            return false;
    }
    return true;
}

} // namespace

CListingReader::CListingReader(ListingFormat listingFormat, qint64 nowUtc)
    : format(listingFormat)
    , now(nowUtc)
{}

void CListingReader::Feed(QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        const qsizetype end = bytes.indexOf('\n');
        const QByteArrayView piece = end < 0 ? bytes : bytes.first(end);
        if (!skippingLongLine) {
            if (pending.size() + piece.size() > kMaxLineLength) {
                skippingLongLine = true;
                pending.clear();
                ++lines;
                ++unreadable;
            } else if (end >= 0 && pending.isEmpty()) {
                TakeLine(piece); // the common case: no copy
            } else {
                pending.append(piece.data(), piece.size());
                if (end >= 0) {
                    TakeLine(pending);
                    pending.clear();
                }
            }
        }
        if (end < 0)
            return;
        skippingLongLine = false;
        bytes = bytes.sliced(end + 1);
    }
}

void CListingReader::Finish()
{
    if (!skippingLongLine && !pending.isEmpty())
        TakeLine(pending);
    pending.clear();
    pending.squeeze();
    skippingLongLine = false;
}

void CListingReader::TakeLine(QByteArrayView line)
{
    if (IsBlank(line))
        return;
    ++lines;
    std::optional<FtpListEntry> entry =
        format == ListingFormat::Mlsd ? ParseMlsdLine(line) : ParseListLine(line, now);
    if (entry)
        entries.push_back(std::move(*entry));
    else if (!IsTotalLine(line))
        ++unreadable;
}

std::vector<FtpListEntry> CListingReader::TakeEntries()
{
    entries.shrink_to_fit();
    return std::move(entries);
}
