#include "accounts/folder_entry.h"

namespace corvane {
namespace {
constexpr std::string_view kFlagLetters = "gplcmdri";
}

std::optional<FolderFlag> FolderFlagForKeyword(std::string_view keyword)
{
    if (keyword == "get") return FolderFlag::get;
    if (keyword == "put") return FolderFlag::put;
    if (keyword == "list") return FolderFlag::list;
    if (keyword == "CWD") return FolderFlag::CWD;
    if (keyword == "mkDir") return FolderFlag::mkDir;
    if (keyword == "dele") return FolderFlag::dele;
    if (keyword == "rmd") return FolderFlag::rmd;
    return std::nullopt;
}

std::string folderEntryClass::Path() const
{
    std::lock_guard lock(textLock_);
    return path_;
}

void folderEntryClass::SetPath(std::string path)
{
    std::lock_guard lock(textLock_);
    path_ = std::move(path);
}

std::string folderEntryClass::WebLink() const
{
    std::lock_guard lock(textLock_);
    return webLink_;
}

void folderEntryClass::SetWebLink(std::string link)
{
    std::lock_guard lock(textLock_);
    webLink_ = std::move(link);
}

std::string folderEntryClass::ToLine() const
{
    std::string line;
    for (size_t i = 0; i < kFlagLetters.size(); ++i) line += flags_[i].load() ? kFlagLetters[i] : '-';
    std::lock_guard lock(textLock_);
    return line + path_ + "*" + webLink_;
}

std::shared_ptr<folderEntryClass> folderEntryClass::FromLine(std::string_view line)
{
    auto entry = std::make_shared<folderEntryClass>();
    if (line.size() < 9) return entry;
    for (size_t i = 0; i < kFlagLetters.size(); ++i) entry->flags_[i].store(line[i] == kFlagLetters[i]);
    std::string_view rest = line.substr(8);
    size_t star = rest.find('*');
    if (star == std::string_view::npos) {
        entry->path_ = std::string(rest);
    } else {
        entry->path_ = std::string(rest.substr(0, star));
        entry->webLink_ = std::string(rest.substr(star + 1));
    }
    return entry;
}

}  // namespace corvane
