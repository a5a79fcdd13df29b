// Shared by the file-system boundary's own sources only: the per-thread last error.
#pragma once

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

}  // namespace corvane::fs::detail
