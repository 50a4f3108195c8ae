// The PE32 resource reader and writer, on small images made here byte by
// byte with a tree encoder of their own (so a layout bug in the writer can't
// hide behind the same bug in the test's input).
#include <gtest/gtest.h>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>
#include "package/pe_resources.h"
#include "tests/unit/pe_test_images.h"

using namespace pe_test;

namespace {

// ---- Files ---------------------------------------------------------------

class PeResources : public ::testing::Test {
protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        fs::path path = fs::temp_directory_path() / (std::string("pe_resources_") + test->name());
        std::error_code error;
        fs::remove_all(path, error);
        ASSERT_TRUE(fs::create_directory(path));
        dir = path.string();
        target = dir + "/Update.exe";
    }
    void TearDown() override {
        std::error_code error;
        std::filesystem::permissions(target, std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add, error);
        std::filesystem::remove_all(dir, error);
        EXPECT_FALSE(error) << error.message();
    }
    std::string dir, target;
};

void WriteFile(const std::string& path, const std::string& content) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(fwrite(content.data(), 1, content.size(), f), content.size());
    fclose(f);
}

std::string ReadFile(const std::string& path) {
    std::string content;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return "<missing>";
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) content.append(buffer, n);
    fclose(f);
    return content;
}

bool Exists(const std::string& path) {
    return std::filesystem::exists(path);
}

// The bytes of RT_RCDATA name, or "<absent>".
std::string Find(const std::string& path, const char* name) {
    uint64_t offset;
    uint32_t size;
    if (!FindPeResource(path.c_str(), name, &offset, &size)) return "<absent>";
    return ReadFile(path).substr(offset, size);
}

std::string Narrow(const std::u16string& s) {
    return std::string(s.begin(), s.end());
}

// "type/name/language" for each leaf, in directory order.
std::vector<std::string> Keys(const PeResourceList& list) {
    std::vector<std::string> keys;
    for (const PeResource& r : list) {
        std::string type = r.type.text.empty() ? std::to_string(r.type.id) : Narrow(r.type.text);
        std::string name = r.name.text.empty() ? std::to_string(r.name.id) : Narrow(r.name.text);
        keys.push_back(type + "/" + name + "/" + std::to_string(r.language));
    }
    return keys;
}

std::vector<Leaf> TypicalLeaves() {
    return {
        Leaf{0, u"PNG", 0, u"LOGO", 0, "png bytes"},
        Leaf{2, u"", 104, u"", 1033, std::string(300, 'b')},
        Leaf{3, u"", 1, u"", 1033, "icon image"},
        Leaf{5, u"", 0, u"IDD_MAINFORM", 1033, "dialog template"},
        Leaf{5, u"", 0, u"IDD_MAINFORM", 1049, "russian dialog"},
        RcData("FILE000", "old record 0"),
        RcData("FILE001", "old record 1"),
        RcData("FILE001", "old record 1 en", 1033),
        RcData("TITLE", "Old title"),
        Leaf{14, u"", 105, u"", 1033, "group icon"},
        Leaf{24, u"", 1, u"", 0, "<assembly/>"},
    };
}

}  // namespace

// ---- Reading -------------------------------------------------------------

TEST_F(PeResources, ReadsEveryLeafWithItsKeysAndDataPlace) {
    std::string image = MakeImage(TypicalLeaves());
    WriteFile(target, image);
    PeResourceList list;
    ASSERT_TRUE(ReadPeResources(target.c_str(), &list));
    ASSERT_EQ(list.size(), TypicalLeaves().size());
    for (size_t i = 0; i < list.size(); i++) {
        EXPECT_EQ(image.substr(list[i].offset, list[i].size), TypicalLeaves()[i].data);
        EXPECT_EQ(list[i].language, TypicalLeaves()[i].language);
        EXPECT_EQ(list[i].codePage, 1252u);
    }
    EXPECT_EQ(Keys(list)[0], "PNG/LOGO/0");
    EXPECT_EQ(Keys(list)[4], "5/IDD_MAINFORM/1049");
}

