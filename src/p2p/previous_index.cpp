#include "p2p/previous_index.h"

#include "p2p/index_lines.h"

namespace corvane {

PreviousIndex::PreviousIndex(std::vector<std::string> lines)
{
    lines_.reserve(lines.size());
    bool afterIndexLine = false;
    for (std::string& line : lines) {
        const auto fields = ParseIndexLine(line);
        if (!fields) {
            const auto stamp = afterIndexLine ? ParseDigestStampLine(line) : std::nullopt;
            if (stamp) stamps_.back() = stamp;
            afterIndexLine = false;
            continue;
        }
        byPath_[VirtualPathKey(fields->virtualPath)].positions.push_back(lines_.size());
        lines_.push_back(std::move(line));
        stamps_.emplace_back();
        afterIndexLine = true;
    }
    alive_.assign(lines_.size(), true);
    remaining_ = lines_.size();
}

const PreviousIndex::Slots* PreviousIndex::SlotsOf(std::string_view virtualPath) const
{
    const auto it = byPath_.find(VirtualPathKey(virtualPath));
    return it == byPath_.end() ? nullptr : &it->second;
}

std::optional<std::size_t> PreviousIndex::FindFirst(std::string_view virtualPath) const
{
    const Slots* slots = SlotsOf(virtualPath);
    if (slots == nullptr || slots->firstAlive >= slots->positions.size()) return std::nullopt;
    return slots->positions[slots->firstAlive];
}

bool PreviousIndex::HoldsStamp(std::string_view virtualPath, std::string_view stamp) const
{
    const Slots* slots = SlotsOf(virtualPath);
    if (slots == nullptr) return false;
    for (std::size_t i = slots->firstAlive; i < slots->positions.size(); ++i) {
        const auto fields = ParseIndexLine(lines_[slots->positions[i]]);
        if (fields && fields->virtualPath == virtualPath && fields->stamp == stamp) return true;
    }
    return false;
}

void PreviousIndex::Remove(std::size_t position)
{
    if (position >= lines_.size() || !alive_[position]) return;
    alive_[position] = false;
    --remaining_;
    const auto fields = ParseIndexLine(lines_[position]);
    auto it = byPath_.find(VirtualPathKey(fields->virtualPath));
    Slots& slots = it->second;
    while (slots.firstAlive < slots.positions.size() && !alive_[slots.positions[slots.firstAlive]]) ++slots.firstAlive;
}

std::vector<std::string> PreviousIndex::Remaining() const
{
    std::vector<std::string> lines;
    lines.reserve(remaining_);
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (alive_[i]) lines.push_back(lines_[i]);
    return lines;
}

}  // namespace corvane
