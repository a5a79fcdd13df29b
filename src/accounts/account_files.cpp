// The account store's files: usersgroups.ini (name lists and one section per account), the
// ".kcf" folder file of each account, and the IP rules in the server settings.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "accounts/account_names.h"
#include "accounts/ini_keys.h"
#include "accounts/permissions.h"
#include "accounts/real_path_compare.h"
#include "common/decimal_text.h"
#include "common/text_case.h"
#include "platform/fs.h"
#include "platform/fs_batch.h"

namespace corvane {
namespace {

constexpr const char* kAccountsFile = "usersgroups.ini";
constexpr const char* kServerSettingsFile = "CorvaneServer.ini";

// "UD Ratio": a decimal number written with "." whatever the locale. A "," in its place reads
// as the separator too: a file written under a comma-decimal locale holds "0,25". Anything else
// (and a non-finite value) reads as 0 instead of stopping the load.
float ParseUdRatio(std::string text)
{
    if (text.find('.') == std::string::npos) {
        const std::size_t comma = text.find(',');
        if (comma != std::string::npos) text[comma] = '.';
    }
    float value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || !std::isfinite(value)) return 0;
    return value;
}

std::string FormatUdRatio(float ratio) { return DecimalText(static_cast<double>(ratio), 15); }

// The folder file's lines, held sorted without regard to case, a line equal (without regard
// to case) to one already held dropped.
std::vector<std::string> SortedUniqueLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    std::vector<std::pair<std::string, std::string>> keyed;  // folded, original
    for (auto& line : lines) keyed.emplace_back(FoldCase(line), std::move(line));
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> sorted;
    for (size_t i = 0; i < keyed.size(); ++i)
        if (i == 0 || keyed[i].first != keyed[i - 1].first) sorted.push_back(std::move(keyed[i].second));
    return sorted;
}

void ReadFolderFile(accountClass& account, const std::string& path)
{
    std::string text;
    if (!fs::ReadFileText(path, text)) {
        account.storedFolderFile.Set(std::nullopt);
        return;
    }
    account.storedFolderFile.Set(text);
    for (const auto& line : SortedUniqueLines(text)) {
        // A line too short to name a folder (an empty line of a hand-edited file) carries nothing.
        if (line.size() < 9) continue;
        auto entry = folderEntryClass::FromLine(line);
        for (const auto& old : account.Entries())
            if (SameRealFolder(old->Path(), entry->Path())) {
                account.RemoveEntry(old);
                break;
            }
        account.AppendEntry(std::move(entry));
    }
}

std::string FolderFileText(const accountClass& account)
{
    std::string text;
    for (const auto& entry : account.Entries()) text += entry->ToLine() + "\r\n";
    return text;
}

}  // namespace

// ---- One account ----

std::string permissionsClass::AccountsFilePath() const { return programFolder_ + kAccountsFile; }

std::string permissionsClass::FolderFilePath(const accountClass& account) const
{
    return programFolder_ + (account.IsGroup() ? "group - " : "user - ") + account.Name() + ".kcf";
}

void permissionsClass::ReadAccountFiles(accountClass& account)
{
    ReadFolderFile(account, FolderFilePath(account));
    IniImage opened;
    const IniImage* image = accountsImage_;
    if (!image) {
        opened = IniImage::Open(AccountsFilePath());
        image = &opened;
    }
    const std::string& s = account.Name();
    std::string home = image->ReadString(s, "Home Directory", "");
    if (!home.empty()) account.homeFolder.Set(home);
    else FolderRights::MakeFirstEntryHome(account);  // the home must be reachable
    if (!account.IsGroup())
        if (auto g = FindGroup(image->ReadString(s, "Group", ""))) account.group.Set(g->Name());
    account.password.Set(ParseStoredPassword(image->ReadRawValue(s, "Password").value_or("")));
    account.defaultWebLink.Set(image->ReadString(s, "Default Web Link", ""));
    account.udRatio.Set(ParseUdRatio(image->ReadString(s, "UD Ratio", "0")));
    account.maxTransferRate.Set(ReadIntKey(*image, s, "Max Transfer Rate", 0));
    account.maxAccountConnections.Set(ReadIntKey(*image, s, "Max Account Connections", 0));
    account.maxIpConnections.Set(ReadIntKey(*image, s, "Max IP Connections", 0));
    account.idleTimeout.Set(ReadIntKey(*image, s, "Idle Timeout", 900));
}

