// The ini image: any text parses; what it writes reads back as it wrote it; and nothing written
// through Write* can add a section or a key of its own to the saved text.
//
// The input is the file's text, then (after a NUL byte) the edits: each edit is an operation
// byte followed by NUL-separated section, key and value texts.
//
// Checked:
//  - ToText of a parsed image parses back to the same text, sections, keys and raw values;
//  - after WriteString, the image reads the value back (trimmed, up to its first line break),
//    or, for a key and value whose line would read back as a section line, what it held;
//  - after every edit, the saved text parses to no more sections than the image holds and no
//    more keys than it holds;
//  - an erased section or deleted key is gone.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "common/ini_image.h"

using namespace corvane;

namespace {

[[noreturn]] void Fail(const char* what, const std::string& detail)
{
    std::fprintf(stderr, "fuzz_ini_image: %s\n%s\n", what, detail.c_str());
    std::abort();
}

std::string_view Trimmed(std::string_view s)
{
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20) s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= 0x20) s.remove_suffix(1);
    return s;
}

std::string_view UpToLineBreak(std::string_view s) { return s.substr(0, s.find_first_of("\r\n")); }

std::size_t KeyCount(const IniImage& image)
{
    std::size_t keys = 0;
    for (const std::string& section : image.ReadSections()) keys += image.ReadSection(section).size();
    return keys;
}

void CheckRoundTrip(const IniImage& image, const std::string& context)
{
    const std::string text = image.ToText();
    const IniImage again = IniImage::FromText(text);
    if (again.ToText() != text) Fail("the saved text does not read back as itself", context + "\ntext:\n" + text);
    if (again.ReadSections() != image.ReadSections()) Fail("the sections changed on reading back", context);
    for (const std::string& section : image.ReadSections()) {
        if (again.ReadSection(section) != image.ReadSection(section))
            Fail("a section's keys changed on reading back", context + "\nsection: " + section);
        for (const std::string& key : image.ReadSection(section))
            if (again.ReadRawValue(section, key) != image.ReadRawValue(section, key))
                Fail("a value changed on reading back", context + "\nkey: " + key);
    }
}

// The next NUL-terminated text of the edits (the rest when there is no NUL).
std::string_view NextText(std::string_view& rest)
{
    const std::size_t nul = rest.find('\0');
    const std::string_view text = rest.substr(0, nul);
    rest = nul == std::string_view::npos ? std::string_view() : rest.substr(nul + 1);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const std::string_view text = NextText(rest);
    IniImage image = IniImage::FromText(text);
    CheckRoundTrip(image, "parsed text:\n" + std::string(text));

    for (int edits = 0; !rest.empty() && edits < 16; ++edits) {
        const char op = rest.front();
        rest.remove_prefix(1);
        const std::string section(NextText(rest)), key(NextText(rest)), value(NextText(rest));
        const std::string context = "edit " + std::string(1, op) + " [" + section + "] " + key + "=" + value;
        const std::size_t sectionsBefore = image.ReadSections().size();
        const std::size_t keysBefore = KeyCount(image);
        switch (op % 4) {
        case 0: {
            const std::string_view s = UpToLineBreak(section), k = UpToLineBreak(key);
            const std::string before = image.ReadString(s, k, "\x01missing");
            image.WriteString(section, key, value);
            // A key and value whose line would read back as a section line are refused.
            const std::string_view keyStart = Trimmed(k), valueEnd = Trimmed(UpToLineBreak(value));
            const bool refused = keyStart.starts_with('[') && valueEnd.ends_with(']');
            const std::string expected = refused ? before : std::string(valueEnd);
            if (image.ReadString(s, k, "\x01missing") != expected)
                Fail("a written value does not read back",
                     context + "\nread: " + image.ReadString(s, k, "\x01missing"));
            break;
        }
        case 1: image.WriteInteger(section, key, static_cast<long long>(value.size()) - 3); break;
        case 2:
            image.EraseSection(section);
            if (image.SectionExists(section)) Fail("an erased section still exists", context);
            break;
        case 3:
            image.DeleteKey(section, key);
            if (image.ValueExists(section, key)) Fail("a deleted key still exists", context);
            break;
        }
        const IniImage saved = IniImage::FromText(image.ToText());
        const std::size_t sectionsAfter = saved.ReadSections().size(), keysAfter = KeyCount(saved);
        const std::size_t newSections = image.ReadSections().size() > sectionsBefore ? 1 : 0;
        if (sectionsAfter > sectionsBefore + newSections || keysAfter > keysBefore + 1)
            Fail("an edit added sections or keys of its own to the saved text",
                 context + "\nsections " + std::to_string(sectionsBefore) + " -> " + std::to_string(sectionsAfter) +
                     ", keys " + std::to_string(keysBefore) + " -> " + std::to_string(keysAfter) + "\ntext:\n" +
                     image.ToText());
        (void)image.ReadInteger(section, key, 0);
        (void)image.ReadBool(section, key, false);
    }
    // What the edits saved is a file like any other: it reads back as itself.
    CheckRoundTrip(IniImage::FromText(image.ToText()), "after the edits");
    return 0;
}
