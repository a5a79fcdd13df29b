// The directory and file cache against real files on a mapped drive: what each lookup answers,
// when an entry is complete, when it goes stale, the eviction orders and the counting of sizes.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cache/server_cache.h"
#include "common/lendable_bytes.h"
#include "platform/drive_map.h"
#include "../platform/scratch_folder.h"

namespace corvane {
namespace {

using testing::ScratchFolder;

class ServerCacheTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(scratch.Join("c/pub/sub"));
        DriveMap::Configure({{'C', scratch.Join("c")}}, scratch.Path());
        cache.SetDirectoryCacheEnabled(true);
        cache.SetFileCacheEnabled(true);
    }
    void TearDown() override { DriveMap::Configure({}, scratch.Path()); }

    void Put(const std::string& name, const std::string& content) { scratch.Put("c/pub/" + name, content); }
    static std::string Real(const std::string& name) { return "C:\\pub\\" + name; }

    // A whole transfer of the file that the lease fills or serves: the bytes it copies.
    static void Fill(serverCacheClass& c, CacheLease& lease, const std::string& bytes, std::int64_t from,
                     std::int64_t to)
    {
        auto& stream = *lease.Stream();
        stream.clear();
        stream.seekp(from);
        stream.write(bytes.data() + from, to - from);
        c.CacheTransferDone(lease, from, to, false);
    }
    static std::string Read(const CacheLease& lease)
    {
        auto& stream = *lease.Stream();
        stream.clear();
        stream.seekg(0);
        return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
    }
    // A cached file of `size` bytes, filled by one whole transfer, its hits raised to `hits`.
    void Cached(serverCacheClass& c, const std::string& name, std::size_t size, int hits = 0)
    {
        const std::string bytes(size, 'x');
        Put(name, bytes);
        CacheLease lease = c.CacheLookup(Real(name));
        ASSERT_EQ(lease.Use(), CacheUse::Fill) << name;
        Fill(c, lease, bytes, 0, static_cast<std::int64_t>(size));
        for (int i = 0; i < hits; ++i) {
            CacheLease hit = c.CacheLookup(Real(name));
            ASSERT_EQ(hit.Use(), CacheUse::Serve) << name;
            c.CacheTransferDone(hit, 0, 0, false);
        }
    }
    std::vector<std::string> Keys() const
    {
        std::vector<std::string> keys;
        for (const auto& row : cache.CacheSnapshot().rows) keys.push_back(row.key);
        return keys;
    }

    ScratchFolder scratch;
    serverCacheClass cache;
};

TEST_F(ServerCacheTest, SecondDownloadIsServedFromMemoryAndTheHitRateIsHalf)
{
    Put("ten.txt", "0123456789");
    CacheLease first = cache.CacheLookup(Real("ten.txt"));
    ASSERT_EQ(first.Use(), CacheUse::Fill);
    Fill(cache, first, "0123456789", 0, 10);
    CacheLease second = cache.CacheLookup(Real("ten.txt"));
    ASSERT_EQ(second.Use(), CacheUse::Serve);
    EXPECT_EQ(Read(second), "0123456789");
    EXPECT_FLOAT_EQ(cache.HitRate(), 50.0f);
    EXPECT_EQ(cache.CacheSnapshot().rows.at(0).hits, 1);
}

TEST_F(ServerCacheTest, KeysCompareAsThisHostComparesRealPaths)
{
    Put("ten.txt", "0123456789");
    CacheLease first = cache.CacheLookup("C:\\pub\\ten.txt");
    Fill(cache, first, "0123456789", 0, 10);
    EXPECT_EQ(cache.CacheLookup("c:\\pub\\ten.txt").Use(), CacheUse::Serve);  // the drive letter folds
    Put("TEN.txt", "ABCDEFGHIJ");
    CacheLease other = cache.CacheLookup("C:\\pub\\TEN.txt");  // another file on this host
    EXPECT_EQ(other.Use(), CacheUse::Fill);
}

TEST_F(ServerCacheTest, ResumedDownloadCompletesAPartialEntry)
{
    const std::string bytes = "0123456789";
    Put("ten.txt", bytes);
    CacheLease cut = cache.CacheLookup(Real("ten.txt"));
    Fill(cache, cut, bytes, 0, 4);  // aborted after 4 bytes
    CacheLease resumed = cache.CacheLookup(Real("ten.txt"));
    ASSERT_EQ(resumed.Use(), CacheUse::Fill);
    EXPECT_EQ(resumed.Stream(), cut.Stream());
    Fill(cache, resumed, bytes, 4, 10);  // REST 4
    CacheLease whole = cache.CacheLookup(Real("ten.txt"));
    ASSERT_EQ(whole.Use(), CacheUse::Serve);
    EXPECT_EQ(Read(whole), bytes);
}

