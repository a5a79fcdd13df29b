// The headless program's web server from the outside, with clients nobody here wrote: curl,
// wget and Python's http.client, on a share made by the server's own first run.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "../platform/scratch_folder.h"
#include "server_process.h"

namespace corvane {
namespace {

using testing::FreeLoopbackPort;
using testing::ReadFile;
using testing::RunPython;
using testing::ServerProcess;
using testing::WriteFile;

// Runs a shell command; its exit status, and what it wrote to standard output and error.
int RunShell(const std::string& command, std::string& output) { return testing::RunCommand(command + " 2>&1", output); }

class WebServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        home_ = scratch_.Join("home");
        share_ = home_ + "/drive_c/My Downloads";
        ftpPort_ = FreeLoopbackPort();
        httpPort_ = FreeLoopbackPort();
        while (httpPort_ == ftpPort_) httpPort_ = FreeLoopbackPort();
    }
    // Writes the settings (HTTP on, a 404 file) with `extra` ini lines, and starts the program.
    void StartServer(const std::string& extra = std::string())
    {
        WriteFile(home_ + "/CorvaneServer.ini",
                  "[ServerData]\r\nPort=" + std::to_string(ftpPort_) +
                      "\r\nUserSetServerIP=127.0.0.1\r\nWebServerPort=" + std::to_string(httpPort_) +
                      "\r\nRunWebServerNextTime=1\r\nWebServerError404Answer=C:\\404.htm\r\n" + extra);
        WriteFile(home_ + "/drive_c/404.htm", "<p>Nothing here, sorry.</p>");
        server_ = std::make_unique<ServerProcess>(home_, httpPort_);
        ASSERT_TRUE(server_->WaitListening());
    }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(httpPort_) + path; }
    // The program's output after an orderly stop (the log lines reach it at the stop).
    std::string StopAndReadLog()
    {
        EXPECT_EQ(server_->StopWith(SIGTERM), 0);
        return ReadFile(server_->OutputPath());
    }

    testing::ScratchFolder scratch_;
    std::string home_, share_;
    int ftpPort_ = 0, httpPort_ = 0;
    std::unique_ptr<ServerProcess> server_;
};

TEST_F(WebServer, CurlAndWgetFetchResumeAndCopyTheTree)
{
    std::string big(3 * 1024 * 1024 + 11, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 7919) >> 5);
    const std::vector<std::pair<std::string, std::string>> files = {
        {"big.bin", big},
        {"read me & more.txt", "spaces and an ampersand"},
        {"caf\xC3\xA9.txt", "a name in UTF-8"},
        {"100%.txt", "a percent sign"},
        {"music/deep/song.mp3", "la la la"},
        {"music/index-less/notes.txt", "notes"},
    };
    for (const auto& [name, content] : files) WriteFile(share_ + "/" + name, content);
    StartServer();

    std::string output;
    ASSERT_EQ(RunShell("curl -sf -o " + scratch_.Join("got.bin") + " " + Url("/big.bin"), output), 0) << output;
    EXPECT_EQ(ReadFile(scratch_.Join("got.bin")), big);
    // A download cut short is resumed from where it stopped.
    WriteFile(scratch_.Join("part.bin"), big.substr(0, 1000000));
    ASSERT_EQ(RunShell("curl -sf -C - -o " + scratch_.Join("part.bin") + " " + Url("/big.bin"), output), 0) << output;
    EXPECT_EQ(ReadFile(scratch_.Join("part.bin")), big);
    WriteFile(scratch_.Join("wpart.bin"), big.substr(0, 2000000));
    ASSERT_EQ(RunShell("cd " + scratch_.Path() + " && wget -q -c -O wpart.bin " + Url("/big.bin"), output), 0)
        << output;
    EXPECT_EQ(ReadFile(scratch_.Join("wpart.bin")), big);

    // wget walks the folder pages by their links; the pages are kept under the names the
    // links give them.
    const std::string mirror = scratch_.Join("mirror");
    ASSERT_EQ(RunShell("wget -q -r -np -nH -l 5 --trust-server-names -P " + mirror + " " + Url("/"), output), 0)
        << output;
    for (const auto& [name, content] : files) EXPECT_EQ(ReadFile(mirror + "/" + name), content) << name;
    EXPECT_EQ(ReadFile(mirror + "/images/folder.gif").substr(0, 6), "GIF89a");
    const std::string log = StopAndReadLog();
    EXPECT_NE(log.find("< HTTP GET /big.bin [127.0.0.1 <- 127.0.0.1 ("), std::string::npos);
    EXPECT_NE(log.find("! HTTP 127.0.0.1 : "), std::string::npos);
    EXPECT_NE(log.find(" disconnected"), std::string::npos);
}

