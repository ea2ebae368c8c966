#pragma once

#include <QByteArray>

#include <memory>

typedef struct evp_pkey_st EVP_PKEY;

// A fresh Ed25519 key pair, made when the test runs, that signs the way the publisher does
// (a raw 64-byte signature over the whole file).
class CTestSigningKey
{
public:
    CTestSigningKey();
    ~CTestSigningKey();
    CTestSigningKey(const CTestSigningKey&) = delete;
    CTestSigningKey& operator=(const CTestSigningKey&) = delete;

    QByteArray PublicPem() const;
    QByteArray PrivatePem() const;
    QByteArray Sign(const QByteArray& message) const;

private:
    EVP_PKEY* key = nullptr;
};