TEST_F(ServerCacheTest, ChangedSourceIsNeverServedStale)
{
    struct Change {
        const char* name;
        std::string after;
    };
    const std::vector<Change> changes = {
        {"same size rewritten", "abcdefghij"}, {"shrunk", "0123"}, {"grown", "0123456789AB"}};
    for (const Change& change : changes) {
        SCOPED_TRACE(change.name);
        Put("f.txt", "0123456789");
        CacheLease fill = cache.CacheLookup(Real("f.txt"));
        ASSERT_EQ(fill.Use(), CacheUse::Fill);
        Fill(cache, fill, "0123456789", 0, 10);
        Put("f.txt", change.after);
        CacheLease next = cache.CacheLookup(Real("f.txt"));
        ASSERT_EQ(next.Use(), CacheUse::Fill);  // a new entry, filled anew
        EXPECT_NE(next.Stream(), fill.Stream());
        Fill(cache, next, change.after, 0, static_cast<std::int64_t>(change.after.size()));
        CacheLease hit = cache.CacheLookup(Real("f.txt"));
        ASSERT_EQ(hit.Use(), CacheUse::Serve);
        EXPECT_EQ(Read(hit), change.after);
        EXPECT_EQ(cache.TotalSize(), static_cast<std::int64_t>(change.after.size()));
        cache.CacheTransferDone(hit, 0, 0, false);
        cache.CacheInvalidate(Real("f.txt"));
    }
    // A source that has gone takes its copy with it.
    Cached(cache, "gone.txt", 10);
    std::filesystem::remove(scratch.Join("c/pub/gone.txt"));
    EXPECT_EQ(cache.CacheLookup(Real("gone.txt")).Use(), CacheUse::None);
    EXPECT_EQ(cache.EntryCount(), 0u);
}

TEST_F(ServerCacheTest, BusyEntriesAnswerTwo)
{
    const std::string bytes = "0123456789";
    Put("ten.txt", bytes);
    CacheLease a = cache.CacheLookup(Real("ten.txt"));
    CacheLease b = cache.CacheLookup(Real("ten.txt"));  // a second transfer fills the same entry
    ASSERT_EQ(b.Use(), CacheUse::Fill);
    Fill(cache, a, bytes, 0, 10);
    // Complete, but b still fills it.
    EXPECT_EQ(cache.CacheLookup(Real("ten.txt")).Use(), CacheUse::None);
    // A changed source whose entry is busy is not restarted without end.
    Put("ten.txt", "changed!!!");
    EXPECT_EQ(cache.CacheLookup(Real("ten.txt")).Use(), CacheUse::None);
    Fill(cache, b, bytes, 0, 10);
    CacheLease fresh = cache.CacheLookup(Real("ten.txt"));
    EXPECT_EQ(fresh.Use(), CacheUse::Fill);
}

TEST_F(ServerCacheTest, EvictedEntryLivesAndCountsUntilItsTransferEnds)
{
    const std::string bytes(100, 'a');
    Put("a.bin", bytes);
    CacheLease reader;
    {
        CacheLease fill = cache.CacheLookup(Real("a.bin"));
        Fill(cache, fill, bytes, 0, 100);
        reader = cache.CacheLookup(Real("a.bin"));
        ASSERT_EQ(reader.Use(), CacheUse::Serve);
    }
    cache.CacheInvalidate(Real("a.bin"));
    cache.SetCacheCapacity(0);
    EXPECT_EQ(cache.EntryCount(), 0u);
    EXPECT_EQ(cache.TotalSize(), 100);  // still read by a transfer
    EXPECT_EQ(Read(reader), bytes);
    cache.CacheTransferDone(reader, 0, 0, false);
    EXPECT_EQ(cache.TotalSize(), 0);
    // A fill lease that goes without reporting is a failed fill: nothing stays busy.
    cache.SetCacheCapacity(1 << 20);
    {
        CacheLease dropped = cache.CacheLookup(Real("a.bin"));
        ASSERT_EQ(dropped.Use(), CacheUse::Fill);
    }
    EXPECT_EQ(cache.EntryCount(), 0u);
    EXPECT_EQ(cache.TotalSize(), 0);
}

