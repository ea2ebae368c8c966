// Times the inet library the way the program uses it: whole files moved in 1000-byte
// calls, and listings parsed. bench/inet_transfer.sh runs it beside curl.
//
//   inet_bench download HOST:PORT USER PASSWORD REMOTE LOCAL
//   inet_bench upload   HOST:PORT USER PASSWORD LOCAL REMOTE
//   inet_bench parse    LINES
#include "inet/ftpconnection.h"
#include "inet/internetfile.h"
#include "inet/internetsession.h"
#include "inet/listingparser.h"

#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr qint64 kBlock = 1000;

int Download(CFtpConnection& connection, const QString& remote, const QString& local)
{
    QFile out(local);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(local));
        return 1;
    }
    std::unique_ptr<CInternetFile> file = connection.OpenFile(remote, FileAccess::Read);
    char block[kBlock];
    for (qint64 got; (got = file->Read(block, kBlock)) > 0;) {
        if (out.write(block, got) != got) {
            std::fprintf(stderr, "write failed\n");
            return 1;
        }
    }
    file->Close();
    return out.flush() ? 0 : 1;
}

int Upload(CFtpConnection& connection, const QString& local, const QString& remote)
{
    QFile in(local);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(local));
        return 1;
    }
    std::unique_ptr<CInternetFile> file = connection.OpenFile(remote, FileAccess::Write);
    char block[kBlock];
    for (qint64 got; (got = in.read(block, kBlock)) > 0;)
        file->Write(block, got);
    file->Close();
    return 0;
}

QByteArray UnixListing(int lines)
{
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    QByteArray listing;
    listing.reserve(lines * 72);
    listing += "total " + QByteArray::number(lines) + "\r\n";
    for (int i = 0; i < lines; ++i) {
        const bool folder = i % 7 == 0;
        const bool recent = i % 3 == 0;
        listing += folder ? "drwxr-xr-x    2 " : "-rw-r--r--    1 ";
        listing += "user     group    ";
        listing += QByteArray::number(static_cast<qint64>(i) * 7919 % 100000000).rightJustified(9);
        listing += ' ';
        listing += months[i % 12];
        listing += ' ' + QByteArray::number(i % 28 + 1).rightJustified(2) + ' ';
        listing += recent ? QByteArray("12:34") : " 2019";
        listing += i % 5 == 0 ? " name with spaces " : " file_";
        listing += QByteArray::number(i) + (folder ? "" : ".dat") + "\r\n";
    }
    return listing;
}

int Parse(int lines)
{
    const QByteArray listing = UnixListing(lines);
    qint64 best = -1;
    std::size_t entries = 0;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer timer;
        timer.start();
        entries = ParseListing(listing, ListingFormat::List, 1718452800).size();
        const qint64 elapsed = timer.nsecsElapsed();
        if (best < 0 || elapsed < best)
            best = elapsed;
    }
    std::printf("parsed %zu of %d lines in %.2f ms\n", entries, lines, best / 1e6);
    return entries == static_cast<std::size_t>(lines) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "parse") == 0)
        return Parse(std::atoi(argv[2]));
    if (argc != 7 ||
        (std::strcmp(argv[1], "download") != 0 && std::strcmp(argv[1], "upload") != 0)) {
        std::fprintf(stderr, "usage: inet_bench download|upload SERVER USER PASSWORD FROM TO\n"
                             "       inet_bench parse LINES\n");
        return 2;
    }
    try {
        CInternetSession session;
        std::unique_ptr<CFtpConnection> connection = session.GetFtpConnection(
            QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
            QString::fromLocal8Bit(argv[4]), 0, true);
        const QString from = QString::fromLocal8Bit(argv[5]);
        const QString to = QString::fromLocal8Bit(argv[6]);
        const int result = std::strcmp(argv[1], "download") == 0 ? Download(*connection, from, to)
                                                                 : Upload(*connection, from, to);
        connection->Close();
        return result;
    } catch (const CInternetException& e) {
        std::fprintf(stderr, "%s: %s\n", InetErrorKindName(e.Kind()), e.what());
        return 1;
    }
}
