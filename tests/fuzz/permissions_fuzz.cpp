// The permission reader of the Attributes command takes a whole LIST reply as the server
// sent it; whatever that holds, the answer is an attribute value or "000".
#include "ftp/ftpattributes.h"
#include "tests/fuzz/fuzzcheck.h"
#include "tests/fuzz/fuzztargets.h"

#include <QByteArray>
#include <QString>

int FuzzPermissions(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte gives the length of the name that follows; the rest is the listing.
    const size_t nameLength = std::min<size_t>(data[0] % 64, size - 1);
    const QByteArray nameBytes(reinterpret_cast<const char*>(data) + 1, qsizetype(nameLength));
    const QByteArrayView listing(reinterpret_cast<const char*>(data) + 1 + nameLength,
                                 qsizetype(size - 1 - nameLength));
    const QString name = QString::fromUtf8(nameBytes);

    const QString value = PermissionsFromListing(listing, name);
    FuzzCheck(value == QLatin1String("000") ||
                  (IsAttributeValue(value) && value.size() >= 3 &&
                   (value.size() == 3 || value[0] != QLatin1Char('0'))),
              "an answer that is neither a permission value nor 000");
    FuzzCheck(SameAttributeValue(value, value), "a value that differs from itself");
    // A name whose text is nowhere in the listing cannot have a line there.
    if (!name.isEmpty() && !listing.contains(name.toUtf8()) && !listing.contains(name.toLatin1()))
        FuzzCheck(value == QLatin1String("000"), "a value for a name the listing does not hold");
    return 0;
}
