#include "p2p/local_index_list.h"

#include <algorithm>

namespace corvane {

void LocalIndexList::indexAdd(const std::string& line)
{
    std::lock_guard guard(indexLock_);
    lines_.push_back(line);
}

void LocalIndexList::indexClear()
{
    std::lock_guard guard(indexLock_);
    lines_.clear();
}

std::size_t LocalIndexList::indexCount() const
{
    std::lock_guard guard(indexLock_);
    return lines_.size();
}

std::string LocalIndexList::indexLine(std::size_t position) const
{
    std::lock_guard guard(indexLock_);
    return position < lines_.size() ? lines_[position] : std::string();
}

std::size_t LocalIndexList::indexVisit(std::size_t from, std::size_t count,
                                       const std::function<bool(std::string_view line)>& visit) const
{
    std::size_t position = from;
    const std::size_t end = from + count;
    while (position < end) {
        std::lock_guard guard(indexLock_);
        const std::size_t stop = std::min({end, lines_.size(), position + kLinesPerHold});
        if (position >= stop) break;
        while (position < stop)
            if (!visit(lines_[position++])) return position;
    }
    return position;
}

}  // namespace corvane