// A file's content as a failure shows it: its size and a hash of its bytes.
std::string Summary(const std::string& content)
{
    return std::to_string(content.size()) + " bytes, hash " + std::to_string(std::hash<std::string>()(content));
}

// The files under a folder by their paths in it, with their contents' summaries, but for those
// inside the folder `skipFolder` and the pages named `skipName`.
std::map<std::string, std::string> FilesUnder(const std::string& folder, const std::string& skipFolder,
                                              const std::string& skipName = std::string())
{
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        const std::string path = std::filesystem::relative(entry.path(), folder).string();
        if (path.rfind(skipFolder + "/", 0) == 0 || entry.path().filename() == skipName) continue;
        files[path] = Summary(ReadFile(entry.path().string()));
    }
    return files;
}

TEST_F(WebServer, RcloneAndWgetCopyNestedFoldersWithAwkwardNamesByteForByte)
{
    if (std::system("command -v rclone >/dev/null 2>&1") != 0) GTEST_SKIP() << "rclone is not installed";
    const auto tree = testing::AwkwardlyNamedTree();
    testing::WriteTree(share_, tree);
    std::map<std::string, std::string> expected;
    for (const auto& [path, content] : tree) expected[path] = Summary(content);
    StartServer();
    std::string output;
    const std::string copy = scratch_.Join("rclone copy");
    ASSERT_EQ(RunShell("rclone --config /dev/null --low-level-retries 1 --retries 1 copy --http-url " + Url("/") +
                           " :http: '" + copy + "'",
                       output),
              0)
        << output;
    EXPECT_EQ(FilesUnder(copy, "images"), expected);
    // wget keeps each folder's page as its index.html; the folders it reaches by their links.
    const std::string mirror = scratch_.Join("wget mirror");
    ASSERT_EQ(RunShell("wget -q -r -np -nH -l 8 -P '" + mirror + "' " + Url("/"), output), 0) << output;
    EXPECT_EQ(FilesUnder(mirror, "images", "index.html"), expected);
    // No folder was asked for without its final "/": nobody needed a redirect.
    const std::string log = StopAndReadLog();
    EXPECT_EQ(log.find("< HTTP GET /50%25%20off ["), std::string::npos) << log;
    EXPECT_NE(log.find("< HTTP GET /50%25%20off/ ["), std::string::npos) << log;
}

constexpr const char* kPipelineScript = R"PY(
import http.client, socket, sys
port = int(sys.argv[1])
sock = socket.create_connection(('127.0.0.1', port), timeout=10)
sock.sendall(b'GET /one.txt HTTP/1.1\r\nHost: x\r\n\r\n'
             b'GET /missing HTTP/1.1\r\nHost: x\r\n\r\n'
             b'GET /two.txt HTTP/1.1\r\nHost: x\r\n\r\n')
reader = sock.makefile('rb')
class Kept:  # an answer closes its stream when read: the connection's one stream stays open
    def __getattr__(self, name):
        return getattr(reader, name)
    def close(self):
        pass
