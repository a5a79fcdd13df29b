// LocalIndex: the server thread's list of search lines (localIndexList) as the indexer and the
// search see it. The owner guards it with its index lock; every call here takes that lock for
// itself, so a reader sees each line either complete or not at all.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace corvane {

class LocalIndex {
public:
    virtual ~LocalIndex() = default;
    // The indexer's side.
    virtual void indexAdd(const std::string& line) = 0;
    virtual void indexClear() = 0;
    // The search's side.
    virtual std::size_t indexCount() const = 0;
    virtual std::string indexLine(std::size_t position) const = 0;
    // Hands lines [from, from + count) that exist to `visit`, in order, holding the lock for a
    // handful of lines at a time rather than once per line; `visit` returns false to stop.
    // Returns the position after the last line visited.
    virtual std::size_t indexVisit(std::size_t from, std::size_t count,
                                   const std::function<bool(std::string_view line)>& visit) const = 0;
};

}  // namespace corvane
