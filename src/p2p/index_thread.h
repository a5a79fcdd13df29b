// IndexThread: the background worker that describes what the server shares. One run walks
// every shared folder, hands a search line for each file and folder to the server thread's
// localIndexList, and collects the new, changed and stale index lines of what the Anonymous
// account may see, for the index-server exchange; then it ends.
//
// Threads: the server thread constructs it (suspended), starts it, and stops it (detachServer,
// requestStop; Join once Finished, or at its own end) before destroying it. The run itself happens on the indexer's own thread,
// in the host's idle scheduling class; it reads the settings and writes the log only through
// IndexController, on the window thread. The upload lists are the indexer thread's until Join
// has returned.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common/thread_owner.h"
#include "p2p/index_lines.h"
#include "p2p/local_index.h"
#include "p2p/p2p_network_list.h"
#include "p2p/previous_index.h"
#include "platform/folder_identity.h"
#include "platform/fs.h"
#include "platform/local_addresses.h"

namespace corvane {

class permissionsClass;
class THttpCli;
class ReplyCapture;

// What a run copies from the settings once, at its start.
struct IndexSettingsSnapshot {
    std::string countryCode;
    std::string ipAddress;
    int ftpPort = 21;
    std::string connectionType;
    // Not indexing at all: the operator wants the server without P2P sharing, and the program
    // was not started by the peer client ("/p2p").
    bool skip = false;
    bool md5 = false;
    bool firstRun = false;
};

// The controller as the indexer reaches it. Every call but NetworkList, LocalAddresses and
// ShowIndexMessage runs its work on the window thread and returns when it is done. The network-phase calls have
// defaults for a controller without networks.
class IndexController {
public:
    virtual ~IndexController() = default;
    virtual IndexSettingsSnapshot TakeIndexSettings() = 0;
    virtual void WriteIndexLog(const std::string& line) = 0;

    // ---- The network phase ----
    // The controller's network list (it outlives the run), or null when there is none. The
    // indexer holds the list's lock only while it reads or writes back an entry.
    virtual P2PNetworkList* NetworkList() { return nullptr; }
    // Sets a fresh HTTP client's direct, proxy or SOCKS route from the connection settings.
    virtual void PrepareHttpClient(THttpCli& client) { (void)client; }
    // A warning message box with the program's error caption, handed to the operator without
    // waiting for an answer (the headless program writes it to the log).
    virtual void ShowIndexMessage(const std::string& text) { (void)text; }
    // The controller's index server address and index-upload-succeeded flag.
    virtual void SetIndexServerAddress(const std::string& url) { (void)url; }
    virtual void SetIndexUploadSucceeded(bool succeeded) { (void)succeeded; }
    // The machine's local addresses in the socket layer's order, for the real-address test.
    // Any thread. The one seam through which a test gives the indexer other addresses.
    virtual std::vector<std::string> LocalAddresses() { return LocalIPv4Addresses(); }
};

inline constexpr std::size_t kDigestBlockSize = 2 * 1024 * 1024;
inline constexpr const char* kIndexingAccount = "Anonymous";
// The network phase's requests: at most this many index lines per request, a stop request
// ends a pending request within one abort-timer period, and a request that is neither done
// nor stopped after the time limit is aborted as failed (a service that never answers must
// not hold the indexer, and with it the next run, for ever).
inline constexpr std::size_t kUploadChunkLines = 100;
inline constexpr std::chrono::milliseconds kAbortTimerPeriod{250};
inline constexpr std::chrono::milliseconds kMostRequestTime{120000};

class IndexThread {
public:
    // Empties the server's localIndexList. `indexFilePath` is the host path of "p2pIndex.ksl".
    IndexThread(LocalIndex* server, IndexController& controller, permissionsClass& accounts,
                std::vector<std::string> sharedFolderList, std::string indexFilePath);
    // Stops and joins a run that still goes.
    ~IndexThread();
    IndexThread(const IndexThread&) = delete;
    IndexThread& operator=(const IndexThread&) = delete;

    // Starts the run (once).
    void Start();
    // Any thread.
    void requestStop();
    bool stopRequested() const;
    // From now on no line reaches the server and no upload list grows.
    void detachServer();
    // Waits without limit until the run has ended.
    void Join();
    bool Finished() const;