void permissionsClass::WriteAccountSection(const accountClass& account, IniImage& image) const
{
    const std::string& s = account.Name();
    image.WriteString(s, "Home Directory", account.homeFolder.Get());
    image.WriteString(s, "Group", account.group.Get());
    image.WriteString(s, "Password", StoredPasswordFileValue(account.password.Get()));
    image.WriteString(s, "Default Web Link", account.defaultWebLink.Get());
    image.WriteString(s, "UD Ratio", FormatUdRatio(account.udRatio.Get()));
    image.WriteInteger(s, "Max Transfer Rate", account.maxTransferRate.Get());
    image.WriteInteger(s, "Max Account Connections", account.maxAccountConnections.Get());
    image.WriteInteger(s, "Max IP Connections", account.maxIpConnections.Get());
    image.WriteInteger(s, "Idle Timeout", account.idleTimeout.Get());
}

std::optional<std::string> permissionsClass::ChangedFolderFileText(const accountClass& account)
{
    std::string text = FolderFileText(account);
    if (account.storedFolderFile.Get() == text) return std::nullopt;  // the file already holds it
    return text;
}

bool permissionsClass::WriteAccountFiles(accountClass& account, IniImage& image)
{
    HashPlainPassword(account);
    WriteAccountSection(account, image);
    auto text = ChangedFolderFileText(account);
    if (!text) return true;
    if (!fs::WriteFileAtomically(FolderFilePath(account), *text)) return false;
    account.storedFolderFile.Set(std::move(*text));
    return true;
}

void permissionsClass::WriteAccountFiles(accountClass& account)
{
    IniImage image = IniImage::Open(AccountsFilePath());
    WriteAccountFiles(account, image);
    image.Save(AccountsFilePath());
}

void permissionsClass::DeleteAccountFiles(accountClass& account)
{
    // Written first and then erased, as any removal writes: the net effect is no section.
    IniImage image = IniImage::Open(AccountsFilePath());
    if (image.SectionExists(account.Name())) {
        image.EraseSection(account.Name());
        image.Save(AccountsFilePath());
    }
    if (fs::HostFileExists(FolderFilePath(account))) fs::RemoveHostFile(FolderFilePath(account));
    account.storedFolderFile.Set(std::nullopt);
}

// ---- The whole store ----

void permissionsClass::LoadAccounts(const IniImage& serverSettings)
{
    if (loaded_.Get()) {
        IniImage settings = serverSettings;
        SaveAccounts(settings);
    }
    ipRules_.LoadIpRules(serverSettings);
    // A save that was killed part-way may have left hidden temporaries of the account files; no
    // save of this store is running now (loading and saving share the window thread).
    fs::RemoveStaleRewriteTemporaries(programFolder_, [](std::string_view name) {
        auto startsWith = [&](std::string_view p) { return name.substr(0, p.size()) == p; };
        return name == kAccountsFile || ((startsWith("user - ") || startsWith("group - ")) && name.size() > 4 &&
                                         name.substr(name.size() - 4) == ".kcf");
    });
    IniImage image = IniImage::Open(AccountsFilePath());
    // Names read from the lists; empty names (a count larger than its keys) and repeats are
    // dropped, so the next save writes clean lists.
    auto readNames = [&](const char* section, const char* countKey, const char* prefix) {
        std::vector<std::string> names;
        std::unordered_set<std::string> seen;  // folded names
        long long count = image.ReadInteger(section, countKey, 0);
        for (long long i = 0; i < count && i < 10'000'000; ++i) {
            std::string name = image.ReadString(section, prefix + std::to_string(i), "");
            if (name.empty()) continue;
            if (seen.insert(FoldCase(name)).second) names.push_back(name);
        }
        return names;
    };
    std::vector<std::string> groups = readNames("Groupnames", "GroupCount", "Group");
    if (std::none_of(groups.begin(), groups.end(),
                     [](const std::string& n) { return SameAccountName(n, kAllOthersGroup); }))
        groups.emplace_back(kAllOthersGroup);
    std::vector<std::string> users = readNames("Usernames", "UserCount", "User");
    accounts_.SetGroupNames(groups);
    accounts_.SetUserNames(users);
    // A name already in the store (or repeated in the lists) is found by its folded name.
    accountsImage_ = &image;
    for (const auto& name : groups)
        if (!FindGroup(name)) BuildGroup(name, false);
    for (const auto& name : users)
        if (!FindUser(name)) BuildUser(name, false, StoredPassword{}, "");
    accountsImage_ = nullptr;
    loaded_.Set(true);
}

