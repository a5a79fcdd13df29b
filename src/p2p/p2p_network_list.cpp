#include "p2p/p2p_network_list.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "accounts/account_names.h"
#include "common/url_text.h"

namespace corvane {
namespace {

// The text up to the first "*" (all of it without one); `rest` keeps what follows the "*".
std::string_view TakeField(std::string_view& rest)
{
    const std::size_t star = rest.find('*');
    const std::string_view field = rest.substr(0, star);
    rest = star == std::string_view::npos ? std::string_view() : rest.substr(star + 1);
    return field;
}

// A stored flag: true for any number other than 0.
bool FlagOf(std::string_view text)
{
    std::size_t i = text.size() > 0 && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (i == text.size()) return false;
    bool nonZero = false;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        nonZero = nonZero || text[i] != '0';
    }
    return nonZero;
}

std::string EntryKey(std::size_t position) { return std::string(kNetworkEntryKeyPrefix) + std::to_string(position); }

}  // namespace

std::string EncodeNetworkEntry(const P2PNetwork& network)
{
    return network.name + "*" + network.address + "*" + network.userName + "*" + ScramblePassword(network.password) +
           "*" + (network.enabled ? "1" : "0") + "*" + (network.existingAccount ? "1" : "0");
}

P2PNetwork DecodeNetworkEntry(std::string_view text)
{
    P2PNetwork network;
    std::string_view rest = text;
    network.name = TakeField(rest);
    network.address = TakeField(rest);
    network.userName = TakeField(rest);
    // The password lies between the user name and the two flags at the end.
    std::vector<std::string_view> flags;
    for (int i = 0; i < 2; ++i) {
        const std::size_t star = rest.rfind('*');
        if (star == std::string_view::npos) break;
        flags.insert(flags.begin(), rest.substr(star + 1));
        rest = rest.substr(0, star);
    }
    const std::string_view enabled = flags.size() > 0 ? flags[0] : std::string_view();
    const std::string_view existing = flags.size() > 1 ? flags[1] : std::string_view();
    network.password = ScramblePassword(rest);
    network.enabled = FlagOf(enabled);
    network.existingAccount = FlagOf(existing);
    return network;
}

std::string NetworkAddressOf(std::string_view publishedAddress) { return JoinUrlPath(publishedAddress, "v6"); }

std::vector<PublishedNetwork> ParseNetworkListText(std::string_view text)
{
    std::vector<PublishedNetwork> out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (end < text.size() && text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
        if (line.empty()) continue;
        PublishedNetwork network;
        network.name = TakeField(line);
        network.address = TakeField(line);
        out.push_back(std::move(network));
    }
    return out;
}

void P2PNetworkList::Load(const IniImage& image)
{
    entries_.clear();
    const long long count = image.ReadInteger(kP2PNetworkSection, kNetworkCountKey, 0);
    if (count <= 0) return;
    // A Count of 2^31 must not walk two thousand million absent keys.
    const auto present = static_cast<long long>(image.ReadSection(kP2PNetworkSection).size());
    const long long last = std::min(count, present);
    for (long long i = 0; i < last; ++i) {
        const std::string text = image.ReadString(kP2PNetworkSection, EntryKey(static_cast<std::size_t>(i)), "");
        if (!text.empty()) entries_.push_back(DecodeNetworkEntry(text));
    }
}

void P2PNetworkList::Save(IniImage& image) const
{
    const std::string_view section = kP2PNetworkSection;
    image.WriteInteger(section, kNetworkCountKey, static_cast<long long>(entries_.size()));
    for (std::size_t i = entries_.size(); i-- > 0;)
        image.WriteString(section, EntryKey(i), EncodeNetworkEntry(entries_[i]));
    for (std::size_t i = entries_.size(); image.ValueExists(section, EntryKey(i)); ++i)
        image.DeleteKey(section, EntryKey(i));
}

P2PNetwork* P2PNetworkList::FindByName(std::string_view name)
{
    for (P2PNetwork& network : entries_)
        if (network.name == name) return &network;
    return nullptr;
}

void P2PNetworkList::MergePublished(const std::vector<PublishedNetwork>& published)
{
    if (published.empty()) return;
    // The scratch list: one address per name, names in the order first published.
    std::unordered_map<std::string, std::size_t> scratchIndex;
    std::vector<std::pair<std::string, std::string>> scratch;
    for (const PublishedNetwork& line : published) {
        const auto [it, added] = scratchIndex.emplace(line.name, scratch.size());
        if (added) scratch.emplace_back(line.name, NetworkAddressOf(line.address));
        else scratch[it->second].second = NetworkAddressOf(line.address);
    }
    std::unordered_map<std::string, std::size_t> firstOfName;
    for (std::size_t i = 0; i < entries_.size(); ++i) firstOfName.emplace(entries_[i].name, i);
    for (const auto& [name, address] : scratch) {
        const auto found = firstOfName.find(name);
        if (found != firstOfName.end()) {
            entries_[found->second].address = address;
            continue;
        }
        firstOfName.emplace(name, entries_.size());
        P2PNetwork network;
        network.name = name;
        network.address = address;
        entries_.push_back(std::move(network));
    }
    std::erase_if(entries_,
                  [&scratchIndex](const P2PNetwork& network) { return scratchIndex.count(network.name) == 0; });
}

std::string P2PNetworkList::RegisteredEntriesText() const
{
    std::string text;
    for (const P2PNetwork& network : entries_)
        if (network.registered()) text += EncodeNetworkEntry(network) + "\r\n";
    return text;
}

}  // namespace corvane
