// The web server's engine on a thread of its own, serving a scratch folder mapped as drive C:,
// and a raw loopback client that sends bytes and reads the answers as they come.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <future>
#include <thread>

#include "../core/test_client.h"
#include "../platform/scratch_folder.h"
#include "http/http_server.h"
#include "platform/drive_map.h"
#include "platform/event_loop.h"

namespace corvane::testing {

// One answer cut out of the bytes a connection received.
struct HttpAnswer {
    std::string statusLine;
    std::string header;  // the header lines, each ending in CR LF
    std::string body;
    std::string Field(const std::string& name) const
    {
        const std::size_t at = header.find(name + ": ");
        if (at == std::string::npos) return "<none>";
        const std::size_t start = at + name.size() + 2;
        return header.substr(start, header.find("\r\n", start) - start);
    }
};

// Splits received bytes into answers by their Content-Length (answers to HEAD, by their index in
// `heads`, have none); a rest without a whole header or body is left in `bytes`.
inline std::vector<HttpAnswer> SplitAnswers(std::string& bytes, const std::vector<std::size_t>& heads = {})
{
    std::vector<HttpAnswer> answers;
    for (;;) {
        const std::size_t end = bytes.find("\r\n\r\n");
        if (end == std::string::npos) break;
        HttpAnswer answer;
        const std::size_t firstEnd = bytes.find("\r\n");
        answer.statusLine = bytes.substr(0, firstEnd);
        answer.header = bytes.substr(firstEnd + 2, end + 2 - (firstEnd + 2));
        const std::string length = answer.Field("Content-Length");
        const bool head = std::find(heads.begin(), heads.end(), answers.size()) != heads.end();
        const std::size_t bodyLength = length == "<none>" || head ? 0 : std::stoull(length);
        if (bytes.size() < end + 4 + bodyLength) break;
        answer.body = bytes.substr(end + 4, bodyLength);
        bytes.erase(0, end + 4 + bodyLength);
        answers.push_back(answer);
    }
    return answers;
}

class RawHttpClient {
public:
    explicit RawHttpClient(int port) { fd_ = ConnectLoopback(port, connected_); }
    ~RawHttpClient() { ::close(fd_); }
    bool Connected() const { return connected_; }
    // Sends everything (false when the server stopped taking it).
    bool Send(const std::string& bytes)
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t sent = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (sent <= 0) return false;
            done += static_cast<std::size_t>(sent);
        }
        return true;
    }
    // Reads until the server closes, or until nothing came for `quiet`. `closed` tells which.
    std::string ReadAll(std::chrono::milliseconds quiet, bool& closed)
    {
        std::string received;
        closed = false;
        for (;;) {
            pollfd ready{fd_, POLLIN, 0};
            if (::poll(&ready, 1, static_cast<int>(quiet.count())) <= 0) return received;
            char buffer[65536];
            const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
            if (got <= 0) {
                closed = true;
                reset_ = got < 0 && errno == ECONNRESET;
                return received;
            }
            received.append(buffer, static_cast<std::size_t>(got));
        }
    }
    // Waits until the server has sent something (or closed), without reading it.
    bool WaitReadable(std::chrono::milliseconds limit) const
    {
        pollfd ready{fd_, POLLIN, 0};
        return ::poll(&ready, 1, static_cast<int>(limit.count())) > 0;
    }
    // The server's end came as a reset rather than a FIN.
    bool Reset() const { return reset_; }
    void Close()
    {
        ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
    bool connected_ = false;
    bool reset_ = false;
};

class HttpEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = DriveMap::Snapshot();
        std::filesystem::create_directories(scratch_.Join("www"));
        DriveMap::Configure({{'C', scratch_.Path()}}, scratch_.Path());
        port_ = FreeLoopbackPort();
    }
    void TearDown() override
    {
        if (thread_.joinable()) {
            loop_->Post([this] {
                server_.reset();
                EventLoop::Current()->Quit();
            });
            thread_.join();
        }
        DriveMap::Configure(saved_, scratch_.Path());
    }
    // Starts the engine on its thread; `configure` runs there before Start.
    void StartEngine(const std::function<void(THttpServer&)>& configure = {})
    {
        std::promise<void> ready;
        thread_ = std::thread([this, &ready, configure] {
            EventLoop loop;
            loop_ = &loop;
            server_ = std::make_unique<THttpServer>();
            server_->SetAddr("127.0.0.1");
            server_->SetPort(std::to_string(port_));
            server_->DocDir = "C:\\www";
            if (configure) configure(*server_);
            server_->Start();
            ready.set_value();
            loop.MessageLoop();
        });
        ready.get_future().wait();
    }
    void PutFile(const std::string& name, const std::string& content) { scratch_.Put("www/" + name, content); }
    // Sends the bytes on a new connection and reads until it closes or stays quiet for `quiet`.
    std::string Exchange(const std::string& request, bool& closed,
                         std::chrono::milliseconds quiet = std::chrono::milliseconds(1500))
    {
        RawHttpClient client(port_);
        EXPECT_TRUE(client.Connected());
        client.Send(request);
        return client.ReadAll(quiet, closed);
    }

    ScratchFolder scratch_;
    int port_ = 0;
    std::map<char, std::string> saved_;
    std::thread thread_;
    EventLoop* loop_ = nullptr;
    std::unique_ptr<THttpServer> server_;  // the engine thread's
};

}  // namespace corvane::testing
