#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

struct FtpReply;

// What a server offers in its FEAT reply (RFC 2389) that this client uses.
struct FtpFeatures
{
    bool utf8 = false;    // UTF8: names are UTF-8 after OPTS UTF8 ON
    bool mlst = false;    // MLST and MLSD (RFC 3659)
    bool size = false;    // SIZE
    bool mdtm = false;    // MDTM
    bool mfmt = false;    // MFMT: sets a file's modification time
    bool epsv = false;    // EPSV (RFC 2428)
    bool eprt = false;    // EPRT (RFC 2428)
    QByteArray mlstFacts; // the facts listed after MLST, as sent
};

// The parsers take the text of a reply's first line after its code ("257 " and so on), so
// that they can be fed any bytes.

// The features of a 211 reply; no features for any other reply.
FtpFeatures ParseFeatReply(const FtpReply& reply);

// The path of a 257 reply: the text between the first quote and its closing quote, a
// doubled quote inside standing for one (RFC 959). Servers that send no quotes get their
// first word when it starts with "/".
std::optional<QByteArray> ParsePwdReply(QByteArrayView text);

// A 227 reply's "h1,h2,h3,h4,p1,p2". Only the port is kept: the data connection always
// goes to the control connection's peer.
struct FtpPassiveReply
{
    quint16 port = 0;
};
std::optional<FtpPassiveReply> ParsePasvReply(QByteArrayView text);

// The port of a 229 reply's "(|||port|)" (any delimiter, RFC 2428).
std::optional<quint16> ParseEpsvReply(QByteArrayView text);

// The size of a 213 reply to SIZE.
std::optional<quint64> ParseSizeReply(QByteArrayView text);
// The UTC time of a 213 reply to MDTM.
std::optional<qint64> ParseMdtmReply(QByteArrayView text);

// A decimal number of unsigned 64 bits, nothing else around it.
std::optional<quint64> ParseUnsigned(QByteArrayView digits);