    // ---- After Join ----
    const std::vector<std::string>& newLines() const { return newLines_; }
    const std::vector<std::string>& changedLines() const { return changedLines_; }
    const std::vector<std::string>& staleLines() const { return staleLines_; }
    // The stored lines of the entries found unchanged, in the order found.
    const std::vector<std::string>& unchangedLines() const { return unchangedLines_; }
    // After an upload succeeded: rewrites "p2pIndex.ksl" with the unchanged lines, then the
    // new ones, then the changed ones, each digest with the stamp it was made for. False when
    // the file could not be written.
    bool SaveIndexAfterUpload();
    // Whether the last upload of the run succeeded.
    bool uploadSucceeded() const { return uploadSucceeded_; }

    // Before Start: a shorter limit for a request that neither ends nor is stopped (tests).
    void SetRequestTimeLimit(std::chrono::milliseconds limit) { requestTimeLimit_ = limit; }

private:
    void Body();
    void IndexingPass();
    void WalkSharedFolders();
    void WalkFolder(const std::string& path, bool withSubfolders);
    bool EnterFolder(const std::string& folder, bool withSubfolders);
    void RecordEntry(const std::string& fullPath, const fs::FileInfo& info);
    bool AnonymousMaySee(const std::string& folder);
    std::string DigestIfWanted(const std::string& fullPath, bool isFolder);
    std::string RecordForUpload(const std::string& fullPath, const IndexedEntry& entry, const DigestStamp& stamp);
    void KeepUnchanged(std::size_t found, const std::string& digest, const DigestStamp& stamp);
    void AddUploadLine(std::vector<std::string>& list, std::string line, const DigestStamp& stamp);
    // The index-server exchange with every enabled, registered network (index_network_phase.cpp).
    void RunNetworkPhase();
    void ServeNetworks(P2PNetworkList& list);
    bool RealAddressTest();
    void TakeEntry(const P2PNetwork& network);
    void WriteBackEntry(P2PNetworkList& list);
    bool LookUpIndexServer();
    void UploadToNetwork();
    bool SendLines(const std::vector<std::string>& lines, bool insert);
    enum class PostKind { UpdateAddress, AddEntries, WithdrawEntries };
    bool PostRequest(PostKind kind, const std::vector<std::string>* lines, std::size_t chunkStart);
    // A request of the current client, waited for; false when it raised a socket-layer or
    // HTTP-client error (or was cut off: too long a reply, or no end within the time limit).
    bool RunRequest(bool post);
    std::unique_ptr<THttpCli> NewHttpClient();
    void Warn(const std::string& text);
    void Log(const std::string& line);

    LocalIndex* server_;  // guarded by serverLock_
    mutable std::mutex serverLock_;
    IndexController& controller_;
    permissionsClass& accounts_;
    std::vector<std::string> sharedFolderList_;
    const std::string indexFilePath_;

    mutable std::mutex stopLock_;
    bool stop_ = false;  // guarded by stopLock_

    // The run's own state (indexer thread).
    IndexSettingsSnapshot settings_;
    int currentYear_ = 0;
    std::unordered_set<std::string> visitedFolders_;
    std::set<std::pair<std::uint64_t, std::uint64_t>> walkedIdentities_;  // device, inode
    PreviousIndex previousIndex_;
    std::vector<std::string> newLines_;
    std::vector<std::string> changedLines_;
    std::vector<std::string> staleLines_;
    std::vector<std::string> unchangedLines_;
    // By path: what the digest in this run's line was made (or confirmed) for.
    std::unordered_map<std::string, DigestStamp> digestStamps_;
    std::vector<std::string> toSave_;
    std::vector<char> readBuffer_;
    std::string statusText_;
    // The last folder the Anonymous test was made for, and its answer (a folder's files share it).
    std::string testedFolder_;
    bool testedFolderVisible_ = false;

    // The network exchange (indexer thread; the abort timer runs there too).
    std::string networkName_, networkAddress_, userName_, password_, indexServerUrl_;
    bool updateAddressSent_ = false;
    bool uploadSucceeded_ = false;
    std::string messageText_;
    std::unique_ptr<THttpCli> httpClient_;
    ReplyCapture* reply_ = nullptr;  // the pending request's reply
    std::chrono::milliseconds requestTimeLimit_ = kMostRequestTime;

    std::thread thread_;  // started and joined by the owner's thread only
    ThreadOwner owner_;   // the thread that makes, starts, stops and joins it
    ThreadOwner runner_;  // the indexer thread, from the start of its run
    std::atomic<bool> finished_{false};
};

}  // namespace corvane
