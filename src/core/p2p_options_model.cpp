#include "core/p2p_options_model.h"

#include <algorithm>
#include <sstream>

#include "common/text_case.h"
#include "common/url_text.h"
#include "core/server_controller.h"
#include "net/http_cli.h"
#include "p2p/capped_request.h"
#include "p2p/index_server_texts.h"
#include "p2p/index_thread.h"
#include "p2p/reply_capture.h"

namespace corvane {
namespace {

std::string DigitsOnly(std::string_view text, std::size_t most)
{
    std::string out;
    for (char c : text)
        if (c >= '0' && c <= '9' && out.size() < most) out += c;
    return out;
}

std::string FilteredEmail(std::string_view text)
{
    std::string out;
    for (char c : text)
        if (NameKeyAllowed(c) && out.size() < kMostEmailLength) out += c;
    return out;
}

}  // namespace

bool IsBrinvaleNetwork(const std::string& name)
{
    return name.size() >= 8 && EqualsIgnoreCase(name.substr(0, 8), "Brinvale");
}

std::vector<StoredP2PAccount> StoredP2PAccounts(P2PNetworkList& list)
{
    std::lock_guard guard(list.Lock());
    std::vector<StoredP2PAccount> accounts;
    for (const P2PNetwork& network : list.Entries())
        if (network.registered()) accounts.push_back({network.name, network.userName});
    return accounts;
}

bool ForgetP2PAccount(P2PNetworkList& list, const StoredP2PAccount& account)
{
    std::lock_guard guard(list.Lock());
    P2PNetwork* network = list.FindByName(account.network);
    if (network == nullptr || !network->registered() || network->userName != account.userName) return false;
    network->userName.clear();
    network->password.clear();
    network->existingAccount = false;
    return true;
}

P2POptionsModel::P2POptionsModel(serverController& controller)
    : controller_(controller),
      httpClient_(std::make_unique<THttpCli>())
{}

P2POptionsModel::~P2POptionsModel() { httpClient_->Abort(); }

void P2POptionsModel::Close()
{
    closed_ = true;
    httpClient_->Abort();
}

void P2POptionsModel::Warn(const std::string& text)
{
    controller_.showMessageBox(ServerView::MessageKind::Error, text);
}

P2POptionsModel::ProfileFields P2POptionsModel::ProfileOfSettings() const
{
    const NetworkProfile& profile = controller_.networkProfile();
    ProfileFields fields;
    fields.zipcode = profile.Zipcode.empty() ? std::string() : profile.Zipcode.substr(1);
    fields.countryIndex = CountryCodeIndex(profile.Country);
    fields.email = profile.Email;
    const long long kind = std::atoll(profile.ConType.c_str());
    fields.connectionIndex =
        kind >= 0 && kind < static_cast<long long>(kConnectionKindCount) ? static_cast<std::size_t>(kind) : 0;
    return fields;
}

P2POptionsModel::NetworkRow P2POptionsModel::RowOf(const P2PNetwork& network) const
{
    return NetworkRow{network.name, network.address, network.registered() ? network.userName : kUnregisteredText,
                      network.enabled};
}

std::vector<P2POptionsModel::NetworkRow> P2POptionsModel::Rows() const
{
    P2PNetworkList& list = controller_.networkList();
    std::lock_guard guard(list.Lock());
    std::vector<NetworkRow> rows;
    rows.reserve(list.Entries().size());
    for (const P2PNetwork& network : list.Entries()) rows.push_back(RowOf(network));
    return rows;
}

bool P2POptionsModel::RetrieveNetworkList()
{
    ReplyCapture reply;
    applyHttpSettings(controller_.connectionSettings(), *httpClient_);
    httpClient_->URL = controller_.connectionSettings().NetworkListURL;
    httpClient_->PostStream = nullptr;
    httpClient_->ReplyStream = &reply;
    const bool ok = RunCappedRequest(*httpClient_, reply, false, kMostRequestTime, kAbortTimerPeriod, {});
    httpClient_->ReplyStream = nullptr;
    if (closed_) return false;
    if (!ok) {
        Warn(kUnreachableText);
        return false;
    }
    const std::vector<PublishedNetwork> published = ParseNetworkListText(reply.Text());
    if (published.empty()) return false;
    P2PNetworkList& list = controller_.networkList();
    std::lock_guard guard(list.Lock());
    list.MergePublished(published);
    return true;
}

P2POptionsModel::NetworkRow P2POptionsModel::RegisterOrEdit(int row, const SignUpDialog& dialog)
{
    if (row < 0) {
        Warn(kSelectNetworkFirstText);
        return {};
    }
    P2PNetworkList& list = controller_.networkList();
    P2PNetwork entry;
    {
        std::lock_guard guard(list.Lock());
        if (static_cast<std::size_t>(row) >= list.Entries().size()) return {};
        entry = list.Entries()[static_cast<std::size_t>(row)];
    }
    // The dialog works on a copy: the list is not locked while the operator types, and the
    // entry is found again by its name afterwards (a run of the indexer may have changed it).
    const SignUpForm::Mode mode = entry.registered() ? SignUpForm::Mode::Edit : SignUpForm::Mode::Register;
    SignUpForm form(mode, entry);
    if (dialog) dialog(form);
    bool registerNow = false;
    {
        std::lock_guard guard(list.Lock());
        P2PNetwork* live = list.FindByName(entry.name);
        if (live == nullptr) return {};
        if (form.Confirmed()) {
            live->userName = form.Network().userName;
            live->password = form.Network().password;
            live->existingAccount = form.Network().existingAccount;
            if (mode == SignUpForm::Mode::Register) live->enabled = true;
        }
        // A cancelled edit changes nothing, so it sends nothing either.
        registerNow = form.Confirmed() && IsBrinvaleNetwork(live->name) && !live->existingAccount && live->registered();
    }
    if (registerNow) RegisterAccount(entry.name);
    std::lock_guard guard(list.Lock());
    const P2PNetwork* live = list.FindByName(entry.name);
    return live == nullptr ? NetworkRow{} : RowOf(*live);
}

void P2POptionsModel::RegisterAccount(const std::string& networkName)
{
    P2PNetworkList& list = controller_.networkList();
    P2PNetwork entry;
    {
        std::lock_guard guard(list.Lock());
        const P2PNetwork* live = list.FindByName(networkName);
        if (live == nullptr) return;
        entry = *live;
    }
    controller_.writeLog("Registering user " + entry.userName + " with " + entry.name);
    const NetworkProfile& profile = controller_.networkProfile();
    std::istringstream body(
        RegistrationBody(profile.Country, profile.Zipcode, profile.Email, entry.userName, entry.password));
    ReplyCapture reply;
    applyHttpSettings(controller_.connectionSettings(), *httpClient_);
    httpClient_->URL = JoinUrlPath(entry.address, "user.php");
    httpClient_->PostStream = &body;
    httpClient_->ReplyStream = &reply;
    const bool clean = RunCappedRequest(*httpClient_, reply, true, kMostRequestTime, kAbortTimerPeriod, {});
    httpClient_->PostStream = nullptr;
    httpClient_->ReplyStream = nullptr;
    // Cancelled: the account stays as typed and is registered at its next edit.
    if (closed_) return;
    const std::string& text = reply.Text();
    if (clean && ReplyAccepted(text, kServerNonNumberStatus)) {
        // The service now knows the account: a later edit must not register it again, which
        // the service would refuse as taken and so wipe the account.
        {
            std::lock_guard guard(list.Lock());
            if (P2PNetwork* live = list.FindByName(networkName); live != nullptr && live->userName == entry.userName)
                live->existingAccount = true;
        }
        controller_.showMessageBox(ServerView::MessageKind::Help, "User " + entry.userName +
                                                                      " registered and ready for indexing on " +
                                                                      entry.name + " ..");
        return;
    }
    std::string message = "User registration to " + entry.name + "failed: ";
    if (clean && text.size() >= 5) {
        message = RefusalMessage(text, entry.name);
        std::lock_guard guard(list.Lock());
        if (P2PNetwork* live = list.FindByName(networkName)) live->userName.clear();
    } else if (!clean) {
        message += "Connection Error (error code unknown)";
    }
    controller_.writeLog(message);
    Warn(message);
}

void P2POptionsModel::Apply(const ProfileFields& fields, const std::vector<NetworkRow>& rows)
{
    NetworkProfile& profile = controller_.networkProfile();
    profile.Zipcode = "1" + DigitsOnly(fields.zipcode, kMostZipcodeDigits);
    const auto& codes = ConnectionSettings::CountryCodes();
    profile.Country = std::string(codes[fields.countryIndex < codes.size() ? fields.countryIndex : 0]);
    profile.Email = FilteredEmail(fields.email);
    profile.ConType = std::to_string(fields.connectionIndex < kConnectionKindCount ? fields.connectionIndex : 0);
    P2PNetworkList& list = controller_.networkList();
    std::string registered;
    {
        std::lock_guard guard(list.Lock());
        for (const NetworkRow& row : rows)
            if (P2PNetwork* network = list.FindByName(row.name)) network->enabled = row.ticked;
        registered = list.RegisteredEntriesText();
    }
    controller_.publishNetworkList(registered);
}

}  // namespace corvane
