#include "app/ban_commands.h"

#include <algorithm>

#include "core/ftp_server_thread.h"
#include "core/server_controller.h"

namespace corvane {
namespace {

AdminReply Reply(int status, std::string out, std::string err = {})
{
    AdminReply reply;
    reply.status = status;
    reply.out = std::move(out);
    reply.err = std::move(err);
    return reply;
}

std::string BanList(const std::vector<LoginBanBook::Ban>& bans)
{
    if (bans.empty()) return "No address is banned.\n";
    std::string text = "Address                                   Seconds left  Failed logins\n";
    for (const auto& ban : bans) {
        std::string line = ban.address;
        line.resize(std::max<std::size_t>(line.size() + 1, 42), ' ');
        std::string left = std::to_string(ban.left.count());
        line += std::string(12 - std::min<std::size_t>(left.size(), 12), ' ') + left;
        line += "  " + std::to_string(ban.failures);
        text += line + "\n";
    }
    return text;
}

}  // namespace

AdminReply RunBansCommand(const std::vector<std::string>& words, serverController* controller,
                          const std::string& home)
{
    ftpServerThread* thread = controller ? controller->serverThread() : nullptr;
    if (words.size() == 1) return Reply(kAdminDone, BanList(thread ? thread->BansShown() : std::vector<LoginBanBook::Ban>{}));
    if (words.size() != 3 || words[1] != "unban")
        return Reply(kAdminUsage, "", "corvane-server: bans takes nothing, or unban ADDRESS\n");
    const std::string& address = words[2];
    if (!thread) return Reply(kAdminRefused, "", "corvane-server: no server runs on " + home + "\n");
    const auto bans = thread->BansShown();
    const bool listed = std::any_of(bans.begin(), bans.end(), [&](const auto& b) { return b.address == address; });
    if (!listed) return Reply(kAdminRefused, "", "corvane-server: " + address + " is not banned (see 'bans')\n");
    if (!thread->PostUnban(address)) return Reply(kAdminRefused, "", "corvane-server: the server is stopping\n");
    return Reply(kAdminDone, "Lifted the ban of " + address + ".\n");
}

}  // namespace corvane
