// The drive map: which host folder each drive letter of a real local path stands for, and the
// one place where a real path (C:\Pub\a.txt) becomes a host path (/srv/share/Pub/a.txt).
//
// Translation rules, on which every file operation of the system relies:
//  - A real path is a drive letter (either case), ":", then the rest; "\" and "/" both separate
//    names, and repeated separators count as one. "C:" alone is the drive's root.
//  - A path on an unmapped drive, a UNC path (\\server\share), a drive-relative path ("C:x"), a
//    path without a drive and a path holding a NUL byte translate to nothing: they name
//    nothing that exists, and every operation on them fails.
//  - "." segments are dropped and ".." removes the segment before it, lexically, without asking
//    the host (so a symbolic link cannot make ".." climb out of the share). A ".." at the root
//    of the drive stays at the root (clamped, as the system's own full-path resolution does):
//    no translated path ever leaves the drive's host folder through "..".
//  - A trailing separator is kept as a trailing "/", so the host insists on a folder there.
//  - Everything else is passed byte for byte: names keep their case and their bytes
//    (non-UTF-8 included); the host decides what a name may be.
//
// Thread safety: Configure takes a writer lock, every other operation a reader lock; any thread
// may call any operation at any time. Before the first Configure no letter is mapped.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

class DriveMap {
public:
    // Replaces the whole map. `letters` maps drive letters (either case; anything that is not
    // a letter A-Z is ignored) to host folders; an empty folder leaves that letter unmapped, and
    // a relative folder is taken relative to `homeFolder`. When `letters` is empty, "C" maps to
    // `homeFolder`/drive_c, which is created here, and no other letter exists. Trailing "/" of
    // the folders are removed ("/" itself stays "/").
    static void Configure(const std::map<char, std::string>& letters, const std::string& homeFolder);

    // The host path of a real local path, following the rules above; nullopt when it names
    // nothing.
    static std::optional<std::string> HostPathOf(std::string_view realPath);

    // The host folder of one drive letter (either case), or nullopt when it is not mapped.
    static std::optional<std::string> HostFolderOfDrive(char letter);

    // The real path of a host path that lies inside a mapped folder ("/srv/share/a/b" ->
    // "C:\a\b"; the mapped folder itself -> "C:\"). When several letters contain it the longest
    // mapped folder wins, then the first letter. nullopt when no mapped folder contains it.
    static std::optional<std::string> RealPathOf(std::string_view hostPath);

    // A copy of the current map, upper-case letters to host folders (for the options window and
    // for diagnostics).
    static std::map<char, std::string> Snapshot();

    // True when the real path is exactly the root of its drive ("C:\", "c:", "C:\.\..") and that
    // drive is mapped. Roots are never removed or renamed.
    static bool IsDriveRoot(std::string_view realPath);
};

}  // namespace corvane
