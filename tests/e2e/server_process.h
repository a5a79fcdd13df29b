// The corvane-server program run as a child process on a scratch home, for end-to-end tests.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "../core/test_client.h"
#include "../platform/scratch_folder.h"

namespace corvane::testing {

// A whole file written (its folders made first) or read, bytes as they are.
inline void WriteFile(const std::string& path, const std::string& content)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Files in nested folders whose names hold what a link must escape (blanks, "%", "&", "#"),
// by their paths under the folder they are written to, with contents that are not text.
inline std::vector<std::pair<std::string, std::string>> AwkwardlyNamedTree()
{
    std::string binary(300000, '\0');
    for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>((i * 2654435761u) >> 11);
    return {
        {"top level.txt", "at the top"},
        {"50% off/deals & more/#1 hit.bin", binary},
        {"50% off/deals & more/sub #2/a&b 100%.txt", "escaped once, not twice"},
        {"50% off/plain", std::string("\0\r\n\xff", 4)},
        {"a #hash folder/x.txt", "behind a hash"},
    };
}

inline void WriteTree(const std::string& folder, const std::vector<std::pair<std::string, std::string>>& files)
{
    for (const auto& [path, content] : files) WriteFile(folder + "/" + path, content);
}

// A home whose only user is Anonymous, at `homeFolder` (e.g. "C:\\Share\\"), in the group "All
// Others", with `folderFile` as the text of its ".kcf" folder file.
inline void WriteAnonymousAccount(const std::string& home, const std::string& homeFolder, const std::string& folderFile)
{
    WriteFile(home + "/usersgroups.ini", "[Anonymous]\r\nHome Directory=" + homeFolder +
                                             "\r\nGroup=All Others\r\nPassword=\r\n\r\n"
                                             "[All Others]\r\nHome Directory=\r\n\r\n"
                                             "[Usernames]\r\nUserCount=1\r\nUser0=Anonymous\r\n\r\n[Groupnames]"
                                             "\r\nGroupCount=1\r\nGroup0=All Others\r\n");
    WriteFile(home + "/user - Anonymous.kcf", folderFile);
}

// The folder of the running test program: the executables are built side by side.
inline std::string ProgramFolderOfTests()
{
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

// A home whose "Anonymous" account may do everything in C:\My Downloads\ (and below), with
// the given Max Transfer Rate in KB/s.
// A home whose settings put the FTP service on the loopback port, with `moreSettings` (lines of
// section "ServerData", each ended by CR LF) after it; the rest is the server's first run.
inline std::string HomeWithSettings(const ScratchFolder& scratch, int port, const std::string& moreSettings = "")
{
    const std::string home = scratch.Join("home");
    WriteFile(home + "/CorvaneServer.ini",
              "[ServerData]\r\nPort=" + std::to_string(port) + "\r\nUserSetServerIP=127.0.0.1\r\n" + moreSettings);
    return home;
}

inline std::string HomeWithFullShare(const ScratchFolder& scratch, int port, int rateKb = 0)
{
    const std::string home = scratch.Join("home");
    WriteFile(home + "/CorvaneServer.ini",
              "[ServerData]\r\nPort=" + std::to_string(port) + "\r\nUserSetServerIP=127.0.0.1\r\nServerFirstRun=0\r\n");
    WriteFile(home + "/usersgroups.ini",
              "[Anonymous]\r\nHome Directory=C:\\My Downloads\\\r\nGroup=All Others\r\nPassword=\r\n"
              "Max Transfer Rate=" +
                  std::to_string(rateKb) +
                  "\r\n\r\n"
                  "[All Others]\r\nHome Directory=\r\n\r\n"
                  "[Usernames]\r\nUserCount=1\r\nUser0=Anonymous\r\n\r\n[Groupnames]\r\nGroupCount=1\r\nGroup0=All "
                  "Others\r\n");
    WriteFile(home + "/user - Anonymous.kcf", "gplcmdriC:\\My Downloads\\*\r\n");
    std::filesystem::create_directories(home + "/drive_c/My Downloads");
    return home;
}

class ServerProcess {
public:
    ServerProcess(const std::string& home, int port)
        : port_(port)
    {
        const std::string program = ProgramFolderOfTests() + "/corvane-server";
        const std::string log = home + ".out";
        const std::string errors = home + ".err";
        pid_ = ::fork();
        if (pid_ == 0) {
            std::FILE* out = std::freopen(log.c_str(), "w", stdout);
            std::FILE* err = std::freopen(errors.c_str(), "w", stderr);
            (void)out;
            (void)err;
            ::execl(program.c_str(), program.c_str(), "--headless", "--home", home.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        outputPath_ = log;
        errorPath_ = errors;
    }
    ~ServerProcess()
    {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Waits until the FTP port accepts connections (each probe is greeted and dropped).
    bool WaitListening(std::chrono::milliseconds timeout = std::chrono::milliseconds(10000)) const
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            LineClient probe(port_);
            if (probe.Connected()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    // Sends the signal and returns the exit status (-1 when it did not exit normally in time).
    int StopWith(int signal, std::chrono::milliseconds timeout = std::chrono::milliseconds(10000))
    {
        ::kill(pid_, signal);
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                reaped_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

    const std::string& OutputPath() const { return outputPath_; }
    // What the program wrote on standard error so far.
    std::string Errors() const { return ReadFile(errorPath_); }

    // True while the program runs (a zombie counts as ended).
    bool Alive() const
    {
        if (reaped_ || pid_ <= 0) return false;
        std::ifstream status("/proc/" + std::to_string(pid_) + "/stat");
        std::string pid, name, state;
        status >> pid >> name >> state;
        return status && state != "Z";
    }

    // How the program ended, as the shell tells it ("killed by signal 13", "exit 0"), or
    // "running".
    std::string Ending()
    {
        int status = 0;
        if (!reaped_ && ::waitpid(pid_, &status, WNOHANG) == pid_) {
            reaped_ = true;
            ending_ = WIFSIGNALED(status) ? "killed by signal " + std::to_string(WTERMSIG(status))
                                          : "exit " + std::to_string(WEXITSTATUS(status));
        }
        return reaped_ ? ending_ : "running";
    }

    pid_t Pid() const { return pid_; }

    // The program's open descriptors, as its /proc entry lists them.
    int OpenDescriptors() const
    {
        const std::filesystem::path folder = "/proc/" + std::to_string(pid_) + "/fd";
        std::error_code error;
        int count = 0;
        for (auto it = std::filesystem::directory_iterator(folder, error);
             !error && it != std::filesystem::directory_iterator(); it.increment(error))
            ++count;
        return count;
    }

private:
    int port_;
    pid_t pid_ = -1;
    bool reaped_ = false;
    std::string outputPath_;
    std::string errorPath_;
    std::string ending_;
};

// Runs a shell command; returns its exit status, and what it wrote to standard output (and to
// standard error, when the command sends it there) is appended to `output`.
inline int RunCommand(const std::string& command, std::string& output)
{
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return -1;
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs a Python script (given as text) with the arguments; returns its exit status and output.
inline int RunPython(const std::string& script, const std::vector<std::string>& arguments, std::string& output)
{
    std::string command = "python3 - ";
    for (const auto& argument : arguments) command += "'" + argument + "' ";
    return RunCommand(command + "2>&1 <<'CORVANE_SCRIPT'\n" + script + "\nCORVANE_SCRIPT\n", output);
}

// An rclone connection string for the anonymous account on an FTP `host` (an IPv6 address in
// brackets) and `port`, with the folder `path`; quoted for the shell. Empty when rclone cannot
// obscure the password.
inline std::string RcloneFtpRemote(const std::string& host, int port, const std::string& path)
{
    std::string password;
    if (RunCommand("rclone obscure anything", password) != 0) return {};
    password = password.substr(0, password.find('\n'));
    return "':ftp,host=\"" + host + "\",port=" + std::to_string(port) + ",user=anonymous,pass=" + password + ":" +
           path + "'";
}

}  // namespace corvane::testing
