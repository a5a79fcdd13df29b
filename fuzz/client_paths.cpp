// From a client's path to the real path it touches, and the confinement of an account to its
// rights.
//
// Each input line is one command as a client sends it (CWD, CDUP, RETR, STOR, APPE, DELE, MKD,
// RMD, RNFR, RNTO, SIZE, MDTM). The line goes through the engine's own command split, and its
// name through the engine's path rules exactly as the engine's handlers take it
// (ResolveDirectory for a folder change, ResolveClientPath for a file), from the current folder
// that the earlier lines left; the decision then asks the account store on the folder that the
// session policy asks it on (the file's folder, with ".." resolved where the policy resolves
// it; the parent of a folder to make or remove), on a real scratch drive C:.
//
// The invariant is checked on the far side, where the file system acts: when the store grants
// an operation, the host path that the drive map gives for the touched entry lies in a host
// folder where carol holds that right, by her rights table below evaluated on host paths (the
// folder's own entry, else the nearest entry above it that is inherited). A folder change that
// only leads towards the home (allowed above it, nothing shown there) must lead to a host folder
// that contains the home.
//
// carol, home C:\Home\: everything there and below (inherited); C:\Home\Drop\ upload only;
// C:\Home\ReadOnly\ get, list and CWD, not inherited. C:\Private\ and C:\Other\dir\ lie outside.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "accounts/folder_entry.h"
#include "accounts/permissions.h"
#include "common/ini_image.h"
#include "common/path_text.h"
#include "ftp/ftp_command_line.h"
#include "ftp/ftp_paths.h"
#include "platform/drive_map.h"
#include "platform/fs.h"

using namespace corvane;

namespace {

constexpr char kUser[] = "carol";
constexpr char kHome[] = "C:\\Home\\";

[[noreturn]] void Fail(const char* what, const std::string& detail)
{
    std::fprintf(stderr, "fuzz_client_paths: %s\n%s\n", what, detail.c_str());
    std::abort();
}

struct Rights {
    std::string letters;  // g p l c m d r i
    bool Has(char letter) const { return letters.find(letter) != std::string::npos; }
};

struct World {
    std::filesystem::path driveC;
    std::map<std::string, Rights> table;  // host folder (no trailing "/") -> carol's rights there
    std::unique_ptr<permissionsClass> store;

    World()
    {
        const auto root = std::filesystem::temp_directory_path() / ("corvane-fuzz-paths-" + std::to_string(::getpid()));
        driveC = root / "drive_c";
        for (const char* folder : {"Home/Sub/old", "Home/Drop", "Home/ReadOnly/Deep", "Private", "Other/dir"})
            std::filesystem::create_directories(driveC / folder);
        for (const char* file :
             {"Home/h.txt", "Home/Drop/dropped.txt", "Home/ReadOnly/r.txt", "Private/secret.txt", "rootfile.txt"})
            std::ofstream(driveC / file) << "x";
        DriveMap::Configure({{'C', driveC.string()}}, root.string());
        store = std::make_unique<permissionsClass>(
            root.string() + "/", [](const std::string& folder) { return fs::RealFolderExists(folder); });
        store->LoadAccounts(IniImage());
        if (!store->AddUser(kUser, "pw", "All Others")) Fail("cannot add the user", "");
        if (!store->Folders().ListFolders("All Others").empty()) Fail("the group has folders of its own", "");
        Grant("C:\\Home\\", "Home", "gplcmdri");
        Grant("C:\\Home\\Drop\\", "Home/Drop", "p");
        Grant("C:\\Home\\ReadOnly\\", "Home/ReadOnly", "glc");
        store->Folders().SetHomeFolder(kUser, kHome);
    }

    void Grant(const std::string& real, const std::string& host, const std::string& letters)
    {
        table[(driveC / host).string()] = Rights{letters};
        for (const char letter : letters) {
            // The flags are in the order of their letters in an account's folder file.
            const auto flag = static_cast<FolderFlag>(std::string_view("gplcmdri").find(letter));
            store->Folders().GrantFlag(kUser, real, flag);
        }
    }

    // carol's right on a host folder, by the table: the folder's own entry, else the nearest
    // inherited entry above it; nothing outside drive C:'s folder.
    bool HostRight(std::string folder, char letter) const
    {
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        bool inherited = false;
        for (;;) {
            const auto it = table.find(folder);
            if (it != table.end() && (!inherited || it->second.Has('i'))) return it->second.Has(letter);
            if (folder == driveC.string() || folder.size() <= driveC.string().size()) return false;
            folder = std::filesystem::path(folder).parent_path().string();
            inherited = true;
        }
    }

