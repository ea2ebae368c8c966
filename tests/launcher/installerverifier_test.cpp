#include "launcher/installerverifier.h"
#include "tests/fixtures/testenvironment.h"
#include "tests/launcher/testsigningkey.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/pem.h>

namespace {

QString WriteFile(const QString& name, const QByteArray& content)
{
    const QString path = TestProgramFolder() + name;
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(content);
    return path;
}

QByteArray EcPublicPem()
{
    EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PUBKEY(bio, key);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    const QByteArray pem(data, size);
    BIO_free(bio);
    EVP_PKEY_free(key);
    return pem;
}

} // namespace

TEST(InstallerVerifier, AcceptsOnlyTheSignatureOfTheFileByTheKey)
{
    const CTestSigningKey key;
    const CTestSigningKey otherKey;
    const QByteArray installer = "#!/bin/sh\necho installing\n";
    const QByteArray signature = key.Sign(installer);
    QByteArray flipped = signature;
    flipped[10] = char(flipped[10] ^ 1);
    struct Case
    {
        const char* name;
        QByteArray pem;
        QByteArray file;
        QByteArray signature;
        bool verifies;
    };
    const Case cases[] = {
        {"the right one", key.PublicPem(), installer, signature, true},
        {"file changed", key.PublicPem(), installer + ' ', signature, false},
        {"signature changed", key.PublicPem(), installer, flipped, false},
        {"signature cut", key.PublicPem(), installer, signature.left(63), false},
        {"signature longer", key.PublicPem(), installer, signature + 'x', false},
        {"another key", otherKey.PublicPem(), installer, signature, false},
        {"no key", {}, installer, signature, false},
        {"not a key", "-----BEGIN PUBLIC KEY-----\nAAAA\n-----END PUBLIC KEY-----\n", installer,
         signature, false},
        {"a key of another kind", EcPublicPem(), installer, signature, false},
        {"empty file", key.PublicPem(), "", key.Sign(""), false},
    };
    for (const Case& test : cases) {
        const QString path = WriteFile(QStringLiteral("vz.cxx"), test.file);
        EXPECT_EQ(CInstallerVerifier(test.pem).Verify(path, test.signature), test.verifies)
            << test.name;
    }
    EXPECT_FALSE(
        CInstallerVerifier(key.PublicPem()).Verify(TestProgramFolder() + "missing", signature));
    EXPECT_TRUE(CInstallerVerifier(key.PublicPem()).HasKey());
    EXPECT_FALSE(CInstallerVerifier({}).HasKey());
    EXPECT_FALSE(CInstallerVerifier(EcPublicPem()).HasKey());
}

// The publisher signs with the openssl tool; its signatures must verify.
TEST(InstallerVerifier, AcceptsWhatOpensslPkeyutlSigns)
{
    const CTestSigningKey key;
    const QString keyFile = WriteFile(QStringLiteral("key.pem"), key.PrivatePem());
    const QString installer = WriteFile(QStringLiteral("vz.cxx"), QByteArray(5000, 'i'));
    const QString signatureFile = TestProgramFolder() + QStringLiteral("vz.sig");
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("pkeyutl"), QStringLiteral("-sign"), QStringLiteral("-rawin"),
                   QStringLiteral("-inkey"), keyFile, QStringLiteral("-in"), installer,
                   QStringLiteral("-out"), signatureFile});
    ASSERT_TRUE(openssl.waitForFinished(10000));
    ASSERT_EQ(openssl.exitCode(), 0) << openssl.readAllStandardError().toStdString();
    QFile signature(signatureFile);
    ASSERT_TRUE(signature.open(QIODevice::ReadOnly));
    EXPECT_TRUE(CInstallerVerifier(key.PublicPem()).Verify(installer, signature.readAll()));
}
