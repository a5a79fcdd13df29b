// The "Network Options" tab of the P2P options as a model: the profile fields, the rows of the
// network list, "Retrieve P2P Network List", "Register / Edit Selected P2P Network" with the
// account registration, and "&Apply". The window draws the tab and the sign-up dialog and
// calls these operations; every message box goes through the controller (a warning box with
// the error caption, or an information box with the help caption).
//
// Thread: the window thread only, and that thread must have its EventLoop (the socket layer's
// queue): the model's HTTP client is created with the model and runs its requests
// synchronously, serving the thread's queue meanwhile (the window keeps repainting). The
// network list's lock is taken only for short moments, never while a dialog is open or a
// request runs, so the indexer's network phase never waits for the operator.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/sign_up_form.h"

namespace corvane {

class serverController;
class THttpCli;

inline constexpr const char* kUnregisteredText = "<unregistered>";
inline constexpr const char* kRetrieveButtonText = "Retrieve P2P Network List";
inline constexpr const char* kRetrievingButtonText = "Downloading P2P network list...";
inline constexpr const char* kUnreachableText =
    "The Internet is unreachable! Please check your network connection and settings.";
inline constexpr const char* kSelectNetworkFirstText =
    "Select a network from above first. If no network exists in the list view, then click on \"retrieve P2P network "
    "list\".";
// The connection kinds of the tab's list, by position (the stored "ConType").
inline constexpr const char* kConnectionKinds[] = {"Unknown", "Multiple T3", "T3",  "T1",    "Cable",
                                                   "DSL",     "ISDN",        "56K", "33.6K", "28.8K"};
inline constexpr std::size_t kConnectionKindCount = 10;
inline constexpr std::size_t kMostZipcodeDigits = 8;
inline constexpr std::size_t kMostEmailLength = 60;

class P2POptionsModel {
public:
    // The profile as the tab's fields show it.
    struct ProfileFields {
        std::string zipcode;              // digits only, at most kMostZipcodeDigits
        std::size_t countryIndex = 0;     // position in ConnectionSettings::CountryCodes()
        std::string email;                // at most kMostEmailLength, key filter NameKeyAllowed
        std::size_t connectionIndex = 0;  // position in kConnectionKinds
    };
    // One row of the list view: columns "P2P Network", "Address", "Username", and the tick.
    struct NetworkRow {
        std::string name;
        std::string address;
        std::string userName;  // kUnregisteredText when there is no account
        bool ticked = false;
    };
    // Runs the sign-up dialog for the form (modal) and returns once it was closed, confirmed
    // or not; the dialog's confirm button calls form.Confirm() and shows its refusal.
    using SignUpDialog = std::function<void(SignUpForm& form)>;

    explicit P2POptionsModel(serverController& controller);
    ~P2POptionsModel();
    P2POptionsModel(const P2POptionsModel&) = delete;
    P2POptionsModel& operator=(const P2POptionsModel&) = delete;

    // Showing the tab: the stored profile as fields (a stored zip code without its leading
    // "1", an unknown country or connection kind as the first position).
    ProfileFields ProfileOfSettings() const;
    // The list view's rows, in list order.
    std::vector<NetworkRow> Rows() const;

    // "Retrieve P2P Network List": downloads the list file from the network-list address
    // through the HTTP connection settings and merges it into the network list. A failed
    // download shows kUnreachableText and leaves the list as it was; a download that names no
    // network changes nothing either. The window shows kRetrievingButtonText, disabled, and
    // the busy cursor meanwhile, then refreshes its rows and ticks the first one. True when
    // the list was merged.
    bool RetrieveNetworkList();

    // "Register / Edit Selected P2P Network" for the row at `row` (negative: none selected,
    // which shows kSelectNetworkFirstText). An entry with an account opens the dialog in edit
    // mode; without one in register mode, and a confirmed sign-up ticks the row (enables the
    // network). A confirmed account of a Brinvale network that is not marked as existing is
    // then registered with the network's account service, and marked as existing once the
    // service accepted it; a cancelled dialog changes and sends nothing. Returns the row as it
    // now reads.
    NetworkRow RegisterOrEdit(int row, const SignUpDialog& dialog);

    // "&Apply": the profile fields go to the controller's profile (written at its end), each
    // row's tick enables or disables the entry of that name, and in P2P mode the registered
    // networks are published to the shared-memory file.
    void Apply(const ProfileFields& fields, const std::vector<NetworkRow>& rows);

    // The dialog is asked to close (Cancel, Escape, the close box): a pending request is
    // aborted at once, and what it would have brought is dropped without a message.
    void Close();

private:
    void RegisterAccount(const std::string& networkName);
    NetworkRow RowOf(const P2PNetwork& network) const;
    void Warn(const std::string& text);

    serverController& controller_;
    std::unique_ptr<THttpCli> httpClient_;
    bool closed_ = false;
};

// "&Delete P2P User Account": the accounts this server keeps, in list order, and forgetting one.
// The account service has no request that deletes an account, so the account stays with the
// network; this server only stops using it.
struct StoredP2PAccount {
    std::string network;
    std::string userName;
};
std::vector<StoredP2PAccount> StoredP2PAccounts(P2PNetworkList& list);
// Clears the user name, the password and the existing-account mark of the entry so named, when
// it still holds that user name (the indexer then passes the network over). False when nothing
// was cleared. Takes the list's lock.
bool ForgetP2PAccount(P2PNetworkList& list, const StoredP2PAccount& account);

// Whether a network's accounts are registered with its account service: its name begins with
// "Brinvale" (without regard to case).
bool IsBrinvaleNetwork(const std::string& name);

}  // namespace corvane
