#include "app/admin_reports.h"

#include <algorithm>
#include <vector>

#include "accounts/account_names.h"
#include "accounts/permissions.h"
#include "common/decimal_text.h"
#include "common/json_text.h"
#include "common/ratio_text.h"
#include "core/server_controller.h"
#include "platform/home_lock.h"

namespace corvane {
namespace {

// Rows printed in columns as wide as their widest cell, two blanks apart.
std::string Columns(const std::vector<std::vector<std::string>>& rows)
{
    std::vector<std::size_t> widths;
    for (const auto& row : rows)
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (widths.size() <= i) widths.push_back(0);
            widths[i] = std::max(widths[i], row[i].size());
        }
    std::string text;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? row[i] + std::string(widths[i] - row[i].size() + 2, ' ') : row[i];
        text += line + "\n";
    }
    return text;
}

std::string RatioText(float ratio)
{
    const std::size_t index = RatioIndex(ratio);
    if (index != 0 || ratio == 0.0f) return std::string(kRatioTexts[index]);
    return DecimalText(static_cast<double>(ratio), 6);
}

struct Limit {
    const char* key;
    const char* jsonKey;
    int own;
    int effective;
};

std::vector<Limit> LimitsOf(const permissionsClass& store, const accountClass& a)
{
    const std::string& n = a.Name();
    return {
        {"max-connections", "maxConnections", a.maxAccountConnections.Get(), store.GetMaxAccountConnections(n)},
        {"max-ip-connections", "maxIpConnections", a.maxIpConnections.Get(), store.GetMaxIpConnections(n)},
        {"max-rate", "maxRateKBps", a.maxTransferRate.Get(), store.GetMaxTransferRate(n)},
        {"idle-timeout", "idleTimeoutSeconds", a.idleTimeout.Get(), store.GetIdleTimeout(n)},
    };
}

std::vector<std::string> MembersOf(const permissionsClass& store, const accountClass& group)
{
    std::vector<std::string> members;
    for (const auto& user : store.UserNames())
        if (SameAccountName(store.GetUserGroup(user), group.Name())) members.push_back(user);
    return members;
}

std::string AccountJson(const permissionsClass& store, const accountClass& a)
{
    JsonWriter j;
    j.BeginObject().String("name", a.Name()).String("kind", a.IsGroup() ? "group" : "user");
    if (!a.IsGroup()) j.String("group", a.group.Get());
    j.String("home", a.homeFolder.Get()).String("effectiveHome", store.Folders().GetHomeFolder(a.Name()));
    j.String("defaultWebLink", a.defaultWebLink.Get());
    j.BeginObject("ratio")
        .String("own", RatioText(a.udRatio.Get()))
        .String("effective", RatioText(store.GetUdRatio(a.Name())))
        .EndObject();
    for (const auto& limit : LimitsOf(store, a))
        j.BeginObject(limit.jsonKey).Number("own", limit.own).Number("effective", limit.effective).EndObject();
    j.Bool("anyPassword", a.anyPassword.Get());
    j.BeginArray("folders");
    for (const auto& entry : a.Entries())
        j.BeginObject()
            .String("path", entry->Path())
            .String("rights", entry->ToLine().substr(0, 8))
            .String("webLink", entry->WebLink())
            .EndObject();
    j.EndArray();
    if (a.IsGroup()) {
        j.BeginArray("users");
        for (const auto& member : MembersOf(store, a)) j.String(member);
        j.EndArray();
    }
    j.EndObject();
    return j.Text() + "\n";
}

// "3", or for a user whose own 0 takes the group's value: "0 (group: 3)".
std::string OwnAndEffective(const accountClass& a, const std::string& own, const std::string& effective)
{
    if (a.IsGroup() || own == effective) return own;
    return own + " (group: " + effective + ")";
}

}  // namespace

std::string AccountReport(const permissionsClass& store, const accountClass& a, bool json)
{
    if (json) return AccountJson(store, a);
    std::vector<std::vector<std::string>> rows;
    rows.push_back({a.IsGroup() ? "Group:" : "User:", a.Name()});
    if (!a.IsGroup()) rows.push_back({"group", a.group.Get()});
    rows.push_back({"home", OwnAndEffective(a, a.homeFolder.Get(), store.Folders().GetHomeFolder(a.Name()))});
    rows.push_back({"weblink", a.defaultWebLink.Get()});
    rows.push_back({"ratio", OwnAndEffective(a, RatioText(a.udRatio.Get()), RatioText(store.GetUdRatio(a.Name())))});
    for (const auto& limit : LimitsOf(store, a))
        rows.push_back({limit.key, OwnAndEffective(a, std::to_string(limit.own), std::to_string(limit.effective))});
    if (a.anyPassword.Get()) rows.push_back({"password", "any password is accepted"});
    std::string text = Columns(rows);
    const auto entries = a.Entries();
    text += entries.empty() ? "No folders.\n" : "Folders:\n";
    std::vector<std::vector<std::string>> folders;
    for (const auto& entry : entries) {
        std::vector<std::string> row = {"  " + entry->ToLine().substr(0, 8), entry->Path()};
        if (!entry->WebLink().empty()) row.push_back(entry->WebLink());
        folders.push_back(row);
    }
    text += Columns(folders);
    if (a.IsGroup()) {
        const auto members = MembersOf(store, a);
        text += members.empty() ? "No users.\n" : "Users:\n";
        for (const auto& member : members) text += "  " + member + "\n";
    }
    return text;
}