TEST_F(PeResources, FindsRcDataByNameAsTheLoaderDoes) {
    std::vector<Leaf> leaves = {Leaf{0, u"RCDATA", 0, u"TITLE", 0, "wrong type"},
                                RcData("HEADER", "header bytes"),
                                RcData("lower", "stored lower case"),
                                RcData("TITLE", "title bytes", 1033)};
    WriteFile(target, MakeImage(leaves));
    EXPECT_EQ(Find(target, "HEADER"), "header bytes");
    EXPECT_EQ(Find(target, "header"), "header bytes");
    EXPECT_EQ(Find(target, "TITLE"), "title bytes");  // any language
    // The query is upper-cased, so a name stored in lower case is never found.
    EXPECT_EQ(Find(target, "lower"), "<absent>");
    EXPECT_EQ(Find(target, "HEADE"), "<absent>");
}

TEST_F(PeResources, ImageWithoutResourcesHasAnEmptyList) {
    ImageOptions o;
    o.resources = false;
    WriteFile(target, MakeImage({}, o));
    PeResourceList list;
    list.resize(3);
    EXPECT_TRUE(ReadPeResources(target.c_str(), &list));
    EXPECT_TRUE(list.empty());
}

TEST_F(PeResources, RejectsFilesThatAreNotPe32) {
    std::string image = MakeImage(TypicalLeaves());
    std::string pe32plus = image;
    Put16(&pe32plus, kOpt, 0x20B);
    std::string noSignature = image;
    noSignature[kPeOffset] = 'X';
    PeResourceList list;
    for (const std::string& bad : {std::string("MZ"), std::string("plain text file"), pe32plus,
                                   noSignature, std::string()}) {
        WriteFile(target, bad);
        EXPECT_FALSE(ReadPeResources(target.c_str(), &list));
        EXPECT_EQ(BeginPeUpdate(target.c_str()), nullptr);
        EXPECT_EQ(ReadFile(target), bad);
    }
    EXPECT_FALSE(ReadPeResources((dir + "/missing.exe").c_str(), &list));
    EXPECT_EQ(BeginPeUpdate((dir + "/missing.exe").c_str()), nullptr);
}

TEST_F(PeResources, TruncatedImagesFailCleanly) {
    std::string image = MakeImage(TypicalLeaves());
    PeResourceList list;
    WriteFile(target, image);
    ASSERT_TRUE(ReadPeResources(target.c_str(), &list));
    uint64_t treeEnd = 0;
    for (const PeResource& r : list) treeEnd = std::max(treeEnd, r.offset + r.size);
    for (size_t length = 0; length < image.size(); length += 7) {
        std::string cut = image.substr(0, length);
        WriteFile(target, cut);
        // Past the last resource byte only the section's padding is missing.
        ASSERT_EQ(ReadPeResources(target.c_str(), &list), length >= treeEnd) << length;
        ASSERT_EQ(BeginPeUpdate(target.c_str()), nullptr) << length;
        ASSERT_EQ(ReadFile(target), cut);
        ASSERT_FALSE(Exists(target + ".tmp"));
    }
}

