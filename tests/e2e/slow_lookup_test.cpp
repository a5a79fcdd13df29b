// Reverse lookups through the headless program, with a name server that never answers: the
// program runs in a network namespace of its own whose resolver asks a silent server on its
// loopback. A slow lookup holds up neither the listener nor other clients, it ends at the time
// limit, and a burst of them costs a few resolver threads, not one each. A client that goes, or
// a service that restarts, while its lookup runs leaves nothing behind that is used later.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "server_process.h"

namespace corvane {
namespace {

using testing::FreeLoopbackPort;
using testing::HomeWithFullShare;
using testing::HomeWithSettings;
using testing::ProgramFolderOfTests;
using testing::RunPython;
using testing::WriteFile;

// Run as root in a fresh network and mount namespace: the loopback up, the resolver pointed at a
// server that reads every query and answers none (`queries` counts them), the program started
// with its output in `log_path`, and helpers that wait for an event with a deadline.
constexpr const char* kSilentNameServerPrelude = R"PY(
import json, os, re, signal, socket, subprocess, sys, threading, time
program, home, port = sys.argv[1], sys.argv[2], int(sys.argv[3])
subprocess.run(['ip', 'link', 'set', 'lo', 'up'], check=True)
resolv = home + '.resolv.conf'
open(resolv, 'w').write('nameserver 127.0.0.1\noptions timeout:%s attempts:1\n' % os.environ.get('RESOLVER_WAIT', '20'))
subprocess.run(['mount', '--bind', resolv, '/etc/resolv.conf'], check=True)
silent = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
silent.bind(('127.0.0.1', 53))
queries = [0]
def count_queries():
    while True:
        silent.recvfrom(512)
        queries[0] += 1
threading.Thread(target=count_queries, daemon=True).start()
log_path = home + '.out'
server = subprocess.Popen([program, '--headless', '--home', home], stdout=open(log_path, 'w'), stderr=subprocess.STDOUT)
def wait_for(event, seconds=15):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if event():
            return True
        time.sleep(0.02)
    return False
def connect(to_port, source='127.0.0.1'):
    s = socket.socket()
    s.settimeout(30)
    s.bind((source, 0))
    s.connect(('127.0.0.1', to_port))
    return s, s.makefile('rb')
def accepts(to_port):
    try:
        s, r = connect(to_port)
        s.close()
        return True
    except OSError:
        return False
def log_lines(text):
    return [line for line in open(log_path, errors='replace').read().splitlines() if text in line]
def admin(*words):
    return subprocess.run([program, '--home', home] + list(words), capture_output=True, text=True, timeout=30)
def reload_with(key, value):
    settings = home + '/CorvaneServer.ini'
    text = re.sub(r'(?m)^%s=\d+' % key, '%s=%d' % (key, value), open(settings, newline='').read())
    open(settings, 'w', newline='').write(text)
    server.send_signal(signal.SIGHUP)
def until_closed(reader):  # the lines read until the close (an orderly one or a reset)
    lines = []
    try:
        for line in iter(reader.readline, b''):
            lines.append(line.decode().rstrip())
    except OSError:
        pass
    return lines
)PY";

constexpr const char* kHoldsUpNobodyScript = R"PY(
try:
    wait_for(lambda: accepts(port))
    started = time.time()
    slow, slow_reader = connect(port, '127.0.0.2')     # no name in the hosts file: asks the silent server
    wait_for(lambda: queries[0] >= 1)
    fast, fast_reader = connect(port, '127.0.0.1')     # named by the hosts file
    print('other client at once', fast_reader.readline().startswith(b'220'), time.time() - started < 1.5)
    print('slow client at the limit', slow_reader.readline().startswith(b'220'), 4.5 < time.time() - started < 8)
    threads_before = len(os.listdir('/proc/%d/task' % server.pid))
    asked_before = queries[0]
    burst = [connect(port, '127.0.0.%d' % (10 + i)) for i in range(16)]
    wait_for(lambda: queries[0] >= asked_before + 4)  # every resolver thread is asking
    threads_during = len(os.listdir('/proc/%d/task' % server.pid))
    answered = sum(1 for s, r in burst if r.readline().startswith(b'220'))
    print('burst answered', answered, 'resolver threads bounded', threads_during - threads_before <= 4)
finally:
    server.terminate()
    print('exit', server.wait(timeout=20))
    print(''.join(line for line in open(log_path, errors='replace') if 'Sanitizer' in line), end='')
)PY";