std::string AccountListReport(const permissionsClass& store, bool json)
{
    if (json) {
        JsonWriter j;
        j.BeginArray();
        for (const auto& group : store.GroupNames()) {
            j.BeginObject().String("group", group).BeginArray("users");
            for (const auto& user : store.UserNames())
                if (SameAccountName(store.GetUserGroup(user), group)) j.String(user);
            j.EndArray().EndObject();
        }
        return j.EndArray().Text() + "\n";
    }
    std::string text;
    for (const auto& group : store.GroupNames()) {
        text += group + "\n";
        for (const auto& user : store.UserNames())
            if (SameAccountName(store.GetUserGroup(user), group)) text += "  " + user + "\n";
    }
    return text;
}

std::string IpListReport(const permissionsClass& store, bool json)
{
    const bool allowListed = store.IpRules().GetIpRuleMode() == 0;
    const auto rules = store.IpRules().ListIpRules();
    if (json) {
        JsonWriter j;
        j.BeginObject()
            .String("mode", allowListed ? "allow" : "deny")
            .Bool("reverseDnsCheck", store.IpRules().GetReverseDnsCheck());
        j.BeginArray("rules");
        for (const auto& rule : rules) j.String(rule);
        return j.EndArray().EndObject().Text() + "\n";
    }
    std::string text = allowListed ? "Mode: allow (addresses that match a rule are allowed, all others denied)\n"
                                   : "Mode: deny (addresses that match a rule are denied, all others allowed)\n";
    text += std::string("Host-name rules checked: ") + (store.IpRules().GetReverseDnsCheck() ? "yes" : "no") + "\n";
    text += rules.empty() ? "No rules.\n" : "Rules:\n";
    for (const auto& rule : rules) text += "  " + rule + "\n";
    return text;
}

std::string SessionsReport(serverController* controller, bool json)
{
    std::vector<SessionRecordPtr> records;
    if (controller) records = controller->sessions().Records();
    if (json) {
        JsonWriter j;
        j.BeginArray();
        for (const auto& r : records)
            j.BeginObject()
                .Number("number", static_cast<long long>(r->Number()))
                .String("user", r->AccountName())
                .String("group", r->GroupName())
                .String("ip", r->PeerAddress())
                .String("currentPath", r->CurrentPath())
                .String("lastCommand", r->LastCommand())
                .Number("lastAction", r->LastAction())
                .EndObject();
        return j.EndArray().Text() + "\n";
    }
    if (records.empty()) return controller ? "No sessions.\n" : "No server runs; no sessions.\n";
    std::vector<std::vector<std::string>> rows = {
        {"Number", "Username", "Group", "IP", "Current Path", "Last Command"}};
    for (const auto& r : records)
        rows.push_back({std::to_string(r->Number()), r->AccountName(), r->GroupName(), r->PeerAddress(),
                        r->CurrentPath(), r->LastCommand()});
    return Columns(rows);
}

std::string StatusReport(serverController* controller, const std::string& home, bool json)
{
    const bool running = controller != nullptr;
    const bool ftp = running && controller->ftpListening();
    const bool http = running && controller->httpListening();
    if (json) {
        JsonWriter j;
        j.BeginObject().Bool("running", running).String("home", home);
        if (running) {
            j.Number("pid", HomeLock::LastHolder(home));
            j.BeginObject("ftp")
                .Bool("listening", ftp)
                .Number("port", controller->settings().Port)
                .Number("clients", controller->clientCount(kServiceFtp))
                .EndObject();
            j.BeginObject("http")
                .Bool("listening", http)
                .Number("port", controller->settings().WebServerPort)
                .Number("clients", controller->clientCount(kServiceHttp))
                .EndObject();
            j.Number("sessions", static_cast<long long>(controller->sessions().Count()));
        }
        return j.EndObject().Text() + "\n";
    }
    if (!running) return "No server runs on " + home + ".\n";
    std::vector<std::vector<std::string>> rows = {
        {"Server:", "running (process " + std::to_string(HomeLock::LastHolder(home)) + ") on " + home},
        {"FTP:", (ftp ? "listening on port " : "not listening; port ") + std::to_string(controller->settings().Port) +
                     ", " + std::to_string(controller->clientCount(kServiceFtp)) + " clients"},
        {"HTTP:", (http ? "listening on port " : "not listening; port ") +
                      std::to_string(controller->settings().WebServerPort) + ", " +
                      std::to_string(controller->clientCount(kServiceHttp)) + " clients"},
        {"Sessions:", std::to_string(controller->sessions().Count())},
    };
    return Columns(rows);
}

}  // namespace corvane
