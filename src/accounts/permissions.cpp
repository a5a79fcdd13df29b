#include "accounts/permissions.h"

#include "accounts/account_names.h"

namespace corvane {
namespace {

constexpr const char* kHashFailed = "The password could not be hashed (not enough memory); nothing was changed.";

}  // namespace

permissionsClass::permissionsClass(std::string programFolder, FolderExistsTest folderExists)
    : programFolder_(programFolder.empty() || programFolder.back() == '/' ? programFolder : programFolder + "/"),
      folders_(accounts_, std::move(folderExists), [this](const std::string& name) { NotifyChanged(name); })
{}

permissionsClass::~permissionsClass() = default;

void permissionsClass::SetObserver(AccountObserver* observer)
{
    std::lock_guard lock(observerLock_);
    observer_ = observer;
}

AccountObserver* permissionsClass::Observer() const
{
    std::lock_guard lock(observerLock_);
    return observer_;
}

void permissionsClass::NotifyChanged(const std::string& name) const
{
    if (auto* o = Observer()) o->AccountChanged(name);
}

std::optional<StoredPassword> permissionsClass::HashedPassword(const std::string& password) const
{
    std::string hash = HashPassword(password, hashCost_.Get());
    if (hash.empty()) return std::nullopt;
    return StoredPassword::FromHash(std::move(hash));
}

void permissionsClass::HashPlainPassword(accountClass& account) const
{
    if (account.IsGroup() || account.anyPassword.Get()) return;
    const StoredPassword stored = account.password.Get();
    if (stored.form != StoredPassword::Form::Plain) return;
    // A failed hash leaves the password as it was: it is written scrambled, as before.
    if (auto hashed = HashedPassword(stored.text)) account.password.Set(std::move(*hashed));
}

// ---- Lookups ----

AccountPtr permissionsClass::FindUser(const std::string& name) const { return accounts_.FindUser(name); }

AccountPtr permissionsClass::FindGroup(const std::string& name) const { return accounts_.FindGroup(name); }

AccountPtr permissionsClass::FindAccount(const std::string& name) const { return accounts_.FindAccount(name); }

// ---- Building and removing records ----

AccountPtr permissionsClass::BuildUser(const std::string& name, bool isNew, const StoredPassword& password,
                                       const std::string& group)
{
    std::string mapped = MapLoginName(name);
    bool anonymous = mapped == kAnonymousName;
    auto record = std::make_shared<accountClass>(mapped, false);
    if (anonymous) record->anyPassword.Set(true);
    ReadAccountFiles(*record);
    if (isNew) {
        if (!anonymous) record->password.Set(password);
        auto g = FindGroup(group);
        record->group.Set(g ? g->Name() : std::string(kAllOthersGroup));
        accounts_.AppendUserName(mapped);
    }
    if (record->group.Get().empty()) record->group.Set(std::string(kAllOthersGroup));
    accounts_.Add(record);
    if (auto* o = Observer()) o->AccountAdded(mapped, false, record->group.Get());
    return record;
}

AccountPtr permissionsClass::BuildGroup(const std::string& name, bool isNew)
{
    auto record = std::make_shared<accountClass>(name, true);
    ReadAccountFiles(*record);
    if (isNew) {
        record->password.Set(StoredPassword{});
        accounts_.AppendGroupName(name);
    }
    accounts_.Add(record);
    if (auto* o = Observer()) o->AccountAdded(name, true, std::string());
    return record;
}

bool permissionsClass::AddUser(const std::string& name, const std::string& password, const std::string& group,
                               std::string* reason)
{
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
    auto hashed = HashedPassword(password);
    if (!hashed) return refuse(kHashFailed);
    BuildUser(name, true, *hashed, group);
    return true;
}

bool permissionsClass::AddGroup(const std::string& name, std::string* reason)
{
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

bool permissionsClass::RemoveAccount(const std::string& name, bool isGroup, bool permanently)
{
    AccountPtr record = isGroup ? FindGroup(name) : FindUser(name);
    if (!record) return false;
    if (permanently) {
        if (isGroup) accounts_.RemoveGroupName(record->Name());
        else accounts_.RemoveUserName(record->Name());
    }
    accounts_.Remove(record);
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

bool permissionsClass::RemoveUser(const std::string& name, bool permanently)
{
    return RemoveAccount(name, false, permanently);
}

bool permissionsClass::RemoveGroup(const std::string& name, bool permanently)
{
    if (SameAccountName(name, kAllOthersGroup)) return false;
    return RemoveAccount(name, true, permanently);
}

std::vector<std::string> permissionsClass::UserNames() const { return accounts_.UserNames(); }

std::vector<std::string> permissionsClass::GroupNames() const { return accounts_.GroupNames(); }

// ---- Properties ----

bool permissionsClass::SetPassword(const std::string& name, const std::string& password, std::string* reason)
{
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
    auto hashed = HashedPassword(password);
    if (!hashed) {
        if (reason) *reason = kHashFailed;
        return false;
    }
    a->password.Set(std::move(*hashed));
    NotifyChanged(a->Name());
    return true;
}

bool permissionsClass::SetUserGroup(const std::string& user, const std::string& group)
{
    auto a = FindAccount(user);
    auto g = FindGroup(group);
    if (!a || a->IsGroup() || !g) return false;
    a->group.Set(g->Name());
    NotifyChanged(a->Name());
    return true;
}

std::string permissionsClass::GetUserGroup(const std::string& name) const
{
    auto a = FindAccount(name);
    return a ? a->group.Get() : std::string();
}

void permissionsClass::SetDefaultWebLink(const std::string& name, const std::string& link)
{
    if (auto a = FindAccount(name)) {
        a->defaultWebLink.Set(link);
        NotifyChanged(a->Name());
    }
}

std::string permissionsClass::GetDefaultWebLink(const std::string& name) const
{
    auto a = FindAccount(name);
    return a ? a->defaultWebLink.Get() : std::string();
}

#define CORVANE_LIMIT_ACCESSORS(Setter, Getter, Type, member)                                                          \
    void permissionsClass::Setter(const std::string& name, Type value)                                                 \
    {                                                                                                                  \
        if (auto a = FindAccount(name)) {                                                                              \
            a->member.Set(value);                                                                                      \
            NotifyChanged(a->Name());                                                                                  \
        }                                                                                                              \
    }                                                                                                                  \
    Type permissionsClass::Getter(const std::string& name) const                                                       \
    {                                                                                                                  \
        return accounts_.Effective(name, [](const accountClass& a) -> const LockedValue<Type>& { return a.member; });  \
    }

CORVANE_LIMIT_ACCESSORS(SetUdRatio, GetUdRatio, float, udRatio)
CORVANE_LIMIT_ACCESSORS(SetMaxAccountConnections, GetMaxAccountConnections, int, maxAccountConnections)
CORVANE_LIMIT_ACCESSORS(SetMaxIpConnections, GetMaxIpConnections, int, maxIpConnections)
CORVANE_LIMIT_ACCESSORS(SetMaxTransferRate, GetMaxTransferRate, int, maxTransferRate)
CORVANE_LIMIT_ACCESSORS(SetIdleTimeout, GetIdleTimeout, int, idleTimeout)
#undef CORVANE_LIMIT_ACCESSORS

// ---- Login ----

permissionsClass::LoginCheck permissionsClass::LoginCheckFor(const std::string& user) const
{
    auto a = FindUser(user);
    if (!a) return {};
    return {true, a->anyPassword.Get(), a->password.Get()};
}

PasswordVerdict permissionsClass::CheckLogin(const LoginCheck& check, const std::string& password)
{
    if (check.known && check.anyPassword) return PasswordVerdict::Accepted;
    if (check.known) return CheckStoredPassword(check.stored, password);
    // Made once, at the default cost, from a password nobody knows.
    static const std::string decoy = HashPassword("decoy", InteractivePasswordHashCost());
    PasswordMatchesHash(decoy, password);
    return PasswordVerdict::Refused;
}

bool permissionsClass::Authenticate(const std::string& user, const std::string& password) const
{
    return CheckLogin(LoginCheckFor(user), password) == PasswordVerdict::Accepted;
}

bool permissionsClass::AdmitConnection(const std::string& user, const std::string& address)
{
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

int permissionsClass::GetConnectionCount(const std::string& user) const
{
    return accounts_.Effective(user,
                               [](const accountClass& a) -> const LockedValue<int>& { return a.currentConnections; });
}

void permissionsClass::SetConnectionCount(const std::string& user, int n)
{
    if (auto a = FindAccount(user)) a->currentConnections.Set(n);
}

int permissionsClass::GetIpConnectionCount(const std::string& user, const std::string& address) const
{
    auto a = FindAccount(user);
    return a ? a->IpConnectionCount(address) : 0;
}

void permissionsClass::SetIpConnectionCount(const std::string& user, const std::string& address, int n)
{
    if (auto a = FindAccount(user)) a->SetIpConnectionCount(address, n);
}

bool permissionsClass::changePassword(const std::string& name, const std::string& password)
{
    auto a = FindAccount(name);
    if (!a || a->anyPassword.Get()) return false;
    return SetPassword(a->Name(), password);
}

}  // namespace corvane
