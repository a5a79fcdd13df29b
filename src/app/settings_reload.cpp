#include "app/settings_reload.h"

#include "common/constants.h"
#include "common/program_folder.h"
#include "core/server_controller.h"
#include "core/server_settings.h"
#include "core/window_thread.h"
#include "platform/fs.h"

namespace corvane {
namespace {

// Why the text cannot be the whole settings file, or empty when it can.
std::string IncompleteSettingsText(const std::string& text, const IniImage& image)
{
    if (text.empty()) return "it is empty";
    if (text.back() != '\n') return "it ends in the middle of a line (half-written?)";
    if (!image.SectionExists(kServerDataSection)) return "it has no section [ServerData]";
    return {};
}

}  // namespace

bool ReloadSettings(serverController& controller, std::string& message)
{
    CORVANE_ASSERT_WINDOW_THREAD(controller.window());
    const std::string path = ProgramFolder() + std::string(kServerSettingsFileName);
    std::string text;
    if (!fs::ReadFileText(path, text)) {
        message = "settings not reloaded: " + path + " cannot be read";
        return false;
    }
    const IniImage image = IniImage::FromText(text);
    const std::string incomplete = IncompleteSettingsText(text, image);
    if (!incomplete.empty()) {
        message = "settings not reloaded: " + path + " " + incomplete + "; the running settings stay";
        return false;
    }
    const ServerSettings fresh = LoadServerSettings(image);
    const bool reverseDns = image.ReadBool(kServerDataSection, "ReverseDNSCheckEnabled", false);
    permissionsClass& accounts = controller.accounts();
    accounts.IpRules().LoadIpRules(image);
    const auto applied = controller.applyOptions(fresh, reverseDns);
    message = "settings reloaded from " + path;
    if (applied.ftpRestarted) message += "; FTP restarted on port " + std::to_string(controller.settings().Port);
    if (applied.httpRestarted)
        message += "; HTTP restarted on port " + std::to_string(controller.settings().WebServerPort);
    if (!applied.ftpRestarted && !applied.httpRestarted) message += "; no service needed a restart";
    return true;
}

}  // namespace corvane
