#include "ftp/serverchecks.h"

#include <array>

namespace {

struct AlgorithmName
{
    DigestAlgorithm algorithm;
    const char* hashName; // in HASH's FEAT line and replies
    const char* xCommand; // the older command of its own
    int hexLength;
};

// Strongest first: where a server offers several, the first it offers is used.
constexpr std::array<AlgorithmName, 4> kAlgorithms{{
    {DigestAlgorithm::Sha256, "SHA-256", "XSHA256", 64},
    {DigestAlgorithm::Sha1, "SHA-1", "XSHA1", 40},
    {DigestAlgorithm::Md5, "MD5", "XMD5", 32},
    {DigestAlgorithm::Crc32, "CRC32", "XCRC", 8},
}};

const AlgorithmName& NameOf(DigestAlgorithm algorithm)
{
    for (const AlgorithmName& name : kAlgorithms) {
        if (name.algorithm == algorithm)
            return name;
    }
    return kAlgorithms.back();
}

bool IsHex(const QString& text)
{
    for (const QChar c : text) {
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
              (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f'))))
            return false;
    }
    return !text.isEmpty();
}

} // namespace

CServerChecks CServerChecks::FromFeatures(int code, const QString& text)
{
    CServerChecks checks;
    if (code != 211)
        return checks;
    QStringList hashOffers;
    QString hashCurrent;
    QStringList xCommands;
    const QStringList lines = text.split(QLatin1Char('\n'));
    // The first and the last line frame the list.
    for (qsizetype i = 1; i + 1 < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        const QString name = line.section(QLatin1Char(' '), 0, 0).toUpper();
        if (name == QLatin1String("SIZE") || name == QLatin1String("MLST"))
            checks.exactSize = true;
        else if (name == QLatin1String("SITE") &&
                 line.section(QLatin1Char(' '), 1).trimmed().toUpper() == QLatin1String("COPY"))
            checks.serverCopy = true;
        else if (name == QLatin1String("HASH")) {
            for (QString offer : line.section(QLatin1Char(' '), 1).split(QLatin1Char(';'))) {
                offer = offer.trimmed().toUpper();
                if (offer.endsWith(QLatin1Char('*'))) {
                    offer.chop(1);
                    hashCurrent = offer;
                }
                hashOffers.append(offer);
            }
        } else {
            xCommands.append(name);
        }
    }
    // The strongest algorithm offered, through HASH where it offers it.
    for (const AlgorithmName& candidate : kAlgorithms) {
        if (hashOffers.contains(QLatin1String(candidate.hashName))) {
            checks.algorithm = candidate.algorithm;
            checks.viaHash = true;
            checks.hashChosen = hashCurrent == QLatin1String(candidate.hashName);
            return checks;
        }
        if (xCommands.contains(QLatin1String(candidate.xCommand))) {
            checks.algorithm = candidate.algorithm;
            return checks;
        }
    }
    return checks;
}

QStringList CServerChecks::DigestCommands(const QString& path) const
{
    if (!algorithm)
        return {};
    const AlgorithmName& name = NameOf(*algorithm);
    if (!viaHash)
        return {QLatin1String(name.xCommand) + QLatin1Char(' ') + path};
    QStringList commands;
    if (!hashChosen)
        commands.append(QStringLiteral("OPTS HASH ") + QLatin1String(name.hashName));
    commands.append(QStringLiteral("HASH ") + path);
    return commands;
}

QByteArray CServerChecks::DigestFromReply(int code, const QString& text) const
{
    if (!algorithm || code / 100 != 2)
        return {};
    const AlgorithmName& name = NameOf(*algorithm);
    // Some servers say what they are doing first ("213-Computing SHA-256 digest"): the
    // digest is on the last line that has one.
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        const QStringList words = line->split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QString digest;
        if (viaHash) {
            // "213 SHA-256 0-1234 <hex> <name>": a reply in another algorithm is no answer.
            if (words.size() >= 3 && words[0].toUpper() == QLatin1String(name.hashName))
                digest = words[2];
        } else {
            // "250 <hex>", with words around it on some servers.
            for (const QString& word : words) {
                if (IsHex(word) && (word.size() == name.hexLength ||
                                    (*algorithm == DigestAlgorithm::Crc32 && word.size() < 8))) {
                    digest = word;
                    break;
                }
            }
        }
        if (!IsHex(digest) || digest.size() > name.hexLength)
            continue;
        // A CRC may come without its leading zeros.
        if (*algorithm == DigestAlgorithm::Crc32)
            digest = digest.rightJustified(name.hexLength, QLatin1Char('0'));
        if (digest.size() == name.hexLength)
            return digest.toLower().toLatin1();
    }
    return {};
}
