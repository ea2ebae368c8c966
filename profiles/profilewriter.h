#pragma once

#include <QString>

class QIODevice;

// Writes the words and strings of Profiles.dat to a device through a buffer of
// kBufferSize bytes. Texts are written as UTF-8 in the shortest of the three length forms.
// After the first failed write every further write is skipped; Finish reports it.
class CProfileWriter
{
public:
    static constexpr int kBufferSize = 4096;

    // The device must be open for writing; the writer does not own it.
    explicit CProfileWriter(QIODevice& device);
    CProfileWriter(const CProfileWriter&) = delete;
    CProfileWriter& operator=(const CProfileWriter&) = delete;

    void WriteInt32(qint32 value);
    void WriteString(const QString& text);
    // Writes what is left in the buffer; false when any write failed.
    bool Finish();

private:
    void WriteRaw(const void* data, qint64 count);
    void Flush();

    QIODevice& device;
    char buffer[kBufferSize];
    int used = 0;
    bool failed = false;
};
