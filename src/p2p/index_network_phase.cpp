// The network phase of an indexer run: for every enabled network with an account, find its
// index server (once per program run) and send it the changes of the local index, one
// synchronous HTTP request at a time on the indexer's own thread.
//
// The list lock is held only while an entry is read or written back: the options dialog may
// change the list meanwhile, so an entry is written back by its name, not by its position.
// The lock is never held while the window thread is asked for anything (a log line, a message
// box): the window thread may itself be waiting for the lock then.
#include <sstream>

#include "common/ip_text.h"
#include "net/http_cli.h"
#include "p2p/capped_request.h"
#include "p2p/index_file.h"
#include "p2p/index_server_texts.h"
#include "p2p/index_thread.h"
#include "p2p/reply_capture.h"
#include "platform/event_loop.h"

namespace corvane {
namespace {

constexpr const char* kNoRealAddressText =
    "Your computer does not have a real IP address.\nOnly computers that reside on your own LAN can access the "
    "server.\nTherefore, the index of this server will not be uploaded to Brinvale servers.\nIf you want to have the "
    "server accessible over the Internet, please contact your network administrator.\n\nDespite this error, you can "
    "still have your server accessible within your LAN.";
constexpr const char* kLookupFailedText =
    "Index server IP retrieval failed: Connection error! Please restart the server if you want to retry joining the "
    "network.";
constexpr const char* kUploadErrorText =
    "File index upload failed: Connection error. Please restart the server if you want to retry joining the network.";
constexpr const char* kUploadTimedOutText =
    "File index upload failed: Connection timed out! Please restart the server if you want to retry joining the "
    "network.";
constexpr const char* kProductName = "Dravik";

}  // namespace

void IndexThread::RunNetworkPhase()
{
    CORVANE_ASSERT_OWNER_THREAD(runner_);
    P2PNetworkList* list = controller_.NetworkList();
    if (settings_.skip || list == nullptr || stopRequested()) return;
    // The HTTP client's waits, and the abort timer of each request, run on this thread's queue.
    EventLoop loop;
    try {
        ServeNetworks(*list);
    } catch (const std::exception& error) {
        // Anything but a socket-layer or HTTP-client error ends the run.
        Log(std::string("! ") + error.what());
    }
    httpClient_.reset();
}

void IndexThread::ServeNetworks(P2PNetworkList& list)
{
    for (std::size_t position = 0;; ++position) {
        {
            std::lock_guard guard(list.Lock());
            if (position >= list.Entries().size()) return;
        }
        if (stopRequested() || settings_.skip || !RealAddressTest()) return;
        bool serve = false;
        {
            std::lock_guard guard(list.Lock());
            if (position >= list.Entries().size()) return;
            const P2PNetwork& network = list.Entries()[position];
            TakeEntry(network);
            serve = network.enabled && !network.userName.empty();
        }
        if (!serve) continue;
        if (!indexServerUrl_.empty() || LookUpIndexServer()) UploadToNetwork();
        WriteBackEntry(list);
    }
}

bool IndexThread::RealAddressTest()
{
    for (const std::string& address : controller_.LocalAddresses()) {
        settings_.ipAddress = address;
        if (IsRealIp(address)) return true;
    }
    if (!settings_.firstRun) Warn(kNoRealAddressText);
    return false;
}

void IndexThread::TakeEntry(const P2PNetwork& network)
{
    networkName_ = network.name;
    networkAddress_ = network.address;
    userName_ = network.userName;
    password_ = network.password;
    indexServerUrl_ = network.indexServerUrl;
}

void IndexThread::WriteBackEntry(P2PNetworkList& list)
{
    std::lock_guard guard(list.Lock());
    P2PNetwork* network = list.FindByName(networkName_);
    if (network == nullptr) return;  // removed by a list download meanwhile
    network->indexServerUrl = indexServerUrl_;
    network->address = networkAddress_;
    network->userName = userName_;
}

std::unique_ptr<THttpCli> IndexThread::NewHttpClient()
{
    auto client = std::make_unique<THttpCli>();
    client->SetMultiThreaded(true);
    controller_.PrepareHttpClient(*client);
    return client;
}

bool IndexThread::RunRequest(bool post)
{
    CORVANE_ASSERT_OWNER_THREAD(runner_);
    return RunCappedRequest(*httpClient_, *reply_, post, requestTimeLimit_, kAbortTimerPeriod,
                            [this] { return stopRequested(); });
}

bool IndexThread::LookUpIndexServer()
{
    Log("! Seeking optimal index server on " + networkName_);
    httpClient_ = NewHttpClient();
    ReplyCapture reply;
    reply_ = &reply;
    httpClient_->URL = LookupUrl(networkAddress_, userName_);
    httpClient_->PostStream = nullptr;
    httpClient_->ReplyStream = &reply;
    const bool clean = RunRequest(false);
    const std::string& text = reply.Text();
    // An empty answer names no index server: it counts as failed, not as the address "/v6".
    const bool found = clean && !text.empty() && ReplyAccepted(text, kLookupNonNumberStatus);
    if (found) {
        indexServerUrl_ = IndexServerUrlOfReply(text);
        controller_.SetIndexServerAddress(indexServerUrl_);
    } else if (!stopRequested()) {
        // Only the service's own answer can refuse the account; a web server's error page or
        // a cut-off reply is a connection failure and keeps the account.
        if (clean && text.size() > 4) {
            Warn(RefusalMessage(text, networkName_));
            userName_.clear();
        } else if (!clean) {
            Warn(kLookupFailedText);
        }
    }
    httpClient_->Abort();
    httpClient_->ReplyStream = nullptr;
    httpClient_.reset();
    reply_ = nullptr;
    return found;
}

void IndexThread::UploadToNetwork()
{
    Log("! Uploading index of this computer to index server..");
    httpClient_ = NewHttpClient();
    bool ok = updateAddressSent_;
    if (!ok) {
        ok = PostRequest(PostKind::UpdateAddress, nullptr, 0);
        updateAddressSent_ = ok;
    }
    ok = ok && SendLines(newLines_, true);
    ok = ok && SendLines(changedLines_, true);
    ok = ok && SendLines(staleLines_, false);
    uploadSucceeded_ = ok;
    if (ok) {
        Log("! Username " + userName_ + " has registered " + kProductName + " server at " + settings_.ipAddress +
            " at " + networkName_);
        if (!SaveIndexAfterUpload()) Log("! \"" + std::string(kIndexFileName) + "\" could not be written.");
    } else {
        Log(std::string("! ") + kProductName + " index upload operation completed unsuccessfully.");
    }
    controller_.SetIndexUploadSucceeded(uploadSucceeded_);
    httpClient_->Abort();
    httpClient_.reset();
}

bool IndexThread::SendLines(const std::vector<std::string>& lines, bool insert)
{
    const PostKind kind = insert ? PostKind::AddEntries : PostKind::WithdrawEntries;
    for (std::size_t start = 0; start < lines.size(); start += kUploadChunkLines) {
        if (stopRequested()) return false;
        if (!PostRequest(kind, &lines, start)) return false;
    }
    return true;
}

bool IndexThread::PostRequest(PostKind kind, const std::vector<std::string>* lines, std::size_t chunkStart)
{
    IndexServerFields fields{userName_,           password_,         settings_.countryCode,
                             settings_.ipAddress, settings_.ftpPort, settings_.connectionType};
    std::istringstream body(
        kind == PostKind::UpdateAddress
            ? UpdateAddressBody(fields)
            : EntriesBody(EncodedChunk(*lines, chunkStart, kUploadChunkLines), fields,
                          kind == PostKind::AddEntries ? EntriesAction::Insert : EntriesAction::DeleteByAddress));
    ReplyCapture reply;
    reply_ = &reply;
    httpClient_->URL = IndexServerPostUrl(indexServerUrl_);
    httpClient_->ContentTypePost = "application/x-www-form-urlencoded";
    httpClient_->PostStream = &body;
    httpClient_->ReplyStream = &reply;
    const bool clean = RunRequest(true);
    const std::string& text = reply.Text();
    const bool ok = clean && !text.empty() && ReplyAccepted(text, kServerNonNumberStatus);
    if (!ok && !stopRequested()) {
        if (clean && text.size() >= 5) {
            Warn(RefusalMessage(text, networkName_));
            userName_.clear();
        } else {
            Warn(clean ? kUploadTimedOutText : kUploadErrorText);
        }
    }
    httpClient_->PostStream = nullptr;
    httpClient_->ReplyStream = nullptr;
    reply_ = nullptr;
    return ok;
}

void IndexThread::Warn(const std::string& text)
{
    CORVANE_ASSERT_OWNER_THREAD(runner_);
    messageText_ = text;
    Log("! " + messageText_);
    controller_.ShowIndexMessage(messageText_);
}

}  // namespace corvane
