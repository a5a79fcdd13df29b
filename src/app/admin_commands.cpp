#include "app/admin_commands.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <climits>
#include <map>
#include <set>

#include "accounts/account_names.h"
#include "accounts/group_removal.h"
#include "accounts/permissions.h"
#include "app/admin_reports.h"
#include "app/ban_commands.h"
#include "app/config_commands.h"
#include "common/ratio_text.h"
#include "core/server_controller.h"
#include "core/window_thread.h"

namespace corvane {
namespace {

constexpr const char* kUsage =
    "Administration (the files are changed directly when no server runs on the home, else the\n"
    "running server carries the command out at once):\n"
    "  init                                  create the home with its first-run settings\n"
    "  user add NAME [--group G] [--password-stdin]\n"
    "  user passwd NAME [--password-stdin]\n"
    "  user del NAME\n"
    "  user set NAME KEY VALUE               KEY: group, ratio (0 1/4 1/3 1/2 3/4 1/1 4/3 2/1 3/1 4/1),\n"
    "                                        max-connections, max-ip-connections, max-rate (KB/s),\n"
    "                                        idle-timeout (s); 0 takes the group's value\n"
    "  group add NAME | group del NAME [--with-users] | group set NAME KEY VALUE\n"
    "  folder add ACCOUNT 'C:\\Music\\' [--rights glc-i] [--link URL]\n"
    "                                        rights: g get, p put, l list, c change folder, m make\n"
    "                                        folder, d delete, r remove folder, i inherit\n"
    "  folder del ACCOUNT PATH\n"
    "  home ACCOUNT PATH                     the account's home folder (one of its folders)\n"
    "  weblink ACCOUNT LINK [--folder PATH]  the default web link, or that of a folder\n"
    "  ip mode allow|deny | ip add RULE | ip del RULE | ip dns on|off | ip list [--json]\n"
    "  list | show ACCOUNT [--json]\n"
    "  sessions [--json] | disconnect NUMBER | disconnect --all | status [--json]\n"
    "  bans | bans unban ADDRESS             addresses banned for failed logins, and lifting a ban\n"
    "  config list | config get KEY | config set KEY VALUE\n"
    "                                        the server settings (Port, WebServerPort, PASVIP, ...);\n"
    "                                        a running server applies a new value at once\n";

// Options that take a value, and those that do not.
const std::set<std::string> kValueOptions = {"--group", "--rights", "--link", "--folder"};
const std::set<std::string> kFlagOptions = {"--json", "--all", "--with-users"};

struct Parsed {
    std::vector<std::string> words;
    std::map<std::string, std::string> options;
    bool Flag(const std::string& name) const { return options.count(name) != 0; }
    const std::string* Option(const std::string& name) const
    {
        auto it = options.find(name);
        return it == options.end() ? nullptr : &it->second;
    }
};

AdminReply Refused(const std::string& text)
{
    AdminReply reply;
    reply.status = kAdminRefused;
    reply.err = "corvane-server: " + text + "\n";
    return reply;
}

AdminReply Usage(const std::string& text)
{
    AdminReply reply;
    reply.status = kAdminUsage;
    reply.err = "corvane-server: " + text + "\n" + kUsage;
    return reply;
}

AdminReply Done(const std::string& out, bool changed)
{
    AdminReply reply;
    reply.out = out;
    reply.changed = changed;
    return reply;
}

bool Parse(const std::vector<std::string>& words, Parsed& parsed, std::string& problem)
{
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word.size() > 2 && word.compare(0, 2, "--") == 0) {
            if (kFlagOptions.count(word)) {
                parsed.options[word];
            } else if (kValueOptions.count(word)) {
                if (i + 1 >= words.size()) {
                    problem = word + " needs a value";
                    return false;
                }
                parsed.options[word] = words[++i];
            } else {
                problem = "unknown option " + word;
                return false;
            }
        } else {
            parsed.words.push_back(word);
        }
    }
    return true;
}

// Texts the files keep on one line, without the characters that split their lines.
bool HoldsControlCharacters(const std::string& text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
    return false;
}

std::optional<int> WholeNumber(const std::string& text)
{
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
    return value;
}

