// The reverse lookup of the connect decision, through the headless program, with a name server
// that never answers: the program runs in a network namespace of its own whose resolver asks a
// silent server on its loopback. A slow lookup holds up neither the listener nor other clients,
// it ends at the time limit, and a burst of them costs a few resolver threads, not one each.
#include <gtest/gtest.h>

#include <cstdlib>

#include "server_process.h"

namespace corvane {
namespace {

using testing::FreeLoopbackPort;
using testing::HomeWithSettings;
using testing::ProgramFolderOfTests;
using testing::RunPython;
using testing::WriteFile;

constexpr const char* kSilentNameServerScript = R"PY(
import os, socket, subprocess, sys, threading, time
program, home, port = sys.argv[1], sys.argv[2], int(sys.argv[3])
subprocess.run(['ip', 'link', 'set', 'lo', 'up'], check=True)
resolv = home + '.resolv.conf'
open(resolv, 'w').write('nameserver 127.0.0.1\noptions timeout:20 attempts:1\n')
subprocess.run(['mount', '--bind', resolv, '/etc/resolv.conf'], check=True)
silent = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
silent.bind(('127.0.0.1', 53))
threading.Thread(target=lambda: [silent.recvfrom(512) for _ in iter(int, 1)], daemon=True).start()
server = subprocess.Popen([program, '--headless', '--home', home], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
def connect(source):
    s = socket.socket()
    s.settimeout(30)
    s.bind((source, 0))
    s.connect(('127.0.0.1', port))
    return s, s.makefile('rb')
try:
    for i in range(200):
        try:
            probe, reader = connect('127.0.0.1')
            reader.readline()
            probe.close()
            break
        except OSError:
            time.sleep(0.05)
    started = time.time()
    slow, slow_reader = connect('127.0.0.2')     # no name in the hosts file: asks the silent server
    time.sleep(0.2)
    fast, fast_reader = connect('127.0.0.1')     # named by the hosts file
    print('other client at once', fast_reader.readline().startswith(b'220'), time.time() - started < 1.5)
    print('slow client at the limit', slow_reader.readline().startswith(b'220'), 4.5 < time.time() - started < 8)
    threads_before = len(os.listdir('/proc/%d/task' % server.pid))
    burst = [connect('127.0.0.%d' % (10 + i)) for i in range(16)]
    time.sleep(1)
    threads_during = len(os.listdir('/proc/%d/task' % server.pid))
    answered = sum(1 for s, r in burst if r.readline().startswith(b'220'))
    print('burst answered', answered, 'resolver threads bounded', threads_during - threads_before <= 4)
finally:
    server.terminate()
    print('exit', server.wait(timeout=20))
)PY";

TEST(SlowReverseLookup, HoldsUpNobodyEndsAtItsLimitAndUsesFewThreads)
{
    if (std::system("unshare --net --mount true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "network namespaces are not available here";
    corvane::testing::ScratchFolder scratch;
    const int port = FreeLoopbackPort();
    const std::string home = HomeWithSettings(scratch, port, "ReverseDNSCheckEnabled=1\r\n");
    WriteFile(scratch.Join("namespace.py"), kSilentNameServerScript);
    std::string output;
    ASSERT_EQ(RunPython("import subprocess, sys\n"
                        "r = subprocess.run(['unshare', '--net', '--mount', 'python3'] + sys.argv[1:],"
                        " capture_output=True, timeout=120)\n"
                        "print(r.stdout.decode() + r.stderr.decode(), end='')\n"
                        "sys.exit(r.returncode)\n",
                        {scratch.Join("namespace.py"), ProgramFolderOfTests() + "/corvane-server", home,
                         std::to_string(port)},
                        output),
              0)
        << output;
    EXPECT_EQ(output, "other client at once True True\n"
                      "slow client at the limit True True\n"
                      "burst answered 16 resolver threads bounded True\n"
                      "exit 0\n");
}

}  // namespace
}  // namespace corvane
