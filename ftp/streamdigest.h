#pragma once

#include "ftp/serverchecks.h"

#include <QByteArray>

#include <memory>

// A digest of the bytes as they stream past, in one of the algorithms servers offer. The
// hashing runs on a thread of its own, a quarter megabyte at a time, so that it does not
// slow the transfer where the machine has a core to spare.
class CStreamDigest
{
public:
    explicit CStreamDigest(DigestAlgorithm algorithm);
    ~CStreamDigest();
    CStreamDigest(const CStreamDigest&) = delete;
    CStreamDigest& operator=(const CStreamDigest&) = delete;

    void Add(const char* data, qint64 size);
    // Lower-case hex; the digest ends with it.
    QByteArray HexResult();

private:
    struct State;
    std::unique_ptr<State> state;
};
