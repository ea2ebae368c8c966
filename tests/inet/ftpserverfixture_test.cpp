// The FTP server fixture itself: it listens on loopback, greets, and logs what it receives.
#include "tests/fixtures/ftpserverfixture.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace {

// Reads from `fd` until a line ending in "\r\n" arrives or two seconds pass.
std::string ReadLine(int fd)
{
    std::string line;
    char c = 0;
    pollfd ready{fd, POLLIN, 0};
    while (poll(&ready, 1, 2000) > 0 && read(fd, &c, 1) == 1) {
        line += c;
        if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0)
            break;
    }
    return line;
}

} // namespace

TEST(FtpServerFixture, GreetsOnARawSocketAndLogsCommands)
{
    CFtpServerFixture server;
    ASSERT_TRUE(server.IsRunning());
    EXPECT_EQ(server.Address().toStdString(), "127.0.0.1:" + std::to_string(server.Port()));

    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(server.Port());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    EXPECT_EQ(ReadLine(fd).substr(0, 4), "220 ");
    const std::string user = "USER reader\r\n";
    ASSERT_EQ(write(fd, user.data(), user.size()), static_cast<ssize_t>(user.size()));
    EXPECT_EQ(ReadLine(fd).substr(0, 4), "331 ");
    const std::string pass = "PASS reader\r\n";
    ASSERT_EQ(write(fd, pass.data(), pass.size()), static_cast<ssize_t>(pass.size()));
    EXPECT_EQ(ReadLine(fd).substr(0, 4), "230 ");
    close(fd);

    EXPECT_EQ(server.CountCommands(QStringLiteral("USER")), 1)
        << server.LogLines().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(server.CountCommands(QStringLiteral("LOGIN")), 1);
    for (const QString& line : server.LogLines())
        EXPECT_FALSE(line.contains(QLatin1String("PASS reader"))) << "password in the log";
}
