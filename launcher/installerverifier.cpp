#include "launcher/installerverifier.h"

#include <QFile>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <memory>

namespace {

struct KeyDeleter
{
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct ContextDeleter
{
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, KeyDeleter>;

KeyPtr LoadKey(const QByteArray& pem)
{
    if (pem.isEmpty())
        return nullptr;
    BIO* source = BIO_new_mem_buf(pem.constData(), int(pem.size()));
    if (!source)
        return nullptr;
    KeyPtr key(PEM_read_bio_PUBKEY(source, nullptr, nullptr, nullptr));
    BIO_free(source);
    // Any other kind of key would accept signatures of another scheme.
    if (key && EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_ED25519)
        key.reset();
    return key;
}

} // namespace

CInstallerVerifier::CInstallerVerifier(QByteArray publicKeyPem)
    : keyPem(std::move(publicKeyPem))
{}

bool CInstallerVerifier::HasKey() const
{
    return LoadKey(keyPem) != nullptr;
}

bool CInstallerVerifier::Verify(const QString& filePath, QByteArrayView signature) const
{
    if (signature.size() != kSignatureBytes)
        return false;
    const KeyPtr key = LoadKey(keyPem);
    if (!key)
        return false;
    // Ed25519 signs the message whole, so the file is mapped rather than read in pieces.
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly) || file.size() <= 0)
        return false;
    const qint64 size = file.size();
    const uchar* bytes = file.map(0, size);
    if (!bytes)
        return false;
    const std::unique_ptr<EVP_MD_CTX, ContextDeleter> context(EVP_MD_CTX_new());
    const bool ok =
        context && EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
        EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.data()),
                         size_t(signature.size()), bytes, size_t(size)) == 1;
    file.unmap(const_cast<uchar*>(bytes));
    return ok;
}
