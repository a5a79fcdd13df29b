// The controller as the indexer reaches it: the settings snapshot, the log lines, the HTTP
// route of each new client and the P2P state, each run on the window thread while the indexer
// waits (the indexer never reads controller fields itself); the message boxes are handed
// without waiting. The network list
// is handed over as the object it is: it has its own lock.
#pragma once

#include "p2p/index_thread.h"

namespace corvane {

class serverController;
class WindowThread;

class IndexControllerLink : public IndexController {
public:
    IndexControllerLink(serverController& controller, WindowThread& window)
        : controller_(controller),
          window_(window)
    {}

    IndexSettingsSnapshot TakeIndexSettings() override;
    void WriteIndexLog(const std::string& line) override;
    P2PNetworkList* NetworkList() override;
    void PrepareHttpClient(THttpCli& client) override;
    void ShowIndexMessage(const std::string& text) override;
    void SetIndexServerAddress(const std::string& url) override;
    void SetIndexUploadSucceeded(bool succeeded) override;

private:
    serverController& controller_;
    WindowThread& window_;
};

}  // namespace corvane
