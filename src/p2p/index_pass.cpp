// The indexing pass: the shared folders in their order, the breadth-first walk of each, and
// the recording of every entry found.
#include <algorithm>
#include <cctype>
#include <ctime>
#include <deque>

#include "accounts/permissions.h"
#include "common/text_case.h"
#include "p2p/file_digest.h"
#include "p2p/index_file.h"
#include "p2p/index_thread.h"
#include "platform/calendar_time.h"
#include "platform/fs.h"
#include "platform/thread_priority.h"

namespace corvane {
namespace {

bool IsDotFolderName(const std::string& name) { return name == "." || name == ".." || name == "..."; }

// A name that would split an index or listing line in two cannot be described.
bool IsDescribableName(const std::string& name) { return name.find_first_of("\r\n") == std::string::npos; }

// Folders compare as real paths do here: the drive letter without regard to case.
std::string FolderKey(std::string folder)
{
    if (folder.size() >= 2 && folder[1] == ':')
        folder[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(folder[0])));
    return folder;
}

bool CaseInsensitiveBefore(const std::string& a, const std::string& b) { return FoldCase(a) < FoldCase(b); }

}  // namespace

void IndexThread::IndexingPass()
{
    currentYear_ = LocalCalendarTime(std::time(nullptr)).year;
    Log(std::string("FTP") + " Local Indexing Started.. " + (settings_.md5 ? "(w MD5)" : "(w/o MD5)"));
    std::stable_sort(sharedFolderList_.begin(), sharedFolderList_.end(), CaseInsensitiveBefore);
    previousIndex_ = PreviousIndex(ReadIndexFile(indexFilePath_));
    WalkSharedFolders();
    std::vector<std::string> left = previousIndex_.Remaining();
    staleLines_.insert(staleLines_.end(), std::make_move_iterator(left.begin()), std::make_move_iterator(left.end()));
    Log("FTP Local Indexing Complete.");
}

// From the last entry to the first: the marked ones ("i", walked with their subfolders) sort
// after the unmarked ones ("-"), so a folder reached through a marked parent is known before
// its own unmarked entry comes up, and is not walked twice.
void IndexThread::WalkSharedFolders()
{
    std::size_t next = sharedFolderList_.size();
    bool lastMarked = true;
    while (!stopRequested() && lastMarked && next > 0) {
        const std::string& entry = sharedFolderList_[--next];
        if (entry.empty()) continue;
        lastMarked = entry[0] == 'i';
        WalkFolder(entry.substr(1), lastMarked);
    }
    while (next > 0 && !stopRequested()) {
        const std::string& entry = sharedFolderList_[--next];
        if (!entry.empty()) WalkFolder(entry.substr(1), false);
    }
}

void IndexThread::WalkFolder(const std::string& path, bool withSubfolders)
{
    std::deque<std::string> queue{path};
    while (!stopRequested() && !queue.empty()) {
        YieldToOtherThreads();
        std::string folder = std::move(queue.front());
        queue.pop_front();
        if (folder.empty() || folder.back() != '\\') folder += '\\';
        if (!EnterFolder(folder, withSubfolders)) continue;
        const std::vector<fs::FileInfo> entries = fs::ListRealFolder(folder);
        bool first = true;
        for (const fs::FileInfo& info : entries) {
            if (!first) {
                YieldToOtherThreads();
                if (stopRequested()) break;
            }
            first = false;
            if (info.isSystem || !IsDescribableName(info.name)) continue;
            if (info.isDirectory && IsDotFolderName(info.name)) continue;
            const std::string fullPath = folder + info.name;
            RecordEntry(fullPath, info);
            if (info.isDirectory && withSubfolders) queue.push_back(fullPath);
        }
    }
}

// Whether the walk goes into the folder: not when it was walked with its subfolders already,
// under its own name or, through a symbolic link, under another one (a link back up the tree
// would otherwise be walked without end).
bool IndexThread::EnterFolder(const std::string& folder, bool withSubfolders)
{
    const std::string key = FolderKey(folder);
    if (visitedFolders_.count(key) != 0) return false;
    if (!withSubfolders) return true;
    visitedFolders_.insert(key);
    const auto identity = fs::RealFolderIdentity(folder);
    if (!identity) return true;  // the listing finds nothing there either
    return walkedIdentities_.insert({identity->device, identity->inode}).second;
}

