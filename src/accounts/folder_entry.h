#pragma once
// One folder permission entry of an account: a real folder path (system form, "C:\Pub\"),
// eight flags and a web link.
//
// Threads: the window thread edits, the server thread decides. Every field is safe to read
// and write from either thread: the flags are atomic (a check during an edit sees a flag
// before or after the change), the path and the link are guarded by `textLock_`. Entries are
// held by std::shared_ptr, so an entry removed on the window thread stays valid until a check
// holding it on the server thread has finished.
#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

// The eight flags, in the order of their letters in an account's folder file ("gplcmdri").
enum class FolderFlag { get, put, list, CWD, mkDir, dele, rmd, inherit };

// The flag an operation keyword asks ("get", "put", "list", "CWD", "mkDir", "dele", "rmd";
// compared case-sensitively); none for any other text ("weblink" is handled by the caller).
std::optional<FolderFlag> FolderFlagForKeyword(std::string_view keyword);

class folderEntryClass {
public:
    folderEntryClass() = default;
    explicit folderEntryClass(std::string path)
        : path_(std::move(path))
    {}

    std::string Path() const;
    void SetPath(std::string path);
    std::string WebLink() const;
    void SetWebLink(std::string link);

    bool Flag(FolderFlag flag) const { return flags_[Index(flag)].load(); }
    void SetFlag(FolderFlag flag, bool on) { flags_[Index(flag)].store(on); }

    // The line of the account's folder file: eight flag letters or "-", the path, "*", the link.
    std::string ToLine() const;
    // Builds an entry from a folder file line. A line shorter than 9 characters gives an entry
    // with an empty path and all flags off; a flag is on only for its exact lower-case letter.
    static std::shared_ptr<folderEntryClass> FromLine(std::string_view line);

private:
    static size_t Index(FolderFlag flag) { return static_cast<size_t>(flag); }

    mutable std::mutex textLock_;
    std::string path_;     // guarded by textLock_
    std::string webLink_;  // guarded by textLock_
    std::array<std::atomic<bool>, 8> flags_{};
};

}  // namespace corvane
