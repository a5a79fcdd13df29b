// How the administration window costs the FTP service: start-up to a drawn window on a home of
// 10,000 users, then FTP login and NOOP latency while the window draws a log flood of 10,000
// lines a second and shows the sessions view with 256 connected clients, and the window's
// frame time meanwhile. Run on the offscreen platform (QT_QPA_PLATFORM=offscreen) or under
// Xvfb. Prints one line per figure.
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "../tests/core/test_client.h"
#include "common/program_folder.h"
#include "gui/main_form.h"
#include "platform/fs.h"

using namespace corvane;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kUsers = 10000;
constexpr int kClients = 256;
constexpr int kSamples = 400;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Figures {
    std::vector<double> values;
    void Add(double v) { values.push_back(v); }
    double At(double q)
    {
        if (values.empty()) return 0;
        std::sort(values.begin(), values.end());
        return values[static_cast<std::size_t>(q * (values.size() - 1))];
    }
};

bool Login(testing::LineClient& client)
{
    if (client.ReadLine().rfind("220", 0) != 0) return false;
    client.Send("USER anonymous\r\n");
    if (client.ReadLine().rfind("331", 0) != 0) return false;
    client.Send("PASS guest@\r\n");
    for (;;) {
        const std::string line = client.ReadLine();
        if (line.rfind("230 ", 0) == 0) return true;
        if (line.rfind("230-", 0) != 0) return false;
    }
}

// Logins and NOOPs measured from a thread of their own while `busy` clients stay connected.
void MeasureClients(int port, Figures& logins, Figures& noops, std::atomic<bool>& done)
{
    std::vector<std::unique_ptr<testing::LineClient>> idle;
    // With the login measurement's and the probe's connections: kClients in all, the limit.
    for (int i = 0; i < kClients - 2; ++i) {
        auto client = std::make_unique<testing::LineClient>(port);
        if (client->Connected() && Login(*client)) idle.push_back(std::move(client));
    }
    std::fprintf(stderr, "connected clients: %zu\n", idle.size());
    for (int i = 0; i < 40; ++i) {
        const auto start = Clock::now();
        testing::LineClient client(port);
        if (client.Connected() && Login(client)) logins.Add(Ms(Clock::now() - start));
        client.Send("QUIT\r\n");
    }
    testing::LineClient probe(port);
    Login(probe);
    for (int i = 0; i < kSamples; ++i) {
        const auto start = Clock::now();
        probe.Send("NOOP\r\n");
        if (probe.ReadLine().rfind("200", 0) == 0) noops.Add(Ms(Clock::now() - start));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    done = true;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QTemporaryDir home;
    const int port = testing::FreeLoopbackPort();
    fs::WriteFileAtomically(
        home.path().toStdString() + "/CorvaneServer.ini",
        "[ServerData]\r\nPort=" + std::to_string(port) +
            "\r\nUserSetServerIP=127.0.0.1\r\nMaximumNumberOfConnections=256\r\nServerFirstRun=0\r\n");
    SetProgramFolder(home.path().toStdString());
    {
        // The home of 10,000 users, written by the store itself.
        permissionsClass store(ProgramFolder(), [](const std::string&) { return true; });
        store.LoadAccounts();
        store.AddUser("Anonymous", "", "All Others");
        store.Folders().GrantFlag("Anonymous", "C:\\", FolderFlag::list);
        store.Folders().GrantFlag("Anonymous", "C:\\", FolderFlag::CWD);
        for (int i = 0; i < kUsers; ++i) store.AddUser("user" + std::to_string(i), "pw", "All Others");
        store.SaveAccounts();
    }
    const auto startUp = Clock::now();
    TMainForm form({});
    form.show();
    (void)QTest::qWaitForWindowExposed(&form);
    QApplication::processEvents();
    std::printf("start-up to a drawn window, %d users: %.0f ms\n", kUsers, Ms(Clock::now() - startUp));
    (void)QTest::qWaitFor([&] { return form.Controller().ftpListening(); }, 10000);
    form.ShowPage(kConnectionsPage);

    // The flood: 10,000 lines a second, written every 10 ms as many as are due by then.
    QTimer flood;
    long long floodLines = 0;
    QElapsedTimer floodClock;
    floodClock.start();
    QObject::connect(&flood, &QTimer::timeout, [&] {
        const long long due = floodClock.elapsed() * 10;
        while (floodLines < due)
            form.Controller().writeLog("< NOOP  [127.0.0.1 <- 127.0.0.1:40000 (10:00:00)] line " +
                                       std::to_string(floodLines++));
    });
    flood.start(10);
    // Frame time: how late a 16 ms timer fires while all this goes on.
    Figures frames;
    QElapsedTimer frameClock;
    frameClock.start();
    QTimer frame;
    QObject::connect(&frame, &QTimer::timeout, [&] { frames.Add(static_cast<double>(frameClock.restart())); });
    frame.start(16);

    Figures logins, noops;
    std::atomic<bool> done{false};
    std::thread clients([&] { MeasureClients(port, logins, noops, done); });
    const auto floodStart = Clock::now();
    (void)QTest::qWaitFor([&] { return done.load(); }, 300000);
    const double floodSeconds = Ms(Clock::now() - floodStart) / 1000;
    clients.join();
    flood.stop();
    frame.stop();
    std::printf("log lines drawn: %lld in %.1f s (%.0f a second); screen log holds %d lines\n", floodLines,
                floodSeconds, floodLines / floodSeconds, form.Connections()->Log()->blockCount());
    std::printf("sessions view redraws: %lld\n", static_cast<long long>(form.Connections()->RefreshCount()));
    std::printf("FTP login with %d clients: median %.2f ms, p99 %.2f ms\n", kClients, logins.At(0.5), logins.At(0.99));
    std::printf("FTP NOOP with %d clients: median %.2f ms, p99 %.2f ms, max %.2f ms\n", kClients, noops.At(0.5),
                noops.At(0.99), noops.At(1.0));
    std::printf("window frame (16 ms timer): median %.0f ms, p99 %.0f ms, max %.0f ms\n", frames.At(0.5),
                frames.At(0.99), frames.At(1.0));
    form.Controller().disconnectAll();
    form.ShutDown();
    return 0;
}
