#pragma once

#include "tests/fixtures/ftpserverfixture.h"
#include "tests/inet/inettesting.h"

#include <memory>

// Tests against the real server, run once in active and once in passive mode. One server
// serves the whole suite; every test works in a folder of its own below its root.
class CRealServerTest : public testing::TestWithParam<bool>
{
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    bool Passive() const { return GetParam(); }
    // A connection of `session` in the test's mode, in the test's folder.
    std::unique_ptr<CFtpConnection> Connect(const QString& user = CFtpServerFixture::kUser,
                                            const QString& password = CFtpServerFixture::kPassword);
    // "/caseN/relative" on the server, and the same file on disk.
    QString Remote(const QString& relative) const;
    QString Local(const QString& relative) const;
    QByteArray ReadLocal(const QString& relative) const;

    static inline CFtpServerFixture* server = nullptr;
    std::unique_ptr<CInternetSession> session;
    QString folder;
};

// The mode in the test's name.
std::string ModeName(const testing::TestParamInfo<bool>& info);
