#include "core/index_controller_link.h"

#include "core/server_controller.h"

namespace corvane {

IndexSettingsSnapshot IndexControllerLink::TakeIndexSettings()
{
    IndexSettingsSnapshot snapshot;
    // A window thread that has gone (the program is ending) runs nothing: no pass then.
    snapshot.skip = true;
    window_.RunAndWait([this, &snapshot] {
        const ServerSettings& s = controller_.settings();
        const bool forP2P = controller_.startedForP2P();
        snapshot.countryCode = controller_.networkProfile().Country;
        snapshot.ipAddress = s.UserSetServerIP;
        snapshot.ftpPort = s.Port;
        snapshot.connectionType = controller_.networkProfile().ConType;
        snapshot.skip = s.ServerDesiredButNoP2PSharingMode && !forP2P;
        snapshot.md5 = s.MD5IndexingEnabled || !forP2P;
        snapshot.firstRun = s.ServerFirstRun;
    });
    return snapshot;
}

void IndexControllerLink::WriteIndexLog(const std::string& line)
{
    window_.RunAndWait([this, &line] { controller_.writeLog(line); });
}

P2PNetworkList* IndexControllerLink::NetworkList() { return &controller_.networkList(); }

void IndexControllerLink::PrepareHttpClient(THttpCli& client)
{
    window_.RunAndWait([this, &client] { applyHttpSettings(controller_.connectionSettings(), client); });
}

// The box is the operator's to answer whenever: the pass goes on without waiting for it, so
// that a box left open never holds up a stop of the pass, nor through it the server thread.
void IndexControllerLink::ShowIndexMessage(const std::string& text)
{
    serverController& controller = controller_;
    window_.Post([&controller, text] { controller.showMessageBox(ServerView::MessageKind::Error, text); });
}

void IndexControllerLink::SetIndexServerAddress(const std::string& url)
{
    window_.RunAndWait([this, &url] { controller_.setIndexServerAddress(url); });
}

void IndexControllerLink::SetIndexUploadSucceeded(bool succeeded)
{
    window_.RunAndWait([this, succeeded] { controller_.setIndexUploadSucceeded(succeeded); });
}

}  // namespace corvane
