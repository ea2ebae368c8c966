#include "profiles/profilereader.h"

#include "profiles/profiletext.h"

#include <QIODevice>

#include <cstring>

namespace {

// Markers of the encoded string's length forms.
constexpr quint8 kLongLength = 0xFF;
constexpr quint16 kWideMarker = 0xFFFE;
constexpr quint16 kLength32 = 0xFFFF;

} // namespace

CProfileReader::CProfileReader(QIODevice& source)
    : device(source)
{}

bool CProfileReader::Fill()
{
    begin = 0;
    end = 0;
    const qint64 got = device.read(buffer, kBufferSize);
    if (got < 0) {
        deviceError = device.errorString();
        if (deviceError.isEmpty())
            deviceError = QStringLiteral("read error");
        return false;
    }
    end = static_cast<int>(got);
    return got > 0;
}

qint64 CProfileReader::KnownRemaining() const
{
    if (device.isSequential())
        return -1;
    return (end - begin) + qMax<qint64>(0, device.size() - device.pos());
}

bool CProfileReader::ReadRaw(void* out, int count)
{
    auto* target = static_cast<char*>(out);
    while (count > 0) {
        if (failed)
            return false;
        if (begin == end && !Fill()) {
            failed = true;
            return false;
        }
        const int take = qMin(count, end - begin);
        std::memcpy(target, buffer + begin, static_cast<size_t>(take));
        begin += take;
        target += take;
        count -= take;
    }
    return !failed;
}

bool CProfileReader::ReadBytes(QByteArray& out, quint64 count)
{
    const qint64 remaining = KnownRemaining();
    if (remaining >= 0 && count > static_cast<quint64>(remaining)) {
        failed = true;
        return false;
    }
    while (count > 0) {
        if (failed)
            return false;
        if (begin == end && !Fill()) {
            failed = true;
            return false;
        }
        const int take = static_cast<int>(qMin<quint64>(count, quint64(end - begin)));
        out.append(buffer + begin, take);
        begin += take;
        count -= static_cast<quint64>(take);
    }
    return !failed;
}

bool CProfileReader::AtEnd()
{
    if (failed)
        return true;
    return begin == end && !Fill();
}

bool CProfileReader::ReadInt32(qint32& value)
{
    unsigned char bytes[4];
    if (!ReadRaw(bytes, 4))
        return false;
    value = static_cast<qint32>(quint32(bytes[0]) | (quint32(bytes[1]) << 8) |
                                (quint32(bytes[2]) << 16) | (quint32(bytes[3]) << 24));
    return true;
}

bool CProfileReader::ReadLength(quint64& length, bool& wide)
{
    unsigned char bytes[4];
    if (!ReadRaw(bytes, 1))
        return false;
    if (bytes[0] != kLongLength) {
        length = bytes[0];
        return true;
    }
    if (!ReadRaw(bytes, 2))
        return false;
    const quint16 word = quint16(bytes[0] | (bytes[1] << 8));
    if (word == kWideMarker) {
        // The marker announces 16-bit characters, then the length follows in its own form.
        // A second marker is damage.
        if (wide) {
            failed = true;
            return false;
        }
        wide = true;
        return ReadLength(length, wide);
    }
    if (word != kLength32) {
        length = word;
        return true;
    }
    if (!ReadRaw(bytes, 4))
        return false;
    length = quint32(bytes[0]) | (quint32(bytes[1]) << 8) | (quint32(bytes[2]) << 16) |
             (quint32(bytes[3]) << 24);
    return true;
}

bool CProfileReader::ReadString(QString& text)
{
    quint64 length = 0;
    bool wide = false;
    if (!ReadLength(length, wide))
        return false;
    QByteArray bytes;
    if (!ReadBytes(bytes, wide ? length * 2 : length))
        return false;
    text = wide ? DecodeProfileText16(bytes) : DecodeProfileText(bytes);
    return true;
}
