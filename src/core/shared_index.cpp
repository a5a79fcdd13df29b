#include "core/shared_index.h"

#include <algorithm>

#include "accounts/permissions.h"
#include "p2p/index_file.h"

namespace corvane {

SharedIndex::SharedIndex(serverController& controller, permissionsClass& accounts, WindowThread& window,
                         const ServerThreadLoop& loop)
    : accounts_(accounts),
      loop_(loop),
      indexControllerLink_(controller, window)
{}

SharedIndex::~SharedIndex()
{
    StopIndexer();
    JoinStopped();
}

void SharedIndex::RestartIndexer()
{
    loop_.AssertOwner();
    StopIndexer();
    ReapEnded();
    indexer_ = std::make_unique<IndexThread>(&localIndexList_, indexControllerLink_, accounts_,
                                             accounts_.Folders().ListSharedFolders(), IndexFilePath());
    indexer_->Start();
}

// From here no line of the old pass reaches the search lines, so a new pass may fill them at
// once; the old one's own stop checks end it.
void SharedIndex::StopIndexer()
{
    loop_.AssertOwner();
    if (!indexer_) return;
    indexer_->detachServer();
    indexer_->requestStop();
    stopping_.push_back(std::move(indexer_));
}

bool SharedIndex::TickDue()
{
    loop_.AssertOwner();
    ReapEnded();
    return (reindexCounter_ += kReindexStepPerTick) % kReindexPeriod == 0;
}

// A pass that has ended joins at once.
void SharedIndex::ReapEnded()
{
    std::erase_if(stopping_, [](const std::unique_ptr<IndexThread>& pass) { return pass->Finished(); });
}

void SharedIndex::JoinStopped()
{
    for (const auto& pass : stopping_) pass->Join();
    stopping_.clear();
}

}  // namespace corvane