TEST_F(PeResources, LoopingOrExplodingTreesFail) {
    std::string image = MakeImage({RcData("A", "x")});
    uint32_t root = Get32(image, kOpt + 96 + 16);
    size_t rootAt = 0x600;  // the .rsrc section's raw data
    ASSERT_EQ(Get32(image, kSectionTable + 40 + 12), root);
    PeResourceList list;
    // The type entry points back at the root table: a cycle.
    std::string cycle = image;
    Put32(&cycle, rootAt + 16 + 4, 0x80000000u);
    WriteFile(target, cycle);
    EXPECT_FALSE(ReadPeResources(target.c_str(), &list));
    // A root that claims 65535 + 65535 entries that all share one subtree.
    std::string huge = image;
    Put16(&huge, rootAt + 12, 0xFFFF);
    Put16(&huge, rootAt + 14, 0xFFFF);
    WriteFile(target, huge);
    EXPECT_FALSE(ReadPeResources(target.c_str(), &list));
    // Three levels of 300 entries that all share one table below: a small
    // file standing for 27 million leaves.
    std::string shared = MakeImage({RcData("A", std::string(9000, 'z'))});
    const uint32_t n = 300;
    uint32_t tables[3] = {0, 16 + 8 * n, 2 * (16 + 8 * n)};
    uint32_t dataEntryOffset = 3 * (16 + 8 * n);
    for (int level = 0; level < 3; level++) {
        Put16(&shared, rootAt + tables[level] + 12, 0);
        Put16(&shared, rootAt + tables[level] + 14, n);
        for (uint32_t i = 0; i < n; i++) {
            uint32_t field = level < 2 ? 0x80000000u | tables[level + 1] : dataEntryOffset;
            Put32(&shared, rootAt + tables[level] + 16 + 8 * i, i + 1);
            Put32(&shared, rootAt + tables[level] + 16 + 8 * i + 4, field);
        }
    }
    Put32(&shared, rootAt + dataEntryOffset, root);
    Put32(&shared, rootAt + dataEntryOffset + 4, 1);
    WriteFile(target, shared);
    EXPECT_FALSE(ReadPeResources(target.c_str(), &list));
    // A data entry whose data lies beyond the file.
    std::string far = image;
    size_t dataEntry = rootAt + 16 + 8 + 16 + 8 + 16 + 8;
    Put32(&far, dataEntry + 4, 0x10000000);
    WriteFile(target, far);
    EXPECT_FALSE(ReadPeResources(target.c_str(), &list));
    EXPECT_EQ(BeginPeUpdate(target.c_str()), nullptr);
    EXPECT_EQ(ReadFile(target), far);
}

TEST_F(PeResources, CorruptedBytesNeverCrashAndKeepTheTargetOnFailure) {
    std::string image = MakeImage(TypicalLeaves());
    uint32_t seed = 12345;
    for (int round = 0; round < 400; round++) {
        std::string bad = image;
        for (int k = 0; k < 4; k++) {
            seed = seed * 1103515245 + 12345;
            size_t at = (seed >> 8) % 0x800;  // headers and resource tree
            bad[at] = char(seed >> 24);
        }
        WriteFile(target, bad);
        PeResourceList list;
        ReadPeResources(target.c_str(), &list);
        PeUpdate* update = BeginPeUpdate(target.c_str());
        if (!update) {
            ASSERT_EQ(ReadFile(target), bad);
            continue;
        }
        ASSERT_TRUE(AddPeResourceBytes(update, "HEADER", "0123456789abcdef", 16));
        if (EndPeUpdate(update, 0)) {
            EXPECT_EQ(Find(target, "HEADER"), "0123456789abcdef");
        } else {
            EXPECT_EQ(ReadFile(target), bad);
        }
        ASSERT_FALSE(Exists(target + ".tmp"));
    }
}

// ---- Writing -------------------------------------------------------------