TEST_F(ServerCacheTest, EachModeEvictsInItsOrder)
{
    // Sizes in units of 4 KiB, so that an entry's bookkeeping weighs less than a unit of bytes.
    constexpr std::size_t kUnit = 4096;
    struct Case {
        int mode;
        bool stoppedClock;                                 // every last access the same
        std::vector<std::pair<std::size_t, int>> entries;  // size, hits; named e0, e1, ...
        std::size_t incoming;                              // the capacity holds the entries exactly
        std::vector<std::string> kept;
    };
    const std::vector<Case> cases = {
        // Fewest hits: pass 0 removes e0, steps over e1 (moved up into e0's place) and removes
        // e2; only when that is not enough does the next pass find e1.
        {0, false, {{10, 0}, {10, 0}, {10, 0}, {10, 2}}, 15, {"e1", "e3"}},
        {0, false, {{10, 0}, {10, 0}, {10, 0}, {10, 2}}, 25, {"e3"}},
        // Passes with a rising threshold: 1 hit goes before 2, 3 stays.
        {0, false, {{10, 3}, {10, 1}, {10, 2}}, 10, {"e0", "e2"}},
        {0, false, {{10, 3}, {10, 1}, {10, 2}}, 15, {"e0"}},
        // Oldest last access (e0's hit made it the newest); on equal values the earliest.
        {1, false, {{10, 1}, {10, 0}, {10, 0}}, 10, {"e0", "e2"}},
        {1, true, {{10, 0}, {10, 0}, {10, 0}}, 10, {"e1", "e2"}},
        // Smallest size: of 5, 3 and 3 the first 3 goes.
        {2, false, {{5, 0}, {3, 0}, {3, 0}}, 2, {"e0", "e2"}},
        // Biggest size, the earliest of equals.
        {3, false, {{5, 0}, {7, 0}, {7, 0}}, 7, {"e0", "e2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.mode) + ", incoming " + std::to_string(c.incoming));
        std::int64_t clock = 0;
        serverCacheClass sized([&clock, &c] { return c.stoppedClock ? 0 : ++clock; });
        sized.SetFileCacheEnabled(true);
        sized.SetCacheMode(c.mode);
        std::int64_t total = 0;
        for (const auto& entry : c.entries)
            total += CacheEntryCharge(static_cast<std::int64_t>(entry.first * kUnit), Real("e0").size());
        sized.SetCacheCapacity(total);
        for (std::size_t i = 0; i < c.entries.size(); ++i)
            Cached(sized, "e" + std::to_string(i), c.entries[i].first * kUnit);
        for (std::size_t i = 0; i < c.entries.size(); ++i)
            for (int h = 0; h < c.entries[i].second; ++h) {
                CacheLease hit = sized.CacheLookup(Real("e" + std::to_string(i)));
                sized.CacheTransferDone(hit, 0, 0, false);
            }
        Put("incoming", std::string(c.incoming * kUnit, 'n'));
        CacheLease in = sized.CacheLookup(Real("incoming"));
        EXPECT_EQ(in.Use(), CacheUse::Fill);
        std::vector<std::string> kept;
        for (const auto& row : sized.CacheSnapshot().rows)
            if (row.key != Real("incoming")) kept.push_back(row.key.substr(row.key.rfind('\\') + 1));
        EXPECT_EQ(kept, c.kept);
    }
}

TEST_F(ServerCacheTest, CapacityRules)
{
    // A file larger than the capacity answers None and evicts nothing.
    cache.SetCacheCapacity(1 << 20);
    Cached(cache, "small", 1000);
    Put("big", std::string(2 << 20, 'b'));
    EXPECT_EQ(cache.CacheLookup(Real("big")).Use(), CacheUse::None);
    EXPECT_EQ(cache.EntryCount(), 1u);
    // A capacity below the total evicts at once; 0 empties the cache.
    Cached(cache, "second", 1000);
    cache.SetCacheCapacity(CacheEntryCharge(1000, Real("second").size()) + 500);
    EXPECT_EQ(Keys(), std::vector<std::string>{Real("second")});
    cache.SetCacheCapacity(0);
    EXPECT_EQ(cache.EntryCount(), 0u);
    EXPECT_EQ(cache.TotalSize(), 0);
}

TEST_F(ServerCacheTest, SizesAreSixtyFourBit)
{
    const std::int64_t fiveGiB = 5LL << 30;
    const std::string path = scratch.Join("c/pub/huge.bin");
    {
        std::ofstream(path, std::ios::binary).put('x');
    }
    ASSERT_EQ(::truncate(path.c_str(), fiveGiB), 0);
    cache.SetCacheCapacity(1LL << 40);
    CacheLease fill = cache.CacheLookup(Real("huge.bin"));
    ASSERT_EQ(fill.Use(), CacheUse::Fill);
    EXPECT_EQ(cache.TotalSize(), fiveGiB);
    EXPECT_EQ(cache.CacheSnapshot().rows.at(0).size, fiveGiB);
    cache.CacheTransferDone(fill, fiveGiB - 10, fiveGiB, false);  // a range past 4 GiB
    cache.SetCacheCapacity(fiveGiB - 1);
    EXPECT_EQ(cache.EntryCount(), 0u);
}

TEST_F(ServerCacheTest, ListingsFollowTheirSwitches)
{
    const std::string folder = "C:\\pub\\sub\\";
    const std::string page = "C:\\pub\\sub\\<HTTPDirectoryListing>";
    cache.SetDirectoryCacheEnabled(false);
    EXPECT_EQ(cache.CacheLookup(folder, CacheSource::Folder).Use(), CacheUse::None);
    // The HTTP listing page goes by the file cache switch.
    CacheLease pageFill = cache.CacheLookup(page);
    ASSERT_EQ(pageFill.Use(), CacheUse::Fill);
    Fill(cache, pageFill, "<HTML>listing</HTML>", 0, 20);
    cache.CacheUpdateSize(pageFill);
    EXPECT_EQ(cache.CacheLookup(page).Use(), CacheUse::Serve);
    cache.SetFileCacheEnabled(false);
    cache.CacheInvalidate(page);
    EXPECT_EQ(cache.CacheLookup(page).Use(), CacheUse::None);
    // A folder's listing, once written, is whole; a failed one goes; the size becomes the real one.
    cache.SetDirectoryCacheEnabled(true);
    CacheLease failed = cache.CacheLookup(folder, CacheSource::Folder);
    ASSERT_EQ(failed.Use(), CacheUse::Fill);
    cache.CacheTransferDone(failed, 0, 0, true);
    EXPECT_EQ(cache.EntryCount(), 0u);
    CacheLease listing = cache.CacheLookup("C:\\pub\\sub", CacheSource::Folder);
    EXPECT_EQ(cache.TotalSize(), kFolderEntryRoom);
    Fill(cache, listing, "a listing\r\n", 0, 11);
    cache.CacheUpdateSize(listing);
    EXPECT_EQ(cache.TotalSize(), 11);
    EXPECT_EQ(cache.CacheLookup(folder, CacheSource::Folder).Use(), CacheUse::Serve);
    // A download never takes a folder's entry, nor a listing a file's.
    EXPECT_EQ(cache.CacheLookup(folder, CacheSource::File).Use(), CacheUse::None);
    Put("f.txt", "x");
    EXPECT_EQ(cache.CacheLookup(Real("f.txt"), CacheSource::Folder).Use(), CacheUse::None);
    cache.InvalidateFolderListings("C:\\pub\\sub");
    EXPECT_EQ(cache.EntryCount(), 0u);
}

TEST_F(ServerCacheTest, ManyDistinctFilesKeepTheCapacityAndTheHitRate)
{
    cache.SetCacheCapacity(100 * CacheEntryCharge(64, Real("n0").size()));
    for (int i = 0; i < 2000; ++i) Cached(cache, "n" + std::to_string(i), 64);
    EXPECT_EQ(cache.EntryCount(), 100u);
    EXPECT_EQ(cache.TotalSize(), 100 * 64);
    EXPECT_FLOAT_EQ(cache.HitRate(), 0.0f);
    CacheLease hit = cache.CacheLookup(Real("n1999"));
    EXPECT_EQ(hit.Use(), CacheUse::Serve);
    EXPECT_NEAR(cache.HitRate(), 100.0f / 2001.0f, 1e-4);
}

TEST_F(ServerCacheTest, SourceThatGrowsPastItsRoomIsNotKept)
{
    Put("g.txt", "0123456789");
    CacheLease fill = cache.CacheLookup(Real("g.txt"));
    Fill(cache, fill, "0123456789ABCDEF", 0, 16);  // grew while it was copied
    EXPECT_EQ(cache.EntryCount(), 0u);
    EXPECT_EQ(cache.TotalSize(), 0);
}

// The capacity holds what the entries take, their bookkeeping and the room of their bytes
// included: a capacity that their bytes alone would fill keeps fewer entries, and no more are
// evicted than that takes.
TEST_F(ServerCacheTest, CapacityHoldsTheMemoryTheEntriesTake)
{
    struct Case {
        std::size_t size;  // of each file
        int files;
        int fitByBytes;  // the capacity, in files' bytes
    };
    const std::vector<Case> cases = {
        {1 << 20, 6, 4},  // whole pages from the host
        {70000, 5, 4},    // pages, the last one part used
        {10000, 30, 20},  // blocks from the allocator
        {64, 300, 100},   // small files: the bookkeeping weighs more than the bytes
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.files) + " files of " + std::to_string(c.size));
        serverCacheClass sized;
        sized.SetFileCacheEnabled(true);
        const auto size = static_cast<std::int64_t>(c.size);
        const std::int64_t capacity = size * c.fitByBytes;
        sized.SetCacheCapacity(capacity);
        for (int i = 0; i < c.files; ++i) {
            const std::string name = "m" + std::to_string(i);
            const std::string bytes(c.size, static_cast<char>('a' + i % 26));
            Put(name, bytes);
            CacheLease lease = sized.CacheLookup(Real(name));
            ASSERT_EQ(lease.Use(), CacheUse::Fill);
            Fill(sized, lease, bytes, 0, size);
            EXPECT_LE(sized.MemoryCharged(), capacity);
        }
        EXPECT_LT(sized.EntryCount(), static_cast<std::size_t>(c.fitByBytes));
        EXPECT_GT(sized.MemoryCharged() + CacheEntryCharge(size, Real("m0").size()), capacity);
        EXPECT_EQ(sized.TotalSize(), static_cast<std::int64_t>(sized.EntryCount()) * size);
        sized.SetCacheCapacity(0);
        EXPECT_EQ(sized.MemoryCharged(), 0);
    }
}

