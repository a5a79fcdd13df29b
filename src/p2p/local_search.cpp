#include "p2p/local_search.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "p2p/index_lines.h"

namespace corvane {
namespace {

constexpr std::size_t kSizeColumn = 14;

const std::array<char, 256>& UpperTable()
{
    static const std::array<char, 256> table = [] {
        std::array<char, 256> t{};
        for (int c = 0; c < 256; ++c) t[c] = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        return t;
    }();
    return table;
}

// ASCII letters upper-cased eight bytes at a time (every path of the index passes here once
// per search): a byte's high bit marks a-z, which then loses 0x20; other bytes, UTF-8 ones
// included, stay as they are.
std::uint64_t UpperWord(std::uint64_t w)
{
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
    const std::uint64_t low7 = w & ~kHigh;
    const std::uint64_t atLeastA = low7 + kOnes * (0x80 - 'a');
    const std::uint64_t aboveZ = low7 + kOnes * (0x80 - 'z' - 1);
    const std::uint64_t lower = atLeastA & ~aboveZ & ~w & kHigh;
    return w - (lower >> 2);
}

void UpperInto(std::string_view text, std::string& out)
{
    const auto& table = UpperTable();
    out.resize(text.size());
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        word = UpperWord(word);
        std::memcpy(out.data() + i, &word, 8);
    }
    for (; i < text.size(); ++i) out[i] = table[static_cast<unsigned char>(text[i])];
}

// The terms as the matching uses them: upper case, each once, empty ones gone (they never
// match). When all terms must occur the longest comes first, as a long term is the likeliest
// to fail.
std::vector<std::string> MatchTerms(const std::vector<std::string>& terms, int mode)
{
    std::vector<std::string> upper;
    std::unordered_set<std::string> seen;
    for (const std::string& term : terms) {
        if (term.empty()) continue;
        std::string u;
        UpperInto(term, u);
        if (seen.insert(u).second) upper.push_back(std::move(u));
    }
    if (mode == 0)
        std::stable_sort(upper.begin(), upper.end(),
                         [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    else if (upper.size() > kMostAnyTerms) upper.resize(kMostAnyTerms);
    return upper;
}

// The term that decided a line (the missing one in mode 0, the found one in mode 1) moves to
// the front: neighbouring lines share their folders, so it most likely decides the next line
// too, with one look instead of one per term. The order never changes a result.
bool Matches(std::string_view upperPath, std::vector<std::string>& terms, int mode)
{
    if (terms.empty()) return false;
    for (std::size_t i = 0; i < terms.size(); ++i) {
        const bool occurs = upperPath.find(terms[i]) != std::string_view::npos;
        if (occurs == (mode == 0)) continue;
        if (i > 0) std::swap(terms[0], terms[i]);
        return mode == 1;
    }
    return mode == 0;
}

}  // namespace

std::vector<std::string> SplitQuery(std::string_view query)
{
    const std::size_t first = query.find_first_not_of(' ');
    std::string text = first == std::string_view::npos ? std::string() : std::string(query.substr(first));
    while (!text.empty() && text.back() == ' ') text.pop_back();
    text += ' ';
    std::vector<std::string> terms;
    std::size_t at = 0;  // the rest of the text starts here
    while (text.find(' ', at) != std::string::npos) {
        std::size_t next;
        if (text[at] == '"') {
            const std::size_t close = text.find('"', at + 1);
            if (close != std::string::npos) {
                terms.push_back(text.substr(at + 1, close - at - 1));
                next = close + 1;
            } else {
                const std::size_t blank = text.find(' ', at + 1);
                terms.push_back(text.substr(at + 1, blank - at - 1));
                next = blank + 1;
            }
        } else {
            const std::size_t blank = text.find(' ', at);
            terms.push_back(text.substr(at, blank - at));
            next = blank + 1;
        }
        at = std::min(next, text.size());
        while (at < text.size() && text[at] == ' ') ++at;
    }
    return terms;
}

std::string SearchResultListingLine(std::string_view searchLine)
{
    const auto fields = ParseSearchLine(searchLine);
    if (!fields) return {};
    std::string line;
    line.reserve(searchLine.size() + 48);
    line += fields->entryType;
    line += "r--r--r--   1 ftp      ftp";
    if (fields->size.size() < kSizeColumn) line.append(kSizeColumn - fields->size.size(), ' ');
    line.append(fields->size).append(" ").append(fields->listingDate).append(" ").append(fields->virtualPath);
    return line;
}

std::string SearchFilterFolder(std::string_view virtualPath, char entryType)
{
    std::string_view folder = virtualPath;
    if (entryType != 'd') {
        const std::size_t slash = folder.rfind('/');
        folder = slash == std::string_view::npos ? std::string_view() : folder.substr(0, slash);
    }
    if (!folder.empty() && folder.front() == '/') folder.remove_prefix(1);
    std::string real(folder);
    std::replace(real.begin(), real.end(), '/', '\\');
    return real;
}

void SearchLocalIndex(const LocalIndex& index, int mode, std::string_view query, const SearchFilter& mayList,
                      std::vector<std::string>& results)
{
    if (mode != 0 && mode != 1) return;
    results.clear();
    std::vector<std::string> terms = MatchTerms(SplitQuery(query), mode);
    if (terms.empty()) return;
    std::unordered_set<std::string> listed;
    std::unordered_map<std::string, bool> folderVisible;  // one rights check per folder and search
    std::string upperPath;
    std::size_t position = 0;
    const auto visit = [&](std::string_view line) {
        const std::string_view path = SearchLinePathOf(line);
        if (path.empty()) return true;
        UpperInto(path, upperPath);
        if (!Matches(upperPath, terms, mode)) return true;
        const auto fields = ParseSearchLine(line);
        if (!fields) return true;
        const std::string folder = SearchFilterFolder(fields->virtualPath, fields->entryType);
        auto known = folderVisible.find(folder);
        if (known == folderVisible.end()) known = folderVisible.emplace(folder, mayList(folder)).first;
        if (!known->second) return true;
        std::string listing = SearchResultListingLine(line);
        if (listed.insert(listing).second) results.push_back(std::move(listing));
        return results.size() < kSearchResultLimit;
    };
    // The indexer may be adding lines meanwhile: the count is read again for every batch.
    for (;;) {
        const std::size_t count = index.indexCount();
        if (position >= count) break;
        const std::size_t before = position;
        position = index.indexVisit(position, count - position, visit);
        if (results.size() >= kSearchResultLimit || position == before) break;
    }
}

std::string DigestInIndex(const LocalIndex& index, std::string_view virtualPath)
{
    const std::string wanted = VirtualPathKey(virtualPath);
    std::string digest(kNoDigest);
    index.indexVisit(0, index.indexCount(), [&](std::string_view line) {
        const auto fields = ParseSearchLine(line);
        if (!fields || fields->virtualPath.size() != wanted.size() || VirtualPathKey(fields->virtualPath) != wanted)
            return true;
        digest.assign(fields->digest);
        return false;
    });
    return digest;
}

}  // namespace corvane
