#include "common/ini_image.h"

#include <charconv>

#include "common/text_case.h"
#include "platform/fs.h"

namespace corvane {
namespace {

// Blanks and control characters: every byte up to and including the space.
bool IsTrimmed(char c) { return static_cast<unsigned char>(c) <= 0x20; }

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsTrimmed(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsTrimmed(s.back())) s.remove_suffix(1);
    return s;
}

// A line break cannot be carried inside a line: what follows it would become lines of its own.
std::string_view UpToLineBreak(std::string_view s) { return s.substr(0, s.find_first_of("\r\n")); }

// The line key "=" value would open a section of its own when read back ("[a" "=" "b]").
bool ReadsAsSectionLine(std::string_view key, std::string_view value)
{
    const std::string_view start = Trim(key), end = Trim(value);
    return !start.empty() && start.front() == '[' && !end.empty() && end.back() == ']';
}

// An optional sign, then decimal digits only, within the range of long long.
std::optional<long long> ParseDecimal(std::string_view text)
{
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return std::nullopt;
    }
    long long value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// Tombstones are compacted away once they outnumber the live items, so erasing stays O(1)
// amortised and the image never grows without bound.
template <typename Item>
bool WorthCompacting(const std::vector<Item>& items, std::size_t live)
{
    return items.size() > 16 && items.size() > 2 * live;
}

}  // namespace

IniImage IniImage::FromText(std::string_view text)
{
    IniImage image;
    Section* current = nullptr;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::string_view trimmed = Trim(line);
        if (trimmed.empty() || trimmed.front() == ';') continue;
        if (trimmed.front() == '[' && trimmed.back() == ']' && trimmed.size() >= 2) {
            current = &image.SectionForWrite(Trim(trimmed.substr(1, trimmed.size() - 2)));
            continue;
        }
        if (current == nullptr) continue;
        std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        std::string_view key = Trim(line.substr(0, equals));
        std::string folded = FoldCase(key);
        if (current->keyIndex.count(folded) != 0) continue;  // the first of two equal keys counts
        current->keyIndex.emplace(std::move(folded), current->entries.size());
        current->entries.push_back(Entry{std::string(key), std::string(line.substr(equals + 1)), false});
        ++current->liveEntries;
    }
    return image;
}

IniImage IniImage::Open(const std::string& hostPath)
{
    std::string text;
    if (!fs::ReadFileText(hostPath, text)) return IniImage();
    return FromText(text);
}

const IniImage::Section* IniImage::FindSection(std::string_view section) const
{
    auto it = sectionIndex_.find(FoldCase(section));
    return it == sectionIndex_.end() ? nullptr : &sections_[it->second];
}

IniImage::Section& IniImage::SectionForWrite(std::string_view section)
{
    std::string folded = FoldCase(section);
    auto it = sectionIndex_.find(folded);
    if (it != sectionIndex_.end()) return sections_[it->second];
    sectionIndex_.emplace(std::move(folded), sections_.size());
    sections_.push_back(Section{std::string(section), {}, {}, 0, false});
    ++liveSections_;
    return sections_.back();
}

const IniImage::Entry* IniImage::FindEntry(std::string_view section, std::string_view key) const
{
    const Section* found = FindSection(section);
    if (found == nullptr) return nullptr;
    auto it = found->keyIndex.find(FoldCase(key));
    return it == found->keyIndex.end() ? nullptr : &found->entries[it->second];
}

void IniImage::SetRaw(Section& target, std::string_view key, std::string_view value)
{
    std::string folded = FoldCase(key);
    auto it = target.keyIndex.find(folded);
    if (it != target.keyIndex.end()) {
        Entry& entry = target.entries[it->second];
        entry.key.assign(key);
        entry.value.assign(value);
        return;
    }
    target.keyIndex.emplace(std::move(folded), target.entries.size());
    target.entries.push_back(Entry{std::string(key), std::string(value), false});
    ++target.liveEntries;
}

std::string IniImage::ReadString(std::string_view section, std::string_view key, std::string_view def) const
{
    const Entry* entry = FindEntry(section, key);
    return std::string(entry != nullptr ? Trim(entry->value) : def);
}

std::optional<std::string> IniImage::ReadRawValue(std::string_view section, std::string_view key) const
{
    const Entry* entry = FindEntry(section, key);
    if (entry == nullptr) return std::nullopt;
    return entry->value;
}

