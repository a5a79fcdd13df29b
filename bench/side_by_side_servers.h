// This server and vsftpd side by side on loopback, for the benchmarks that compare them.
//
// This server is a TFtpServer on a thread of its own that accepts every login, with drive C:
// mapped to its root and "C:\" as every client's home. vsftpd (the Debian package, run as
// root) serves its own root anonymously; without it, or without root, only this server runs
// and vsftpdPort stays 0.
#pragma once

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>

#include "ftp/ftp_server.h"
#include "platform/drive_map.h"

namespace corvane::bench {

inline constexpr char kVsftpd[] = "/usr/sbin/vsftpd";

inline int FreePort()
{
    EventLoop loop;
    TWSocket probe;
    probe.SetAddr("127.0.0.1");
    probe.SetPort("0");
    probe.Listen();
    return std::stoi(probe.GetXPort());
}

// A fresh scratch folder that vsftpd may read (mode 0755), removed by whoever made it.
inline std::string MakeScratchBase()
{
    char pattern[] = "/tmp/corvane-bench-XXXXXX";
    const std::string base = ::mkdtemp(pattern);
    ::chmod(base.c_str(), 0755);
    return base;
}

class SideBySideServers {
public:
    // `base` holds vsftpd's configuration; `uploads` lets vsftpd's anonymous user write.
    SideBySideServers(const std::string& base, const std::string& oursRoot, const std::string& vsRoot, bool uploads)
    {
        StartOurs(base, oursRoot);
        StartVsftpd(base, vsRoot, uploads);
    }

    ~SideBySideServers()
    {
        if (vsftpdPid_ > 0) {
            ::kill(vsftpdPid_, SIGTERM);
            ::waitpid(vsftpdPid_, nullptr, 0);
        }
        if (loop_ != nullptr) loop_->Quit();
        if (thread_.joinable()) thread_.join();
    }

    SideBySideServers(const SideBySideServers&) = delete;
    SideBySideServers& operator=(const SideBySideServers&) = delete;

    int oursPort = 0, vsftpdPort = 0;

private:
    void StartOurs(const std::string& base, const std::string& root)
    {
        DriveMap::Configure({{'C', root}}, base);
        std::promise<int> port;
        thread_ = std::thread([this, &port] {
            EventLoop loop;
            TFtpServer server;
            server.SetAddr("127.0.0.1");
            server.SetPort("0");
            server.OnClientConnect = [](TFtpServer*, TFtpCtrlSocket* client, std::uint16_t) {
                client->SetHomeDirectory("C:\\");
            };
            server.Start();
            loop_ = &loop;
            port.set_value(std::stoi(server.ServerWSocket().GetXPort()));
            loop.MessageLoop();
            server.DisconnectAll();
        });
        oursPort = port.get_future().get();
    }

    void StartVsftpd(const std::string& base, const std::string& root, bool uploads)
    {
        if (::access(kVsftpd, X_OK) != 0 || ::geteuid() != 0) return;
        vsftpdPort = FreePort();
        const std::string conf = base + "/vsftpd.conf";
        std::ofstream out(conf);
        out << "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=" << vsftpdPort
            << "\nbackground=NO\nanonymous_enable=YES\nno_anon_password=YES\nanon_root=" << root << "\n"
            << (uploads ? "write_enable=YES\nanon_upload_enable=YES\nanon_other_write_enable=YES\n" : "")
            << "local_enable=NO\nseccomp_sandbox=NO\nmax_clients=0\nmax_per_ip=0\n"
               "secure_chroot_dir=/var/run/vsftpd/empty\nxferlog_enable=NO\nsyslog_enable=NO\n"
               "vsftpd_log_file=/dev/null\n";
        out.close();
        vsftpdPid_ = ::fork();
        if (vsftpdPid_ == 0) {
            ::execl(kVsftpd, kVsftpd, conf.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }

    std::thread thread_;
    EventLoop* loop_ = nullptr;
    pid_t vsftpdPid_ = -1;
};

}  // namespace corvane::bench
