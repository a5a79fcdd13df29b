#include "platform/fs_batch.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <map>
#include <set>
#include <system_error>
#include <thread>

#include "platform/fs_internal.h"

namespace corvane::fs {

namespace {

// Removing a file whose blocks are on the disk waits for the disk; a few removals in flight at
// once hide most of that wait. More helpers than this gain nothing.
constexpr std::size_t kMostRemovers = 16;
constexpr std::size_t kRemovalsPerRemover = 32;

void RemoveFilesInParallel(const std::vector<std::string>& paths)
{
    std::atomic<std::size_t> next{0};
    auto removeRest = [&]() {
        for (std::size_t i = next++; i < paths.size(); i = next++) ::unlink(paths[i].c_str());
    };
    const std::size_t wanted = std::min(kMostRemovers, paths.size() / kRemovalsPerRemover);
    std::vector<std::thread> removers;
    for (std::size_t i = 0; i < wanted; ++i) {
        try {
            removers.emplace_back(removeRest);
        } catch (const std::system_error&) {
            break;  // no more threads to be had: the ones running (and this one) do the rest
        }
    }
    removeRest();
    for (auto& remover : removers) remover.join();
}

// Swaps the temporary into place. The swap leaves the old content under the temporary's name,
// for removal after the folder is synced; `displacedOld` tells whether that happened.
bool SwapIntoPlace(const std::string& temporary, const std::string& target, bool& displacedOld)
{
    displacedOld = false;
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
        displacedOld = true;
        return true;
    }
    // ENOENT: a new file, nothing to swap with. EINVAL, ENOSYS: a file system that cannot swap.
    if (errno != ENOENT && errno != EINVAL && errno != ENOSYS) return false;
    return ::rename(temporary.c_str(), target.c_str()) == 0;
}

bool DataSyncFile(const std::string& hostPath)
{
    int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = ::fdatasync(fd) == 0;
    ::close(fd);
    return synced;
}

}  // namespace

std::size_t AtomicFileBatch::Add(std::string hostPath, std::string content)
{
    File file;
    file.hostPath = std::move(hostPath);
    file.content = std::move(content);
    files_.push_back(std::move(file));
    return files_.size() - 1;
}

bool AtomicFileBatch::Replaced(std::size_t index) const { return index < files_.size() && files_[index].replaced; }

FsError AtomicFileBatch::ErrorOf(std::size_t index) const
{
    return index < files_.size() ? files_[index].error : FsError::NotFound;
}

void AtomicFileBatch::RemoveTemporaryAfterFailure(File& file, FsError error)
{
    if (!file.temporary.empty()) ::unlink(file.temporary.c_str());
    file.temporary.clear();
    file.error = error;
}

void AtomicFileBatch::WriteTemporaries()
{
    for (std::size_t i = 0; i < files_.size(); ++i) {
        File& file = files_[i];
        detail::StagedFile staged;
        if (!detail::ResolveRewriteTarget(file.hostPath, staged)) {
            file.error = LastFsError();
            continue;
        }
        // The batch replaces the account files, which hold passwords: each one ends up its
        // owner's alone (the temporary is created 0600), whatever mode the earlier one had.
        staged.keptMode = -1;
        if (!detail::WriteTemporary(staged, file.content, false)) {
            file.error = LastFsError();
            continue;
        }
        file.target = std::move(staged.target);
        file.folder = std::move(staged.folder);
        file.temporary = std::move(staged.temporary);
        std::string().swap(file.content);  // on its way to the disk; no need to hold it twice
        if (hook_) hook_(Step::TemporaryWritten, i);
    }
}

void AtomicFileBatch::SyncTemporaries()
{
    std::map<std::string, std::vector<File*>> byFolder;
    for (File& file : files_)
        if (!file.temporary.empty()) byFolder[file.folder].push_back(&file);
    for (auto& [folder, written] : byFolder) {
        // One write-back of the whole file system instead of one per file. syncfs reports any
        // write-back error of that file system; only then is each file asked on its own.
        int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const bool allSynced = fd >= 0 && ::syncfs(fd) == 0;
        if (fd >= 0) ::close(fd);
        if (allSynced) continue;
        for (File* file : written) {
            if (DataSyncFile(file->temporary)) continue;
            RemoveTemporaryAfterFailure(*file, detail::FsErrorFromErrno(errno));
        }
    }
}

void AtomicFileBatch::Publish()
{
    std::set<std::string> folders;
    for (std::size_t i = 0; i < files_.size(); ++i) {
        File& file = files_[i];
        if (file.temporary.empty()) continue;
        bool displacedOld = false;
        if (!SwapIntoPlace(file.temporary, file.target, displacedOld)) {
            RemoveTemporaryAfterFailure(file, detail::FsErrorFromErrno(errno));
            continue;
        }
        if (displacedOld) displaced_.push_back(std::move(file.temporary));
        file.temporary.clear();
        file.replaced = true;
        folders.insert(file.folder);
        if (hook_) hook_(Step::Published, i);
    }
    for (const auto& folder : folders) detail::SyncFolder(folder);
}

bool AtomicFileBatch::Commit()
{
    if (committed_) return detail::FailWith(FsError::Other);
    committed_ = true;
    WriteTemporaries();
    SyncTemporaries();
    if (hook_) hook_(Step::TemporariesSynced, 0);
    Publish();
    RemoveFilesInParallel(displaced_);
    displaced_.clear();
    const bool allReplaced = std::all_of(files_.begin(), files_.end(), [](const File& f) { return f.replaced; });
    if (allReplaced) return detail::Succeed();
    auto failed = std::find_if(files_.begin(), files_.end(), [](const File& f) { return !f.replaced; });
    return detail::FailWith(failed->error == FsError::None ? FsError::Other : failed->error);
}

std::size_t RemoveStaleRewriteTemporaries(const std::string& hostFolder,
                                          const std::function<bool(std::string_view name)>& ownsName)
{
    constexpr std::size_t kRandomPart = 6;  // mkostemp's "XXXXXX"
    std::size_t removed = 0;
    for (const std::string& entry : ListHostFolder(hostFolder)) {
        // ".<name>.XXXXXX": a dot, a name of at least one character, a dot, six letters or digits.
        if (entry.size() < kRandomPart + 3 || entry.front() != '.') continue;
        const std::size_t dot = entry.size() - kRandomPart - 1;
        if (entry[dot] != '.') continue;
        const std::string_view random = std::string_view(entry).substr(dot + 1);
        if (!std::all_of(random.begin(), random.end(), [](char c) {
                return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
            }))
            continue;
        if (!ownsName(std::string_view(entry).substr(1, dot - 1))) continue;
        const std::string path = hostFolder + (hostFolder.back() == '/' ? "" : "/") + entry;
        if (HostFileExists(path) && ::unlink(path.c_str()) == 0) ++removed;
    }
    return removed;
}

}  // namespace corvane::fs