// A real folder path as the account files hold it: a drive letter, ":\", and "\" at the end.
bool RealFolderPath(std::string& path, std::string& problem)
{
    if (path.size() < 3 || !std::isalpha(static_cast<unsigned char>(path[0])) || path[1] != ':' || path[2] != '\\') {
        problem = "a folder is a real path with a drive letter, like 'C:\\Music\\'";
        return false;
    }
    if (HoldsControlCharacters(path) || path.find('*') != std::string::npos) {
        problem = "a folder path cannot hold \"*\" or control characters";
        return false;
    }
    if (path.find("\\..\\") != std::string::npos || path.find("...") != std::string::npos ||
        (path.size() >= 3 && path.compare(path.size() - 3, 3, "\\..") == 0)) {
        problem = "a folder path cannot hold \"..\" parts";
        return false;
    }
    if (path.back() != '\\') path += '\\';
    return true;
}

// "glc-i" (letters of the account files in any order, "-" ignored) as the eight flags.
bool RightsFromLetters(const std::string& letters, std::array<bool, 8>& rights)
{
    static constexpr std::string_view kLetters = "gplcmdri";
    rights.fill(false);
    for (char c : letters) {
        if (c == '-') continue;
        const std::size_t at = kLetters.find(c);
        if (at == std::string_view::npos) return false;
        rights[at] = true;
    }
    return true;
}

class Commands {
public:
    Commands(const AdminRequest& request, AdminContext& context, Parsed parsed)
        : request_(request),
          context_(context),
          store_(context.accounts),
          p_(std::move(parsed))
    {}

    AdminReply Run()
    {
        const auto& w = p_.words;
        const std::string command = w[0];
        const std::string sub = w.size() > 1 ? w[1] : "";
        if (command == "user" && sub == "add" && w.size() == 3) return UserAdd(w[2]);
        if (command == "user" && sub == "passwd" && w.size() == 3) return UserPasswd(w[2]);
        if (command == "user" && sub == "del" && w.size() == 3) return AccountDel(w[2], false);
        if (command == "user" && sub == "set" && w.size() == 5) return AccountSet(w[2], false, w[3], w[4]);
        if (command == "group" && sub == "add" && w.size() == 3) return GroupAdd(w[2]);
        if (command == "group" && sub == "del" && w.size() == 3) return AccountDel(w[2], true);
        if (command == "group" && sub == "set" && w.size() == 5) return AccountSet(w[2], true, w[3], w[4]);
        if (command == "folder" && sub == "add" && w.size() == 4) return FolderAdd(w[2], w[3]);
        if (command == "folder" && sub == "del" && w.size() == 4) return FolderDel(w[2], w[3]);
        if (command == "home" && w.size() == 3) return Home(w[1], w[2]);
        if (command == "weblink" && w.size() == 3) return WebLink(w[1], w[2]);
        if (command == "ip" && sub == "mode" && w.size() == 3) return IpMode(w[2]);
        if (command == "ip" && sub == "dns" && w.size() == 3) return IpDns(w[2]);
        if (command == "ip" && sub == "add" && w.size() == 3) return IpAdd(w[2]);
        if (command == "ip" && sub == "del" && w.size() == 3) return IpDel(w[2]);
        if (command == "ip" && sub == "list" && w.size() == 2) return Done(IpListReport(store_, Json()), false);
        if (command == "show" && w.size() == 2) return Show(w[1]);
        if (command == "list" && w.size() == 1) return Done(AccountListReport(store_, Json()), false);
        if (command == "sessions" && w.size() == 1) return Done(SessionsReport(context_.controller, Json()), false);
        if (command == "status" && w.size() == 1) return Status();
        if (command == "bans") return RunBansCommand(w, context_.controller, context_.home);
        if (command == "config") return RunConfigCommand(w, context_.controller);
        if (command == "disconnect" && (w.size() == 2 || (w.size() == 1 && p_.Flag("--all")))) return Disconnect();
        return Usage("cannot understand '" + Joined(w) + "'");
    }

private:
    bool Json() const { return p_.Flag("--json"); }

    static std::string Joined(const std::vector<std::string>& words)
    {
        std::string text;
        for (const auto& word : words) text += (text.empty() ? "" : " ") + word;
        return text;
    }

    AdminReply UserAdd(const std::string& name)
    {
        std::string group(kAllOthersGroup);
        if (const std::string* chosen = p_.Option("--group")) {
            AccountPtr found = store_.FindGroup(*chosen);
            if (!found) return Refused("there is no group named \"" + *chosen + "\"");
            group = found->Name();
        }
        const bool anonymous = MapLoginName(name) == kAnonymousName;
        if (!anonymous && !request_.password) return Refused("no password was given");
        std::string reason;
        if (anonymous && store_.FindUser(name))
            return Refused("Anonymous user already exists\nPlease either remove it first then create a new one or just "
                           "modify it.");
        if (!store_.AddUser(name, anonymous ? std::string() : *request_.password, group, &reason))
            return Refused(reason);
        return Done("User \"" + MapLoginName(name) + "\" added to the group \"" + group + "\".\n", true);
    }

