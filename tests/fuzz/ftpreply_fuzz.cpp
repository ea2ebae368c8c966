// The control connection as a server may feed it: replies in pieces of any size, and the
// parsers that read the texts of PWD, PASV, EPSV, SIZE, MDTM and FEAT replies.
#include "inet/ftpnamecodec.h"
#include "inet/ftpreplyparsers.h"
#include "inet/ftpreplyreader.h"
#include "tests/fuzz/fuzzcheck.h"
#include "tests/fuzz/fuzztargets.h"

#include <algorithm>
#include <vector>

namespace {

struct Received
{
    std::vector<FtpReply> replies;
    bool failed = false;
};

Received Read(QByteArrayView bytes, qsizetype piece)
{
    CFtpReplyReader reader;
    Received received;
    for (qsizetype at = 0; at < bytes.size(); at += piece) {
        reader.Feed(bytes.sliced(at, std::min(piece, bytes.size() - at)));
        while (std::optional<FtpReply> reply = reader.Next())
            received.replies.push_back(std::move(*reply));
    }
    received.failed = reader.Failed();
    return received;
}

void CheckReply(const FtpReply& reply)
{
    FuzzCheck(reply.code >= 100 && reply.code <= 599, "a reply code out of range");
    FuzzCheck(!reply.lines.isEmpty() && reply.lines.size() <= CFtpReplyReader::kMaxLines,
              "a reply of no lines or too many");
    for (const QByteArray& line : reply.lines)
        FuzzCheck(line.size() <= CFtpReplyReader::kMaxLineLength, "a reply line over the limit");
    reply.Text();
    ParseFeatReply(reply);

    const QByteArray text = reply.FirstLineText();
    if (const std::optional<QByteArray> path = ParsePwdReply(text)) {
        FuzzCheck(!path->isEmpty(), "an empty PWD path");
        CFtpNameCodec codec;
        codec.EncodePath(codec.DecodePath(*path));
    }
    if (const std::optional<FtpPassiveReply> passive = ParsePasvReply(text))
        FuzzCheck(passive->port != 0, "a PASV reply of port 0");
    if (const std::optional<quint16> port = ParseEpsvReply(text))
        FuzzCheck(*port != 0, "an EPSV reply of port 0");
    ParseSizeReply(text);
    ParseMdtmReply(text);
}

} // namespace

int FuzzFtpReply(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    const Received whole = Read(bytes, std::max<qsizetype>(bytes.size(), 1));
    const Received pieces = Read(bytes, data[0] % 64 + 1);
    for (const FtpReply& reply : whole.replies)
        CheckReply(reply);
    // TCP may cut the stream anywhere: the pieces must not change what was received.
    FuzzCheck(whole.failed == pieces.failed, "a failure that depends on how the bytes arrive");
    if (!whole.failed) {
        FuzzCheck(whole.replies.size() == pieces.replies.size(),
                  "replies that depend on how the bytes arrive");
        for (size_t i = 0; i < std::min(whole.replies.size(), pieces.replies.size()); ++i) {
            FuzzCheck(whole.replies[i].code == pieces.replies[i].code &&
                          whole.replies[i].lines == pieces.replies[i].lines,
                      "a reply that depends on how the bytes arrive");
        }
    }
    return 0;
}
