#include "cache/cache_transfer.h"

#include <utility>

namespace corvane {

const std::shared_ptr<std::iostream> CacheTransfer::kNoCopy;

CacheTransfer::CacheTransfer(CacheLease lease, std::int64_t position)
    : lease_(std::move(lease)),
      use_(lease_.Use()),
      copy_(lease_.Stream()),
      position_(position)
{}

CacheTransfer::CacheTransfer(CacheUse use, std::shared_ptr<std::iostream> copy, std::int64_t position)
    : use_(use),
      copy_(std::move(copy)),
      position_(position)
{}

void CacheTransfer::StartFillAt(std::int64_t offset)
{
    fillStarted_ = true;
    fillStart_ = position_ = offset;
}

void CacheTransfer::RestartFill()
{
    fillStarted_ = false;
    fillStart_ = position_ = 0;
}

}  // namespace corvane
