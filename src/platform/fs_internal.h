// Shared by the file-system boundary's own sources only: the per-thread last error.
#pragma once

#include <string>
#include <string_view>

#include "platform/fs.h"

namespace corvane::fs::detail {

void SetLastFsError(FsError error);
// The FsError a host errno value stands for.
FsError FsErrorFromErrno(int error);
// Records errno's meaning and returns false, for `return FailWithErrno();`.
bool FailWithErrno();
// Records `error` and returns false.
bool FailWith(FsError error);
// Records success and returns true.
bool Succeed();

// The first half of an atomic rewrite, shared by WriteFileAtomically and AtomicFileBatch.
struct StagedFile {
    std::string target;     // the file to replace (a link's destination, not the link)
    std::string folder;     // the target's folder
    int keptMode = -1;      // the target's permission bits, or -1 when it does not exist yet
    std::string temporary;  // the hidden temporary holding the new content, in that folder
};
// Resolves the file that a rewrite of `hostPath` replaces. False for a path that cannot name a
// file (empty, NUL byte) or that names a folder.
bool ResolveRewriteTarget(const std::string& hostPath, StagedFile& staged);
// Creates the temporary beside the resolved target (the old file's permission bits, or
// owner-only for a new file) and writes `content` into it, fsynced when `syncNow`. On failure
// nothing is left behind and LastFsError tells why.
bool WriteTemporary(StagedFile& staged, std::string_view content, bool syncNow);
// The folder fsynced, so that the renames inside it survive a power cut.
void SyncFolder(const std::string& hostFolder);

}  // namespace corvane::fs::detail
