// IniImage: a whole settings file held in memory. Every settings file of the system
// (CorvaneServer.ini, usersgroups.ini, the account files) is read through it: opening reads and
// parses the entire file, reads and writes work on the image, and Save rewrites the entire file.
//
// Rules of the image, on which the account data relies:
//  - Lines "[" name "]" open a section; lines key "=" value belong to the last section. A line
//    splits at its first "=". A line ends at LF; one CR just before the LF belongs to the line
//    end (so CR LF and LF files both read).
//  - Reading trims each line, the section name inside the brackets, the key and the value of
//    blanks and control characters (every byte up to and including the space). Empty lines,
//    lines beginning with ";", lines before the first section and lines of a section without
//    "=" are ignored (and not written back).
//  - Section and key names match without regard to ASCII case. A section that appears twice is
//    one section (its later keys join the first); a key that appears twice in a section keeps
//    its first value.
//  - Writing a key that exists replaces its value in place; a new key goes to the end of its
//    section; a new section goes to the end. Erasing a section removes it with its keys.
//  - ToText emits, for each section in order, "[" name "]", its lines key "=" value in order,
//    then one empty line; every line ends with CR LF.
//  - A value keeps its exact bytes: ReadRawValue returns them as they stand after the first
//    "=" and ToText writes them back unchanged; ReadString trims them. A line break cannot be
//    part of a line, so Write* keep a value (or key, or section name) only up to its first CR
//    or LF; nothing written can add a line, a key or a section of its own. A write whose line
//    would read back as a section line (a key beginning with "[" and a value ending in "]")
//    is refused: the image stays as it was.
//
// Lookups are hashed (case-folded names), so images of tens of thousands of sections read,
// write and save in linear time overall.
//
// Owner: whoever holds the object; not safe for concurrent use (the account store keeps its own
// lock around its image). Copyable and movable.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace corvane {

class IniImage {
public:
    IniImage() = default;

    // Parses text; whatever does not parse is ignored (binary or nonsense text gives what can
    // be read from it, never an error).
    static IniImage FromText(std::string_view text);
    // Reads a host file. A missing or unreadable file gives an empty image.
    static IniImage Open(const std::string& hostPath);

    // The trimmed value, or `def` when the section or key is missing.
    std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
    // The value exactly as it stands after the first "=" (untrimmed, without the line end);
    // nullopt when the key is missing.
    std::optional<std::string> ReadRawValue(std::string_view section, std::string_view key) const;
    // The trimmed value as a decimal integer (an optional sign, then digits only); `def` when
    // missing, not a decimal integer, or beyond the range of long long.
    long long ReadInteger(std::string_view section, std::string_view key, long long def) const;
    // The value as an integer, true when it is not 0; `def` when it is not an integer.
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;

    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, long long value);
    void WriteBool(std::string_view section, std::string_view key, bool value);  // "1" or "0"

    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view key) const;
    // The keys of a section in order, as they are spelled in the image; empty when missing.
    std::vector<std::string> ReadSection(std::string_view section) const;
    // The section names in order.
    std::vector<std::string> ReadSections() const;
    void EraseSection(std::string_view section);
    void DeleteKey(std::string_view section, std::string_view key);

    std::string ToText() const;
    // Rewrites the host file from the image atomically (the old file or the new one survives a
    // crash, never a mix). False when it cannot be written; the old file is then untouched.
    bool Save(const std::string& hostPath) const;
    // Save, leaving the file readable and writable by its owner only (it holds passwords).
    bool SaveOwnerOnly(const std::string& hostPath) const;

private:
    struct Entry {
        std::string key;
        std::string value;  // raw bytes
        bool erased = false;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
        std::unordered_map<std::string, std::size_t> keyIndex;  // folded key -> entries index
        std::size_t liveEntries = 0;
        bool erased = false;
    };

    const Section* FindSection(std::string_view section) const;
    Section& SectionForWrite(std::string_view section);
    const Entry* FindEntry(std::string_view section, std::string_view key) const;
    void SetRaw(Section& target, std::string_view key, std::string_view value);

    std::vector<Section> sections_;
    std::unordered_map<std::string, std::size_t> sectionIndex_;  // folded name -> sections_ index
    std::size_t liveSections_ = 0;
};

}  // namespace corvane
