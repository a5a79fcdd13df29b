// The controller as the indexer reaches it: the settings snapshot and the log lines, each run
// on the window thread while the indexer waits (the indexer never reads controller fields
// itself).
#pragma once

#include "p2p/index_thread.h"

namespace corvane {

class serverController;
class WindowThread;

class IndexControllerLink : public IndexController {
public:
    IndexControllerLink(serverController& controller, WindowThread& window) : controller_(controller), window_(window) {}

    IndexSettingsSnapshot TakeIndexSettings() override;
    void WriteIndexLog(const std::string& line) override;

private:
    serverController& controller_;
    WindowThread& window_;
};

}  // namespace corvane
