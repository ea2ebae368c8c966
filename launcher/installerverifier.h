#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Checks that a downloaded installer is the one the publisher signed: a raw 64-byte Ed25519
// signature over the file's bytes (what "openssl pkeyutl -sign -rawin" makes), against the
// publisher's public key in PEM form. Without a usable key nothing verifies, so a build
// that carries no key never runs a downloaded file.
class CInstallerVerifier
{
public:
    static constexpr qsizetype kSignatureBytes = 64;

    explicit CInstallerVerifier(QByteArray publicKeyPem);

    // True when the PEM holds an Ed25519 public key.
    bool HasKey() const;
    bool Verify(const QString& filePath, QByteArrayView signature) const;

private:
    QByteArray keyPem;
};
