#include "core/session_book.h"

#include "accounts/permissions.h"
#include "core/server_controller.h"
#include "core/server_hand_off.h"
#include "core/server_thread_loop.h"
#include "core/session_table.h"
#include "ftp/ftp_ctrl_socket.h"

namespace corvane {

SessionBook::SessionBook(serverController& controller, permissionsClass& accounts, WindowThread& window,
                         ServerHandOff& handOff, const ServerThreadLoop& loop)
    : controller_(controller),
      accounts_(accounts),
      window_(window),
      handOff_(handOff),
      loop_(loop)
{}

void SessionBook::addSession(TFtpCtrlSocket* client)
{
    loop_.AssertOwner();
    controller_.sessions().Add(client->ClientNumber(), client->PeerAddr());
    handOff_.RequestSessionViewRefresh();
}

void SessionBook::deleteSession(TFtpCtrlSocket* client)
{
    loop_.AssertOwner();
    controller_.sessions().Remove(client->ClientNumber());
    handOff_.RequestSessionViewRefresh();
}

void SessionBook::setSessionAction(TFtpCtrlSocket* client, std::int32_t action)
{
    loop_.AssertOwner();
    const SessionRecordPtr record = controller_.sessions().Find(client->ClientNumber());
    if (!record) return;
    const std::string account = client->UserName();
    record->SetAction(account, client->Directory(), action, accounts_.GetUserGroup(account));
    handOff_.RequestSessionViewRefresh();
}

// Every command sets its client's last command, in the same way. The record exists by now:
// the connect added it on this thread.
void SessionBook::setLastCommand(TFtpCtrlSocket* client, const std::string& text)
{
    loop_.AssertOwner();
    const SessionRecordPtr record = controller_.sessions().Find(client->ClientNumber());
    if (!record) return;
    record->SetLastCommand(text);
    handOff_.RequestSessionViewRefresh();
}

bool SessionBook::changePassword(TFtpCtrlSocket* client, const std::string& password)
{
    bool changed = false;
    const long long number = client->ClientNumber();
    serverController& controller = controller_;
    window_.RunAndWait(
        [&controller, number, &password, &changed] { changed = controller.changePassword(number, password); });
    return changed;
}

SessionRecordPtr SessionBook::sessionOf(const TFtpCtrlSocket* client) const
{
    return controller_.sessions().Find(client->ClientNumber());
}

}  // namespace corvane
