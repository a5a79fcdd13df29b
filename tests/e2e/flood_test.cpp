// Clients that send requests and read no answer, through the headless program: the program
// stops reading them while their answers wait, so its memory stays flat, and once they read
// again every request is answered, in order.
#include <gtest/gtest.h>

#include "server_process.h"

namespace corvane {
namespace {

using testing::FreeLoopbackPort;
using testing::HomeWithSettings;
using testing::RunPython;
using testing::ServerProcess;
using testing::WriteFile;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kBuiltWithAddressSanitizer = true;
#else
constexpr bool kBuiltWithAddressSanitizer = false;
#endif

// Sends `count` NOOPs with 1 KB parameters without reading, waits, samples the server's resident
// memory, then reads every reply. Prints the memory growth and what came back.
constexpr const char* kFloodScript = R"PY(
import fcntl, os, socket, struct, sys, termios, threading, time
port, pid, count, measure = int(sys.argv[1]), sys.argv[2], int(sys.argv[3]), sys.argv[4] == '1'
def unsent(sock):
    return struct.unpack('i', fcntl.ioctl(sock.fileno(), termios.TIOCOUTQ, b'\0' * 4))[0]
# Until the server stops reading the flood: bytes wait in the socket and none leave it between
# two looks (or the sender is done, which a server that reads everything lets it be).
def until_server_stops_reading(sock, sender):
    deadline, last = time.monotonic() + 30, -1
    while sender.is_alive() and time.monotonic() < deadline:
        now = unsent(sock)
        if now > 0 and now == last:
            return
        last = now
        time.sleep(0.2)
def descriptors():
    return len(os.listdir('/proc/' + pid + '/fd'))
def rss_kb():
    for line in open('/proc/' + pid + '/status'):
        if line.startswith('VmRSS:'):
            return int(line.split()[1])
s = socket.create_connection(('127.0.0.1', port), timeout=60)
reader = s.makefile('rb')
reader.readline()
before = rss_kb()
commands = b''.join(b'NOOP %04d' % i + b'x' * 1000 + b'\r\n' for i in range(count))
sender = threading.Thread(target=s.sendall, args=(commands,))
sender.start()
until_server_stops_reading(s, sender)
grown = rss_kb() - before
if measure:
    print('memory flat', grown < 8 * 1024, grown if grown >= 8 * 1024 else '')
answered = 0
for i in range(count):
    line = reader.readline()
    if not line.startswith(b"200 Ok. Parameter was '%04d" % i):
        print('reply', i, line[:40])
        break
    answered += 1
sender.join()
print('answered', answered)

# A flooder that goes without reading: its connection is closed, and the server does not spin
# on what it left unread.
def cpu_seconds():
    fields = open('/proc/' + pid + '/stat').read().rsplit(')', 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / 100.0
before_gone = descriptors()
gone = socket.create_connection(('127.0.0.1', port), timeout=60)
gone.makefile('rb').readline()
def flood_then_hang_up():
    try:
        gone.sendall(commands)
    except OSError:  # the hang-up below ends the send, at whatever point it had reached
        pass
flooder = threading.Thread(target=flood_then_hang_up, daemon=True)
flooder.start()
until_server_stops_reading(gone, flooder)
gone.shutdown(socket.SHUT_RDWR)
gone.close()
deadline = time.monotonic() + 10
while descriptors() > before_gone and time.monotonic() < deadline:
    time.sleep(0.02)
print('closed', descriptors() <= before_gone)
spent = cpu_seconds()
time.sleep(2)  # the span over which a server spinning on the unread rest would burn time
print('quiet after', cpu_seconds() - spent < 0.5)
fresh = socket.create_connection(('127.0.0.1', port), timeout=10)
f = fresh.makefile('rb')
f.readline()
fresh.sendall(b'NOOP\r\n')
print(f.readline().decode().strip())
)PY";

TEST(Flood, AClientThatReadsNoReplyIsNotReadAndEveryCommandIsAnsweredLater)
{
    corvane::testing::ScratchFolder scratch;
    const int port = FreeLoopbackPort();
    const std::string home = HomeWithSettings(scratch, port, "ScreenLoggingEnabled=0\r\n");
    ServerProcess server(home, port);
    ASSERT_TRUE(server.WaitListening());
    std::string output;
    // 40 MB of commands, and as much of replies: far more than the sockets' buffers hold.
    // Under AddressSanitizer freed memory waits in its quarantine, so the resident size says
    // nothing of what the server holds: there only the answers are checked.
    const bool measureMemory = !kBuiltWithAddressSanitizer;
    ASSERT_EQ(RunPython(kFloodScript,
                        {std::to_string(port), std::to_string(server.Pid()), "40000", measureMemory ? "1" : "0"},
                        output),
              0)
        << output;
    EXPECT_EQ(output, std::string(measureMemory ? "memory flat True \n" : "") +
                          "answered 40000\nclosed True\nquiet after True\n200 Ok. Parameter was ''.\n");
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

}  // namespace
}  // namespace corvane
