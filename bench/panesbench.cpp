// Times the file list pane on a big folder, locally and over FTP, against ls and curl.
//
//   panes_bench FOLDER FTP_ADDRESS FTP_FOLDER
//
// FOLDER is a local folder of many entries; FTP_ADDRESS ("127.0.0.1:PORT") serves the same
// entries as FTP_FOLDER to the user "user"/"secret". Prints the times, then the line
//   local X ftp Y resort Z ms bytes-per-entry W
// with X = fill / "ls -l", Y = FTP read-and-fill / curl's LIST, Z the re-sort time and W the
// heap in use at the fill's peak per entry.
#include "app/vantorapp.h"
#include "app/vantordoc.h"
#include "inet/ftpconnection.h"
#include "inet/internetsession.h"
#include "panes/mylistview.h"

#include <QFile>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <malloc.h>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Best of `runs`, in milliseconds: the machine is shared, the best run is the honest one.
double BestMs(int runs, const std::function<void()>& work)
{
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work();
        best =
            std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return best;
}

void Shell(const QString& command)
{
    if (std::system(command.toLocal8Bit().constData()) != 0)
        std::fprintf(stderr, "failed: %s\n", command.toLocal8Bit().constData());
}

// Heap in use, sampled every 200 us while `work` runs; returns the highest sample above the
// level before it.
size_t PeakHeapDuring(const std::function<void()>& work)
{
    const size_t before = mallinfo2().uordblks;
    std::atomic<bool> done{false};
    std::atomic<size_t> peak{before};
    std::thread sampler([&] {
        while (!done) {
            const size_t now = mallinfo2().uordblks;
            if (now > peak)
                peak = now;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    work();
    const size_t after = mallinfo2().uordblks;
    done = true;
    sampler.join();
    return std::max(peak.load(), after) - before;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: panes_bench FOLDER FTP_ADDRESS FTP_FOLDER\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    CVantorApp app(argc, argv);
    const QString folder = QFile::decodeName(argv[1]);
    const QString address = QString::fromLocal8Bit(argv[2]);
    const QString ftpFolder = QString::fromLocal8Bit(argv[3]);

    CVantorDoc document;
    CMyListView local(document);
    local.side = 0;
    local.resize(800, 600);

    // For profiling: only the re-sort, many times over.
    if (address == QLatin1String("resort")) {
        local.FillList(folder + QLatin1Char('/'));
        theApp().resortOnly = true;
        const double ms = BestMs(20, [&] { local.FillList(folder + QLatin1Char('/')); });
        std::printf("resort %.1f ms\n", ms);
        return 0;
    }

    const double lsMs = BestMs(
        3, [&] { Shell(QStringLiteral("ls -l '") + folder + QStringLiteral("' > /dev/null")); });
    size_t peak = 0;
    const double localMs = BestMs(
        3, [&] { peak = PeakHeapDuring([&] { local.FillList(folder + QLatin1Char('/')); }); });
    const qsizetype count = local.entries.size();
    theApp().resortOnly = true;
    const double resortMs = BestMs(3, [&] { local.FillList(folder + QLatin1Char('/')); });
    theApp().resortOnly = false;
    std::printf("entries %lld: ls -l %.1f ms, fill %.1f ms, resort %.1f ms, peak heap %zu bytes\n",
                static_cast<long long>(count), lsMs, localMs, resortMs, peak);

    const QString url =
        QStringLiteral("ftp://user:secret@") + address + ftpFolder + QLatin1Char('/');
    const double curlMs = BestMs(
        3, [&] { Shell(QStringLiteral("curl -s -o /dev/null '") + url + QStringLiteral("'")); });
    CVantorApp& state = theApp();
    state.internetSession = std::make_unique<CInternetSession>();
    state.ftpConnection = state.internetSession->GetFtpConnection(address, QStringLiteral("user"),
                                                                  QStringLiteral("secret"));
    CMyListView remote(document);
    remote.side = 1;
    remote.resize(800, 600);
    const double ftpMs = BestMs(3, [&] { remote.FillList(ftpFolder + QLatin1Char('/')); });
    std::printf("ftp: curl LIST %.1f ms, read and fill %.1f ms, %d items\n", curlMs, ftpMs,
                remote.ItemCount());

    std::printf("local %.2f ftp %.2f resort %.0f ms bytes-per-entry %.0f\n", localMs / lsMs,
                ftpMs / curlMs, resortMs, count ? double(peak) / double(count) : 0.0);
    state.ResetState();
    return 0;
}
