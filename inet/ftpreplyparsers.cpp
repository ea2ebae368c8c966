#include "inet/ftpreplyparsers.h"

#include "inet/ftpreplyreader.h"
#include "inet/ftptime.h"

#include <limits>

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

QByteArrayView Trimmed(QByteArrayView text)
{
    while (!text.isEmpty() && (text.front() == ' ' || text.front() == '\t'))
        text = text.sliced(1);
    while (!text.isEmpty() && (text.back() == ' ' || text.back() == '\t'))
        text.chop(1);
    return text;
}

// Six numbers 0..255 joined by commas (blanks allowed around them) starting at `at`.
bool ReadSixNumbers(QByteArrayView text, qsizetype at, int (&numbers)[6])
{
    qsizetype i = at;
    for (int n = 0; n < 6; ++n) {
        while (i < text.size() && text[i] == ' ')
            ++i;
        int value = 0, digits = 0;
        while (i < text.size() && IsDigit(text[i]) && digits < 4) {
            value = value * 10 + (text[i] - '0');
            ++i;
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255)
            return false;
        numbers[n] = value;
        while (i < text.size() && text[i] == ' ')
            ++i;
        if (n < 5) {
            if (i >= text.size() || text[i] != ',')
                return false;
            ++i;
        }
    }
    return true;
}

} // namespace

std::optional<quint64> ParseUnsigned(QByteArrayView digits)
{
    if (digits.isEmpty() || digits.size() > 20)
        return std::nullopt;
    quint64 value = 0;
    for (const char c : digits) {
        if (!IsDigit(c))
            return std::nullopt;
        const quint64 digit = static_cast<quint64>(c - '0');
        if (value > (std::numeric_limits<quint64>::max() - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

FtpFeatures ParseFeatReply(const FtpReply& reply)
{
    FtpFeatures features;
    if (reply.code != 211)
        return features;
    // The first and the last line frame the list; every line between names one feature.
    for (qsizetype i = 1; i + 1 < reply.lines.size(); ++i) {
        const QByteArrayView line = Trimmed(reply.lines[i]);
        const qsizetype space = line.indexOf(' ');
        const QByteArray name = (space < 0 ? line : line.first(space)).toByteArray().toUpper();
        const QByteArrayView parameters =
            space < 0 ? QByteArrayView() : Trimmed(line.sliced(space));
        if (name == "UTF8")
            features.utf8 = true;
        else if (name == "MLST" || name == "MLSD") {
            features.mlst = true;
            if (name == "MLST")
                features.mlstFacts = parameters.toByteArray();
        } else if (name == "SIZE")
            features.size = true;
        else if (name == "MDTM")
            features.mdtm = true;
        else if (name == "MFMT")
            features.mfmt = true;
        else if (name == "EPSV")
            features.epsv = true;
        else if (name == "EPRT")
            features.eprt = true;
    }
    return features;
}

std::optional<QByteArray> ParsePwdReply(QByteArrayView text)
{
    const qsizetype open = text.indexOf('"');
    if (open < 0) {
        const QByteArrayView trimmed = Trimmed(text);
        const qsizetype space = trimmed.indexOf(' ');
        const QByteArrayView word = space < 0 ? trimmed : trimmed.first(space);
        if (word.startsWith('/'))
            return word.toByteArray();
        return std::nullopt;
    }
    QByteArray path;
    for (qsizetype i = open + 1; i < text.size(); ++i) {
        if (text[i] != '"') {
            path += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '"') {
            path += '"';
            ++i;
            continue;
        }
        if (path.isEmpty())
            return std::nullopt;
        return path;
    }
    return std::nullopt; // no closing quote
}

std::optional<FtpPassiveReply> ParsePasvReply(QByteArrayView text)
{
    for (qsizetype at = 0; at < text.size(); ++at) {
        if (!IsDigit(text[at]) || (at > 0 && IsDigit(text[at - 1])))
            continue;
        int n[6];
        if (!ReadSixNumbers(text, at, n))
            continue;
        const int port = n[4] * 256 + n[5];
        if (port == 0)
            return std::nullopt;
        return FtpPassiveReply{static_cast<quint16>(port)};
    }
    return std::nullopt;
}

std::optional<quint16> ParseEpsvReply(QByteArrayView text)
{
    const qsizetype open = text.indexOf('(');
    if (open < 0 || open + 1 >= text.size())
        return std::nullopt;
    const char delimiter = text[open + 1];
    if (delimiter < 33 || delimiter > 126 || IsDigit(delimiter))
        return std::nullopt;
    // (<d>proto<d>address<d>port<d>): the port is the third field.
    qsizetype i = open + 2;
    for (int field = 0; field < 2; ++field) {
        const qsizetype next = text.indexOf(delimiter, i);
        if (next < 0)
            return std::nullopt;
        i = next + 1;
    }
    const qsizetype end = text.indexOf(delimiter, i);
    if (end < 0 || end + 1 >= text.size() || text[end + 1] != ')')
        return std::nullopt;
    const std::optional<quint64> port = ParseUnsigned(text.sliced(i, end - i));
    if (!port || *port == 0 || *port > 65535)
        return std::nullopt;
    return static_cast<quint16>(*port);
}

std::optional<quint64> ParseSizeReply(QByteArrayView text)
{
    return ParseUnsigned(Trimmed(text));
}

std::optional<qint64> ParseMdtmReply(QByteArrayView text)
{
    return ParseFtpTimestamp(Trimmed(text));
}