// The runner: the script in its namespace, with the program, the home and the ports.
std::string RunInSilentNamespace(const std::string& script, const std::vector<std::string>& arguments,
                                 const std::string& resolverWait = "20")
{
    corvane::testing::ScratchFolder scratch;
    const std::string path = scratch.Join("namespace.py");
    WriteFile(path, std::string(kSilentNameServerPrelude) + script);
    std::vector<std::string> all = {path, ProgramFolderOfTests() + "/corvane-server"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::string output;
    const int status = RunPython("import os, subprocess, sys\n"
                                 "os.environ['RESOLVER_WAIT'] = '" +
                                     resolverWait +
                                     "'\n"
                                     "r = subprocess.run(['unshare', '--net', '--mount', 'python3'] + sys.argv[1:],"
                                     " capture_output=True, timeout=120)\n"
                                     "print(r.stdout.decode() + r.stderr.decode(), end='')\n"
                                     "sys.exit(r.returncode)\n",
                                 all, output);
    if (status != 0) output += "(status " + std::to_string(status) + ")\n";
    return output;
}

// Free loopback ports, each different from the others.
std::vector<int> DistinctFreePorts(std::size_t count)
{
    std::vector<int> ports;
    while (ports.size() < count) {
        const int port = FreeLoopbackPort();
        if (std::find(ports.begin(), ports.end(), port) == ports.end()) ports.push_back(port);
    }
    return ports;
}

bool NamespacesAvailable() { return std::system("unshare --net --mount true >/dev/null 2>&1") == 0; }

TEST(SlowReverseLookup, HoldsUpNobodyEndsAtItsLimitAndUsesFewThreads)
{
    if (!NamespacesAvailable()) GTEST_SKIP() << "network namespaces are not available here";
    corvane::testing::ScratchFolder scratch;
    const int port = FreeLoopbackPort();
    const std::string home = HomeWithSettings(scratch, port, "ReverseDNSCheckEnabled=1\r\n");
    EXPECT_EQ(RunInSilentNamespace(kHoldsUpNobodyScript, {home, std::to_string(port)}),
              "other client at once True True\n"
              "slow client at the limit True True\n"
              "burst answered 16 resolver threads bounded True\n"
              "exit 0\n");
}

// A logged-in FTP client from an address without a name; reverse DNS is switched on, so its next
// command needs its name for the log. The command is answered at once, the client then goes
// (disconnected from the command line, or with its service restarted on another port) while
// the lookup runs, and the command's line is written all the same, naming no host once the
// lookup has failed. The resolver gives up after 3 s: well before the program's own limit.
constexpr const char* kFtpClientGoesScript = R"PY(
how, new_port = sys.argv[4], int(sys.argv[5])
try:
    wait_for(lambda: accepts(port))
    client, reader = connect(port, '127.0.0.2')
    client.sendall(b'USER anonymous\r\nPASS guest@\r\n')
    print('logged in', [reader.readline()[:3] for _ in range(3)] == [b'220', b'331', b'230'])
    print('dns on', admin('ip', 'dns', 'on').returncode)
    client.sendall(b'NOOP during-the-lookup\r\n')
    print('lookup asked', wait_for(lambda: queries[0] >= 1))
    if how == 'disconnect':
        sessions = json.loads(admin('sessions', '--json').stdout)
        print('disconnected', admin('disconnect', str(sessions[0]['number'])).returncode)
    else:
        reload_with('Port', new_port)
        print('restarted', wait_for(lambda: accepts(new_port)))
        port = new_port
    print('client saw', [line[:3] for line in until_closed(reader)])
    print('line written', wait_for(lambda: log_lines('NOOP during-the-lookup')))
    print('no host named', all(' (127.0.0.2) : ' in line for line in log_lines('NOOP during-the-lookup')))
    other, other_reader = connect(port)
    print('still serving', other_reader.readline()[:3])
finally:
    server.terminate()
    print('exit', server.wait(timeout=20))
    print(''.join(line for line in open(log_path, errors='replace') if 'Sanitizer' in line), end='')
)PY";

