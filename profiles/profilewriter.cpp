#include "profiles/profilewriter.h"

#include <QIODevice>

#include <cstring>

CProfileWriter::CProfileWriter(QIODevice& target)
    : device(target)
{}

void CProfileWriter::Flush()
{
    if (!failed && used > 0 && device.write(buffer, used) != used)
        failed = true;
    used = 0;
}

void CProfileWriter::WriteRaw(const void* data, qint64 count)
{
    const auto* source = static_cast<const char*>(data);
    while (count > 0 && !failed) {
        if (used == kBufferSize)
            Flush();
        const int take = static_cast<int>(qMin<qint64>(count, kBufferSize - used));
        std::memcpy(buffer + used, source, static_cast<size_t>(take));
        used += take;
        source += take;
        count -= take;
    }
}

void CProfileWriter::WriteInt32(qint32 value)
{
    const auto bits = static_cast<quint32>(value);
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(bits), static_cast<unsigned char>(bits >> 8),
        static_cast<unsigned char>(bits >> 16), static_cast<unsigned char>(bits >> 24)};
    WriteRaw(bytes, 4);
}

void CProfileWriter::WriteString(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    const auto length = static_cast<quint64>(bytes.size());
    if (length < 0xFF) {
        const auto byte = static_cast<unsigned char>(length);
        WriteRaw(&byte, 1);
    } else if (length < 0xFFFE) {
        // 0xFFFE and 0xFFFF are markers in the 16-bit form, so they take the long form.
        const unsigned char bytesOut[3] = {0xFF, static_cast<unsigned char>(length),
                                           static_cast<unsigned char>(length >> 8)};
        WriteRaw(bytesOut, 3);
    } else if (length <= 0xFFFFFFFFu) {
        const unsigned char head[3] = {0xFF, 0xFF, 0xFF};
        WriteRaw(head, 3);
        WriteInt32(static_cast<qint32>(static_cast<quint32>(length)));
    } else {
        failed = true;
        return;
    }
    WriteRaw(bytes.constData(), bytes.size());
}

bool CProfileWriter::Finish()
{
    Flush();
    return !failed;
}
