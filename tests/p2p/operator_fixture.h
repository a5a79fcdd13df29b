// The network operator's services as a real peer (operator_service.py beside this file, on a
// loopback port it picks), with what it recorded, and an indexer controller that serves a
// network list and records the messages and the P2P state it is handed.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../net/http_peers.h"
#include "p2p/index_thread.h"
#include "p2p_fixture.h"
#include "test_source_dir.h"

namespace corvane::testing {

struct RecordedRequest {
    std::string method, target, path, header, body;
    bool HeaderHas(const std::string& line) const { return header.find("\r\n" + line + "\r\n") != std::string::npos; }
};

class OperatorService {
public:
    OperatorService()
        : process_("python3 -u " + std::string(CORVANE_TEST_SOURCE_DIR) + "/p2p/operator_service.py " + folder_.Path() +
                   " 2>/dev/null")
    {
        const std::string line = process_.ReadLine();
        port_ = line.empty() ? 0 : std::atoi(line.c_str());
    }
    int Port() const { return port_; }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    // The lines of script.txt: "PATH ACTION [ARGUMENT]".
    void Script(const std::vector<std::string>& lines)
    {
        std::ofstream out(folder_.Join("script.txt"), std::ios::binary);
        for (const std::string& line : lines) out << line << "\n";
    }
    std::vector<RecordedRequest> Requests() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder_.Path())) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("req-", 0) == 0 && name.size() == 12) names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        std::vector<RecordedRequest> requests;
        for (const std::string& name : names) {
            std::ifstream in(folder_.Join(name), std::ios::binary);
            std::stringstream raw;
            raw << in.rdbuf();
            const std::string text = raw.str();
            RecordedRequest r;
            const std::size_t end = text.find("\r\n\r\n");
            r.header = text.substr(0, end + 2);
            r.body = text.substr(end + 4);
            std::istringstream line(text.substr(0, text.find("\r\n")));
            line >> r.method >> r.target;
            r.path = r.target.substr(0, r.target.find('?'));
            requests.push_back(std::move(r));
        }
        return requests;
    }

private:
    ScratchFolder folder_;
    ChildProcess process_;
    int port_ = 0;
};

// The controller of a run with networks: a list of its own, a public-looking local address,
// and records of every message and state it is handed (read after the run has ended).
class NetworkController : public RecordingController {
public:
    P2PNetworkList* NetworkList() override { return &list; }
    void PrepareHttpClient(THttpCli& client) override
    {
        if (prepare) prepare(client);
    }
    void ShowIndexMessage(const std::string& text) override { messages.push_back(text); }
    void SetIndexServerAddress(const std::string& url) override { indexServer = url; }
    void SetIndexUploadSucceeded(bool on) override { uploadFlags.push_back(on); }
    std::vector<std::string> LocalAddresses() override
    {
        ++addressQueries;
        return addresses;
    }
    // A network entry with an account, enabled, whose services are the operator's.
    void AddNetwork(const std::string& name, const OperatorService& service, const std::string& user = "alice",
                    bool enabled = true)
    {
        P2PNetwork network;
        network.name = name;
        network.address = service.Url("/v6");
        network.userName = user;
        network.password = "secret";
        network.enabled = enabled;
        list.Entries().push_back(network);
    }

    P2PNetworkList list;
    std::function<void(THttpCli&)> prepare;
    std::vector<std::string> addresses{"192.168.1.5", "198.51.100.7"};
    std::vector<std::string> messages;
    std::string indexServer;
    std::vector<bool> uploadFlags;
    int addressQueries = 0;
};

}  // namespace corvane::testing