class Shared:  # every answer reads from the one buffered stream of the connection
    def makefile(self, *args, **kwargs):
        return Kept()
for _ in range(3):
    answer = http.client.HTTPResponse(Shared())
    answer.begin()
    print(answer.status, answer.getheader('Connection'), answer.read().decode())
)PY";

TEST_F(WebServer, HttpClientGetsThreePipelinedAnswersInOrder)
{
    WriteFile(share_ + "/one.txt", "first");
    WriteFile(share_ + "/two.txt", "third");
    StartServer();
    std::string output;
    ASSERT_EQ(RunPython(kPipelineScript, {std::to_string(httpPort_)}, output), 0) << output;
    EXPECT_EQ(output, "200 keep-alive first\n404 keep-alive <p>Nothing here, sorry.</p>\n200 keep-alive third\n");
}

TEST_F(WebServer, NothingOutsideTheRootIsEverRead)
{
    WriteFile(home_ + "/drive_c/secret.txt", "SECRET");
    WriteFile(share_ + "/sub/inside.txt", "inside");
    StartServer();
    for (const char* path :
         {"/../secret.txt", "/%2e%2e/secret.txt", "/..%2fsecret.txt", "/sub/..%5c..%5csecret.txt", "/..\\secret.txt",
          "//../secret.txt", "/sub//../../secret.txt", "/%252e%252e/secret.txt", "/sub/%2e%2e/%2e%2e/secret.txt"}) {
        std::string output;
        RunShell("curl -s --path-as-is -w ' %{http_code}' '" + Url(path) + "'", output);
        EXPECT_EQ(output, "<p>Nothing here, sorry.</p> 404") << path;
    }
    std::string output;
    RunShell("curl -s --path-as-is '" + Url("/sub/../sub/inside.txt") + "'", output);
    EXPECT_EQ(output, "inside");
}

TEST_F(WebServer, ARootWrittenWithItsFinalBackslashServesWhatLiesUnderIt)
{
    WriteFile(home_ + "/drive_c/top.txt", "on the drive");
    WriteFile(share_ + "/shared.txt", "in the share");
    struct Case {
        const char* root;
        const char* path;
        const char* answer;
    };
    for (const Case& c : {Case{"C:\\", "/top.txt", "on the drive 200"},
                          Case{"C:\\", "/My%20Downloads/shared.txt", "in the share 200"},
                          Case{"C:\\My Downloads\\", "/shared.txt", "in the share 200"},
                          Case{"C:\\My Downloads\\", "/../top.txt", "<p>Nothing here, sorry.</p> 404"}}) {
        StartServer(std::string("WebServerRoot=") + c.root + "\r\n");
        std::string output;
        RunShell("curl -s --path-as-is -w ' %{http_code}' '" + Url(c.path) + "'", output);
        EXPECT_EQ(output, c.answer) << c.root << " " << c.path;
        EXPECT_EQ(server_->StopWith(SIGTERM), 0);
    }
}

TEST_F(WebServer, FoldersRedirectListOrServeTheirIndex)
{
    WriteFile(share_ + "/music/a&b c.txt", "x");
    WriteFile(share_ + "/site/index.htm", "<h1>welcome</h1>");
    StartServer();
    std::string output;
    RunShell("curl -s -i " + Url("/music"), output);
    EXPECT_NE(output.find("HTTP/1.1 301 Moved Permanently\r\n"), std::string::npos) << output;
    EXPECT_NE(output.find("Location: http://127.0.0.1:" + std::to_string(httpPort_) + "/music/\r\n"),
              std::string::npos);
    EXPECT_NE(output.find("content=\"0;URL=http://127.0.0.1:" + std::to_string(httpPort_) + "/music/\">"),
              std::string::npos);
    output.clear();
    RunShell("curl -s -L " + Url("/music"), output);
    EXPECT_NE(output.find("<A HREF=\"/music/a&amp;b%20c.txt\">"), std::string::npos) << output;
    EXPECT_NE(output.find("> a&amp;b c.txt</A>"), std::string::npos);
    output.clear();
    RunShell("curl -s " + Url("/site/"), output);
    EXPECT_EQ(output, "<h1>welcome</h1>");
    output.clear();
    // HEAD outside the root is answered as GET is: 404.
    RunShell("curl -s -I --path-as-is " + Url("/../secret.txt"), output);
    EXPECT_EQ(output.substr(0, 22), "HTTP/1.1 404 Not Found");
}