    AdminReply UserPasswd(const std::string& name)
    {
        AccountPtr user = store_.FindUser(name);
        if (!user) return Refused("there is no user named \"" + name + "\"");
        if (user->anyPassword.Get())
            return Refused("\"" + user->Name() + "\" accepts any password; it has none to set");
        if (!request_.password) return Refused("no password was given");
        std::string reason;
        if (!store_.SetPassword(user->Name(), *request_.password, &reason)) return Refused(reason);
        return Done("Password of \"" + user->Name() + "\" set.\n", true);
    }

    AdminReply GroupAdd(const std::string& name)
    {
        std::string reason;
        if (!store_.AddGroup(name, &reason)) return Refused(reason);
        return Done("Group \"" + name + "\" added.\n", true);
    }

    AdminReply AccountDel(const std::string& name, bool group)
    {
        AccountPtr account = group ? store_.FindGroup(name) : store_.FindUser(name);
        if (!account)
            return Refused(std::string("there is no ") + (group ? "group" : "user") + " named \"" + name + "\"");
        if (!group) {
            store_.RemoveUser(account->Name(), true);
            return Done("User \"" + account->Name() + "\" deleted.\n", true);
        }
        if (SameAccountName(account->Name(), kAllOthersGroup)) return Refused("Group \"All Others\" cannot be removed");
        const std::size_t members = UsersOfGroup(store_, account->Name()).size();
        if (members > 0 && !p_.Flag("--with-users"))
            return Refused("the group \"" + account->Name() + "\" has " + std::to_string(members) +
                           " users; add --with-users to delete them with it");
        // The window's Delete Group: its users go first, permanently.
        const GroupRemoval removal = RemoveGroupWithUsers(store_, account->Name());
        if (!removal.removed) return Refused("the group \"" + account->Name() + "\" could not be removed");
        const std::size_t removed = removal.users.size();
        return Done("Group \"" + account->Name() + "\" deleted" +
                        (removed == 0 ? std::string() : " with its " + std::to_string(removed) + " users") + ".\n",
                    true);
    }

    AdminReply AccountSet(const std::string& name, bool group, const std::string& key, const std::string& value)
    {
        AccountPtr account = group ? store_.FindGroup(name) : store_.FindUser(name);
        if (!account)
            return Refused(std::string("there is no ") + (group ? "group" : "user") + " named \"" + name + "\"");
        const std::string& n = account->Name();
        if (key == "group" && !group) {
            if (!store_.SetUserGroup(n, value)) return Refused("there is no group named \"" + value + "\"");
            return Done("\"" + n + "\" is now in the group \"" + store_.GetUserGroup(n) + "\".\n", true);
        }
        if (key == "ratio") {
            bool known = false;
            for (auto text : kRatioTexts) known = known || text == value;
            if (!known) return Refused("a ratio is one of 0 1/4 1/3 1/2 3/4 1/1 4/3 2/1 3/1 4/1");
            store_.SetUdRatio(n, static_cast<float>(RatioFromText(value)));
            return Done("ratio of \"" + n + "\" set to " + value + ".\n", true);
        }
        using Setter = void (permissionsClass::*)(const std::string&, int);
        static const std::map<std::string, Setter> kNumbers = {
            {"max-connections", &permissionsClass::SetMaxAccountConnections},
            {"max-ip-connections", &permissionsClass::SetMaxIpConnections},
            {"max-rate", &permissionsClass::SetMaxTransferRate},
            {"idle-timeout", &permissionsClass::SetIdleTimeout},
        };
        auto setter = kNumbers.find(key);
        if (setter == kNumbers.end())
            return Usage("unknown value \"" + key +
                         "\" (group, ratio, max-connections, max-ip-connections, max-rate, idle-timeout)");
        const std::optional<int> number = WholeNumber(value);
        if (!number) return Refused(key + " is a whole number from 0 to " + std::to_string(INT_MAX));
        (store_.*(setter->second))(n, *number);
        return Done(key + " of \"" + n + "\" set to " + value + ".\n", true);
    }

    AccountPtr AccountNamed(const std::string& name, AdminReply& refusal) const
    {
        AccountPtr account = store_.FindAccount(name);
        if (!account) refusal = Refused("there is no user or group named \"" + name + "\"");
        return account;
    }