struct GoneDuringLookup {
    const char* how;
    const char* thenSeen;  // what the script reports once the client has gone
};

TEST(SlowReverseLookup, AnFtpClientThatGoesDuringItsLookupIsNotTouchedAfterwards)
{
    if (!NamespacesAvailable()) GTEST_SKIP() << "network namespaces are not available here";
    for (const GoneDuringLookup& c : {GoneDuringLookup{"disconnect", "disconnected 0\nclient saw ['200']\n"},
                                      GoneDuringLookup{"restart", "restarted True\nclient saw ['200']\n"}}) {
        corvane::testing::ScratchFolder scratch;
        const std::vector<int> ports = DistinctFreePorts(2);
        const int port = ports[0], newPort = ports[1];
        const std::string home = HomeWithFullShare(scratch, port);
        EXPECT_EQ(RunInSilentNamespace(kFtpClientGoesScript,
                                       {home, std::to_string(port), c.how, std::to_string(newPort)}, "3"),
                  "logged in True\n"
                  "dns on 0\n"
                  "lookup asked True\n" +
                      std::string(c.thenSeen) +
                      "line written True\n"
                      "no host named True\n"
                      "still serving b'220'\n"
                      "exit 0\n")
            << c.how;
    }
}

// A browser from an address without a name waits for its lookup before its request is read. The
// browser hangs up meanwhile, or the web service restarts on another port: the program goes on
// serving, and the lines of the gone connection are written once the lookup has failed.
constexpr const char* kBrowserGoesScript = R"PY(
how, http_port, new_port = sys.argv[4], int(sys.argv[5]), int(sys.argv[6])
def fetch(to_port):
    s, r = connect(to_port)
    s.sendall(b'GET /missing HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n')
    return r.readline()[:12]
try:
    wait_for(lambda: accepts(port) and accepts(http_port))
    browser, reader = connect(http_port, '127.0.0.2')
    browser.sendall(b'GET /missing HTTP/1.1\r\nHost: x\r\n\r\n')
    print('lookup asked', wait_for(lambda: queries[0] >= 1))
    if how == 'hangup':
        browser.close()
        started = time.time()
        print('another browser at once', fetch(http_port), time.time() - started < 1)
    else:
        reload_with('WebServerPort', new_port)
        print('restarted', wait_for(lambda: accepts(new_port)))
        print('browser dropped', until_closed(reader) == [])
        http_port = new_port
    print('lines written', wait_for(lambda: log_lines('HTTP  (127.0.0.2) : ')))
    print('still serving', fetch(http_port))
finally:
    server.terminate()
    print('exit', server.wait(timeout=20))
    print(''.join(line for line in open(log_path, errors='replace') if 'Sanitizer' in line), end='')
)PY";

TEST(SlowReverseLookup, ABrowserThatGoesDuringItsLookupIsNotTouchedAfterwards)
{
    if (!NamespacesAvailable()) GTEST_SKIP() << "network namespaces are not available here";
    for (const GoneDuringLookup& c : {GoneDuringLookup{"hangup", "another browser at once b'HTTP/1.1 404' True\n"},
                                      GoneDuringLookup{"restart", "restarted True\nbrowser dropped True\n"}}) {
        corvane::testing::ScratchFolder scratch;
        const std::vector<int> ports = DistinctFreePorts(3);
        const int port = ports[0], httpPort = ports[1], newPort = ports[2];
        const std::string home = HomeWithSettings(
            scratch, port,
            "ReverseDNSCheckEnabled=1\r\nRunWebServerNextTime=1\r\nWebServerPort=" + std::to_string(httpPort) + "\r\n");
        EXPECT_EQ(RunInSilentNamespace(
                      kBrowserGoesScript,
                      {home, std::to_string(port), c.how, std::to_string(httpPort), std::to_string(newPort)}, "3"),
                  std::string("lookup asked True\n") + c.thenSeen +
                      "lines written True\n"
                      "still serving b'HTTP/1.1 404'\n"
                      "exit 0\n")
            << c.how;
    }
}

}  // namespace
}  // namespace corvane
