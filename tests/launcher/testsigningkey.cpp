#include "tests/launcher/testsigningkey.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

namespace {

QByteArray Drain(BIO* bio)
{
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    QByteArray bytes(data, size);
    BIO_free(bio);
    return bytes;
}

} // namespace

CTestSigningKey::CTestSigningKey()
    : key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"))
{}

CTestSigningKey::~CTestSigningKey()
{
    EVP_PKEY_free(key);
}

QByteArray CTestSigningKey::PublicPem() const
{
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PUBKEY(bio, key);
    return Drain(bio);
}

QByteArray CTestSigningKey::PrivatePem() const
{
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
    return Drain(bio);
}

QByteArray CTestSigningKey::Sign(const QByteArray& message) const
{
    QByteArray signature(64, '\0');
    size_t size = size_t(signature.size());
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    const bool ok =
        EVP_DigestSignInit(context, nullptr, nullptr, nullptr, key) == 1 &&
        EVP_DigestSign(context, reinterpret_cast<unsigned char*>(signature.data()), &size,
                       reinterpret_cast<const unsigned char*>(message.constData()),
                       size_t(message.size())) == 1;
    EVP_MD_CTX_free(context);
    return ok ? signature.left(qsizetype(size)) : QByteArray();
}