    AdminReply FolderAdd(const std::string& name, std::string folder)
    {
        AdminReply refusal;
        AccountPtr account = AccountNamed(name, refusal);
        if (!account) return refusal;
        std::string problem;
        if (!RealFolderPath(folder, problem)) return Refused(problem);
        std::array<bool, 8> rights{};
        // The window's Add Folder grants get, list, change folder and inherit.
        const std::string letters = p_.Option("--rights") ? *p_.Option("--rights") : "g-lc---i";
        if (!RightsFromLetters(letters, rights))
            return Refused("rights are letters of gplcmdri (\"-\" for none), like glc-i");
        const std::string* link = p_.Option("--link");
        if (link && HoldsControlCharacters(*link)) return Refused("a web link cannot hold control characters");
        const std::string& n = account->Name();
        for (int f = 0; f < 8; ++f)
            if (rights[static_cast<std::size_t>(f)]) store_.Folders().GrantFlag(n, folder, static_cast<FolderFlag>(f));
        // A folder that was there already gets exactly the rights given.
        for (int f = 0; f < 8; ++f)
            if (!rights[static_cast<std::size_t>(f)])
                store_.Folders().RevokeFlag(n, folder, static_cast<FolderFlag>(f));
        if (!FolderRights::FindEntry(*account, folder)) {
            // No right at all: the entry is made with every flag off, as the files can hold it.
            store_.Folders().GrantFlag(n, folder, FolderFlag::get);
            store_.Folders().RevokeFlag(n, folder, FolderFlag::get);
        }
        if (link) store_.Folders().SetFolderWebLink(n, folder, *link);
        auto entry = FolderRights::FindEntry(*account, folder);
        return Done("Folder " + entry->ToLine().substr(0, 8) + " " + folder + " of \"" + n + "\".\n", true);
    }

    // The account's entry for a folder path; none with `refusal` set when the account, the
    // path or the entry is missing.
    FolderEntryPtr EntryNamed(const std::string& name, std::string folder, AccountPtr& account, AdminReply& refusal,
                              const std::string& hint = "") const
    {
        account = AccountNamed(name, refusal);
        if (!account) return nullptr;
        std::string problem;
        if (!RealFolderPath(folder, problem)) {
            refusal = Refused(problem);
            return nullptr;
        }
        auto entry = FolderRights::FindEntry(*account, folder);
        if (!entry) refusal = Refused("\"" + account->Name() + "\" has no folder " + folder + hint);
        return entry;
    }

    AdminReply FolderDel(const std::string& name, const std::string& folder)
    {
        AccountPtr account;
        AdminReply refusal;
        auto entry = EntryNamed(name, folder, account, refusal);
        if (!entry) return refusal;
        store_.Folders().RemoveFolder(account->Name(), entry->Path());
        return Done("Folder " + entry->Path() + " of \"" + account->Name() + "\" removed.\n", true);
    }

    AdminReply Home(const std::string& name, const std::string& folder)
    {
        AccountPtr account;
        AdminReply refusal;
        auto entry = EntryNamed(name, folder, account, refusal, "; add it first with 'folder add'");
        if (!entry) return refusal;
        // As the window's Home Folder box: the folder becomes the home, with change and list on.
        store_.Folders().SetHomeFolder(account->Name(), entry->Path());
        store_.Folders().GrantFlag(account->Name(), entry->Path(), FolderFlag::CWD);
        store_.Folders().GrantFlag(account->Name(), entry->Path(), FolderFlag::list);
        return Done("Home folder of \"" + account->Name() + "\" is " + entry->Path() + ".\n", true);
    }

    AdminReply WebLink(const std::string& name, const std::string& link)
    {
        AdminReply refusal;
        AccountPtr account = AccountNamed(name, refusal);
        if (!account) return refusal;
        if (HoldsControlCharacters(link)) return Refused("a web link cannot hold control characters");
        if (const std::string* given = p_.Option("--folder")) {
            auto entry = EntryNamed(name, *given, account, refusal);
            if (!entry) return refusal;
            store_.Folders().SetFolderWebLink(account->Name(), entry->Path(), link);
            return Done("Web link of " + entry->Path() + " of \"" + account->Name() + "\" set.\n", true);
        }
        store_.SetDefaultWebLink(account->Name(), link);
        return Done("Default web link of \"" + account->Name() + "\" set.\n", true);
    }

