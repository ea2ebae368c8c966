#include "inet/ftpnamecodec.h"

#include "inet/ftpfilefind.h"
#include "inet/ftptext.h"

namespace {

bool IsAscii(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

} // namespace

void CFtpNameCodec::Learn(const FtpListEntry& entry)
{
    LearnPart(entry.rawName, entry.name);
}

void CFtpNameCodec::LearnPart(const QByteArray& raw, const QString& text)
{
    if (IsValidUtf8(raw)) {
        // A UTF-8 name that reads like a learned one replaces it.
        if (anyLearned.load(std::memory_order_relaxed)) {
            std::lock_guard lock(mutex);
            latin1Names.remove(text);
        }
        return;
    }
    std::lock_guard lock(mutex);
    latin1Names.insert(text, raw);
    anyLearned.store(true, std::memory_order_relaxed);
}

QString CFtpNameCodec::DecodePath(const QByteArray& raw)
{
    if (IsValidUtf8(raw))
        return QString::fromUtf8(raw);
    QString path;
    const QList<QByteArray> parts = raw.split('/');
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0)
            path += QLatin1Char('/');
        const QString part = DecodeServerText(parts[i]);
        LearnPart(parts[i], part);
        path += part;
    }
    return path;
}

QByteArray CFtpNameCodec::EncodePath(const QString& path) const
{
    if (IsAscii(path) || !anyLearned.load(std::memory_order_relaxed))
        return path.toUtf8();
    std::lock_guard lock(mutex);
    QByteArray raw;
    const QStringList parts = path.split(QLatin1Char('/'));
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0)
            raw += '/';
        const auto found = latin1Names.constFind(parts[i]);
        raw += found != latin1Names.constEnd() ? *found : parts[i].toUtf8();
    }
    return raw;
}

QByteArray CFtpNameCodec::EncodeText(const QString& text) const
{
    if (IsAscii(text) || !anyLearned.load(std::memory_order_relaxed))
        return text.toUtf8();
    std::lock_guard lock(mutex);
    QByteArray raw;
    qsizetype at = 0;
    while (at < text.size()) {
        // The longest learned name that starts here, if any.
        qsizetype bestLength = 0;
        const QByteArray* best = nullptr;
        for (auto it = latin1Names.constBegin(); it != latin1Names.constEnd(); ++it) {
            const qsizetype length = it.key().size();
            if (length > bestLength && QStringView(text).sliced(at).startsWith(it.key())) {
                bestLength = length;
                best = &it.value();
            }
        }
        if (best) {
            raw += *best;
            at += bestLength;
            continue;
        }
        // One character (a surrogate pair stays whole).
        const qsizetype length = text[at].isHighSurrogate() && at + 1 < text.size() ? 2 : 1;
        raw += QStringView(text).sliced(at, length).toUtf8();
        at += length;
    }
    return raw;
}