TEST_F(PeResources, AddedResourcesReadBackByteForByteAndOthersStay) {
    std::string before = MakeImage(TypicalLeaves());
    WriteFile(target, before);
    std::string content(3 * 1024 * 1024 + 5, '\0');  // several copy chunks
    for (size_t i = 0; i < content.size(); i++) content[i] = char(i * 7 + i / 251);
    WriteFile(dir + "/big.bin", content);

    PeUpdate* update = BeginPeUpdate(target.c_str());
    ASSERT_NE(update, nullptr);
    FILE* source = fopen((dir + "/big.bin").c_str(), "rb");
    ASSERT_NE(source, nullptr);
    EXPECT_TRUE(AddPeResourceFromFile(update, "file002", "head", 4, source, content.size()));
    fclose(source);
    EXPECT_TRUE(AddPeResourceBytes(update, "HEADER", "0123456789abcdef", 16));
    EXPECT_TRUE(AddPeResourceBytes(update, "EMPTY", "", 0));
    EXPECT_TRUE(EndPeUpdate(update, 0));
    EXPECT_FALSE(Exists(target + ".tmp"));

    EXPECT_EQ(Find(target, "FILE002"), "head" + content);
    EXPECT_EQ(Find(target, "HEADER"), "0123456789abcdef");
    EXPECT_EQ(Find(target, "EMPTY"), "");
    PeResourceList list;
    ASSERT_TRUE(ReadPeResources(target.c_str(), &list));
    std::string after = ReadFile(target);
    for (const Leaf& leaf : TypicalLeaves()) {
        bool found = false;
        for (const PeResource& r : list) {
            bool sameType = r.type.text == leaf.typeText && (leaf.typeText.size() || r.type.id == leaf.typeId);
            bool sameName = r.name.text == leaf.nameText && (leaf.nameText.size() || r.name.id == leaf.nameId);
            if (sameType && sameName && r.language == leaf.language) {
                found = true;
                EXPECT_EQ(after.substr(r.offset, r.size), leaf.data);
                EXPECT_EQ(r.codePage, 1252u);
            }
        }
        EXPECT_TRUE(found) << Narrow(leaf.nameText) << leaf.nameId;
    }
    EXPECT_EQ(list.size(), TypicalLeaves().size() + 3);
    for (const PeResource& r : list) EXPECT_EQ(r.offset % 8, 0u);
}

TEST_F(PeResources, ReplacesOnlyTheSameNameAndLanguage) {
    WriteFile(target, MakeImage(TypicalLeaves()));
    PeUpdate* update = BeginPeUpdate(target.c_str());
    ASSERT_NE(update, nullptr);
    EXPECT_TRUE(AddPeResourceBytes(update, "FILE001", "first", 5));
    EXPECT_TRUE(AddPeResourceBytes(update, "File001", "second", 6));  // same name
    EXPECT_TRUE(EndPeUpdate(update, 0));
    PeResourceList list;
    ASSERT_TRUE(ReadPeResources(target.c_str(), &list));
    std::string after = ReadFile(target);
    int neutral = 0, english = 0;
    for (const PeResource& r : list) {
        if (Narrow(r.name.text) != "FILE001") continue;
        std::string data = after.substr(r.offset, r.size);
        if (r.language == 0) {
            neutral++;
            EXPECT_EQ(data, "second");
        } else {
            english++;
            EXPECT_EQ(r.language, 1033u);
            EXPECT_EQ(data, "old record 1 en");
        }
    }
    EXPECT_EQ(neutral, 1);
    EXPECT_EQ(english, 1);
    EXPECT_EQ(Find(target, "FILE000"), "old record 0");
    EXPECT_EQ(Find(target, "TITLE"), "Old title");
}

TEST_F(PeResources, DeletesWithNoDataLikeThePlatformUpdater) {
    WriteFile(target, MakeImage(TypicalLeaves()));
    PeUpdate* update = BeginPeUpdate(target.c_str());
    ASSERT_NE(update, nullptr);
    EXPECT_TRUE(AddPeResourceBytes(update, "TITLE", nullptr, 0));
    EXPECT_FALSE(AddPeResourceBytes(update, "README", nullptr, 4));
    EXPECT_TRUE(EndPeUpdate(update, 0));
    EXPECT_EQ(Find(target, "TITLE"), "<absent>");
    EXPECT_EQ(Find(target, "FILE000"), "old record 0");
}

TEST_F(PeResources, RefusesNamesWindowsWouldReadOtherwise) {
    WriteFile(target, MakeImage(TypicalLeaves()));
    PeUpdate* update = BeginPeUpdate(target.c_str());
    ASSERT_NE(update, nullptr);
    EXPECT_FALSE(AddPeResourceBytes(update, "", "x", 1));
    EXPECT_FALSE(AddPeResourceBytes(update, "#10", "x", 1));
    EXPECT_FALSE(AddPeResourceBytes(update, "caf\xE9", "x", 1));
    EXPECT_TRUE(EndPeUpdate(update, 1));
}

