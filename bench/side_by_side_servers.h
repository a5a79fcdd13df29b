// This server and vsftpd side by side on loopback, for the benchmarks that compare them.
//
// This server is a TFtpServer on a thread of its own that accepts every login, with drive C:
// mapped to its root and "C:\" as every client's home. vsftpd (the Debian package, run as
// root) serves its own root anonymously; without it, or without root, only this server runs
// and vsftpdPort stays 0.
#pragma once

#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/program_folder.h"
#include "core/event_loop_window_thread.h"
#include "core/server_controller.h"
#include "core/server_view.h"
#include "ftp/ftp_server.h"
#include "platform/drive_map.h"

namespace corvane::bench {

// The loopback address every server and client of a benchmark uses: "::1" when
// CORVANE_BENCH_IPV6=1 is set, "127.0.0.1" otherwise.
inline std::string Loopback()
{
    const char* six = std::getenv("CORVANE_BENCH_IPV6");
    return six != nullptr && std::string_view(six) == "1" ? "::1" : "127.0.0.1";
}

// The loopback address as a URL writes it ("[::1]" in brackets).
inline std::string LoopbackUrlHost() { return Loopback() == "::1" ? "[::1]" : "127.0.0.1"; }

inline constexpr char kVsftpd[] = "/usr/sbin/vsftpd";

// A file of `size` real bytes, not a sparse one: the servers read what a real share holds.
inline void MakeFile(const std::string& path, long long size)
{
    std::ofstream out(path, std::ios::binary);
    std::string block(1 << 20, '\0');
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>((i * 7919) & 0xFF);
    for (long long written = 0; written < size; written += static_cast<long long>(block.size()))
        out.write(block.data(), static_cast<std::streamsize>(std::min<long long>(size - written, block.size())));
}

inline int FreePort()
{
    EventLoop loop;
    TWSocket probe;
    probe.SetAddr(Loopback());
    probe.SetPort("0");
    probe.Listen();
    return std::stoi(probe.GetXPort());
}

// A free loopback port that the server's settings keep as it is: they read a port above 32275
// as 21, and the stack's own choice (port 0) lies above it.
inline int FreeSettingsPort()
{
    std::random_device seed;
    std::mt19937 pick(seed());
    std::uniform_int_distribution<int> ports(20000, 32275);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const int port = ports(pick);
        EventLoop loop;
        TWSocket probe;
        probe.SetAddr(Loopback());
        probe.SetPort(std::to_string(port));
        try {
            probe.Listen();
            return port;
        } catch (const std::exception&) {
            // taken: try another
        }
    }
    return 0;
}

// A fresh scratch folder that vsftpd may read (mode 0755), removed by whoever made it.
inline std::string MakeScratchBase()
{
    char pattern[] = "/tmp/corvane-bench-XXXXXX";
    const std::string base = ::mkdtemp(pattern);
    ::chmod(base.c_str(), 0755);
    return base;
}

// vsftpd's configuration for the benchmarks: anonymous only, on Loopback():`port`, serving
// `root`, with no limits on clients and no logging; `extraLines` come last and override.
inline void WriteVsftpdConfig(const std::string& conf, int port, const std::string& root, bool uploads,
                              const std::string& extraLines = "")
{
    std::ofstream out(conf);
    out << (Loopback() == "::1" ? "listen=NO\nlisten_ipv6=YES\nlisten_address6=::1\n"
                                : "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\n")
        << "listen_port=" << port
        << "\nbackground=NO\nanonymous_enable=YES\nno_anon_password=YES\nanon_root=" << root << "\n"
        << (uploads ? "write_enable=YES\nanon_upload_enable=YES\nanon_other_write_enable=YES\n" : "")
        << "local_enable=NO\nseccomp_sandbox=NO\nmax_clients=0\nmax_per_ip=0\n"
           "secure_chroot_dir=/var/run/vsftpd/empty\nxferlog_enable=NO\nsyslog_enable=NO\n"
           "vsftpd_log_file=/dev/null\n"
        << extraLines;
}

