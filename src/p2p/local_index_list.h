// LocalIndexList: the localIndexList itself, a list of search lines behind its index lock.
// Every call holds the lock for itself; indexVisit holds it for up to kLinesPerHold lines at a
// time, so an indexer's indexAdd waits at most that long behind a search, and a search over a
// million lines is not a million lock round trips. Any thread.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "p2p/local_index.h"

namespace corvane {

class LocalIndexList : public LocalIndex {
public:
    static constexpr std::size_t kLinesPerHold = 256;

    void indexAdd(const std::string& line) override;
    void indexClear() override;
    std::size_t indexCount() const override;
    std::string indexLine(std::size_t position) const override;
    std::size_t indexVisit(std::size_t from, std::size_t count,
                           const std::function<bool(std::string_view line)>& visit) const override;

private:
    mutable std::mutex indexLock_;
    std::vector<std::string> lines_;  // guarded by indexLock_
};

}  // namespace corvane