TEST_F(PeResources, DiscardLeavesTheTargetByteForByte) {
    std::string before = MakeImage(TypicalLeaves());
    WriteFile(target, before);
    PeUpdate* update = BeginPeUpdate(target.c_str());
    ASSERT_NE(update, nullptr);
    EXPECT_TRUE(Exists(target + ".tmp"));
    EXPECT_TRUE(AddPeResourceBytes(update, "FILE000", "new", 3));
    EXPECT_TRUE(EndPeUpdate(update, 1));
    EXPECT_EQ(ReadFile(target), before);
    EXPECT_FALSE(Exists(target + ".tmp"));
}

TEST_F(PeResources, ASourceThatShrinksFailsItsResourceOnly) {
    WriteFile(target, MakeImage(TypicalLeaves()));
    WriteFile(dir + "/short.bin", std::string(1000, 's'));
    PeUpdate* update = BeginPeUpdate(target.c_str());
    ASSERT_NE(update, nullptr);
    FILE* source = fopen((dir + "/short.bin").c_str(), "rb");
    ASSERT_NE(source, nullptr);
    EXPECT_FALSE(AddPeResourceFromFile(update, "FILE000", "h", 1, source, 5000));
    fclose(source);
    // The failed bytes are written over: later resources and the commit
    // come out as if the failed add never happened.
    EXPECT_TRUE(AddPeResourceBytes(update, "HEADER", "0123456789abcdef", 16));
    EXPECT_TRUE(EndPeUpdate(update, 0));
    EXPECT_EQ(Find(target, "FILE000"), "old record 0");
    EXPECT_EQ(Find(target, "HEADER"), "0123456789abcdef");
    std::string after = ReadFile(target);
    size_t end = 0;
    for (uint32_t s = 0; s < Get16(after, kPeOffset + 6); s++) {
        size_t h = kSectionTable + 40 * s;
        end = std::max<size_t>(end, Get32(after, h + 20) + Get32(after, h + 16));
    }
    EXPECT_EQ(after.size(), end);  // nothing left over behind the section
}

TEST_F(PeResources, WritesTablesInTheOrderTheLoaderSearches) {
    // Given out of order on purpose.
    std::vector<Leaf> leaves = {
        Leaf{24, u"", 1, u"", 0, "manifest"},
        RcData("TITLE", "t"),
        RcData("B", "b"),
        RcData("ABC", "abc"),
        RcData("AB", "ab"),
        Leaf{10, u"", 7, u"", 0, "seven"},
        Leaf{10, u"", 3, u"", 0, "three"},
        Leaf{3, u"", 2, u"", 1049, "icon ru"},
        Leaf{3, u"", 2, u"", 1033, "icon en"},
        Leaf{0, u"ZZ", 1, u"", 0, "zz"},
        Leaf{0, u"PNG", 1, u"", 0, "png"},
    };
    WriteFile(target, MakeImage(leaves));
    PeUpdate* update = BeginPeUpdate(target.c_str());
    ASSERT_NE(update, nullptr);
    EXPECT_TRUE(AddPeResourceBytes(update, "A", "a", 1));
    EXPECT_TRUE(EndPeUpdate(update, 0));
    PeResourceList list;
    ASSERT_TRUE(ReadPeResources(target.c_str(), &list));
    std::vector<std::string> expected = {
        "PNG/1/0", "ZZ/1/0", "3/2/1033", "3/2/1049", "10/A/0", "10/AB/0", "10/ABC/0",
        "10/B/0", "10/TITLE/0", "10/3/0", "10/7/0", "24/1/0"};
    EXPECT_EQ(Keys(list), expected);
    // The named/id counts of the root table match its entries.
    std::string after = ReadFile(target);
    uint32_t rootRva = Get32(after, kOpt + 96 + 16);
    for (uint32_t s = 0; s < Get16(after, kPeOffset + 6); s++) {
        size_t h = kSectionTable + 40 * s;
        uint32_t rva = Get32(after, h + 12);
        if (rootRva < rva || rootRva >= rva + Get32(after, h + 8)) continue;
        size_t root = Get32(after, h + 20) + (rootRva - rva);
        EXPECT_EQ(Get16(after, root + 12), 2u);
        EXPECT_EQ(Get16(after, root + 14), 3u);
    }
}

