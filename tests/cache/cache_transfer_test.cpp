// One transfer's use of a cached copy: what it says it does from what it was made with, and a
// lease that it carries to the entry the lookup gave.
#include "cache/cache_transfer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "cache/server_cache.h"
#include "common/lendable_bytes.h"
#include "platform/drive_map.h"
#include "../platform/scratch_folder.h"

namespace corvane {
namespace {

TEST(CacheTransfer, ItsUseFollowsFromTheCopyAndABrokenFillStopsIt)
{
    struct Case {
        const char* name;
        CacheUse made;
        bool withCopy;
        bool breakFill;
        CacheUse expected;
    } cases[] = {
        {"served", CacheUse::Serve, true, false, CacheUse::Serve},
        {"filled", CacheUse::Fill, true, false, CacheUse::Fill},
        {"broken fill", CacheUse::Fill, true, true, CacheUse::None},
        {"a broken fill says nothing of a read", CacheUse::Serve, true, true, CacheUse::Serve},
        {"no copy to serve", CacheUse::Serve, false, false, CacheUse::None},
        {"no copy to fill", CacheUse::Fill, false, false, CacheUse::None},
    };
    for (const Case& c : cases) {
        auto copy = c.withCopy ? std::make_shared<std::stringstream>() : nullptr;
        CacheTransfer transfer(c.made, copy, 7);
        if (c.breakFill) transfer.BreakFill();
        EXPECT_EQ(transfer.Use(), c.expected) << c.name;
        // The copy is handed out only while it is used: a sender never writes a dropped fill.
        EXPECT_EQ(transfer.Copy() != nullptr, c.expected != CacheUse::None) << c.name;
        EXPECT_EQ(transfer.Position(), 7) << c.name;
        EXPECT_FALSE(transfer.Lease().Open()) << c.name;  // an owner's copy reports to no entry
    }
}

TEST(CacheTransfer, ALeasedTransferFillsTheEntryItWasGivenAndADroppedOneLetsItGo)
{
    testing::ScratchFolder scratch;
    std::filesystem::create_directories(scratch.Join("c/pub"));
    DriveMap::Configure({{'C', scratch.Join("c")}}, scratch.Path());
    scratch.Put("c/pub/f.txt", "0123456789");
    serverCacheClass cache;
    cache.SetFileCacheEnabled(true);
    {
        CacheTransfer dropped(cache.CacheLookup("C:\\pub\\f.txt"), 3);
        ASSERT_TRUE(dropped.Fills());
        EXPECT_EQ(dropped.Position(), 3);
        // A file's copy lends its bytes; a plain stream offers nothing to lend.
        EXPECT_NE(LendableBytesOf(*dropped.Copy()), nullptr);
        std::stringstream plain;
        EXPECT_EQ(LendableBytesOf(plain), nullptr);
    }
    // The transfer went without reporting: its fill did not count, and the next one fills anew.
    CacheTransfer fill(cache.CacheLookup("C:\\pub\\f.txt"));
    ASSERT_TRUE(fill.Fills());
    fill.Copy()->write("0123456789", 10);
    fill.Advance(10);
    cache.CacheTransferDone(fill.Lease(), 0, fill.Position(), false);
    CacheTransfer hit(cache.CacheLookup("C:\\pub\\f.txt"));
    EXPECT_TRUE(hit.Serves());
    EXPECT_NE(hit.SourceTime(), 0);
    DriveMap::Configure({}, scratch.Path());
}

}  // namespace
}  // namespace corvane
