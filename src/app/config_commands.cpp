#include "app/config_commands.h"

#include "common/constants.h"
#include "common/program_folder.h"
#include "core/server_controller.h"
#include "core/setting_keys.h"
#include "core/window_thread.h"

namespace corvane {
namespace {

AdminReply Reply(int status, const std::string& out, const std::string& err = "")
{
    AdminReply reply;
    reply.status = status;
    reply.out = out;
    reply.err = err.empty() ? "" : "corvane-server: " + err + "\n";
    return reply;
}

std::string SettingsPath() { return ProgramFolder() + std::string(kServerSettingsFileName); }

// The settings in force: the running server's, else those the next start would read.
ServerSettings CurrentSettings(serverController* controller)
{
    if (controller) return controller->settings();
    return LoadServerSettings(IniImage::Open(SettingsPath()));
}

std::string KnownKeys()
{
    std::string names;
    for (const SettingKey& key : ServerSettingKeys()) names += (names.empty() ? "" : " ") + std::string(key.name);
    return names;
}

AdminReply UnknownKey(const std::string& name)
{
    return Reply(kAdminRefused, "", "there is no setting \"" + name + "\" (the settings: " + KnownKeys() + ")");
}

AdminReply List(serverController* controller)
{
    const ServerSettings settings = CurrentSettings(controller);
    std::string out;
    for (const SettingKey& key : ServerSettingKeys())
        out += std::string(key.name) + "=" + SettingText(settings, key) + "\n";
    return Reply(kAdminDone, out);
}

AdminReply Get(const std::string& name, serverController* controller)
{
    const SettingKey* key = FindServerSettingKey(name);
    if (!key) return UnknownKey(name);
    return Reply(kAdminDone, SettingText(CurrentSettings(controller), *key) + "\n");
}

// The running server takes the value as its dialog's Apply && Save: applied, then saved.
AdminReply SetLive(const SettingKey& key, const ServerSettings& fresh, serverController& controller)
{
    const auto applied = controller.applyOptions(fresh, controller.accounts().IpRules().GetReverseDnsCheck());
    controller.saveSettings();
    std::string out = std::string(key.name) + " set to " + SettingText(controller.settings(), key);
    if (applied.ftpRestarted) out += "; FTP restarted on port " + std::to_string(controller.settings().Port);
    if (applied.httpRestarted) out += "; HTTP restarted on port " + std::to_string(controller.settings().WebServerPort);
    return Reply(kAdminDone, out + ".\n");
}

// Without a server only this key is written: the rest of the file stays as it was.
AdminReply SetInFile(const SettingKey& key, const ServerSettings& fresh)
{
    const std::string path = SettingsPath();
    IniImage image = IniImage::Open(path);
    image.WriteString(kServerDataSection, key.name, SettingText(fresh, key));
    if (!image.SaveOwnerOnly(path)) return Reply(kAdminRefused, "", path + " could not be written; it is as it was");
    return Reply(kAdminDone, std::string(key.name) + " set to " + SettingText(fresh, key) + " in " + path + ".\n");
}

AdminReply Set(const std::string& name, const std::string& value, serverController* controller)
{
    const SettingKey* key = FindServerSettingKey(name);
    if (!key) return UnknownKey(name);
    ServerSettings fresh = CurrentSettings(controller);
    std::string problem;
    if (!SetSettingText(fresh, *key, value, problem)) return Reply(kAdminRefused, "", problem + "; nothing was changed");
    return controller ? SetLive(*key, fresh, *controller) : SetInFile(*key, fresh);
}

}  // namespace

AdminReply RunConfigCommand(const std::vector<std::string>& words, serverController* controller)
{
    if (controller) CORVANE_ASSERT_WINDOW_THREAD(controller->window());
    const std::string sub = words.size() > 1 ? words[1] : "";
    if (sub == "list" && words.size() == 2) return List(controller);
    if (sub == "get" && words.size() == 3) return Get(words[2], controller);
    if (sub == "set" && words.size() == 4) return Set(words[2], words[3], controller);
    return Reply(kAdminUsage, "", "config takes list, get KEY or set KEY VALUE");
}

}  // namespace corvane