TEST_F(PeResources, ReplacesALastResourceSectionInPlace) {
    WriteFile(target, MakeImage(TypicalLeaves()));
    PeUpdate* update = BeginPeUpdate(target.c_str());
    ASSERT_NE(update, nullptr);
    EXPECT_TRUE(AddPeResourceBytes(update, "HEADER", "0123456789abcdef", 16));
    EXPECT_TRUE(EndPeUpdate(update, 0));
    std::string after = ReadFile(target);
    ASSERT_EQ(Get16(after, kPeOffset + 6), 2u);
    size_t rsrc = kSectionTable + 40;
    EXPECT_EQ(after.substr(rsrc, 6), std::string(".rsrc\0", 6));
    EXPECT_EQ(Get32(after, rsrc + 12), 0x2000u);
    EXPECT_EQ(Get32(after, rsrc + 20) % 0x1000, 0u);  // page-aligned in the file
    EXPECT_EQ(Get32(after, rsrc + 16) % 0x200, 0u);
    EXPECT_EQ(Get32(after, rsrc + 36), 0x40000040u);
    EXPECT_EQ(after.size(), Get32(after, rsrc + 20) + Get32(after, rsrc + 16));
    EXPECT_EQ(Get32(after, kOpt + 56), Align(0x2000 + Get32(after, rsrc + 8), 0x1000));
    // SizeOfInitializedData counts the new section instead of the old one.
    EXPECT_EQ(Get32(after, kOpt + 8), Get32(after, rsrc + 16));
    EXPECT_EQ(Find(target, "HEADER"), "0123456789abcdef");
}

TEST_F(PeResources, AppendsASectionWhenResourcesAreNotLast) {
    ImageOptions o;
    o.sectionAfterResources = true;
    o.tail = std::string("SYMBOLS-AND-STRINGS", 19);
    o.tailIsSymbolTable = true;
    std::string before = MakeImage(TypicalLeaves(), o);
    WriteFile(target, before);
    PeUpdate* update = BeginPeUpdate(target.c_str());
    ASSERT_NE(update, nullptr);
    EXPECT_TRUE(AddPeResourceBytes(update, "HEADER", "0123456789abcdef", 16));
    EXPECT_TRUE(EndPeUpdate(update, 0));
    std::string after = ReadFile(target);
    ASSERT_EQ(Get16(after, kPeOffset + 6), 4u);
    size_t added = kSectionTable + 40 * 3;
    uint32_t raw = Get32(after, added + 20);
    EXPECT_EQ(after.substr(added, 8), std::string(".rsrc\0\0\0", 8));
    EXPECT_EQ(Get32(after, added + 12), 0x4000u);  // after .data
    EXPECT_EQ(raw % 0x1000, 0u);
    uint32_t root = Get32(after, kOpt + 96 + 16);
    EXPECT_GE(root, 0x4000u);
    EXPECT_LT(root, 0x4000u + Get32(after, added + 8));
    // Everything before the new section is the old image, headers aside.
    EXPECT_EQ(after.substr(0x400, 0x800), before.substr(0x400, 0x800));
    // The tail follows the section, and the symbol pointer follows the tail.
    uint32_t tail = raw + Get32(after, added + 16);
    EXPECT_EQ(after.substr(tail), o.tail);
    EXPECT_EQ(Get32(after, kPeOffset + 12), tail);
    EXPECT_EQ(Find(target, "FILE000"), "old record 0");
    EXPECT_EQ(Find(target, "HEADER"), "0123456789abcdef");
}

