// Reading the "UpdateServer" setting and comparing versions.
#include "launcher/updateserver.h"
#include "launcher/versioncheck.h"

#include <gtest/gtest.h>

TEST(UpdateServer, Setting)
{
    struct Case
    {
        const char* text;
        const char* host; // nullptr: no server
        quint16 port;
    };
    const Case cases[] = {
        {"updates.example.org", "updates.example.org", 80},
        {" updates.example.org:8080 ", "updates.example.org", 8080},
        {"127.0.0.1:65535", "127.0.0.1", 65535},
        {"[::1]", "::1", 80},
        {"[::1]:8080", "::1", 8080},
        {"::1", "::1", 80},
        {"host:", nullptr, 0},
        {"host:0", nullptr, 0},
        {"host:65536", nullptr, 0},
        {"host:8o", nullptr, 0},
        {"host:-1", nullptr, 0},
        {":80", nullptr, 0},
        {"[::1", nullptr, 0},
        {"[]:80", nullptr, 0},
        {"[::1]80", nullptr, 0},
        {"[host]:80", nullptr, 0},
        {"http://host/", nullptr, 0},
        {"two words", nullptr, 0},
        {"user@host", nullptr, 0},
    };
    for (const Case& test : cases) {
        const std::optional<CUpdateServer> server =
            CUpdateServer::FromSetting(QString::fromLatin1(test.text));
        ASSERT_EQ(server.has_value(), test.host != nullptr) << test.text;
        if (server) {
            EXPECT_EQ(server->Host(), QString::fromLatin1(test.host)) << test.text;
            EXPECT_EQ(server->Port(), test.port) << test.text;
        }
    }
}

TEST(VersionCheck, CompareVersions)
{
    struct Case
    {
        const char* a;
        const char* b;
        std::optional<int> order;
    };
    const Case cases[] = {
        {"8.100", "8.77", 1},
        {"8.78", "8.77", 1},
        {"8.9", "8.77", -1},
        {"9", "8.99", 1},
        {"8.77", "8.77.0", 0},
        {"008.077", "8.77", 0},
        {"1.2.10", "1.2.9", 1},
        {"100000000000000000000000000000", "99999999999999999999999999999", 1},
        {"8..7", "8.7", std::nullopt},
        {".8", "8", std::nullopt},
        {"8.", "8", std::nullopt},
        {"", "8", std::nullopt},
        {"8.7a", "8.7", std::nullopt},
        {"-1", "0", std::nullopt},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(CompareVersions(QString::fromLatin1(test.a), QString::fromLatin1(test.b)),
                  test.order)
            << test.a << " vs " << test.b;
        if (test.order) {
            EXPECT_EQ(CompareVersions(QString::fromLatin1(test.b), QString::fromLatin1(test.a)),
                      -*test.order)
                << test.b << " vs " << test.a;
        }
    }
}

TEST(VersionCheck, VersionFromBody)
{
    struct Case
    {
        QByteArray body;
        const char* version; // nullptr: none
    };
    const Case cases[] = {
        {"8.78", "8.78"},     {"8.78\r\nrelease notes", "8.78"},
        {" 8.78 \n", "8.78"}, {"\n8.78", nullptr},
        {"v8.78", nullptr},   {"8.78 beta", nullptr},
        {"<html>", nullptr},  {QByteArray("8.78\0", 5), nullptr},
    };
    for (const Case& test : cases) {
        const std::optional<QString> version = VersionFromBody(test.body);
        EXPECT_EQ(version.value_or(QStringLiteral("none")),
                  test.version ? QString::fromLatin1(test.version) : QStringLiteral("none"))
            << test.body.toStdString();
    }
}
