// A real FTP service on a scratch program folder for the session policy's tests, and a
// blocking FTP client for them.
//
// The server thread runs closures on the window thread (the test's thread) and waits for them,
// so a client never runs on the test's thread: RunClients runs the client code on threads of
// its own while the test's thread serves the window queue. Every read of a client gives up
// after a few seconds, so a fault ends the test instead of hanging it.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "../platform/scratch_folder.h"
#include "accounts/folder_entry.h"
#include "common/program_folder.h"
#include "core/event_loop_window_thread.h"
#include "core/server_controller.h"
#include "test_client.h"
#include "window_thread_pump.h"

namespace corvane::testing {

// What the server shows on the window thread: the screen log and the most rows the session
// table ever had (which a client thread may wait for).
struct SessionRecordingView : SilentServerView {
    std::vector<std::string> lines;
    const sessionTable* table = nullptr;
    std::atomic<std::size_t> mostRows{0};
    void AppendScreenLog(const std::string& line) override { lines.push_back(line); }
    void RefreshSessionView() override
    {
        if (table != nullptr) mostRows = std::max(mostRows.load(), table->Count());
    }
    int CountContaining(const std::string& text) const
    {
        int n = 0;
        for (const auto& line : lines) n += line.find(text) != std::string::npos ? 1 : 0;
        return n;
    }
    // The operator's part in a message box, run on the window thread until it is answered; no
    // box is shown without it.
    std::function<void(const std::string& text)> messageBox;
    bool ShowMessageBox(MessageKind, const std::string& text) override
    {
        if (!messageBox) return false;
        messageBox(text);
        return true;
    }
};

// A blocking FTP client. One thread at a time.
class FtpTestClient {
public:
    // `sourceAddress` picks the loopback address the client connects from (127.0.0.1 when
    // empty), so that tests can play clients of different addresses.
    explicit FtpTestClient(int port, const std::string& sourceAddress = "") { fd_ = Connect(port, sourceAddress); }
    ~FtpTestClient() { Close(); }
    FtpTestClient(const FtpTestClient&) = delete;
    FtpTestClient& operator=(const FtpTestClient&) = delete;

    bool Connected() const { return fd_ >= 0; }
    void Close()
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    void Send(const std::string& text) const
    {
        if (fd_ >= 0) ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL);
    }

    // The next line without its CR LF; "<timeout>" or "<closed>" when none comes.
    std::string ReadLine(std::chrono::milliseconds timeout = std::chrono::milliseconds(8000))
    {
        for (std::string line;;) {
            if (TakeLine(pending_, line)) return line;
            const std::string more = Receive(fd_, timeout);
            if (more.empty()) return closedByServer_ ? "<closed>" : "<timeout>";
            pending_ += more;
        }
    }

    // Everything the server sends until it closes the connection (or the timeout).
    std::string ReadUntilClosed(std::chrono::milliseconds timeout = std::chrono::milliseconds(8000))
    {
        std::string all = pending_;
        pending_.clear();
        for (;;) {
            const std::string more = Receive(fd_, timeout);
            if (more.empty()) return all;
            all += more;
        }
    }
    bool ClosedByServer() const { return closedByServer_; }

    // One whole reply: its lines joined by "\n" (a multi-line reply ends at "ddd ").
    std::string Reply()
    {
        std::string reply = ReadLine();
        if (reply.size() < 4 || reply[3] != '-') return reply;
        const std::string end = reply.substr(0, 3) + " ";
        for (;;) {
            const std::string line = ReadLine();
            reply += "\n" + line;
            if (line.rfind(end, 0) == 0 || line == "<timeout>" || line == "<closed>") return reply;
        }
    }

    std::string Command(const std::string& line)
    {
        Send(line + "\r\n");
        return Reply();
    }

    // Reads the greeting, sends USER and PASS; the reply to PASS.
    std::string Login(const std::string& user, const std::string& password)
    {
        Reply();
        return LoginAgain(user, password);
    }
    std::string LoginAgain(const std::string& user, const std::string& password)
    {
        Command("USER " + user);
        return Command("PASS " + password);
    }

