#pragma once

#include "inet/ftpfilefind.h"

#include <QByteArrayView>

#include <optional>
#include <vector>

// Parsers of directory listings, fed raw bytes so that any input can be thrown at them. A
// line that cannot be read gives nothing, and so does an entry whose name is empty or
// holds "/", NUL, a C0 control or DEL: names from a server are data, never paths. Names are
// decoded as UTF-8 where valid, else as Windows-1252; rawName keeps the bytes.

// One line of a LIST reply: the Unix "ls -l" family (with or without group, numeric
// owners, devices, "name -> target" links, "Mon DD HH:MM", "Mon DD YYYY" and
// "YYYY-MM-DD HH:MM" times) or DOS/IIS ("MM-DD-YY HH:MMAM <DIR> name"). A time without a
// year gets the latest year that does not put it more than a day past `nowUtc` (servers
// show their local time, which may run ahead of UTC). Listing times count as UTC.
std::optional<FtpListEntry> ParseListLine(QByteArrayView line, qint64 nowUtc);

// One line of an MLSD reply (RFC 3659): "fact=value;...; name". type=cdir and type=pdir
// become "." and "..".
std::optional<FtpListEntry> ParseMlsdLine(QByteArrayView line);
// The entry line of an MLST reply (without its leading blank): its name is a path, of
// which the entry keeps the last part.
std::optional<FtpListEntry> ParseMlstLine(QByteArrayView line);

enum class ListingFormat { List, Mlsd };
// Every readable entry of a whole listing, lines ended by "\r\n" or "\n", in server order.
std::vector<FtpListEntry> ParseListing(QByteArrayView data, ListingFormat format, qint64 nowUtc);