// The bare FTP engine on a thread of its own, on a free loopback port, serving `root` as drive C
// to every client; `configure` (may be empty) runs on that thread before the engine starts.
class BareFtpEngine {
public:
    BareFtpEngine(const std::string& base, const std::string& root, std::function<void(TFtpServer&)> configure = {})
    {
        DriveMap::Configure({{'C', root}}, base);
        std::promise<int> chosen;
        thread_ = std::thread([this, &chosen, configure = std::move(configure)] {
            EventLoop loop;
            TFtpServer server;
            if (configure) configure(server);
            server.SetAddr(Loopback());
            server.SetPort("0");
            server.OnClientConnect = [](TFtpServer*, TFtpCtrlSocket* client, std::uint16_t) {
                client->SetHomeDirectory("C:\\");
            };
            server.Start();
            loop_ = &loop;
            chosen.set_value(std::stoi(server.ServerWSocket().GetXPort()));
            loop.MessageLoop();
            server.DisconnectAll();
        });
        port = chosen.get_future().get();
    }

    ~BareFtpEngine()
    {
        if (loop_ != nullptr) loop_->Quit();
        if (thread_.joinable()) thread_.join();
    }

    BareFtpEngine(const BareFtpEngine&) = delete;
    BareFtpEngine& operator=(const BareFtpEngine&) = delete;

    int port = 0;

private:
    std::thread thread_;
    EventLoop* loop_ = nullptr;
};

class SideBySideServers {
public:
    // `base` holds vsftpd's configuration; `uploads` lets vsftpd's anonymous user write.
    SideBySideServers(const std::string& base, const std::string& oursRoot, const std::string& vsRoot, bool uploads)
        : ours_(base, oursRoot),
          oursPort(ours_.port)
    {
        StartVsftpd(base, vsRoot, uploads);
    }

    ~SideBySideServers()
    {
        if (vsftpdPid_ > 0) {
            ::kill(vsftpdPid_, SIGTERM);
            ::waitpid(vsftpdPid_, nullptr, 0);
        }
    }

