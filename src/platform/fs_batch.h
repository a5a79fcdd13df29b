// AtomicFileBatch: many host files rewritten at once, each with the promise of
// fs::WriteFileAtomically (a crash or kill at any moment leaves every file with either its old
// content or its new one, never a mix, never an empty file), but paying for durability once per
// batch instead of once per file. The account store saves ten thousand folder files this way.
//
// Commit runs in steps, and each step finishes for every file before the next begins:
//  1. every new content goes to a hidden temporary beside its file (as WriteFileAtomically);
//  2. one durability barrier: syncfs() of each file system involved. Only when that reports a
//     write-back error is each temporary fdatasynced on its own, to learn which ones failed;
//  3. each temporary is swapped with its file (renameat2 RENAME_EXCHANGE; a plain rename for a
//     new file or a file system that cannot swap). Each swap is atomic, and every temporary is
//     already on the disk, so a file is either still old or already new;
//  4. each folder involved is fsynced once, so the swaps survive a power cut;
//  5. the old contents, now under the temporaries' names, are removed, several at a time:
//     freeing a file's blocks waits for the disk, and those waits overlap.
// A kill before step 5 ends may leave hidden temporary files ".<name>.XXXXXX" behind (with old
// or unpublished content; RemoveStaleRewriteTemporaries clears them); it never leaves a damaged
// file.
//
// A file whose temporary cannot be written or synced keeps its old content and is reported; the
// other files of the batch are still replaced. When the same file is added twice, the later
// content wins.
//
// Owner: the thread that made it; not for concurrent use. Commit may start helper threads for
// step 5 and joins them before it returns.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs.h"

namespace corvane::fs {

class AtomicFileBatch {
public:
    // Points of Commit at which the progress hook is called (on the committing thread).
    enum class Step {
        TemporaryWritten,   // index: the file whose temporary was just written
        TemporariesSynced,  // index: 0; every written temporary is on the disk
        Published,          // index: the file that was just swapped into place
    };
    using ProgressHook = std::function<void(Step step, std::size_t index)>;

    AtomicFileBatch() = default;
    AtomicFileBatch(const AtomicFileBatch&) = delete;
    AtomicFileBatch& operator=(const AtomicFileBatch&) = delete;

    // Queues the new content of a host file and returns its index; nothing is touched before
    // Commit.
    std::size_t Add(std::string hostPath, std::string content);
    std::size_t Size() const { return files_.size(); }

    // Replaces every queued file; true when all were replaced. Call once.
    bool Commit();
    // After Commit: whether the file now holds its new content, and why not when it does not.
    bool Replaced(std::size_t index) const;
    FsError ErrorOf(std::size_t index) const;

    // For tests that stop the process part-way (a kill between the steps); none by default.
    void SetProgressHook(ProgressHook hook) { hook_ = std::move(hook); }

private:
    struct File {
        std::string hostPath;
        std::string content;
        std::string target;  // resolved when the temporary is written
        std::string folder;
        std::string temporary;  // empty when none exists (not written, or already removed)
        bool replaced = false;
        FsError error = FsError::None;
    };

    void WriteTemporaries();
    void SyncTemporaries();
    void Publish();
    void RemoveTemporaryAfterFailure(File& file, FsError error);

    std::vector<File> files_;
    std::vector<std::string> displaced_;  // temporaries' names that now hold old contents
    ProgressHook hook_;
    bool committed_ = false;
};

// Removes the hidden temporaries that an atomic rewrite killed part-way left in the folder:
// entries ".<name>.XXXXXX" (six letters or digits) for which `ownsName(name)` is true. Only for
// a folder whose files no other writer is rewriting at the time. Returns how many went.
std::size_t RemoveStaleRewriteTemporaries(const std::string& hostFolder,
                                          const std::function<bool(std::string_view name)>& ownsName);

}  // namespace corvane::fs
