#include "accounts/permissions.h"

#include <algorithm>
#include <cctype>

#include "accounts/account_names.h"
#include "accounts/ip_rule_match.h"
#include "accounts/real_path_compare.h"
#include "common/path_text.h"

namespace corvane {
namespace {

// The text without the blanks and control characters at its ends, as the settings file reads
// a value back.
std::string RuleAsStored(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= 0x20) text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= 0x20) text.remove_suffix(1);
  return std::string(text);
}

AccountPtr FindIn(std::mutex& lock, const std::vector<AccountPtr>& list, const std::string& name) {
  std::lock_guard guard(lock);
  for (const auto& a : list)
    if (SameAccountName(a->Name(), name)) return a;
  return nullptr;
}

bool RemoveName(std::mutex& lock, std::vector<std::string>& names, const std::string& name) {
  std::lock_guard guard(lock);
  auto it = std::find_if(names.begin(), names.end(),
                         [&](const std::string& n) { return SameAccountName(n, name); });
  if (it == names.end()) return false;
  names.erase(it);
  return true;
}

bool CaseInsensitiveLess(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace

permissionsClass::permissionsClass(std::string programFolder, FolderExistsTest folderExists)
    : programFolder_(programFolder.empty() || programFolder.back() == '/' ? programFolder
                                                                          : programFolder + "/"),
      folderExists_(std::move(folderExists)) {}

permissionsClass::~permissionsClass() = default;

void permissionsClass::SetObserver(AccountObserver* observer) {
  std::lock_guard lock(observerLock_);
  observer_ = observer;
}

AccountObserver* permissionsClass::Observer() const {
  std::lock_guard lock(observerLock_);
  return observer_;
}

void permissionsClass::NotifyChanged(const std::string& name) const {
  if (auto* o = Observer()) o->AccountChanged(name);
}

// ---- Lookups ----

AccountPtr permissionsClass::FindUser(std::string& name) const {
  std::string mapped = MapLoginName(name);
  if (mapped != name && SameAccountName(mapped, kAnonymousName)) name = mapped;
  return FindIn(usersLock_, users_, name);
}

AccountPtr permissionsClass::FindUser(const std::string& name) const {
  std::string mapped = name;
  return FindUser(mapped);
}

AccountPtr permissionsClass::FindGroup(const std::string& name) const {
  return FindIn(groupsLock_, groups_, name);
}

AccountPtr permissionsClass::FindAccount(const std::string& name) const {
  if (auto g = FindGroup(name)) return g;
  return FindUser(name);
}

AccountPtr permissionsClass::GroupOf(const accountClass& user) const {
  if (user.IsGroup()) return nullptr;
  return FindGroup(user.group.Get());
}

// ---- Building and removing records ----

AccountPtr permissionsClass::BuildUser(const std::string& name, bool isNew,
                                       const std::string& password, const std::string& group) {
  std::string mapped = MapLoginName(name);
  bool anonymous = mapped == kAnonymousName;
  auto record = std::make_shared<accountClass>(mapped, false);
  if (anonymous) record->anyPassword.Set(true);
  ReadAccountFiles(*record);
  if (isNew) {
    if (!anonymous) record->password.Set(password);
    auto g = FindGroup(group);
    record->group.Set(g ? g->Name() : std::string(kAllOthersGroup));
    std::lock_guard lock(userNamesLock_);
    userNames_.push_back(mapped);
  }
  if (record->group.Get().empty()) record->group.Set(std::string(kAllOthersGroup));
  {
    std::lock_guard lock(usersLock_);
    users_.push_back(record);
  }
  if (auto* o = Observer()) o->AccountAdded(mapped, false, record->group.Get());
  return record;
}

AccountPtr permissionsClass::BuildGroup(const std::string& name, bool isNew) {
  auto record = std::make_shared<accountClass>(name, true);
  ReadAccountFiles(*record);
  if (isNew) {
    record->password.Set(std::string());
    std::lock_guard lock(groupNamesLock_);
    groupNames_.push_back(name);
  }
  {
    std::lock_guard lock(groupsLock_);
    groups_.push_back(record);
  }
  if (auto* o = Observer()) o->AccountAdded(name, true, std::string());
  return record;
}

bool permissionsClass::AddUser(const std::string& name, const std::string& password,
                               const std::string& group, std::string* reason) {
  auto refuse = [&](std::string why) {
    if (reason) *reason = std::move(why);
    return false;
  };
  std::string problem = AccountNameProblem(name);
  if (!problem.empty()) return refuse(problem);
  if (FindAccount(name))
    return refuse("That name already exists (in either users or in groups)\nPlease choose another one.");
  problem = PasswordProblem(password);
  if (!problem.empty()) return refuse(problem);
  BuildUser(name, true, password, group);
  return true;
}

bool permissionsClass::AddGroup(const std::string& name, std::string* reason) {
  auto refuse = [&](std::string why) {
    if (reason) *reason = std::move(why);
    return false;
  };
  std::string problem = AccountNameProblem(name);
  if (!problem.empty()) return refuse(problem);
  if (MapLoginName(name) == kAnonymousName)
    return refuse("Names \"Anonymous\" and \"ftp\" are for users only, \nthey cannot be assigned to groups");
  if (FindAccount(name))
    return refuse("That name already exists (in either users or in groups)\nPlease choose another one");
  BuildGroup(name, true);
  return true;
}

bool permissionsClass::RemoveAccount(const std::string& name, bool isGroup, bool permanently) {
  AccountPtr record = isGroup ? FindGroup(name) : FindUser(name);
  if (!record) return false;
  if (permanently) {
    if (isGroup) RemoveName(groupNamesLock_, groupNames_, record->Name());
    else RemoveName(userNamesLock_, userNames_, record->Name());
  }
  {
    std::mutex& lock = isGroup ? groupsLock_ : usersLock_;
    std::vector<AccountPtr>& list = isGroup ? groups_ : users_;
    std::lock_guard guard(lock);
    list.erase(std::remove(list.begin(), list.end(), record), list.end());
  }
  if (auto* o = Observer()) o->AccountRemoved(record->Name(), isGroup);
  if (permanently) {
    record->deleted.Set(true);
    record->homeFolder.Set(std::string());
    DeleteAccountFiles(*record);
  } else {
    WriteAccountFiles(*record);
  }
  // `record` may still be held by a check on the server thread; it ends with the last share.
  return true;
}

bool permissionsClass::RemoveUser(const std::string& name, bool permanently) {
  return RemoveAccount(name, false, permanently);
}

bool permissionsClass::RemoveGroup(const std::string& name, bool permanently) {
  if (SameAccountName(name, kAllOthersGroup)) return false;
  return RemoveAccount(name, true, permanently);
}

std::vector<std::string> permissionsClass::UserNames() const {
  std::lock_guard lock(userNamesLock_);
  return userNames_;
}

std::vector<std::string> permissionsClass::GroupNames() const {
  std::lock_guard lock(groupNamesLock_);
  return groupNames_;
}

// ---- Properties ----

bool permissionsClass::SetPassword(const std::string& name, const std::string& password,
                                   std::string* reason) {
  auto a = FindAccount(name);
  if (!a) {
    if (reason) *reason = "No such account.";
    return false;
  }
  std::string problem = PasswordProblem(password);
  if (!problem.empty()) {
    if (reason) *reason = problem;
    return false;
  }
  a->password.Set(password);
  NotifyChanged(a->Name());
  return true;
}

bool permissionsClass::SetUserGroup(const std::string& user, const std::string& group) {
  auto a = FindAccount(user);
  auto g = FindGroup(group);
  if (!a || a->IsGroup() || !g) return false;
  a->group.Set(g->Name());
  NotifyChanged(a->Name());
  return true;
}

std::string permissionsClass::GetUserGroup(const std::string& name) const {
  auto a = FindAccount(name);
  return a ? a->group.Get() : std::string();
}

void permissionsClass::SetDefaultWebLink(const std::string& name, const std::string& link) {
  if (auto a = FindAccount(name)) {
    a->defaultWebLink.Set(link);
    NotifyChanged(a->Name());
  }
}

std::string permissionsClass::GetDefaultWebLink(const std::string& name) const {
  auto a = FindAccount(name);
  return a ? a->defaultWebLink.Get() : std::string();
}

template <typename Field>
auto permissionsClass::Effective(const std::string& name, Field field) const {
  using Value = decltype(field(std::declval<const accountClass&>()).Get());
  auto a = FindAccount(name);
  if (!a) return Value{};
  Value own = field(*a).Get();
  if (own != Value{} || a->IsGroup()) return own;
  auto g = GroupOf(*a);
  return g ? field(*g).Get() : own;
}

#define CORVANE_LIMIT_ACCESSORS(Setter, Getter, Type, member)                       \
  void permissionsClass::Setter(const std::string& name, Type value) {               \
    if (auto a = FindAccount(name)) {                                                \
      a->member.Set(value);                                                          \
      NotifyChanged(a->Name());                                                      \
    }                                                                                \
  }                                                                                  \
  Type permissionsClass::Getter(const std::string& name) const {                     \
    return Effective(name, [](const accountClass& a) -> const LockedValue<Type>& {   \
      return a.member;                                                               \
    });                                                                              \
  }

CORVANE_LIMIT_ACCESSORS(SetUdRatio, GetUdRatio, float, udRatio)
CORVANE_LIMIT_ACCESSORS(SetMaxAccountConnections, GetMaxAccountConnections, int, maxAccountConnections)
CORVANE_LIMIT_ACCESSORS(SetMaxIpConnections, GetMaxIpConnections, int, maxIpConnections)
CORVANE_LIMIT_ACCESSORS(SetMaxTransferRate, GetMaxTransferRate, int, maxTransferRate)
CORVANE_LIMIT_ACCESSORS(SetIdleTimeout, GetIdleTimeout, int, idleTimeout)
#undef CORVANE_LIMIT_ACCESSORS

// ---- Login ----

bool permissionsClass::Authenticate(const std::string& user, const std::string& password) const {
  auto a = FindUser(user);
  if (!a) return false;
  return a->anyPassword.Get() || a->password.Get() == password;
}

bool permissionsClass::AdmitConnection(const std::string& user, const std::string& address) {
  auto a = FindUser(user);
  if (!a) return false;
  unsigned n = static_cast<unsigned>(GetConnectionCount(a->Name())) + 1;
  unsigned m = static_cast<unsigned>(GetMaxAccountConnections(a->Name()));
  if (m != 0 && n > m) return false;
  unsigned k = static_cast<unsigned>(a->IpConnectionCount(address)) + 1;
  unsigned mi = static_cast<unsigned>(GetMaxIpConnections(a->Name()));
  if (mi != 0 && k > mi) return false;
  a->currentConnections.Set(static_cast<int>(n));
  a->SetIpConnectionCount(address, static_cast<int>(k));
  return true;
}

int permissionsClass::GetConnectionCount(const std::string& user) const {
  return Effective(user, [](const accountClass& a) -> const LockedValue<int>& { return a.currentConnections; });
}

void permissionsClass::SetConnectionCount(const std::string& user, int n) {
  if (auto a = FindAccount(user)) a->currentConnections.Set(n);
}

int permissionsClass::GetIpConnectionCount(const std::string& user, const std::string& address) const {
  auto a = FindAccount(user);
  return a ? a->IpConnectionCount(address) : 0;
}

void permissionsClass::SetIpConnectionCount(const std::string& user, const std::string& address, int n) {
  if (auto a = FindAccount(user)) a->SetIpConnectionCount(address, n);
}

bool permissionsClass::changePassword(const std::string& name, const std::string& password) {
  auto a = FindAccount(name);
  if (!a || a->anyPassword.Get()) return false;
  return SetPassword(a->Name(), password);
}

// ---- Folder permissions ----

FolderEntryPtr permissionsClass::FindEntry(const accountClass& account, const std::string& folder) {
  if (folder.find("...") != std::string::npos) return nullptr;
  std::string wanted = AddTrailingBackslash(folder);
  for (const auto& entry : account.Entries()) {
    std::string path = entry->Path();
    if (!path.empty() && path.back() != '\\') {
      path += '\\';
      entry->SetPath(path);  // the entry keeps the completed path
    }
    if (SameRealPathText(path, wanted)) return entry;
  }
  return nullptr;
}

bool permissionsClass::CheckAccountFolder(const accountClass& account, const std::string& folder,
                                          const std::string& op, std::string* link,
                                          bool inherited) const {
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

bool permissionsClass::CheckFolderPermission(const std::string& name, const std::string& folder,
                                             const std::string& op) const {
  auto a = FindAccount(name);
  if (!a) return false;
  if (CheckAccountFolder(*a, folder, op)) return true;
  if (a->IsGroup()) return false;
  auto g = GroupOf(*a);
  return g && CheckAccountFolder(*g, folder, op);
}

std::string permissionsClass::GetWebLink(const std::string& name, const std::string& folder) const {
  auto a = FindAccount(name);
  if (!a) return {};
  auto linkOf = [&](const accountClass& account) {
    std::string link;
    if (CheckAccountFolder(account, folder, "weblink", &link)) return link;
    return account.defaultWebLink.Get();
  };
  std::string link = linkOf(*a);
  if (!link.empty() || a->IsGroup()) return link;
  auto g = GroupOf(*a);
  return g ? linkOf(*g) : std::string();
}

std::string permissionsClass::GetHomeFolder(const std::string& name) const {
  return Effective(name, [](const accountClass& a) -> const LockedValue<std::string>& { return a.homeFolder; });
}

bool permissionsClass::IsHomeFolder(const std::string& name, const std::string& folder) const {
  return SameRealPathText(folder, GetHomeFolder(name));
}

void permissionsClass::SetHomeFolder(const std::string& name, const std::string& folder) {
  auto a = FindAccount(name);
  if (!a) return;
  if (!folder.empty()) {
    a->homeFolder.Set(folder);
  } else {
    auto entries = a->Entries();
    if (entries.empty()) {
      a->homeFolder.Set(std::string());
    } else {
      a->homeFolder.Set(entries.front()->Path());
      entries.front()->SetFlag(FolderFlag::list, true);
      entries.front()->SetFlag(FolderFlag::CWD, true);
      entries.front()->SetFlag(FolderFlag::get, true);
    }
  }
  NotifyChanged(a->Name());
}

void permissionsClass::GrantFlag(const std::string& name, const std::string& folder, FolderFlag flag) {
  auto a = FindAccount(name);
  if (!a) return;
  FolderEntryPtr entry = FindEntry(*a, folder);
  if (!entry) {
    entry = std::make_shared<folderEntryClass>(folder);
    a->AppendEntry(entry);
    if (a->homeFolder.Get().empty()) a->homeFolder.Set(folder);
  }
  entry->SetFlag(flag, true);
  NotifyChanged(a->Name());
}

void permissionsClass::RevokeFlag(const std::string& name, const std::string& folder, FolderFlag flag) {
  auto a = FindAccount(name);
  if (!a) return;
  if (auto entry = FindEntry(*a, folder)) {
    entry->SetFlag(flag, false);
    NotifyChanged(a->Name());
  }
}

bool permissionsClass::GetInheritFlag(const std::string& name, const std::string& folder) const {
  auto a = FindAccount(name);
  if (!a) return false;
  auto entry = FindEntry(*a, folder);
  return entry && entry->Flag(FolderFlag::inherit);
}

void permissionsClass::SetFolderWebLink(const std::string& name, const std::string& folder,
                                        const std::string& link) {
  auto a = FindAccount(name);
  if (!a) return;
  if (auto entry = FindEntry(*a, folder)) {
    entry->SetWebLink(link);
    NotifyChanged(a->Name());
  }
}

void permissionsClass::RemoveFolder(const std::string& name, const std::string& folder) {
  auto a = FindAccount(name);
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
  NotifyChanged(a->Name());
}

std::vector<std::string> permissionsClass::ListFolders(const std::string& name) const {
  std::vector<std::string> paths;
  if (auto a = FindAccount(name))
    for (const auto& entry : a->Entries()) paths.push_back(entry->Path());
  return paths;
}

std::vector<std::string> permissionsClass::ListSharedFolders() const {
  std::vector<AccountPtr> accounts;
  {
    std::lock_guard lock(usersLock_);
    accounts = users_;
  }
  {
    std::lock_guard lock(groupsLock_);
    accounts.insert(accounts.end(), groups_.begin(), groups_.end());
  }
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

// ---- IP access rules ----

bool permissionsClass::CheckClientAddress(const std::string& address, int /*kind*/,
                                          const ReverseLookup& lookup) const {
  if (!IsDottedClientAddress(address)) return false;
  const auto rules = ListIpRules();
  const bool allowListed = GetIpRuleMode() == 0;
  bool listed = std::any_of(rules.begin(), rules.end(),
                            [&](const std::string& r) { return AddressRuleCovers(r, address); });
  if (listed != allowListed) return false;
  if (!GetReverseDnsCheck() || !lookup) return true;
  std::string host = lookup();
  if (host.size() > 6 && host.compare(0, 7, "Error #") == 0) return true;
  bool named = std::any_of(rules.begin(), rules.end(), [&](const std::string& r) {
    return !RuleEndsInNumber(r) && HostRuleCovers(r, host);
  });
  return named == allowListed;
}

bool permissionsClass::AddIpRule(const std::string& text) {
  // Stored as the settings file gives it back: a rule with blanks around it would match
  // nothing until the next start and then match, and a line break would cut it on saving.
  const std::string rule = RuleAsStored(text);
  if (rule.empty() || rule.find_first_of("\r\n") != std::string::npos) return false;
  std::lock_guard lock(ipRulesLock_);
  ipRules_.push_back(rule);
  return true;
}

void permissionsClass::ClearIpRules() {
  std::lock_guard lock(ipRulesLock_);
  ipRules_.clear();
}

std::vector<std::string> permissionsClass::ListIpRules() const {
  std::lock_guard lock(ipRulesLock_);
  return ipRules_;
}

void permissionsClass::SetIpRuleMode(int mode) { ipRuleMode_.Set(mode); }
int permissionsClass::GetIpRuleMode() const { return ipRuleMode_.Get(); }
void permissionsClass::SetReverseDnsCheck(bool on) { reverseDnsCheck_.Set(on); }
bool permissionsClass::GetReverseDnsCheck() const { return reverseDnsCheck_.Get(); }
int permissionsClass::StoredIpRuleCount() const { return storedIpRuleCount_.Get(); }
void permissionsClass::SetStoredIpRuleCount(int count) { storedIpRuleCount_.Set(count); }

}  // namespace corvane