long long IniImage::ReadInteger(std::string_view section, std::string_view key, long long def) const
{
    const Entry* entry = FindEntry(section, key);
    if (entry == nullptr) return def;
    return ParseDecimal(Trim(entry->value)).value_or(def);
}

bool IniImage::ReadBool(std::string_view section, std::string_view key, bool def) const
{
    const Entry* entry = FindEntry(section, key);
    if (entry == nullptr) return def;
    auto value = ParseDecimal(Trim(entry->value));
    return value ? *value != 0 : def;
}

void IniImage::WriteString(std::string_view section, std::string_view key, std::string_view value)
{
    const std::string_view keyLine = UpToLineBreak(key), valueLine = UpToLineBreak(value);
    if (ReadsAsSectionLine(keyLine, valueLine)) return;
    SetRaw(SectionForWrite(UpToLineBreak(section)), keyLine, valueLine);
}

void IniImage::WriteInteger(std::string_view section, std::string_view key, long long value)
{
    WriteString(section, key, std::to_string(value));
}

void IniImage::WriteBool(std::string_view section, std::string_view key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

bool IniImage::SectionExists(std::string_view section) const { return FindSection(section) != nullptr; }

bool IniImage::ValueExists(std::string_view section, std::string_view key) const
{
    return FindEntry(section, key) != nullptr;
}

std::vector<std::string> IniImage::ReadSection(std::string_view section) const
{
    std::vector<std::string> keys;
    const Section* found = FindSection(section);
    if (found == nullptr) return keys;
    keys.reserve(found->liveEntries);
    for (const Entry& entry : found->entries)
        if (!entry.erased) keys.push_back(entry.key);
    return keys;
}

std::vector<std::string> IniImage::ReadSections() const
{
    std::vector<std::string> names;
    names.reserve(liveSections_);
    for (const Section& section : sections_)
        if (!section.erased) names.push_back(section.name);
    return names;
}

void IniImage::EraseSection(std::string_view section)
{
    auto it = sectionIndex_.find(FoldCase(section));
    if (it == sectionIndex_.end()) return;
    Section& erased = sections_[it->second];
    erased.erased = true;
    erased.entries.clear();
    erased.keyIndex.clear();
    sectionIndex_.erase(it);
    --liveSections_;
    if (!WorthCompacting(sections_, liveSections_)) return;
    std::vector<Section> kept;
    kept.reserve(liveSections_);
    sectionIndex_.clear();
    for (Section& s : sections_) {
        if (s.erased) continue;
        sectionIndex_.emplace(FoldCase(s.name), kept.size());
        kept.push_back(std::move(s));
    }
    sections_ = std::move(kept);
}

void IniImage::DeleteKey(std::string_view section, std::string_view key)
{
    auto sectionIt = sectionIndex_.find(FoldCase(section));
    if (sectionIt == sectionIndex_.end()) return;
    Section& target = sections_[sectionIt->second];
    auto keyIt = target.keyIndex.find(FoldCase(key));
    if (keyIt == target.keyIndex.end()) return;
    target.entries[keyIt->second].erased = true;
    target.keyIndex.erase(keyIt);
    --target.liveEntries;
    if (!WorthCompacting(target.entries, target.liveEntries)) return;
    std::vector<Entry> kept;
    kept.reserve(target.liveEntries);
    target.keyIndex.clear();
    for (Entry& entry : target.entries) {
        if (entry.erased) continue;
        target.keyIndex.emplace(FoldCase(entry.key), kept.size());
        kept.push_back(std::move(entry));
    }
    target.entries = std::move(kept);
}

std::string IniImage::ToText() const
{
    std::size_t size = 0;
    for (const Section& section : sections_) {
        if (section.erased) continue;
        size += section.name.size() + 6;
        for (const Entry& entry : section.entries) size += entry.key.size() + entry.value.size() + 3;
    }
    std::string text;
    text.reserve(size);
    for (const Section& section : sections_) {
        if (section.erased) continue;
        text += '[';
        text += section.name;
        text += "]\r\n";
        for (const Entry& entry : section.entries) {
            if (entry.erased) continue;
            text += entry.key;
            text += '=';
            text += entry.value;
            text += "\r\n";
        }
        text += "\r\n";
    }
    return text;
}

bool IniImage::Save(const std::string& hostPath) const { return fs::WriteFileAtomically(hostPath, ToText()); }
bool IniImage::SaveOwnerOnly(const std::string& hostPath) const
{
    return fs::WriteFileAtomicallyOwnerOnly(hostPath, ToText());
}

}  // namespace corvane
