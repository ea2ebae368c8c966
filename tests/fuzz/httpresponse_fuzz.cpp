// The update server's responses as the network may deliver them. Whatever the blocks, the
// reader must come to the same end, and the body it hands out is exactly the announced one;
// a complete body then goes where the version answer goes.
#include "launcher/httpresponsereader.h"
#include "launcher/versioncheck.h"
#include "tests/fuzz/fuzzcheck.h"
#include "tests/fuzz/fuzztargets.h"

#include <algorithm>

namespace {

struct Outcome
{
    CHttpResponseReader::State state;
    CHttpResponseReader::Failure failure;
    int status;
    qint64 length;
    QByteArray body;
};

// Blocks of `first` and `second` bytes in turn; 0 stands for all that is left.
Outcome Read(QByteArrayView bytes, CHttpResponseReader::Options options, qsizetype first,
             qsizetype second)
{
    CHttpResponseReader reader(options);
    Outcome outcome{};
    qsizetype at = 0;
    for (int turn = 0; at < bytes.size(); ++turn) {
        const qsizetype wanted = turn % 2 == 0 ? first : second;
        const qsizetype take =
            wanted == 0 ? bytes.size() - at : std::min(wanted, bytes.size() - at);
        const QByteArrayView block = bytes.sliced(at, take);
        const QByteArrayView body = reader.Feed(block);
        if (!body.isEmpty()) {
            FuzzCheck(body.data() >= block.data() &&
                          body.data() + body.size() <= block.data() + block.size(),
                      "body bytes from outside the block");
        }
        outcome.body.append(body);
        at += take;
    }
    reader.Finish();
    outcome.state = reader.GetState();
    outcome.failure = reader.GetFailure();
    outcome.status = reader.Status();
    outcome.length = reader.ContentLength();
    FuzzCheck(reader.BodyReceived() == outcome.body.size(), "a body count that is not the body");
    return outcome;
}

} // namespace

int FuzzHttpResponse(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    CHttpResponseReader::Options options;
    options.lengthRequired = (data[0] & 1) != 0;
    // Small limits as well, so that a body over them is reached.
    constexpr qint64 kLimits[] = {
        CHttpResponseReader::kMaxContentLength, 0, 1, 16, 100, 1000, 4096, 65536};
    options.maxBodyBytes = kLimits[(data[0] >> 1) & 7];
    const QByteArrayView bytes(reinterpret_cast<const char*>(data) + 3, qsizetype(size - 3));

    const Outcome whole = Read(bytes, options, 0, 0);
    const Outcome blocks = Read(bytes, options, data[1], data[2]);
    FuzzCheck(whole.state == blocks.state && whole.failure == blocks.failure &&
                  whole.status == blocks.status && whole.length == blocks.length,
              "an outcome that depends on how the blocks fall");
    FuzzCheck(whole.state != CHttpResponseReader::State::Failed ||
                  whole.failure != CHttpResponseReader::Failure::None,
              "a failure without a reason");
    if (whole.state == CHttpResponseReader::State::Complete) {
        FuzzCheck(whole.body == blocks.body, "a body that depends on how the blocks fall");
        FuzzCheck(whole.length < 0 || whole.body.size() == whole.length,
                  "a complete body of another length than announced");
        FuzzCheck(whole.body.size() <= options.maxBodyBytes, "a body over the limit");
        FuzzCheck(whole.status == 200, "a complete body of a status other than 200");
        if (const std::optional<QString> version = VersionFromBody(whole.body)) {
            FuzzCheck(CompareVersions(*version, *version) == 0, "a version unequal to itself");
            const std::optional<int> order = CompareVersions(*version, u"8.77");
            const std::optional<int> reverse = CompareVersions(u"8.77", *version);
            FuzzCheck(order && reverse && *order == -*reverse, "versions that do not compare");
        }
    }
    return 0;
}