// A listing grows as it is written, and once whole is counted at what it really takes.
TEST_F(ServerCacheTest, ListingIsCountedAtItsSizeOnceWhole)
{
    const std::string key = "C:\\pub\\sub";
    for (const std::size_t size : {std::size_t{11}, std::size_t{200000}}) {
        SCOPED_TRACE(size);
        std::string text(size, 'l');
        CacheLease fill = cache.CacheLookup(key, CacheSource::Folder);
        ASSERT_EQ(fill.Use(), CacheUse::Fill);
        EXPECT_EQ(cache.MemoryCharged(), CacheEntryCharge(kFolderEntryRoom, key.size()));
        Fill(cache, fill, text, 0, static_cast<std::int64_t>(size));
        cache.CacheUpdateSize(fill);
        EXPECT_EQ(cache.MemoryCharged(), CacheEntryCharge(static_cast<std::int64_t>(size), key.size()));
        CacheLease hit = cache.CacheLookup(key, CacheSource::Folder);
        ASSERT_EQ(hit.Use(), CacheUse::Serve);
        EXPECT_EQ(Read(hit), text);
        cache.CacheTransferDone(hit, 0, 0, false);
        cache.CacheInvalidate(key);
    }
}

// A sender takes a cached copy's bytes from where they are: a file's copy lends its room to be
// filled in place, and what it lent stays valid while the entry is evicted.
TEST_F(ServerCacheTest, FileCopyLendsItsBytesInPlace)
{
    const std::string bytes(100000, 'z');
    Put("lent.bin", bytes);
    cache.SetCacheCapacity(1 << 20);
    CacheLease fill = cache.CacheLookup(Real("lent.bin"));
    ASSERT_EQ(fill.Use(), CacheUse::Fill);
    LendableBytes* copy = LendableBytesOf(*fill.Stream());
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(copy->RoomAt(100000, 1).empty());  // past the file's size: nothing to lend
    const std::span<char> room = copy->RoomAt(40000, 100000);
    ASSERT_EQ(room.size(), 60000u);
    std::fill(room.begin(), room.end(), 'z');
    copy->Written(40000, 60000);
    EXPECT_EQ(copy->BytesFrom(99999).size(), 1u);
    fill.Stream()->seekp(0);
    fill.Stream()->write(bytes.data(), 40000);  // the start, the plain way
    cache.CacheTransferDone(fill, 0, 100000, false);
    CacheLease hit = cache.CacheLookup(Real("lent.bin"));
    ASSERT_EQ(hit.Use(), CacheUse::Serve);
    const std::span<const char> lent = LendableBytesOf(*hit.Stream())->BytesFrom(0);
    cache.SetCacheCapacity(0);  // evicted while sent from
    EXPECT_EQ(std::string(lent.data(), lent.size()), bytes);
    // A listing's copy moves as it grows: it lends no room.
    cache.SetCacheCapacity(1 << 20);
    CacheLease listing = cache.CacheLookup("C:\\pub\\sub", CacheSource::Folder);
    ASSERT_EQ(listing.Use(), CacheUse::Fill);
    LendableBytes* listingCopy = LendableBytesOf(*listing.Stream());
    ASSERT_NE(listingCopy, nullptr);
    EXPECT_TRUE(listingCopy->RoomAt(0, 10).empty());
}

}  // namespace
}  // namespace corvane
