// SessionBook: the server thread's bookkeeping of the FTP sessions in the controller's session
// table. The table and each record have their own locks, so the server thread writes them
// itself and only asks the window for a repaint (repeats merge into one): a busy window never
// holds up a connect, a disconnect or a command. SITE CHPWD's password change is the one call
// that waits for the window thread, which owns the account store.
//
// Threads: made and destroyed by the window thread (with the server thread object); called on
// the server thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace corvane {

class ServerHandOff;
class ServerThreadLoop;
class TFtpCtrlSocket;
class WindowThread;
class permissionsClass;
class serverController;
class sessionRecord;

class SessionBook {
public:
    SessionBook(serverController& controller, permissionsClass& accounts, WindowThread& window, ServerHandOff& handOff,
                const ServerThreadLoop& loop);
    SessionBook(const SessionBook&) = delete;
    SessionBook& operator=(const SessionBook&) = delete;

    void addSession(TFtpCtrlSocket* client);
    void deleteSession(TFtpCtrlSocket* client);
    void setSessionAction(TFtpCtrlSocket* client, std::int32_t action);
    void setLastCommand(TFtpCtrlSocket* client, const std::string& text);
    std::shared_ptr<sessionRecord> sessionOf(const TFtpCtrlSocket* client) const;
    // Run in the account store on the window thread; the server thread waits for its answer.
    bool changePassword(TFtpCtrlSocket* client, const std::string& password);

private:
    serverController& controller_;
    permissionsClass& accounts_;
    WindowThread& window_;
    ServerHandOff& handOff_;
    const ServerThreadLoop& loop_;
};

}  // namespace corvane
