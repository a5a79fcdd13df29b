#include "accounts/folder_rights.h"

#include <algorithm>
#include <cctype>

#include "accounts/real_path_compare.h"
#include "common/path_text.h"

namespace corvane {
namespace {

bool CaseInsensitiveLess(const std::string& a, const std::string& b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

FolderRights::FolderRights(const AccountDirectory& accounts, FolderExistsTest folderExists, ChangeNotice changed)
    : accounts_(accounts),
      folderExists_(std::move(folderExists)),
      changed_(std::move(changed))
{}

FolderEntryPtr FolderRights::FindEntry(const accountClass& account, const std::string& folder)
{
    if (folder.find("...") != std::string::npos) return nullptr;
    const std::string wanted = AddTrailingBackslash(folder);
    for (const auto& entry : account.Entries())
        if (SameRealPathText(AddTrailingBackslash(entry->Path()), wanted)) return entry;
    return nullptr;
}

void FolderRights::MakeFirstEntryHome(accountClass& account)
{
    auto entries = account.Entries();
    if (entries.empty()) {
        account.homeFolder.Set(std::string());
        return;
    }
    account.homeFolder.Set(entries.front()->Path());
    for (FolderFlag flag : {FolderFlag::list, FolderFlag::CWD, FolderFlag::get}) entries.front()->SetFlag(flag, true);
}

// ---- Decisions ----

bool FolderRights::CheckAccountFolder(const accountClass& account, const std::string& folder, const std::string& op,
                                      std::string* link, bool inherited) const
{
    const std::string home = AddTrailingBackslash(account.homeFolder.Get());
    std::string current = RemoveDotDotSegments(folder);
    for (;;) {
        if (!folderExists_ || !folderExists_(current)) return false;
        if (current.find("...") != std::string::npos) return false;
        if (SameRealPathText(current, home + "..\\")) return false;
        if (current.size() >= home.size() + 2 &&
            SameRealPathText(std::string_view(current).substr(0, home.size() + 2), home + ".."))
            return false;
        FolderEntryPtr entry = FindEntry(account, current);
        if (entry && (!inherited || entry->Flag(FolderFlag::inherit))) {
            if (op == "weblink") {
                std::string entryLink = entry->WebLink();
                if (link) *link = entryLink;
                return !entryLink.empty();
            }
            auto flag = FolderFlagForKeyword(op);
            return flag && entry->Flag(*flag);
        }
        current = ParentFolderOf(current);
        if (current.empty()) return false;
        inherited = true;
    }
}

bool FolderRights::CheckFolderPermission(const std::string& name, const std::string& folder,
                                         const std::string& op) const
{
    auto a = accounts_.FindAccount(name);
    if (!a) return false;
    if (CheckAccountFolder(*a, folder, op)) return true;
    if (a->IsGroup()) return false;
    auto g = accounts_.GroupOf(*a);
    return g && CheckAccountFolder(*g, folder, op);
}

std::string FolderRights::GetWebLink(const std::string& name, const std::string& folder) const
{
    auto a = accounts_.FindAccount(name);
    if (!a) return {};
    auto linkOf = [&](const accountClass& account) {
        std::string link;
        if (CheckAccountFolder(account, folder, "weblink", &link)) return link;
        return account.defaultWebLink.Get();
    };
    std::string link = linkOf(*a);
    if (!link.empty() || a->IsGroup()) return link;
    auto g = accounts_.GroupOf(*a);
    return g ? linkOf(*g) : std::string();
}

std::string FolderRights::GetHomeFolder(const std::string& name) const
{
    return accounts_.Effective(name,
                               [](const accountClass& a) -> const LockedValue<std::string>& { return a.homeFolder; });
}

bool FolderRights::IsHomeFolder(const std::string& name, const std::string& folder) const
{
    return SameRealPathText(folder, GetHomeFolder(name));
}

// ---- Edits ----

void FolderRights::SetHomeFolder(const std::string& name, const std::string& folder)
{
    auto a = accounts_.FindAccount(name);
    if (!a) return;
    if (!folder.empty()) a->homeFolder.Set(folder);
    else MakeFirstEntryHome(*a);
    changed_(a->Name());
}

void FolderRights::GrantFlag(const std::string& name, const std::string& folder, FolderFlag flag)
{
    auto a = accounts_.FindAccount(name);
    if (!a) return;
    FolderEntryPtr entry = FindEntry(*a, folder);
    if (!entry) {
        entry = std::make_shared<folderEntryClass>(folder);
        a->AppendEntry(entry);
        if (a->homeFolder.Get().empty()) a->homeFolder.Set(folder);
    }
    entry->SetFlag(flag, true);
    changed_(a->Name());
}

void FolderRights::RevokeFlag(const std::string& name, const std::string& folder, FolderFlag flag)
{
    auto a = accounts_.FindAccount(name);
    if (!a) return;
    if (auto entry = FindEntry(*a, folder)) {
        entry->SetFlag(flag, false);
        changed_(a->Name());
    }
}

bool FolderRights::GetInheritFlag(const std::string& name, const std::string& folder) const
{
    auto a = accounts_.FindAccount(name);
    if (!a) return false;
    auto entry = FindEntry(*a, folder);
    return entry && entry->Flag(FolderFlag::inherit);
}

void FolderRights::SetFolderWebLink(const std::string& name, const std::string& folder, const std::string& link)
{
    auto a = accounts_.FindAccount(name);
    if (!a) return;
    if (auto entry = FindEntry(*a, folder)) {
        entry->SetWebLink(link);
        changed_(a->Name());
    }
}

void FolderRights::RemoveFolder(const std::string& name, const std::string& folder)
{
    auto a = accounts_.FindAccount(name);
    if (!a) return;
    for (const auto& entry : a->Entries()) {
        if (SameRealPathText(entry->Path(), folder)) {
            a->RemoveEntry(entry);
            break;
        }
    }
    if (SameRealPathText(a->homeFolder.Get(), folder)) {
        auto rest = a->Entries();
        a->homeFolder.Set(rest.empty() ? std::string() : rest.front()->Path());
    }
    changed_(a->Name());
}

std::vector<std::string> FolderRights::ListFolders(const std::string& name) const
{
    std::vector<std::string> paths;
    if (auto a = accounts_.FindAccount(name))
        for (const auto& entry : a->Entries()) paths.push_back(entry->Path());
    return paths;
}

std::vector<std::string> FolderRights::ListSharedFolders() const
{
    std::vector<AccountPtr> accounts = accounts_.Users();
    std::vector<AccountPtr> groups = accounts_.Groups();
    accounts.insert(accounts.end(), groups.begin(), groups.end());
    std::vector<std::string> shared;
    for (const auto& a : accounts)
        for (const auto& entry : a->Entries())
            shared.push_back((entry->Flag(FolderFlag::inherit) ? "i" : "-") + entry->Path());
    std::stable_sort(shared.begin(), shared.end(), CaseInsensitiveLess);
    // Drops repeats of the same folder text (the drive letter without regard to case).
    std::vector<std::string> unique;
    for (auto& s : shared) {
        bool repeat = std::any_of(unique.begin(), unique.end(), [&](const std::string& u) {
            return u[0] == s[0] && SameRealPathText(std::string_view(u).substr(1), std::string_view(s).substr(1));
        });
        if (!repeat) unique.push_back(std::move(s));
    }
    return unique;
}

}  // namespace corvane
