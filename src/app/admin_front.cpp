#include "app/admin_front.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "accounts/permissions.h"
#include "app/admin_commands.h"
#include "app/control_protocol.h"
#include "app/tls_commands.h"
#include "common/constants.h"
#include "common/program_folder.h"
#include "core/server_controller.h"
#include "core/server_view.h"
#include "platform/event_loop.h"
#include "core/event_loop_window_thread.h"
#include "platform/folder_owner.h"
#include "platform/fs.h"
#include "platform/home_folder.h"
#include "platform/home_lock.h"
#include "platform/local_socket.h"
#include "platform/terminal_secret.h"

namespace corvane {
namespace {

// How long a command waits for the home: for another command to finish with it, for a
// server that is starting to listen, or for a running server's answer.
constexpr std::chrono::seconds kHomeWait{5};
constexpr std::chrono::milliseconds kRetryPause{50};

int Fail(const std::string& text)
{
    std::fprintf(stderr, "corvane-server: %s\n", text.c_str());
    return kAdminRefused;
}

int Print(const AdminReply& reply)
{
    std::fwrite(reply.out.data(), 1, reply.out.size(), stdout);
    std::fwrite(reply.err.data(), 1, reply.err.size(), stderr);
    std::fflush(stdout);
    return reply.status;
}

// A settings or account file that cannot be read (or is not text with sections) would load as
// empty and then be written back empty: such a home is refused instead.
std::string BrokenHomeFile(const std::string& home)
{
    for (std::string_view name : {kServerSettingsFileName, kAccountDatabaseFileName}) {
        const std::string path = home + "/" + std::string(name);
        if (fs::HostFolderExists(path)) return path + " is a folder, not a settings file";
        if (!fs::HostFileExists(path)) continue;
        std::string text;
        if (!fs::ReadFileText(path, text)) return path + " cannot be read";
        if (!text.empty() && IniImage::FromText(text).ReadSections().empty())
            return path + " holds no settings sections; it looks damaged (nothing was changed)";
    }
    return {};
}

// Removes --password-stdin from the words; true when it was there.
bool TakePasswordStdinOption(std::vector<std::string>& words)
{
    bool given = false;
    for (auto it = words.begin(); it != words.end();) {
        if (*it == "--password-stdin") {
            given = true;
            it = words.erase(it);
        } else {
            ++it;
        }
    }
    return given;
}

bool ReadPassword(const std::string& account, bool fromStandardInput, std::string& password)
{
    if (fromStandardInput) return ReadSecretFromStandardInput(password);
    std::string again;
    if (!ReadSecretFromTerminal("Enter password for " + account + ": ", password)) return false;
    if (!ReadSecretFromTerminal("Enter it again: ", again)) return false;
    if (again == password) return true;
    std::fprintf(stderr, "corvane-server: the two passwords differ\n");
    password.clear();
    return false;
}

int RunOnFiles(const std::string& home, const AdminRequest& request)
{
    const std::string broken = BrokenHomeFile(home);
    if (!broken.empty()) return Fail(broken);
    SetProgramFolder(home);
    permissionsClass store(ProgramFolder(), [](const std::string& folder) { return fs::RealFolderExists(folder); });
    store.LoadAccounts();
    AdminContext context{store, nullptr, home};
    if (IsTlsCommand(request)) return Print(RunTlsCommand(request, context));
    AdminReply reply = RunAdminCommand(request, context);
    if (reply.status == kAdminDone && reply.changed && !WriteChangedStore(store, false))
        return Fail("the account files of " + home + " could not be written; they are as they were");
    // Root editing a service's home: the rewritten files stay the service's.
    GiveFilesToFolderOwner(home);
    return Print(reply);
}

// The first-run set-up of a home, as the first start of the server does it.
int InitHome(const std::string& home)
{
    const std::string broken = BrokenHomeFile(home);
    if (!broken.empty()) return Fail(broken);
    SetProgramFolder(home);
    EventLoop loop;
    EventLoopWindowThread window(loop);
    SilentServerView view;
    serverController controller(window, view, {});
    controller.startUp();
    controller.shutDown();
    GiveFilesToFolderOwner(home);
    std::printf("Home %s is ready (FTP port %d).\n", home.c_str(), controller.settings().Port);
    return kAdminDone;
}

int RunOnServer(int fd, const std::string& home, const AdminRequest& request)
{
    const auto deadline = std::chrono::steady_clock::now() + kHomeWait;
    std::string answer;
    const bool sent = SendAllBefore(fd, EncodeRequest(request), deadline);
    if (sent) EndSending(fd);
    const bool received = sent && ReceiveAllBefore(fd, answer, kControlMessageLimit, deadline);
    CloseLocalSocket(fd);
    auto reply = received ? DecodeReply(answer) : std::nullopt;
    if (!reply)
        return Fail("the server on " + home + " (process " + std::to_string(HomeLock::LastHolder(home)) +
                    ") did not answer the command in time; nothing was changed by this command");
    return Print(*reply);
}

}  // namespace

bool WriteChangedStore(permissionsClass& store, bool keepLoaded)
{
    const std::string settingsPath = ProgramFolder() + std::string(kServerSettingsFileName);
    IniImage settings = IniImage::Open(settingsPath);
    const bool accountsWritten = keepLoaded ? store.WriteAccounts(settings) : store.SaveAccounts(settings);
    return settings.SaveOwnerOnly(settingsPath) && accountsWritten;
}

int RunAdministration(const std::string& homeOption, std::vector<std::string> words)
{
    const bool passwordFromStandardInput = TakePasswordStdinOption(words);
    const std::string home = ChooseHomeFolder(homeOption);
    if (home.empty()) return Fail("cannot find the home folder (give it with --home DIR)");
    const bool init = !words.empty() && words.front() == "init";
    if (init && words.size() != 1) return Fail("init takes no arguments");
    if (init && !fs::MakeHostFolders(home)) return Fail("cannot create the home " + home);
    if (!fs::HostFolderExists(home))
        return Fail("the home " + home + " does not exist (create it with 'corvane-server --home " + home +
                    " init', or by starting the server)");
    AdminRequest request;
    request.words = words;
    std::string account;
    if (CommandSetsPassword(words, &account)) {
        std::string password;
        if (!ReadPassword(account, passwordFromStandardInput, password))
            return Fail(passwordFromStandardInput ? "no password on standard input"
                                                  : "no password read (no terminal? use --password-stdin)");
        request.password = password;
    }
    const auto deadline = std::chrono::steady_clock::now() + kHomeWait;
    for (;;) {
        std::unique_ptr<HomeLock> lock;
        std::string error;
        const HomeLock::Outcome outcome = HomeLock::TryAcquire(home, lock, error);
        if (outcome == HomeLock::Outcome::Failed) return Fail(error);
        if (outcome == HomeLock::Outcome::Acquired) return init ? InitHome(home) : RunOnFiles(home, request);
        // Held: by a server (which answers on its socket) or by another command (soon done).
        const int fd = ConnectLocalSocket(home + "/" + kControlSocketName);
        if (fd >= 0) {
            if (init) {
                CloseLocalSocket(fd);
                return Fail("a server runs on " + home + "; it is set up already");
            }
            return RunOnServer(fd, home, request);
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            const pid_t holder = HomeLock::LastHolder(home);
            return Fail("the home " + home + " is held by " +
                        (holder != 0
                             ? "process " + std::to_string(holder) + ", which does not answer on its control socket"
                             : std::string("another command")) +
                        "; nothing was changed, try again");
        }
        std::this_thread::sleep_for(kRetryPause);
    }
}

}  // namespace corvane