bool permissionsClass::SaveAccounts(IniImage& serverSettings) { return WriteStore(serverSettings, true); }

bool permissionsClass::WriteAccounts(IniImage& serverSettings) { return WriteStore(serverSettings, false); }

bool permissionsClass::WriteStore(IniImage& serverSettings, bool empty)
{
    ipRules_.SaveIpRules(serverSettings);
    IniImage image = IniImage::Open(AccountsFilePath());
    const std::vector<std::string> users = UserNames();
    const std::vector<std::string> groups = GroupNames();
    // The name lists are erased and written anew, so they move to the end of the file.
    image.EraseSection("Usernames");
    image.WriteInteger("Usernames", "UserCount", static_cast<long long>(users.size()));
    for (size_t i = 0; i < users.size(); ++i) image.WriteString("Usernames", "User" + std::to_string(i), users[i]);
    image.EraseSection("Groupnames");
    image.WriteInteger("Groupnames", "GroupCount", static_cast<long long>(groups.size()));
    for (size_t i = 0; i < groups.size(); ++i) image.WriteString("Groupnames", "Group" + std::to_string(i), groups[i]);

    const std::vector<AccountPtr> userRecords = empty ? accounts_.TakeUsers() : accounts_.Users();
    const std::vector<AccountPtr> groupRecords = empty ? accounts_.TakeGroups() : accounts_.Groups();
    // Users are written in user-name order (then any record the list lacks), then groups. The
    // folder files that changed are replaced together, with one wait for the disk for all of them.
    std::unordered_map<std::string, size_t> byName;
    for (size_t i = 0; i < userRecords.size(); ++i) byName.emplace(FoldCase(userRecords[i]->Name()), i);
    std::vector<bool> written(userRecords.size(), false);
    fs::AtomicFileBatch batch;
    struct ChangedFolderFile {
        AccountPtr account;
        std::string text;
        size_t batchIndex;
    };
    std::vector<ChangedFolderFile> changedFolderFiles;
    auto write = [&](const AccountPtr& account) {
        HashPlainPassword(*account);
        WriteAccountSection(*account, image);
        if (auto text = ChangedFolderFileText(*account)) {
            size_t index = batch.Add(FolderFilePath(*account), *text);
            changedFolderFiles.push_back({account, std::move(*text), index});
        }
        if (auto* o = Observer(); o && empty) o->AccountRemoved(account->Name(), account->IsGroup());
    };
    for (const auto& name : users) {
        auto it = byName.find(FoldCase(MapLoginName(name)));
        if (it == byName.end() || written[it->second]) continue;
        written[it->second] = true;
        write(userRecords[it->second]);
    }
    for (size_t i = 0; i < userRecords.size(); ++i)
        if (!written[i]) write(userRecords[i]);
    for (const auto& g : groupRecords) write(g);
    batch.Add(AccountsFilePath(), image.ToText());
    const bool ok = batch.Commit();
    // What each replaced file now holds, for any share of a record that outlives the store's.
    for (auto& changed : changedFolderFiles)
        if (batch.Replaced(changed.batchIndex)) changed.account->storedFolderFile.Set(std::move(changed.text));
    if (empty) loaded_.Set(false);
    return ok;
}

void permissionsClass::LoadAccounts() { LoadAccounts(IniImage::Open(programFolder_ + kServerSettingsFile)); }

bool permissionsClass::SaveAccounts()
{
    IniImage settings = IniImage::Open(programFolder_ + kServerSettingsFile);
    bool ok = SaveAccounts(settings);
    return settings.Save(programFolder_ + kServerSettingsFile) && ok;
}

}  // namespace corvane
