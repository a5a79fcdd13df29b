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
#include <vector>

#include "../core/test_client.h"

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

// The folder of the running test program: the executables are built side by side.
inline std::string ProgramFolderOfTests()
{
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

class ServerProcess {
public:
    ServerProcess(const std::string& home, int port) : port_(port)
    {
        const std::string program = ProgramFolderOfTests() + "/corvane-server";
        const std::string log = home + ".out";
        pid_ = ::fork();
        if (pid_ == 0) {
            std::FILE* out = std::freopen(log.c_str(), "w", stdout);
            (void)out;
            ::execl(program.c_str(), program.c_str(), "--headless", "--home", home.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        outputPath_ = log;
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

private:
    int port_;
    pid_t pid_ = -1;
    bool reaped_ = false;
    std::string outputPath_;
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

}  // namespace corvane::testing
