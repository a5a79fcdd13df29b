// IndexThread's life: construction, start at idle priority, the stop flag, detaching from the
// server thread, the run's two phases, and the rewrite of "p2pIndex.ksl".
#include "p2p/index_thread.h"

#include "net/http_cli.h"
#include "p2p/index_file.h"
#include "platform/thread_priority.h"

namespace corvane {

IndexThread::IndexThread(LocalIndex* server, IndexController& controller, permissionsClass& accounts,
                         std::vector<std::string> sharedFolderList, std::string indexFilePath)
    : server_(server),
      controller_(controller),
      accounts_(accounts),
      sharedFolderList_(std::move(sharedFolderList)),
      indexFilePath_(std::move(indexFilePath)),
      readBuffer_(kDigestBlockSize)
{
    if (server_ != nullptr) server_->indexClear();
}

IndexThread::~IndexThread()
{
    requestStop();
    Join();
}

void IndexThread::Start()
{
    if (thread_.joinable() || finished_.load()) return;
    thread_ = std::thread([this] { Body(); });
}

void IndexThread::requestStop()
{
    std::lock_guard guard(stopLock_);
    stop_ = true;
}

bool IndexThread::stopRequested() const
{
    std::lock_guard guard(stopLock_);
    return stop_;
}

void IndexThread::detachServer()
{
    std::lock_guard guard(serverLock_);
    server_ = nullptr;
}

void IndexThread::Join()
{
    if (thread_.joinable()) thread_.join();
}

bool IndexThread::Finished() const { return finished_.load(); }

void IndexThread::Body()
{
    // The walk must never take the processor from the FTP service; a host that refuses the
    // idle class still gets the walk's yields between steps.
    SetCurrentThreadIdlePriority();
    settings_ = controller_.TakeIndexSettings();
    if (!settings_.skip) IndexingPass();
    RunNetworkPhase();
    finished_.store(true);
}

void IndexThread::Log(const std::string& line)
{
    statusText_ = line;
    controller_.WriteIndexLog(statusText_);
}

bool IndexThread::SaveIndexAfterUpload()
{
    // The unchanged lines go back too: without them the next run would find those entries
    // missing and send every one of them again as new.
    toSave_.clear();
    toSave_.reserve(unchangedLines_.size() + newLines_.size() + changedLines_.size());
    toSave_.insert(toSave_.end(), unchangedLines_.begin(), unchangedLines_.end());
    toSave_.insert(toSave_.end(), newLines_.begin(), newLines_.end());
    toSave_.insert(toSave_.end(), changedLines_.begin(), changedLines_.end());
    std::vector<std::string> written;
    written.reserve(toSave_.size() * 2);
    for (const std::string& line : toSave_) {
        written.push_back(line);
        const auto fields = ParseIndexLine(line);
        if (!fields || fields->digest == kNoDigest) continue;
        const auto stamp = digestStamps_.find(VirtualPathKey(fields->virtualPath));
        if (stamp != digestStamps_.end()) written.push_back(DigestStampLine(stamp->second));
    }
    return WriteIndexFile(indexFilePath_, written);
}

}  // namespace corvane