    SideBySideServers(const SideBySideServers&) = delete;
    SideBySideServers& operator=(const SideBySideServers&) = delete;

private:
    BareFtpEngine ours_;

public:
    int oursPort = 0, vsftpdPort = 0;

private:
    void StartVsftpd(const std::string& base, const std::string& root, bool uploads)
    {
        if (::access(kVsftpd, X_OK) != 0 || ::geteuid() != 0) return;
        vsftpdPort = FreePort();
        const std::string conf = base + "/vsftpd.conf";
        WriteVsftpdConfig(conf, vsftpdPort, root, uploads);
        vsftpdPid_ = ::fork();
        if (vsftpdPid_ == 0) {
            ::execl(kVsftpd, kVsftpd, conf.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }

    pid_t vsftpdPid_ = -1;
};

// ---- vsftpd alone -------------------------------------------------------------------------------

// vsftpd on a free loopback port, anonymous, serving `root`; `extraLines` are added to its
// configuration. Without vsftpd or root it does not run and `port` stays 0.
class VsftpdServer {
public:
    VsftpdServer(const std::string& base, const std::string& root, const std::string& extraLines = "")
    {
        if (::access(kVsftpd, X_OK) != 0 || ::geteuid() != 0) return;
        const int chosen = FreePort();
        const std::string conf = base + "/vsftpd-" + std::to_string(chosen) + ".conf";
        WriteVsftpdConfig(conf, chosen, root, false, extraLines);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // a benchmark that crashes leaves no vsftpd behind
            ::execl(kVsftpd, kVsftpd, conf.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        if (WaitForListener(chosen)) port = chosen;
    }

    ~VsftpdServer()
    {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }

    VsftpdServer(const VsftpdServer&) = delete;
    VsftpdServer& operator=(const VsftpdServer&) = delete;

    int port = 0;

private:
    // vsftpd listens a moment after it starts; a probe connection that is accepted says so.
    static bool WaitForListener(int port)
    {
        for (int attempt = 0; attempt < 200; ++attempt) {
            EventLoop loop;
            TWSocket probe;
            bool connected = false, failed = false;
            probe.OnSessionConnected = [&](TCustomWSocket*, std::uint16_t error) {
                (error == 0 ? connected : failed) = true;
            };
            probe.SetAddr(Loopback());
            probe.SetPort(std::to_string(port));
            probe.Connect();
            loop.RunUntil([&] { return connected || failed; }, std::chrono::milliseconds(500));
            probe.Abort();
            if (connected) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    pid_t pid_ = -1;
};

// ---- the full server --------------------------------------------------------------------------

// The whole server in this process, as the headless program runs it: the controller with a
// scratch home (settings, account store, log file), the server thread with the session policy
// and the throttle. A thread of its own plays the window thread, so that the server thread's
// hand-offs are served at once whatever the benchmark's own thread is doing.
//
// The home gets a CorvaneServer.ini with FTP on Loopback() and a free port, 256 connections
// allowed, the screen log off and, with `logToFile`, every line written to the log file
// C:\corvaneserver.log (the default path), which is <home>/drive_c/corvaneserver.log.
// The first run's setup makes the "Anonymous" account (any password) sharing
// C:\My Downloads\, which is <home>/drive_c/My Downloads; `setup` runs on the window thread
// after start-up and before FTP starts, to add accounts or limits. `settingsLines` (lines ending
// in "\r\n") are added to the ServerData section.
class FullServer {
public:
    using Setup = std::function<void(serverController&)>;

    FullServer(const std::string& home, bool logToFile, Setup setup = nullptr, const std::string& settingsLines = {})
        : logFilePath(home + "/drive_c/corvaneserver.log"),
          shareFolder(home + "/drive_c/My Downloads")
    {
        const int chosen = FreeSettingsPort();
        std::filesystem::create_directories(home);
        std::ofstream(home + "/CorvaneServer.ini")
            << "[ServerData]\r\nPort=" << chosen << "\r\nUserSetServerIP=" << Loopback() << "\r\n"
            << "MaximumNumberOfConnections=256\r\nScreenLoggingEnabled=0\r\n"
            << "LoggingToFile=" << (logToFile ? 1 : 0) << "\r\nLogFilePath=C:\\corvaneserver.log\r\n"
            << settingsLines;
        std::promise<bool> listening;
        thread_ = std::thread([this, home, setup, chosen, &listening] { Run(home, setup, chosen, listening); });
        if (listening.get_future().get()) port = chosen;
    }

    ~FullServer()
    {
        if (EventLoop* loop = loop_.load()) loop->Quit();
        if (thread_.joinable()) thread_.join();
    }

    FullServer(const FullServer&) = delete;
    FullServer& operator=(const FullServer&) = delete;

    // Runs `work` on the window thread and waits for it.
    void OnWindowThread(const std::function<void(serverController&)>& work)
    {
        std::promise<void> done;
        loop_.load()->Post([this, &work, &done] {
            work(*controller_);
            done.set_value();
        });
        done.get_future().get();
    }

    // Stops both services and ends the server thread: its queued log lines are in the log
    // file when this returns.
    void StopServices()
    {
        OnWindowThread([](serverController& controller) { controller.stopServices(kServiceBoth); });
    }

    int port = 0;  // 0 when the FTP service did not start
    const std::string logFilePath;
    const std::string shareFolder;  // the host folder of C:\My Downloads

private:
    void Run(const std::string& home, const Setup& setup, int chosenPort, std::promise<bool>& listening)
    {
        SetProgramFolder(home);
        EventLoop loop;
        EventLoopWindowThread window(loop);
        SilentServerView view;
        serverController controller(window, view, {});
        controller.startUp();
        if (setup) setup(controller);
        if (controller.settings().Port == chosenPort) controller.startServices(kServiceFtp);
        // The port as the settings read it: a corrected one would not be the one chosen.
        const bool up = controller.settings().Port == chosenPort &&
                        loop.RunUntil([&controller] { return controller.ftpListening(); }, std::chrono::seconds(10));
        controller_ = &controller;
        loop_ = &loop;
        listening.set_value(up);
        loop.MessageLoop();
        controller.shutDown();
        loop_ = nullptr;
    }

    std::thread thread_;
    std::atomic<EventLoop*> loop_{nullptr};
    serverController* controller_ = nullptr;
};

// Lines of a text file that start with `prefix`.
inline long long CountLinesStartingWith(const std::string& path, const std::string& prefix)
{
    std::ifstream in(path, std::ios::binary);
    long long count = 0;
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, prefix.size(), prefix) == 0) ++count;
    return count;
}

// ---- FTP clients on the calling thread's loop ---------------------------------------------------

// Splits the bytes of a control connection into replies: a reply ends with a line that starts
// with three digits followed by a blank (or nothing), so the "230-" lines of a multi-line reply
// are part of it. Hands each ended reply's code to `onReply`.
class ReplySplitter {
public:
    template <typename OnReply>
    void Feed(std::string_view bytes, OnReply onReply)
    {
        for (char c : bytes) {
            if (c != '\n') {
                if (line_.size() < 8) line_.push_back(c);
                continue;
            }
            if (EndsReply(line_)) onReply(std::stoi(line_.substr(0, 3)));
            line_.clear();
        }
    }

private:
    static bool EndsReply(const std::string& line)
    {
        if (line.size() < 3) return false;
        for (int i = 0; i < 3; ++i)
            if (line[i] < '0' || line[i] > '9') return false;
        return line.size() == 3 || line[3] == ' ' || line[3] == '\r';
    }

    std::string line_;  // the first characters of the line being read: all that is looked at
};

// One control connection that logs in anonymously (PASS only when the server asks for it with
// 331), then does what `afterLogin` says: QUIT (the login benchmark) or NOOP after NOOP, one at
// a time (the NOOP benchmark). `done` is set at the 221 reply to QUIT; `failed` on any other
// reply, a refused connection or a close before the end.
class ScriptedFtpClient {
public:
    enum class AfterLogin { Quit, Noop };

    ScriptedFtpClient(int port, AfterLogin afterLogin)
        : afterLogin_(afterLogin)
    {
        socket_.SetLingerOnOff(wsLingerOff);
        socket_.SetComponentOptions(wsoNoReceiveLoop | wsoTcpNoDelay);
        socket_.OnSessionConnected = [this](TCustomWSocket*, std::uint16_t error) {
            if (error != 0) failure = "connect error " + std::to_string(error);
            if (error != 0) failed = true;
        };
        socket_.OnDataAvailable = [this](TCustomWSocket* s, std::uint16_t) {
            char buffer[4096];
            const int count = s->Receive(buffer, sizeof buffer);
            if (count > 0)
                replies_.Feed(std::string_view(buffer, static_cast<std::size_t>(count)),
                              [this](int code) { Reply(code); });
        };
        socket_.OnSessionClosed = [this](TCustomWSocket*, std::uint16_t) {
            if (!done && failure.empty()) failure = "closed after reply " + std::to_string(lastCode_);
            if (!done) failed = true;
        };
        socket_.SetAddr(Loopback());
        socket_.SetPort(std::to_string(port));
        socket_.Connect();
    }

    ScriptedFtpClient(const ScriptedFtpClient&) = delete;
    ScriptedFtpClient& operator=(const ScriptedFtpClient&) = delete;

    // NOOP clients: stop after the reply in flight and QUIT instead.
    void StopNooping() { stopNooping_ = true; }

    bool greeted = false, loggedIn = false, done = false, failed = false;
    std::string failure;  // what went wrong first, for the report
    long long noopReplies = 0;

private:
    enum class Step { Greeting, User, Pass, Noop, Quit, Done };

    void Reply(int code)
    {
        lastCode_ = code;
        switch (step_) {
        case Step::Greeting:
            greeted = true;
            Expect(code == 220, Step::User, "USER anonymous\r\n");
            break;
        case Step::User:
            if (code == 331) Expect(true, Step::Pass, "PASS bench@example.org\r\n");
            else LoggedIn(code);
            break;
        case Step::Pass: LoggedIn(code); break;
        case Step::Noop:
            ++noopReplies;
            Expect(code == 200, stopNooping_ ? Step::Quit : Step::Noop, stopNooping_ ? "QUIT\r\n" : "NOOP\r\n");
            break;
        case Step::Quit:
            done = code == 221;
            failed = !done;
            step_ = Step::Done;
            break;
        case Step::Done: break;
        }
    }

    void LoggedIn(int code)
    {
        loggedIn = code == 230;
        const bool noop = afterLogin_ == AfterLogin::Noop;
        Expect(loggedIn, noop ? Step::Noop : Step::Quit, noop ? "NOOP\r\n" : "QUIT\r\n");
    }

    void Expect(bool ok, Step next, const char* command)
    {
        if (!ok) {
            if (failure.empty())
                failure = "reply " + std::to_string(lastCode_) + " at step " + std::to_string(static_cast<int>(step_));
            failed = true;
            step_ = Step::Done;
            return;
        }
        step_ = next;
        socket_.SendStr(command);
    }

    TWSocket socket_;
    ReplySplitter replies_;
    AfterLogin afterLogin_;
    Step step_ = Step::Greeting;
    int lastCode_ = 0;
    bool stopNooping_ = false;
};

// The load average of the last minute, as uptime shows it.
inline double LoadAverage()
{
    double load = -1;
    std::ifstream("/proc/loadavg") >> load;
    return load;
}

// The smallest, middle and largest of a benchmark's measurements.
struct Spread {
    double min = 0, median = 0, max = 0;
};

inline Spread SpreadOf(std::vector<double> values)
{
    if (values.empty()) return {};
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    const double median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {values.front(), median, values.back()};
}

}  // namespace corvane::bench
