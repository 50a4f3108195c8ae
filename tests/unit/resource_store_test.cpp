// The store's contract, whatever stands behind it: by name exactly the
// bytes written, all or nothing, and what isn't rewritten stays.
#include <gtest/gtest.h>
#include "package/package_format.h"
#include "package/resource_store.h"
#include "tests/unit/test_support.h"

class ResourceStore : public ::testing::Test {
protected:
    void SetUp() override { MakeTargetExecutable(target()); }
    fs::path target() const { return dir.path() / "Update.exe"; }
    int Write(const std::vector<TestResource>& resources, int discard = 0) {
        UpdateHandle update = BeginPackageUpdate(target().string().c_str());
        if (!update) return 0;
        for (const auto& r : resources)
            if (!UpdatePackageResource(update, r.name.c_str(), r.bytes.data(),
                                       static_cast<uint32_t>(r.bytes.size())))
                return EndPackageUpdate(update, 1), 0;
        return EndPackageUpdate(update, discard);
    }
    std::string Read(const char* name, bool* found = nullptr) {
        return ReadPackageResource(target(), name, found);
    }
    TempFolder dir;
};

TEST_F(ResourceStore, RecordsHeaderAndStampRoundTripByteForByte) {
    std::string record = MakeRecord("data\\x.bin", std::string("\0\1\2\xff", 4));
    std::string header = MakeHeader(3, 0xFFFFFFFFu, 0x01D9ABCDEF012345ull);
    std::string stamp = header.substr(8);
    ASSERT_TRUE(Write({{"FILE000", record}, {"HEADER", header}, {"STAMP", stamp}}));
    EXPECT_EQ(record, Read("FILE000"));
    EXPECT_EQ(header, Read("HEADER"));
    EXPECT_EQ(stamp, Read("STAMP"));
    bool found = true;
    Read("FILE001", &found);
    EXPECT_FALSE(found);
}

TEST_F(ResourceStore, KeepsWhatIsNotRewrittenAndReplacesWhatIs) {
    ASSERT_TRUE(Write({{"FILE000", "old 0"}, {"FILE001", "old 1"}, {"TITLE", "Title"}}));
    ASSERT_TRUE(Write({{"FILE000", "new 0, longer"}}));
    EXPECT_EQ("new 0, longer", Read("FILE000"));
    EXPECT_EQ("old 1", Read("FILE001"));
    EXPECT_EQ("Title", Read("TITLE"));
}

TEST_F(ResourceStore, DiscardLeavesTheTargetUntouched) {
    ASSERT_TRUE(Write({{"FILE000", "kept"}}));
    std::string before = ReadFile(target());
    EXPECT_TRUE(Write({{"FILE000", "dropped"}, {"FILE001", std::string(100000, 'd')}}, 1));
    EXPECT_EQ(before, ReadFile(target()));
}

TEST_F(ResourceStore, MissingTargetCannotBeOpened) {
    fs::remove(target());
    EXPECT_EQ(0u, BeginPackageUpdate(target().string().c_str()));
    EXPECT_FALSE(fs::exists(target()));
}

TEST_F(ResourceStore, LargeRecordsSurvive) {
    std::string big(3 * 1024 * 1024 + 7, '\0');
    for (size_t i = 0; i < big.size(); i++) big[i] = static_cast<char>(i * 2654435761u >> 24);
    ASSERT_TRUE(Write({{"FILE000", big}}));
    EXPECT_EQ(big, Read("FILE000"));
}
