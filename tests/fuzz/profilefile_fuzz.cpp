// Profile files as anyone may have left them: decoded from a file (a device that knows its
// size) and from a stream (one that does not), which must agree; what decodes completely
// must come back the same once written.
#include "profiles/profileformat.h"
#include "tests/fuzz/fuzzcheck.h"
#include "tests/fuzz/fuzztargets.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>

namespace {

// A pipe: no size, no position, a few bytes per read.
class CTrickleDevice : public QIODevice
{
public:
    explicit CTrickleDevice(const QByteArray& source)
        : bytes(source)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 count = std::min({maxSize, qint64(7), qint64(bytes.size() - at)});
        std::memcpy(data, bytes.constData() + at, size_t(count));
        at += count;
        return count;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray bytes;
    qsizetype at = 0;
};

bool AllTextIsUtf16(const QList<ProfileRecord>& profiles)
{
    for (const ProfileRecord& p : profiles) {
        for (const QString* text :
             {&p.name, &p.address, &p.userId, &p.password, &p.initialDir, &p.comment}) {
            if (!text->isValidUtf16())
                return false;
        }
    }
    return true;
}

} // namespace

int FuzzProfileFile(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const ProfileFileContent file = DecodeProfileFile(bytes);
    FuzzCheck(file.deviceError.isEmpty(), "a device error from a buffer");
    FuzzCheck(file.profiles.size() <= file.declaredCount, "more profiles than the count word");

    CTrickleDevice stream(bytes);
    const ProfileFileContent streamed = ReadProfileFile(stream);
    FuzzCheck(streamed.profiles == file.profiles && streamed.damaged == file.damaged &&
                  streamed.reserved == file.reserved &&
                  streamed.declaredCount == file.declaredCount,
              "a stream and a file of the same bytes decode differently");

    // Lone surrogates of the 16-bit form have no UTF-8 to be written as.
    if (file.damaged || file.profiles.isEmpty() || !AllTextIsUtf16(file.profiles))
        return 0;
    const ProfileFileContent again =
        DecodeProfileFile(EncodeProfileFile(file.profiles, file.reserved));
    FuzzCheck(!again.damaged && again.profiles == file.profiles && again.reserved == file.reserved,
              "profiles that do not survive a save");
    return 0;
}
