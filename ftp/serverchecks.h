#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

enum class DigestAlgorithm { Crc32, Md5, Sha1, Sha256 };

// What a server offers to check a file after a transfer, read from its FEAT reply: whether
// its size reply can be trusted (SIZE or MLST), and how it tells a digest of a file's
// content (HASH, or one of the older XSHA256, XSHA1, XMD5 and XCRC commands); and whether
// it copies files by itself (SITE CPFR and SITE CPTO, announced as "SITE COPY").
class CServerChecks
{
public:
    // `code` and `text` of the FEAT reply; any reply but 211 offers nothing.
    static CServerChecks FromFeatures(int code, const QString& text);

    // SIZE or MLST: the size the server tells is the file's exact byte count, not a listing's.
    bool HasExactSize() const { return exactSize; }
    std::optional<DigestAlgorithm> Algorithm() const { return algorithm; }
    bool CopiesFiles() const { return serverCopy; }

    // The commands that ask for the digest of `path`, to be sent in order; the last one's
    // reply carries it. Empty when the server offers no digest this program computes.
    QStringList DigestCommands(const QString& path) const;
    // The digest in the reply to the last of DigestCommands, as lower-case hex; empty when
    // the reply carries none (the server could not tell, or said something else).
    QByteArray DigestFromReply(int code, const QString& text) const;
    // The server took the algorithm for HASH (OPTS HASH succeeded): for the rest of that
    // connection, DigestCommands ask with HASH alone.
    void NoteHashChosen() { hashChosen = true; }

private:
    bool exactSize = false;
    bool serverCopy = false;
    std::optional<DigestAlgorithm> algorithm;
    bool viaHash = false;    // HASH, with OPTS HASH unless the algorithm is already chosen
    bool hashChosen = false; // the algorithm is the server's current choice for HASH
};