// For each path, a GET and then a HEAD on one kept-alive connection (a new one after an answer
// that closes it): the status and the header fields but the date, Content-Length among them; a
// body sent after a HEAD would be read as the next answer and break it.
constexpr const char* kHeadScript = R"PY(
import http.client, sys
conn = http.client.HTTPConnection('127.0.0.1', int(sys.argv[1]), timeout=10)
def ask(method, path):
    conn.request(method, path)
    answer = conn.getresponse()
    body = answer.read()
    fields = [(k, v) for k, v in answer.getheaders() if k != 'Date']
    return answer.status, fields, body
for path in sys.argv[2:]:
    got, head = ask('GET', path), ask('HEAD', path)
    same = got[:2] == head[:2] and head[2] == b''
    print(path, got[0], head[0], 'same' if same else 'differs %r %r %r' % (got[1], head[1], head[2]))
)PY";

TEST_F(WebServer, HeadAnswersWhatGetWouldWithoutTheBody)
{
    WriteFile(share_ + "/music/song.mp3", "la la la");
    WriteFile(share_ + "/site/index.htm", "<h1>welcome</h1>");
    StartServer();
    // The redirect, the listing, a folder's index, a file, the 404 file inside and outside.
    const std::vector<std::pair<std::string, int>> cases = {{"/music", 301},         {"/music/", 200},
                                                            {"/site/", 200},         {"/music/song.mp3", 200},
                                                            {"/missing.txt", 404},   {"/../outside.txt", 404}};
    std::vector<std::string> arguments = {std::to_string(httpPort_)};
    std::string expected;
    for (const auto& [path, status] : cases) {
        arguments.push_back(path);
        expected += path + " " + std::to_string(status) + " " + std::to_string(status) + " same\n";
    }
    std::string output;
    ASSERT_EQ(RunPython(kHeadScript, arguments, output), 0) << output;
    EXPECT_EQ(output, expected);
}

constexpr const char* kRefusedScript = R"PY(
import socket, sys
sock = socket.create_connection(('127.0.0.1', int(sys.argv[1])), timeout=10)
sock.sendall(sys.argv[2].encode() + b' / HTTP/1.1\r\nHost: x\r\n\r\n' + b'x' * 100000)
received = b''
while True:
    chunk = sock.recv(65536)  # a reset would raise here instead of ending the text
    if not chunk:
        break
    received += chunk
print(received.decode())
)PY";

TEST_F(WebServer, ARefusedAddressGetsOnlyTheForbiddenTextAndAnOrderlyClose)
{
    StartServer("IPListMode=1\r\nIPListCount=1\r\nIPListData0=127.0.0.1\r\n");
    // The refusal goes before any request is read: a HEAD gets the same text as a GET.
    for (const char* method : {"GET", "HEAD"}) {
        std::string output;
        ASSERT_EQ(RunPython(kRefusedScript, {std::to_string(httpPort_), method}, output), 0) << output;
        EXPECT_EQ(output,
                  "<HTML><HEAD><TITLE>403 Forbidden</TITLE></HEAD><BODY><H1>Forbidden IP</H1>Due to IP/DNS blocking "
                  "rules in place in this server, you are forbidden to access the page.<P></BODY></HTML>\n")
            << method;
    }
    EXPECT_NE(StopAndReadLog().find("! HTTP 127.0.0.1 : "), std::string::npos);
}

}  // namespace
}  // namespace corvane