    // A passive data connection and the transfer command on it: the data socket once the
    // server has answered 150 or 125, else -1 with the reply (or why there is none) in `refusal`.
    int StartTransfer(const std::string& command, std::string& refusal)
    {
        const int dataFd = OpenPassive();
        if (dataFd < 0) {
            refusal = "<no passive connection>";
            return -1;
        }
        refusal = Command(command);
        if (refusal.rfind("150", 0) == 0 || refusal.rfind("125", 0) == 0) return dataFd;
        ::close(dataFd);
        return -1;
    }

    // A download or listing through a passive data connection: the final reply (or the
    // refusal), with the bytes received in `data`. `onData` hears the running byte count.
    std::string Retrieve(const std::string& command, std::string& data,
                         const std::function<void(std::size_t)>& onData = nullptr)
    {
        data.clear();
        std::string refusal;
        const int dataFd = StartTransfer(command, refusal);
        if (dataFd < 0) return refusal;
        for (;;) {
            const std::string more = Receive(dataFd, std::chrono::milliseconds(8000));
            if (more.empty()) break;
            data += more;
            if (onData) onData(data.size());
            if (fd_ < 0) break;  // the client has gone in the middle of it
        }
        ::close(dataFd);
        return Reply();
    }

    // An upload through a passive data connection: the final reply (or the refusal).
    std::string Store(const std::string& command, const std::string& data)
    {
        std::string refusal;
        const int dataFd = StartTransfer(command, refusal);
        if (dataFd < 0) return refusal;
        std::size_t sent = 0;
        while (sent < data.size()) {
            const ssize_t n = ::send(dataFd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) break;
            sent += static_cast<std::size_t>(n);
        }
        ::close(dataFd);
        return Reply();
    }

    // A listing's entry names (the last word of each line).
    static std::vector<std::string> Names(const std::string& listing)
    {
        std::vector<std::string> names;
        std::size_t start = 0;
        while (start < listing.size()) {
            std::size_t end = listing.find("\r\n", start);
            if (end == std::string::npos) end = listing.size();
            const std::string line = listing.substr(start, end - start);
            const std::size_t blank = line.rfind(' ');
            const std::string name = blank == std::string::npos ? line : line.substr(blank + 1);
            if (!name.empty() && name != "." && name != "..") names.push_back(name);
            start = end + 2;
        }
        return names;
    }

private:
    static int Connect(int port, const std::string& sourceAddress)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0) return -1;
        if (!sourceAddress.empty()) {
            sockaddr_in source{};
            source.sin_family = AF_INET;
            ::inet_pton(AF_INET, sourceAddress.c_str(), &source.sin_addr);
            if (::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0) {
                ::close(fd);
                return -1;
            }
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }

    // What arrives within the timeout; empty when nothing does or the peer has closed.
    std::string Receive(int fd, std::chrono::milliseconds timeout)
    {
        if (fd < 0) return {};
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(timeout.count())) <= 0) return {};
        char buffer[65536];
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            if (fd == fd_) closedByServer_ = true;
            return {};
        }
        return std::string(buffer, static_cast<std::size_t>(got));
    }

    // PASV, then a connection to the port it names; -1 when either fails.
    int OpenPassive()
    {
        const std::string reply = Command("PASV");
        const std::size_t open = reply.find('(');
        if (reply.rfind("227", 0) != 0 || open == std::string::npos) return -1;
        int h1 = 0, h2 = 0, h3 = 0, h4 = 0, p1 = 0, p2 = 0;
        if (std::sscanf(reply.c_str() + open, "(%d,%d,%d,%d,%d,%d)", &h1, &h2, &h3, &h4, &p1, &p2) != 6) return -1;
        return Connect(p1 * 256 + p2, "");
    }

    int fd_ = -1;
    bool closedByServer_ = false;
    std::string pending_;
};

// The program folder comes first: the controller takes it when it is made.
struct ScratchProgramFolder {
    ScratchFolder home;
    ScratchProgramFolder() { SetProgramFolder(home.Path()); }
};

class SessionServerTest : public ::testing::Test, protected ScratchProgramFolder {
protected:
    ~SessionServerTest() override
    {
        if (controller) controller->shutDown();
    }

