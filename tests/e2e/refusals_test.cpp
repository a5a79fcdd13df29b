// Refusals that a client must read, through the headless program: each is followed by an
// orderly close (the line, then the end of the stream), never by a reset, even for a client
// that talks before it has read anything; and connections that never log in are closed.
#include <gtest/gtest.h>

#include "server_process.h"

namespace corvane {
namespace {

using testing::FreeLoopbackPort;
using testing::HomeWithSettings;
using testing::RunPython;
using testing::ServerProcess;
using testing::WriteFile;

// Connects `count` times; each client sends a login at once, waits for the server to end the
// connection, then reads to the end.
// Prints each different ending with how often it came.
constexpr const char* kEagerClientsScript = R"PY(
import socket, sys, time
port, count = int(sys.argv[1]), int(sys.argv[2])
endings = {}
for i in range(count):
    s = socket.create_connection(('127.0.0.1', port), timeout=10)
    s.sendall(b'USER anonymous\r\nPASS x\r\n')
    # Nothing is read until the server has ended the connection (a FIN, or a reset that would
    # throw away the refusal): the state leaves ESTABLISHED.
    deadline = time.monotonic() + 10
    while s.getsockopt(socket.IPPROTO_TCP, socket.TCP_INFO, 8)[0] == 1 and time.monotonic() < deadline:
        time.sleep(0.005)
    got = b''
    try:
        while True:
            block = s.recv(4096)
            if not block:
                break
            got += block
        ending = got.decode()
    except ConnectionResetError:
        ending = 'reset after ' + got.decode()
    endings[ending] = endings.get(ending, 0) + 1
    s.close()
for ending, n in sorted(endings.items()):
    print(n, repr(ending))
)PY";

struct RefusalCase {
    const char* name;
    const char* settings;  // lines of [ServerData] beside the port
    const char* line;      // what every client reads before the end of the stream
};

void PrintTo(const RefusalCase& refusal, std::ostream* out) { *out << refusal.name; }

class Refusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(Refusals, EndInAnOrderlyClose)
{
    corvane::testing::ScratchFolder scratch;
    const int port = FreeLoopbackPort();
    const std::string home = HomeWithSettings(scratch, port, GetParam().settings);
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    std::string output;
    ASSERT_EQ(RunPython(kEagerClientsScript, {std::to_string(port), "20"}, output), 0) << output;
    EXPECT_EQ(output, "20 '" + std::string(GetParam().line) + "\\r\\n'\n");
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

INSTANTIATE_TEST_SUITE_P(
    RealProgram, Refusals,
    ::testing::Values(RefusalCase{"IpRules", "IPListMode=1\r\nIPListCount=1\r\nIPListData0=127.0.0.1\r\n",
                                  "421 Connection not allowed from this IP."},
                      // The client's login arrives while the reverse look-up runs, so it is still unread
                      // when the refusal is decided.
                      RefusalCase{
                          "IpRulesAfterReverseLookup",
                          "ReverseDNSCheckEnabled=1\r\nIPListMode=1\r\nIPListCount=1\r\nIPListData0=127.0.0.1\r\n",
                          "421 Connection not allowed from this IP."}),
    [](const auto& param) { return std::string(param.param.name); });

// Four silent connections fill a server that takes four: the fifth is refused as busy, in
// order. Past the login time limit the silent ones are closed with a 421 line; a client that
// logged in stays, and the freed places take new clients again.
constexpr const char* kSilentConnectionsScript = R"PY(
import ftplib, socket, sys, time
port = int(sys.argv[1])
def connect():
    s = socket.create_connection(('127.0.0.1', port), timeout=15)
    return s, s.makefile('rb')
logged = ftplib.FTP()
logged.connect('127.0.0.1', port, timeout=15)
logged.login()
silent = [connect() for i in range(3)]
for s, f in silent:
    f.readline()
busy, reader = connect()
busy.sendall(b'USER anonymous\r\n')
print('busy', reader.read().decode().strip())
started = time.time()
for s, f in silent:
    print('silent', f.readline().decode().strip(), f.read() == b'')
print('within limit', time.time() - started < 15)  # the check runs on the 10 s tick
print('logged in stays', logged.sendcmd('NOOP')[:3])
again = ftplib.FTP()
again.connect('127.0.0.1', port, timeout=15)
print('again', again.login()[:3])
)PY";

TEST(LoginTimeLimit, SilentConnectionsAreClosedAndTheirPlacesFreed)
{
    corvane::testing::ScratchFolder scratch;
    const int port = FreeLoopbackPort();
    const std::string home = HomeWithSettings(scratch, port, "MaximumNumberOfConnections=4\r\nLoginTimeout=1\r\n");
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    std::string output;
    ASSERT_EQ(RunPython(kSilentConnectionsScript, {std::to_string(port)}, output), 0) << output;
    EXPECT_EQ(output, "busy 421 Too many users connected.\n"
                      "silent 421 No login within the time allowed: closing control connection. True\n"
                      "silent 421 No login within the time allowed: closing control connection. True\n"
                      "silent 421 No login within the time allowed: closing control connection. True\n"
                      "within limit True\n"
                      "logged in stays 200\n"
                      "again 230\n");
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

}  // namespace
}  // namespace corvane