TEST_F(PeResources, AddsResourcesToAnImageThatHadNone) {
    ImageOptions o;
    o.resources = false;
    WriteFile(target, MakeImage({}, o));
    PeUpdate* update = BeginPeUpdate(target.c_str());
    ASSERT_NE(update, nullptr);
    EXPECT_TRUE(AddPeResourceBytes(update, "TITLE", "New", 3));
    EXPECT_TRUE(EndPeUpdate(update, 0));
    EXPECT_EQ(Find(target, "TITLE"), "New");
    EXPECT_EQ(Get16(ReadFile(target), kPeOffset + 6), 2u);
}

TEST_F(PeResources, FailsWithoutRoomForAnotherSectionHeader) {
    ImageOptions o;
    o.sectionAfterResources = true;
    o.sizeOfHeaders = kSectionTable + 40 * 3;  // exactly the three headers
    std::string before = MakeImage(TypicalLeaves(), o);
    WriteFile(target, before);
    EXPECT_EQ(BeginPeUpdate(target.c_str()), nullptr);
    EXPECT_EQ(ReadFile(target), before);
    EXPECT_FALSE(Exists(target + ".tmp"));
}

TEST_F(PeResources, UpdatesAChecksumThatIsSetAndLeavesZeroAlone) {
    ImageOptions o;
    o.checkSum = 0x1234;
    o.sectionAfterResources = true;
    o.tail = "odd tail";
    WriteFile(target, MakeImage(TypicalLeaves(), o));
    WriteFile(dir + "/short.bin", "abc");
    PeUpdate* update = BeginPeUpdate(target.c_str());
    ASSERT_NE(update, nullptr);
    EXPECT_TRUE(AddPeResourceBytes(update, "ODD", "odd length", 11));
    // Bytes of a failed add must not count.
    FILE* source = fopen((dir + "/short.bin").c_str(), "rb");
    ASSERT_NE(source, nullptr);
    EXPECT_FALSE(AddPeResourceFromFile(update, "SHORT", "head", 4, source, 10));
    fclose(source);
    EXPECT_TRUE(EndPeUpdate(update, 0));
    std::string after = ReadFile(target);
    EXPECT_EQ(Get32(after, kOpt + 64), Checksum(after));

    WriteFile(target, MakeImage(TypicalLeaves()));
    update = BeginPeUpdate(target.c_str());
    ASSERT_NE(update, nullptr);
    EXPECT_TRUE(AddPeResourceBytes(update, "ODD", "odd length", 10));
    EXPECT_TRUE(EndPeUpdate(update, 0));
    EXPECT_EQ(Get32(ReadFile(target), kOpt + 64), 0u);
}

TEST_F(PeResources, ReadOnlyTargetIsRefused) {
    std::string before = MakeImage(TypicalLeaves());
    WriteFile(target, before);
    namespace fs = std::filesystem;
    fs::permissions(target, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    FILE* probe = fopen(target.c_str(), "r+b");
    if (probe) {
        fclose(probe);
        GTEST_SKIP() << "this user writes read-only files";
    }
    EXPECT_EQ(BeginPeUpdate(target.c_str()), nullptr);
    EXPECT_EQ(ReadFile(target), before);
}

TEST_F(PeResources, RebuildKeepsRecordsBeyondTheNewCount) {
    WriteFile(target, MakeImage(TypicalLeaves()));
    for (int files : {5, 3}) {
        PeUpdate* update = BeginPeUpdate(target.c_str());
        ASSERT_NE(update, nullptr);
        for (int i = 0; i < files; i++) {
            char name[16];
            snprintf(name, sizeof name, "FILE%03d", i);
            std::string data = std::to_string(files) + "-" + std::to_string(i);
            EXPECT_TRUE(AddPeResourceBytes(update, name, data.data(), uint32_t(data.size())));
        }
        EXPECT_TRUE(EndPeUpdate(update, 0));
    }
    EXPECT_EQ(Find(target, "FILE002"), "3-2");
    EXPECT_EQ(Find(target, "FILE003"), "5-3");
    EXPECT_EQ(Find(target, "FILE004"), "5-4");
    EXPECT_EQ(Find(target, "TITLE"), "Old title");
}