    // Writes the settings (the port and the loopback address, plus `extraSettings` lines of
    // the ServerData section) and starts the controller up; no account exists yet. The
    // sessions log in with passwords in the clear: the policy is what these tests look at.
    void StartUp(const std::string& extraSettings = "",
                 std::chrono::milliseconds tick = std::chrono::milliseconds(10000))
    {
        home.Put("CorvaneServer.ini", "[ServerData]\r\nPort=" + std::to_string(port) +
                                          "\r\nUserSetServerIP=127.0.0.1\r\nServerFirstRun=0\r\n"
                                          "TlsRequiredForPasswordLogins=0\r\n"
                                          // The cheapest hash: these tests are about the policy.
                                          "PasswordHashPasses=1\r\nPasswordHashMemoryKiB=8\r\n" +
                                          extraSettings);
        controller = std::make_unique<serverController>(window, view, std::vector<std::string>{});
        controller->setTickInterval(tick);
        view.table = &controller->sessions();
        controller->startUp();
    }

    void Listen()
    {
        controller->startServices(kServiceFtp);
        ASSERT_TRUE(PumpUntil(loop, [this] { return controller->ftpListening(); }));
    }

    // Stopping the service hands every queued log line to the view.
    void StopAndFlushLog() { controller->stopServices(kServiceBoth); }

    permissionsClass& accounts() { return controller->accounts(); }

    // Makes the host folder of a real folder under C:\ ("Home\sub" -> C:\Home\sub\) and
    // answers the real path with its trailing "\".
    std::string MakeFolder(const std::string& relative)
    {
        std::string host = relative;
        for (char& c : host)
            if (c == '\\') c = '/';
        std::filesystem::create_directories(home.Join("drive_c/" + host));
        return "C:\\" + relative + "\\";
    }
    void PutFile(const std::string& relative, const std::string& content)
    {
        std::string host = relative;
        for (char& c : host)
            if (c == '\\') c = '/';
        std::filesystem::create_directories(std::filesystem::path(home.Join("drive_c/" + host)).parent_path());
        home.Put("drive_c/" + host, content);
    }
    bool HostExists(const std::string& relative) const
    {
        std::string host = relative;
        for (char& c : host)
            if (c == '\\') c = '/';
        return std::filesystem::exists(home.Join("drive_c/" + host));
    }

    // Grants the flags named by letters (g p l c m d r i) on a real folder.
    void Grant(const std::string& account, const std::string& folder, const std::string& letters)
    {
        for (const char letter : letters) {
            const FolderFlag flag = letter == 'g'   ? FolderFlag::get
                                    : letter == 'p' ? FolderFlag::put
                                    : letter == 'l' ? FolderFlag::list
                                    : letter == 'c' ? FolderFlag::CWD
                                    : letter == 'm' ? FolderFlag::mkDir
                                    : letter == 'd' ? FolderFlag::dele
                                    : letter == 'r' ? FolderFlag::rmd
                                                    : FolderFlag::inherit;
            accounts().Folders().GrantFlag(account, folder, flag);
        }
    }

    // A user of "All Others" whose home is the given folder, with those rights there.
    void AddUser(const std::string& name, const std::string& password, const std::string& homeFolder,
                 const std::string& letters = "glci")
    {
        ASSERT_TRUE(accounts().AddUser(name, password, "All Others"));
        Grant(name, homeFolder, letters);
        accounts().Folders().SetHomeFolder(name, homeFolder);
    }

    // Runs each body on a thread of its own while this thread serves the window queue; returns
    // when all have ended.
    void RunClients(const std::vector<std::function<void()>>& bodies)
    {
        std::atomic<int> running{static_cast<int>(bodies.size())};
        std::vector<std::thread> threads;
        threads.reserve(bodies.size());
        for (const auto& body : bodies)
            threads.emplace_back([&body, &running] {
                body();
                --running;
            });
        while (running.load() > 0)
            loop.RunUntil([&running] { return running.load() == 0; }, std::chrono::milliseconds(1));
        for (auto& t : threads) t.join();
    }
    void RunClient(const std::function<void()>& body) { RunClients({body}); }

    bool Pump(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000))
    {
        return PumpUntil(loop, done, timeout);
    }

    int port = FreeLoopbackPort();
    EventLoop loop;
    EventLoopWindowThread window{loop};
    SessionRecordingView view;
    std::unique_ptr<serverController> controller;
};

}  // namespace corvane::testing
