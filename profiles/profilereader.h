#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

// Reads the words and strings of Profiles.dat from a device through a buffer of
// kBufferSize bytes. Lengths read from the data are not trusted: a length that runs past the
// end of the device is found before anything is allocated for it, and a string is only ever
// as large as the bytes that are really there. After the first failure every read fails.
class CProfileReader
{
public:
    static constexpr int kBufferSize = 4096;

    // The device must be open for reading; the reader does not own it.
    explicit CProfileReader(QIODevice& device);
    CProfileReader(const CProfileReader&) = delete;
    CProfileReader& operator=(const CProfileReader&) = delete;

    bool ReadInt32(qint32& value);
    // An encoded string: a length in one of its three forms (or the 16-bit marker and then
    // a length), then the characters.
    bool ReadString(QString& text);
    // True when no byte is left to read (also after a failure).
    bool AtEnd();

    // Whether a failure came from the device itself rather than from the data ending early.
    bool DeviceFailed() const { return !deviceError.isEmpty(); }
    QString DeviceError() const { return deviceError; }

private:
    bool ReadRaw(void* out, int count);
    bool ReadLength(quint64& length, bool& wide);
    // Appends exactly `count` bytes to `out`, or fails.
    bool ReadBytes(QByteArray& out, quint64 count);
    // Refills the buffer; false at the end of the data or on a device error.
    bool Fill();
    // Bytes left in the buffer and on the device, when the device knows its size.
    qint64 KnownRemaining() const;

    QIODevice& device;
    char buffer[kBufferSize];
    int begin = 0;
    int end = 0;
    bool failed = false;
    QString deviceError;
};
