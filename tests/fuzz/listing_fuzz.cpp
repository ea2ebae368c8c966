// Listings as a server may send them, with the promises the rest of the program builds on:
// a name is a bare name, and it goes back to the server as the bytes it came as.
#include "inet/ftpnamecodec.h"
#include "inet/ftptext.h"
#include "inet/listingparser.h"
#include "tests/fuzz/fuzzcheck.h"
#include "tests/fuzz/fuzztargets.h"

namespace {

// 2024-06-15 12:00 UTC, moved on by up to 63 steps of six days so that the year a LIST time
// leaves out is inferred on both sides of a new year.
constexpr qint64 kBaseNow = 1718452800;
constexpr qint64 kNowStep = 6 * 86400;

void CheckEntry(const FtpListEntry& entry, CFtpNameCodec& codec)
{
    FuzzCheck(!entry.name.isEmpty(), "an entry without a name");
    FuzzCheck(!entry.name.contains(QLatin1Char('/')) && !entry.name.contains(QChar(0)),
              "a name that is a path");
    FuzzCheck(!HasControlCharacter(entry.name), "a name with a control character");
    FuzzCheck(entry.permissions >= -1 && entry.permissions <= 0777, "permission bits out of range");
    FuzzCheck(DecodeServerText(entry.rawName) == entry.name, "a name that is not its bytes");
    // Every later command names the entry through the codec: it must find the same file.
    codec.Learn(entry);
    FuzzCheck(codec.EncodePath(entry.name) == entry.rawName,
              "a name that goes back to the server as other bytes");
}

} // namespace

int FuzzListing(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArrayView listing(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    const qint64 now = kBaseNow + (data[0] >> 2) * kNowStep;
    CFtpNameCodec codec;
    switch (data[0] & 3) {
    case 0:
        for (const FtpListEntry& entry : ParseListing(listing, ListingFormat::List, now))
            CheckEntry(entry, codec);
        break;
    case 1:
        for (const FtpListEntry& entry : ParseListing(listing, ListingFormat::Mlsd, now))
            CheckEntry(entry, codec);
        break;
    case 2:
        // MLST sends one entry line, its name a whole path.
        if (const std::optional<FtpListEntry> entry = ParseMlstLine(listing))
            CheckEntry(*entry, codec);
        break;
    case 3:
        // One LIST line on its own, line ends and all.
        if (const std::optional<FtpListEntry> entry = ParseListLine(listing, now))
            CheckEntry(*entry, codec);
        break;
    }
    return 0;
}