    bool Allowed(const std::string& folder, const char* op) const
    {
        return !folder.empty() && store->Folders().CheckFolderPermission(kUser, folder, op);
    }
};

World& TheWorld()
{
    static World* world = new World();
    return *world;
}

// The host folder whose rights an operation on a real path needs, or none when the path names
// nothing: the folder that holds the entry, or (as the system decides on a folder named
// itself) the folder itself when the path names an existing folder and `folderItself` is set.
std::optional<std::string> HostFolderHolding(const std::string& realPath, bool folderItself = true)
{
    auto host = DriveMap::HostPathOf(realPath);
    if (!host) return std::nullopt;
    while (host->size() > 1 && host->back() == '/') host->pop_back();
    std::error_code error;
    if (folderItself && std::filesystem::is_directory(*host, error)) return *host;
    return std::filesystem::path(*host).parent_path().string();
}

// The policy's folder of a path with ".." resolved first, and the parent of a folder.
std::string ResolvedFolderOf(const std::string& path)
{
    const std::string full = FullRealPath(path);
    return full.empty() ? std::string() : FolderOfPath(full);
}

std::string FolderAbove(const std::string& folderPath)
{
    const std::string full = FullRealPath(folderPath);
    const std::string parent = ParentFolderOf(full);
    return parent.empty() ? full : parent;
}

struct Session {
    std::string directory = kHome;
    std::string trace;

    void Check(bool granted, const std::optional<std::string>& hostFolder, char right, const std::string& what) const
    {
        if (granted && hostFolder && !TheWorld().HostRight(*hostFolder, right))
            Fail("granted outside the account's rights", trace + "\n" + what + " touches " + *hostFolder);
    }

    void ChangeDirectory(const std::string& params)
    {
        World& w = TheWorld();
        std::string changed;
        try {
            changed = ResolveDirectory(directory, TrimBlanks(ToBackslashes(params)), false);
        } catch (const std::exception&) {
            return;  // the engine refuses it
        }
        std::string target = changed;
        const std::size_t lastBackslash = target.rfind('\\');
        if (lastBackslash != std::string::npos && lastBackslash > 2 && target.back() == '\\') target.pop_back();
        if (target.find('\\') == std::string::npos) target = JoinPath(changed, target);
        const bool allowed = w.Allowed(target, "CWD");
        const std::string above = RemoveTrailingBackslash(FullRealPath(target));
        const bool leadsToHome = !above.empty() && IsInsideFolder(kHome, above);
        if (!allowed && !leadsToHome) return;
        std::string next;
        try {
            next = ResolveDirectory(changed, target, false);
        } catch (const std::exception&) {
            return;
        }
        auto host = DriveMap::HostPathOf(next);
        if (allowed) {
            if (host && !w.HostRight(*host, 'c'))
                Fail("a folder change outside the account's rights", trace + "\nnow in " + next + " = " + *host);
        } else if (host) {
            const std::string homeHost = *DriveMap::HostPathOf(kHome);
            std::string folder = *host;
            if (folder.back() != '/') folder += '/';
            if (homeHost.compare(0, folder.size(), folder) != 0)
                Fail("a folder change towards the home leads elsewhere", trace + "\nnow in " + next + " = " + *host);
        }
        directory = next;
    }

    void FileCommand(const std::string& keyword, const std::string& params)
    {
        World& w = TheWorld();
        std::string path;
        try {
            path = ResolveClientPath(directory, params).real;
        } catch (const std::exception&) {
            return;
        }
        const std::string what = keyword + " " + path;
        if (keyword == "RETR") {
            Check(w.Allowed(FolderOfPath(path), "get"), HostFolderHolding(path), 'g', what);
        } else if (keyword == "STOR" || keyword == "APPE") {
            Check(w.Allowed(ResolvedFolderOf(path), "put"), HostFolderHolding(path), 'p', what);
        } else if (keyword == "DELE" || keyword == "RNFR") {
            Check(w.Allowed(FolderOfPath(path), "dele"), HostFolderHolding(path), 'd', what);
        } else if (keyword == "RNTO") {
            Check(w.Allowed(FolderOfPath(path), "put"), HostFolderHolding(path), 'p', what);
        } else if (keyword == "MKD" || keyword == "XMKD") {
            Check(w.Allowed(FolderOfPath(RemoveTrailingBackslash(path)), "mkDir"), HostFolderHolding(path), 'm', what);
        } else if (keyword == "RMD" || keyword == "XRMD") {
            Check(w.Allowed(FolderAbove(path), "rmd"), HostFolderHolding(path, false), 'r', what);
        } else if (keyword == "SIZE" || keyword == "MDTM") {
            const std::string folder = ResolvedFolderOf(path);
            const bool granted = w.Allowed(folder, "get") || (w.Allowed(folder, "list") && w.Allowed(folder, "CWD"));
            const auto host = HostFolderHolding(path);
            if (granted && host && !w.HostRight(*host, 'g') && !(w.HostRight(*host, 'l') && w.HostRight(*host, 'c')))
                Fail("a file described outside the account's rights", trace + "\n" + what + " in " + *host);
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TheWorld();
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    Session session;
    std::size_t start = 0;
    for (int lines = 0; start < input.size() && lines < 32; ++lines) {
        std::size_t end = input.find('\n', start);
        if (end == std::string_view::npos) end = input.size();
        std::string_view line = input.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::string keyword, params;
        SplitFtpCommandLine(RemoveTelnetEscapes(line), keyword, params);
        session.trace += "in " + session.directory + ": " + keyword + " " + params + "\n";
        if (keyword == "CWD" || keyword == "XCWD") session.ChangeDirectory(params);
        else if (keyword == "CDUP") session.ChangeDirectory("..");
        else session.FileCommand(keyword, params);
    }
    return 0;
}
