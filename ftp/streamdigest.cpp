#include "ftp/streamdigest.h"

#include <openssl/evp.h>
#include <zlib.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

constexpr qsizetype kChunkSize = 256 * 1024;
constexpr std::size_t kChunksInFlight = 4;

} // namespace

struct CStreamDigest::State
{
    explicit State(DigestAlgorithm digestAlgorithm);
    ~State();
    void Hash(const char* data, qsizetype size);
    void HashQueued();

    DigestAlgorithm algorithm;
    EVP_MD_CTX* context = nullptr;
    uLong crc = 0;

    QByteArray filling; // on the stream's thread
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<QByteArray> queue; // full chunks for the hashing thread
    bool ending = false;
    std::thread worker; // not running: the stream's thread hashes itself
};

CStreamDigest::State::State(DigestAlgorithm digestAlgorithm)
    : algorithm(digestAlgorithm)
{
    if (algorithm == DigestAlgorithm::Crc32) {
        crc = crc32(0, nullptr, 0);
    } else {
        const EVP_MD* md = algorithm == DigestAlgorithm::Sha256 ? EVP_sha256()
                           : algorithm == DigestAlgorithm::Sha1 ? EVP_sha1()
                                                                : EVP_md5();
        context = EVP_MD_CTX_new();
        if (context)
            EVP_DigestInit_ex(context, md, nullptr);
    }
    filling.reserve(kChunkSize);
    try {
        worker = std::thread([this] { HashQueued(); });
    } catch (const std::system_error&) {
    }
}

CStreamDigest::State::~State()
{
    if (worker.joinable()) {
        {
            const std::lock_guard lock(mutex);
            ending = true;
        }
        changed.notify_all();
        worker.join();
    }
    if (context)
        EVP_MD_CTX_free(context);
}

void CStreamDigest::State::Hash(const char* data, qsizetype size)
{
    if (algorithm == DigestAlgorithm::Crc32)
        crc = crc32_z(crc, reinterpret_cast<const Bytef*>(data), static_cast<z_size_t>(size));
    else if (context)
        EVP_DigestUpdate(context, data, static_cast<size_t>(size));
}

void CStreamDigest::State::HashQueued()
{
    std::unique_lock lock(mutex);
    for (;;) {
        changed.wait(lock, [this] { return ending || !queue.empty(); });
        if (queue.empty())
            return;
        const QByteArray chunk = std::move(queue.front());
        queue.pop_front();
        lock.unlock();
        changed.notify_all();
        Hash(chunk.constData(), chunk.size());
        lock.lock();
    }
}

CStreamDigest::CStreamDigest(DigestAlgorithm algorithm)
    : state(std::make_unique<State>(algorithm))
{}

CStreamDigest::~CStreamDigest() = default;

void CStreamDigest::Add(const char* data, qint64 size)
{
    if (!state->worker.joinable()) {
        state->Hash(data, size);
        return;
    }
    state->filling.append(data, size);
    if (state->filling.size() < kChunkSize)
        return;
    {
        std::unique_lock lock(state->mutex);
        state->changed.wait(lock, [this] { return state->queue.size() < kChunksInFlight; });
        state->queue.push_back(std::move(state->filling));
    }
    state->changed.notify_all();
    state->filling = QByteArray();
    state->filling.reserve(kChunkSize);
}

QByteArray CStreamDigest::HexResult()
{
    if (state->worker.joinable()) {
        {
            const std::lock_guard lock(state->mutex);
            if (!state->filling.isEmpty())
                state->queue.push_back(std::move(state->filling));
            state->ending = true;
        }
        state->changed.notify_all();
        state->worker.join();
        state->filling = QByteArray();
    }
    if (state->algorithm == DigestAlgorithm::Crc32)
        return QByteArray::number(static_cast<quint32>(state->crc), 16).rightJustified(8, '0');
    unsigned char bytes[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!state->context || EVP_DigestFinal_ex(state->context, bytes, &length) != 1)
        return {};
    return QByteArray(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(length)).toHex();
}