    AdminReply IpMode(const std::string& mode)
    {
        if (mode != "allow" && mode != "deny") return Usage("ip mode is allow or deny");
        store_.IpRules().SetIpRuleMode(mode == "allow" ? 0 : 1);
        return Done(mode == "allow" ? "Addresses that match a rule are allowed, all others denied.\n"
                                    : "Addresses that match a rule are denied, all others allowed.\n",
                    true);
    }

    AdminReply IpDns(const std::string& value)
    {
        if (value != "on" && value != "off") return Usage("ip dns is on or off");
        store_.IpRules().SetReverseDnsCheck(value == "on");
        return Done("Host-name rules are " + std::string(value == "on" ? "checked" : "not checked") + ".\n", true);
    }

    AdminReply IpAdd(const std::string& rule)
    {
        if (HoldsControlCharacters(rule) || !store_.IpRules().AddIpRule(rule))
            return Refused("Invalid IP address/rule entered.");
        return Done("Rule " + rule + " added.\n", true);
    }

    AdminReply IpDel(const std::string& rule)
    {
        std::vector<std::string> rules = store_.IpRules().ListIpRules();
        auto it = std::find(rules.begin(), rules.end(), rule);
        if (it == rules.end()) return Refused("there is no rule " + rule);
        rules.erase(it);
        // As the page's Save && Apply: the list is rebuilt from what remains.
        store_.IpRules().ClearIpRules();
        for (const auto& kept : rules) store_.IpRules().AddIpRule(kept);
        return Done("Rule " + rule + " removed.\n", true);
    }

    AdminReply Show(const std::string& name)
    {
        AdminReply refusal;
        AccountPtr account = AccountNamed(name, refusal);
        if (!account) return refusal;
        return Done(AccountReport(store_, *account, Json()), false);
    }

    AdminReply Status()
    {
        AdminReply reply = Done(StatusReport(context_.controller, context_.home, Json()), false);
        if (!context_.controller) reply.status = kAdminNotRunning;
        return reply;
    }

    AdminReply Disconnect()
    {
        serverController* controller = context_.controller;
        if (!controller) return Refused("no server runs on " + context_.home);
        if (p_.Flag("--all"))
            return Done("Disconnected " + std::to_string(controller->disconnectAll()) + " sessions.\n", false);
        const std::optional<int> number = WholeNumber(p_.words[1]);
        if (!number) return Usage("disconnect takes a session number (see 'sessions') or --all");
        const SessionRecordPtr record =
            *number > 0 ? controller->sessions().FindSession(static_cast<std::uint64_t>(*number)) : nullptr;
        // Client numbers are never reused: a client that has gone meanwhile is not found, and
        // then this command did not end it.
        if (record && controller->disconnectClient(record->ClientNumber())) {
            return Done("Disconnected session " + std::to_string(*number) + " (" + record->AccountName() + " from " +
                            record->PeerAddress() + ").\n",
                        false);
        }
        return Refused("there is no session " + p_.words[1] + " (see 'sessions')");
    }

    const AdminRequest& request_;
    AdminContext& context_;
    permissionsClass& store_;
    Parsed p_;
};

}  // namespace

AdminReply RunAdminCommand(const AdminRequest& request, AdminContext& context)
{
    // A running server's commands come to its window thread; without one there is no other.
    if (context.controller != nullptr) CORVANE_ASSERT_WINDOW_THREAD(context.controller->window());
    Parsed parsed;
    std::string problem;
    if (!Parse(request.words, parsed, problem)) return Usage(problem);
    if (parsed.words.empty()) return Usage("no command given");
    return Commands(request, context, std::move(parsed)).Run();
}

bool CommandSetsPassword(const std::vector<std::string>& words, std::string* account)
{
    std::vector<std::string> plain;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (kValueOptions.count(words[i])) ++i;
        else if (words[i].compare(0, 2, "--") != 0) plain.push_back(words[i]);
    }
    if (plain.size() != 3 || plain[0] != "user" || (plain[1] != "add" && plain[1] != "passwd")) return false;
    if (plain[1] == "add" && MapLoginName(plain[2]) == kAnonymousName) return false;
    if (account) *account = plain[2];
    return true;
}

bool IsAdminCommandWord(const std::string& word)
{
    static const std::set<std::string> kWords = {"init", "user", "group", "folder",   "home",       "weblink",
                                                 "ip",   "show", "list",  "sessions", "disconnect", "status", "bans",
                                                 "config"};
    return kWords.count(word) != 0;
}

const char* AdminUsageText() { return kUsage; }

}  // namespace corvane