bool IndexThread::AnonymousMaySee(const std::string& folder)
{
    if (folder == testedFolder_) return testedFolderVisible_;
    testedFolder_ = folder;
    testedFolderVisible_ = accounts_.Folders().CheckFolderPermission(kIndexingAccount, folder, "list") &&
                           accounts_.Folders().CheckFolderPermission(kIndexingAccount, folder, "CWD");
    return testedFolderVisible_;
}

std::string IndexThread::DigestIfWanted(const std::string& fullPath, bool isFolder)
{
    if (!settings_.md5 || isFolder) return std::string(kNoDigest);
    std::string digest = DigestOfRealFile(fullPath, readBuffer_, [this] { return stopRequested(); });
    // A digest cut short by a stop describes nothing; the line keeps its fixed form.
    return digest.empty() ? std::string(kNoDigest) : digest;
}

// The entry's place in the upload lists, by the stored line of its path; returns the digest its
// search line carries. An entry whose path, stamp and size are stored is unchanged, and its
// stored digest is taken again only when it was made for exactly this size and modification
// time; otherwise the digest is made again, and a content that proves different makes the
// entry changed. A line stored without a digest gets one now when digests are wanted; it is
// kept with the line, so it is computed once.
std::string IndexThread::RecordForUpload(const std::string& fullPath, const IndexedEntry& entry,
                                         const DigestStamp& stamp)
{
    const std::string head = IndexLineHead(entry);
    const auto found = previousIndex_.FindFirst(entry.virtualPath);
    if (!found) {
        const std::string digest = DigestIfWanted(fullPath, entry.isFolder);
        AddUploadLine(newLines_, head + "*" + digest, stamp);
        return digest;
    }
    const auto stored = ParseIndexLine(previousIndex_.Line(*found));
    const std::string storedDigest = stored ? std::string(stored->digest) : std::string(kNoDigest);
    const bool sameEntry = previousIndex_.HoldsStamp(entry.virtualPath, StampText(entry.mtime)) && stored &&
                           stored->size == std::to_string(static_cast<std::uint32_t>(entry.size));
    if (sameEntry && storedDigest != kNoDigest && previousIndex_.DigestStampAt(*found) == stamp) {
        KeepUnchanged(*found, storedDigest, stamp);
        return storedDigest;
    }
    const std::string digest = DigestIfWanted(fullPath, entry.isFolder);
    if (sameEntry && (digest == storedDigest || digest == kNoDigest || storedDigest == kNoDigest)) {
        KeepUnchanged(*found, digest, stamp);
        return digest;
    }
    AddUploadLine(changedLines_, head + "*" + digest, stamp);
    return digest;
}

// The stored line goes back to the file, with `digest` when one was made or confirmed now (a
// digest not confirmed keeps the stored one in the line but no stamp: the next run makes it).
void IndexThread::KeepUnchanged(std::size_t found, const std::string& digest, const DigestStamp& stamp)
{
    std::string line = previousIndex_.Line(found);
    previousIndex_.Remove(found);
    if (digest != kNoDigest) {
        line.replace(line.size() - kNoDigest.size(), kNoDigest.size(), digest);
        digestStamps_[VirtualPathKey(ParseIndexLine(line)->virtualPath)] = stamp;
    }
    unchangedLines_.push_back(std::move(line));
}

void IndexThread::AddUploadLine(std::vector<std::string>& list, std::string line, const DigestStamp& stamp)
{
    std::lock_guard guard(serverLock_);
    if (server_ == nullptr) return;
    const auto fields = ParseIndexLine(line);
    if (fields && fields->digest != kNoDigest) digestStamps_[VirtualPathKey(fields->virtualPath)] = stamp;
    list.push_back(std::move(line));
}

void IndexThread::RecordEntry(const std::string& fullPath, const fs::FileInfo& info)
{
    IndexedEntry entry;
    entry.virtualPath = VirtualPathOf(fullPath);
    entry.size = static_cast<std::uint64_t>(info.size);
    entry.mtime = info.mtime;
    entry.isFolder = info.isDirectory;
    const std::string searchHead = SearchLineHead(entry, currentYear_);
    {
        std::lock_guard guard(serverLock_);
        if (server_ == nullptr) return;
    }
    std::string digest(kNoDigest);
    const std::string folder = info.isDirectory ? fullPath : fullPath.substr(0, fullPath.rfind('\\'));
    if (AnonymousMaySee(folder))
        digest = RecordForUpload(fullPath, entry, DigestStamp{entry.size, info.mtime, info.mtimeNanoseconds});
    std::lock_guard guard(serverLock_);
    if (server_ != nullptr) server_->indexAdd(searchHead + "?" + digest);
}

}  // namespace corvane
