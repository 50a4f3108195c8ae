// The resource reader and writer, on small PE32 and PE32+ images made byte
// by byte with a tree encoder of the tests' own: every test runs on both.
#include <gtest/gtest.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "pe/pe_resources.h"
#include "tests/unit/pe_test_images.h"
#include "tests/unit/test_support.h"

using namespace pe_test;

namespace {

std::string Narrow(const std::u16string& s) { return std::string(s.begin(), s.end()); }

int Read(const std::string& image, PeResourceList* list) {
    return ReadPeResources(
        MakeMemorySource(reinterpret_cast<const unsigned char*>(image.data()), image.size()), list);
}

// "type/name/language" of each leaf, in directory order.
std::vector<std::string> Keys(const PeResourceList& list) {
    std::vector<std::string> keys;
    for (const PeResource& r : list) {
        std::string type = r.type.text.empty() ? std::to_string(r.type.id) : Narrow(r.type.text);
        std::string name = r.name.text.empty() ? std::to_string(r.name.id) : Narrow(r.name.text);
        keys.push_back(type + "/" + name + "/" + std::to_string(r.language));
    }
    return keys;
}

// A package resource's bytes as the loader would find them, or "<absent>".
std::string Find(const std::string& image, const char* name) {
    PeResourceList list;
    std::u16string key;
    if (!MakePeName(name, &key) || !Read(image, &list)) return "<absent>";
    for (const PeResource& r : list)
        if (IsPackageResource(r) && r.name.text == key) return image.substr(r.offset, r.size);
    return "<absent>";
}

std::vector<Leaf> TypicalLeaves() {
    return {
        Leaf{0, u"PNG", 0, u"LOGO", 0, "png bytes"},
        Leaf{2, u"", 104, u"", 1033, std::string(300, 'b')},
        Leaf{5, u"", 0, u"IDD_MAINFORM", 1033, "dialog template"},
        Leaf{5, u"", 0, u"IDD_MAINFORM", 1049, "russian dialog"},
        RcData("FILE000", "old record 0"),
        RcData("FILE001", "old record 1"),
        RcData("FILE001", "old record 1 en", 1033),
        RcData("TITLE", "Old title"),
        Leaf{14, u"", 105, u"", 1033, "group icon"},
    };
}

class PeKinds : public ::testing::TestWithParam<Kind> {
protected:
    std::string Image(const std::vector<Leaf>& leaves, const ImageOptions& o = ImageOptions()) {
        return MakeImage(leaves, o, GetParam());
    }
    // The data directory entry i, and the section table.
    uint32_t Dir(uint32_t i) const { return kOpt + GetParam().directories + 8 * i; }
    uint32_t Sections() const { return kOpt + GetParam().optionalSize; }
};

class PeReader : public PeKinds {};

class PeWriter : public PeKinds {
protected:
    void SetUp() override { target = dir.path() / "Update.exe"; }
    // Updates the file holding image with the adds; gives the new bytes, or
    // "<failed>" (and checks the file was left as it was).
    std::string Update(const std::string& image,
                       const std::vector<std::pair<const char*, std::string>>& adds) {
        WriteFile(target, image);
        PeUpdate* update = BeginPeUpdate(target.string().c_str());
        if (!update) {
            EXPECT_EQ(image, ReadFile(target));
            EXPECT_FALSE(fs::exists(target.string() + ".tmp"));
            return "<failed>";
        }
        for (const auto& add : adds)
            EXPECT_TRUE(AddPeResourceBytes(update, add.first, add.second.data(),
                                           uint32_t(add.second.size())));
        int ok = EndPeUpdate(update, 0);
        EXPECT_FALSE(fs::exists(target.string() + ".tmp"));
        std::string after = ReadFile(target);
        if (!ok) {
            EXPECT_EQ(image, after);
        }
        return ok ? after : "<failed>";
    }
    TempFolder dir;
    fs::path target;
};

std::string KindName(const ::testing::TestParamInfo<Kind>& info) { return info.param.name; }

}  // namespace

INSTANTIATE_TEST_SUITE_P(Kinds, PeReader, ::testing::Values(kPe32, kPe32Plus), KindName);
INSTANTIATE_TEST_SUITE_P(Kinds, PeWriter, ::testing::Values(kPe32, kPe32Plus), KindName);

TEST_P(PeReader, ReadsEveryLeafWithItsKeysAndDataPlace) {
    std::string image = Image(TypicalLeaves());
    PeResourceList list;
    ASSERT_TRUE(Read(image, &list));
    ASSERT_EQ(list.size(), TypicalLeaves().size());
    for (size_t i = 0; i < list.size(); i++) {
        EXPECT_EQ(image.substr(list[i].offset, list[i].size), TypicalLeaves()[i].data);
        EXPECT_EQ(list[i].language, TypicalLeaves()[i].language);
        EXPECT_EQ(list[i].codePage, 1252u);
    }
    EXPECT_EQ(Keys(list)[0], "PNG/LOGO/0");
    EXPECT_EQ(Keys(list)[3], "5/IDD_MAINFORM/1049");
    // Lookups go by the upper-cased name, neutral language only.
    std::vector<Leaf> leaves = {Leaf{0, u"RCDATA", 0, u"HEADER", 0, "wrong type"},
                                RcData("HEADER", "header bytes"),
                                RcData("lower", "stored lower case"),
                                RcData("TITLE", "english title", 1033)};
    image = Image(leaves);
    EXPECT_EQ(Find(image, "header"), "header bytes");
    EXPECT_EQ(Find(image, "lower"), "<absent>");
    EXPECT_EQ(Find(image, "HEADE"), "<absent>");
    EXPECT_EQ(Find(image, "TITLE"), "<absent>");
    ImageOptions none;
    none.resources = false;
    list.resize(3);
    EXPECT_TRUE(Read(Image({}, none), &list));
    EXPECT_TRUE(list.empty());
}

TEST_P(PeReader, RefusesWhatIsNotAWholeImage) {
    std::string image = Image(TypicalLeaves());
    std::string romImage = image;
    Put16(&romImage, kOpt, 0x107);
    std::string shortOptional = image;  // no room for the resource entry
    Put16(&shortOptional, kPeOffset + 20, GetParam().directories + 8 * 2);
    std::string noSignature = image;
    noSignature[kPeOffset] = 'X';
    std::string notMz = image;
    notMz[0] = 'X';
    std::string noResourceEntry = image;  // two data directories: no resource entry
    Put32(&noResourceEntry, kOpt + GetParam().directoryCount, 2);
    PeResourceList list;
    for (const std::string& bad : {std::string("MZ"), std::string("plain text file"), romImage, shortOptional,
                                   noSignature, noResourceEntry, notMz, std::string()})
        EXPECT_FALSE(Read(bad, &list));
    ASSERT_TRUE(Read(image, &list));
    uint64_t treeEnd = 0;
    for (const PeResource& r : list) treeEnd = std::max(treeEnd, r.offset + r.size);
    // Past the last resource byte only the section's padding is missing.
    for (size_t length = 0; length < image.size(); length += 7)
        ASSERT_EQ(Read(image.substr(0, length), &list), length >= treeEnd) << length;
    EXPECT_TRUE(Read(image.substr(0, treeEnd), &list));
    EXPECT_FALSE(Read(image.substr(0, treeEnd - 1), &list));
}

// The optional header cut to size bytes, the section table moved up with it
// (and padding after it, so that every section stays where it was): the
// smallest that holds the resources' entry reads, anything shorter doesn't.
TEST_P(PeReader, TheOptionalHeaderMustHoldTheResourceEntry) {
    const Kind& kind = GetParam();
    const std::string image = Image(TypicalLeaves());
    const uint32_t sections = Get16(image, kPeOffset + 6), least = kind.directories + 24;
    const struct {
        uint32_t size;
        bool reads;
    } cases[] = {{least, true}, {least - 1, false}, {kind.directories - 8, false}, {1, false}};
    for (const auto& c : cases) {
        std::string cut = image;
        cut.insert(kOpt + kind.optionalSize + 40 * sections, kind.optionalSize - c.size, '\0');
        cut.erase(kOpt + c.size, kind.optionalSize - c.size);
        Put16(&cut, kPeOffset + 20, c.size);
        PeResourceList list;
        EXPECT_EQ(c.reads, Read(cut, &list) != 0) << c.size;
        EXPECT_EQ(c.reads ? TypicalLeaves().size() : 0u, list.size()) << c.size;
    }
}

TEST_P(PeReader, LoopingExplodingOrFarReachingTreesFail) {
    std::string image = Image({RcData("A", "x")});
    const size_t root = 0x600;  // the .rsrc section's raw data
    PeResourceList list;
    std::string cycle = image;  // the type entry points back at the root table
    Put32(&cycle, root + 16 + 4, 0x80000000u);
    EXPECT_FALSE(Read(cycle, &list));
    std::string huge = image;   // 65535 + 65535 entries sharing one subtree
    Put16(&huge, root + 12, 0xFFFF);
    Put16(&huge, root + 14, 0xFFFF);
    EXPECT_FALSE(Read(huge, &list));
    // Three levels of 300 entries that share one table below: a small file
    // standing for 27 million leaves.
    std::string shared = Image({RcData("A", std::string(9000, 'z'))});
    const uint32_t n = 300, tableSize = 16 + 8 * n;
    for (uint32_t level = 0; level < 3; level++) {
        size_t table = root + level * tableSize;
        Put16(&shared, table + 12, 0);
        Put16(&shared, table + 14, n);
        for (uint32_t i = 0; i < n; i++) {
            Put32(&shared, table + 16 + 8 * i, i + 1);
            Put32(&shared, table + 20 + 8 * i,
                  level < 2 ? 0x80000000u | (level + 1) * tableSize : 3 * tableSize);
        }
    }
    Put32(&shared, root + 3 * tableSize, 0x2000);
    Put32(&shared, root + 3 * tableSize + 4, 1);
    EXPECT_FALSE(Read(shared, &list));
    // A data entry whose data lies beyond the file.
    ASSERT_TRUE(Read(image, &list));
    std::string far = image;
    size_t names = root + (Get32(image, root + 16 + 4) & 0x7FFFFFFF);
    size_t languages = root + (Get32(image, names + 16 + 4) & 0x7FFFFFFF);
    size_t entry = root + Get32(image, languages + 16 + 4);  // the data entry
    ASSERT_EQ(list[0].size, Get32(image, entry + 4));
    Put32(&far, entry + 4, 0x10000000);
    EXPECT_FALSE(Read(far, &list));
    std::string lost = image;  // the data entry itself beyond the section
    Put32(&lost, languages + 16 + 4, 0x7FFFFF00);
    EXPECT_FALSE(Read(lost, &list));
}

TEST_P(PeWriter, AddsReplacesAndDeletesOnlyPackageResourcesAndKeepsTheRest) {
    std::string before = Image(TypicalLeaves());
    std::string content(3 * 1024 * 1024 + 5, '\0');  // several copy chunks
    for (size_t i = 0; i < content.size(); i++) content[i] = char(i * 7 + i / 251);
    std::string after = Update(before, {{"file002", content},
                                        {"FILE001", "first"},
                                        {"File001", "second"},  // the same name
                                        {"EMPTY", ""}});
    EXPECT_EQ(Find(after, "FILE002"), content);
    EXPECT_EQ(Find(after, "FILE001"), "second");
    EXPECT_EQ(Find(after, "EMPTY"), "");
    PeResourceList list;
    ASSERT_TRUE(Read(after, &list));
    EXPECT_EQ(list.size(), TypicalLeaves().size() + 2);
    for (const Leaf& leaf : TypicalLeaves()) {
        if (leaf.nameText == u"FILE001" && leaf.language == 0) continue;
        int found = 0;
        for (const PeResource& r : list) {
            if (r.type.text != leaf.typeText || (leaf.typeText.empty() && r.type.id != leaf.typeId) ||
                r.name.text != leaf.nameText || (leaf.nameText.empty() && r.name.id != leaf.nameId) ||
                r.language != leaf.language)
                continue;
            found++;
            EXPECT_EQ(after.substr(r.offset, r.size), leaf.data);
            EXPECT_EQ(r.codePage, 1252u);
        }
        EXPECT_EQ(1, found) << Narrow(leaf.nameText) << leaf.nameId << "/" << leaf.language;
    }
    for (const PeResource& r : list) EXPECT_EQ(r.offset % 8, 0u);

    // No data deletes, as the platform's updater does; bad names are refused.
    WriteFile(target, after);
    PeUpdate* update = BeginPeUpdate(target.string().c_str());
    ASSERT_NE(update, nullptr);
    EXPECT_TRUE(AddPeResourceBytes(update, "TITLE", nullptr, 0));
    EXPECT_FALSE(AddPeResourceBytes(update, "README", nullptr, 4));
    for (const char* bad : {"", "#10", "caf\xE9"}) EXPECT_FALSE(AddPeResourceBytes(update, bad, "x", 1));
    ASSERT_TRUE(EndPeUpdate(update, 0));
    after = ReadFile(target);
    EXPECT_EQ(Find(after, "TITLE"), "<absent>");
    EXPECT_EQ(Find(after, "FILE000"), "old record 0");
}

static uint32_t ReadString(void* context, void* buffer, uint32_t count) {
    std::string* rest = static_cast<std::string*>(context);
    uint32_t n = std::min<uint32_t>(count, uint32_t(rest->size()));
    memcpy(buffer, rest->data(), n);
    rest->erase(0, n);
    return n;
}

TEST_P(PeWriter, DiscardAndShrinkingSourcesLeaveNoTrace) {
    std::string before = Image(TypicalLeaves(), ImageOptions{true, true, 0x1234, 0x400, "odd", false});
    WriteFile(target, before);
    PeUpdate* update = BeginPeUpdate(target.string().c_str());
    ASSERT_NE(update, nullptr);
    EXPECT_TRUE(fs::exists(target.string() + ".tmp"));
    EXPECT_TRUE(AddPeResourceBytes(update, "FILE000", "new", 3));
    EXPECT_TRUE(EndPeUpdate(update, 1));
    EXPECT_EQ(ReadFile(target), before);
    EXPECT_FALSE(fs::exists(target.string() + ".tmp"));

    // A failed add is written over: the commit comes out as if it never
    // happened, its bytes counted in no checksum and left in no tail.
    update = BeginPeUpdate(target.string().c_str());
    ASSERT_NE(update, nullptr);
    std::string shortSource(1000, 's');
    EXPECT_FALSE(AddPeResourceFromStream(update, "FILE000", "h", 1, ReadString, &shortSource, 5000));
    EXPECT_TRUE(AddPeResourceBytes(update, "ODD", "odd length", 11));
    EXPECT_TRUE(EndPeUpdate(update, 0));
    std::string after = ReadFile(target);
    EXPECT_EQ(Find(after, "FILE000"), "old record 0");
    EXPECT_EQ(Find(after, "ODD"), std::string("odd length", 11));
    EXPECT_EQ(Get32(after, kOpt + 64), Checksum(after));
    EXPECT_EQ(after.substr(after.size() - 3), "odd");
    EXPECT_EQ(after.find(std::string(1000, 's')), std::string::npos);
    // A checksum of 0 stays 0.
    after = Update(Image(TypicalLeaves()), {{"ODD", "odd length"}});
    EXPECT_EQ(Get32(after, kOpt + 64), 0u);
}

TEST_P(PeWriter, WritesTablesInTheOrderTheLoaderSearches) {
    std::vector<Leaf> leaves = {  // given out of order on purpose
        Leaf{24, u"", 1, u"", 0, "manifest"}, RcData("TITLE", "t"), RcData("B", "b"),
        RcData("ABC", "abc"), RcData("AB", "ab"), Leaf{10, u"", 7, u"", 0, "seven"},
        Leaf{10, u"", 3, u"", 0, "three"}, Leaf{3, u"", 2, u"", 1049, "icon ru"},
        Leaf{3, u"", 2, u"", 1033, "icon en"}, Leaf{0, u"ZZ", 1, u"", 0, "zz"},
        Leaf{0, u"PNG", 1, u"", 0, "png"}};
    std::string after = Update(Image(leaves), {{"A", "a"}});
    PeResourceList list;
    ASSERT_TRUE(Read(after, &list));
    EXPECT_EQ(Keys(list), (std::vector<std::string>{
                              "PNG/1/0", "ZZ/1/0", "3/2/1033", "3/2/1049", "10/A/0", "10/AB/0",
                              "10/ABC/0", "10/B/0", "10/TITLE/0", "10/3/0", "10/7/0", "24/1/0"}));
    // The root table counts its named and numbered entries apart.
    size_t section = Sections() + 40;
    size_t root = Get32(after, section + 20) + Get32(after, Dir(2)) - Get32(after, section + 12);
    EXPECT_EQ(Get16(after, root + 12), 2u);
    EXPECT_EQ(Get16(after, root + 14), 3u);
}

TEST_P(PeWriter, ReplacesALastResourceSectionInPlace) {
    std::string after = Update(Image(TypicalLeaves()), {{"HEADER", "0123456789abcdef"}});
    ASSERT_EQ(Get16(after, kPeOffset + 6), 2u);
    size_t rsrc = Sections() + 40;
    EXPECT_EQ(after.substr(rsrc, 6), std::string(".rsrc\0", 6));
    EXPECT_EQ(Get32(after, rsrc + 12), 0x2000u);
    EXPECT_EQ(Get32(after, rsrc + 20) % 0x1000, 0u);  // page-aligned in the file
    EXPECT_EQ(Get32(after, rsrc + 16) % 0x200, 0u);
    EXPECT_EQ(Get32(after, rsrc + 36), 0x40000040u);
    EXPECT_EQ(after.size(), Get32(after, rsrc + 20) + Get32(after, rsrc + 16));
    EXPECT_EQ(Get32(after, kOpt + 56), Align(0x2000 + Get32(after, rsrc + 8), 0x1000));
    // SizeOfInitializedData counts the new section instead of the old one.
    EXPECT_EQ(Get32(after, kOpt + 8), Get32(after, rsrc + 16));
    EXPECT_EQ(Find(after, "HEADER"), "0123456789abcdef");
    // Another table (here the imports) inside the resource section would be
    // lost with it: the new section goes after it instead.
    for (const auto& table : {std::pair<uint32_t, uint32_t>{0x2010, 3}, {0x1000, 2}, {0x3000, 2}}) {
        std::string image = Image(TypicalLeaves());
        Put32(&image, Dir(1), table.first);
        Put32(&image, Dir(1) + 4, 16);
        EXPECT_EQ(Get16(Update(image, {{"HEADER", "x"}}), kPeOffset + 6), table.second);
    }
}

TEST_P(PeWriter, AppendsASectionWhenResourcesAreNotLastOrMissing) {
    ImageOptions o;
    o.sectionAfterResources = true;
    o.tail = "SYMBOLS-AND-STRINGS";
    o.tailIsSymbolTable = true;
    std::string before = Image(TypicalLeaves(), o);
    std::string after = Update(before, {{"HEADER", "0123456789abcdef"}});
    ASSERT_EQ(Get16(after, kPeOffset + 6), 4u);
    size_t added = Sections() + 40 * 3;
    uint32_t raw = Get32(after, added + 20);
    EXPECT_EQ(after.substr(added, 8), std::string(".rsrc\0\0\0", 8));
    EXPECT_EQ(Get32(after, added + 12), 0x4000u);  // after .data
    EXPECT_EQ(raw % 0x1000, 0u);
    uint32_t rootRva = Get32(after, Dir(2));
    EXPECT_GE(rootRva, 0x4000u);
    EXPECT_LT(rootRva, 0x4000u + Get32(after, added + 8));
    // Everything before the new section is the old image, headers aside;
    // the tail follows the section, and the symbol pointer follows the tail.
    EXPECT_EQ(after.substr(0x400, 0x800), before.substr(0x400, 0x800));
    uint32_t tail = raw + Get32(after, added + 16);
    EXPECT_EQ(after.substr(tail), o.tail);
    EXPECT_EQ(Get32(after, kPeOffset + 12), tail);
    EXPECT_EQ(Find(after, "FILE000"), "old record 0");
    EXPECT_EQ(Find(after, "HEADER"), "0123456789abcdef");

    ImageOptions none;
    none.resources = false;
    after = Update(Image({}, none), {{"TITLE", "New"}});
    EXPECT_EQ(Find(after, "TITLE"), "New");
    EXPECT_EQ(Get16(after, kPeOffset + 6), 2u);
    // No room for one more section header: refused, the target untouched.
    o.sizeOfHeaders = Sections() + 40 * 3;
    EXPECT_EQ(Update(Image(TypicalLeaves(), o), {}), "<failed>");
}

TEST_P(PeWriter, DropsTheSignatureOfASignedTargetWithItsEntry) {
#ifdef _WIN32
    GTEST_SKIP() << "openssl and osslsigncode are Linux programs here";
#endif
    const std::string d = dir.path().string() + "/";
    auto run = [](const std::string& command) {
        return std::system((command + " >/dev/null 2>&1").c_str());
    };
    ASSERT_EQ(run("openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=throwaway -days 1 -keyout " +
                  d + "key.pem -out " + d + "cert.pem"), 0);
    const std::string sign = "osslsigncode sign -certs " + d + "cert.pem -key " + d + "key.pem";
    const std::string plain = Image(TypicalLeaves());
    WriteFile(d + "plain.exe", plain);
    ASSERT_EQ(run(sign + " -in " + d + "plain.exe -out " + d + "signed.exe"), 0);
    const size_t certificateEntry = Dir(4);
    ASSERT_NE(Get32(ReadFile(d + "signed.exe"), certificateEntry + 4), 0u);
    const std::string rebuilt = Update(ReadFile(d + "signed.exe"), {{"HEADER", "0123456789abcdef"}});
    EXPECT_EQ(Get32(rebuilt, certificateEntry), 0u);
    EXPECT_EQ(Get32(rebuilt, certificateEntry + 4), 0u);
    EXPECT_EQ(rebuilt.size(), Update(plain, {{"HEADER", "0123456789abcdef"}}).size());
    WriteFile(d + "rebuilt.exe", rebuilt);
    EXPECT_EQ(run(sign + " -in " + d + "rebuilt.exe -out " + d + "resigned.exe"), 0);
    EXPECT_EQ(run("osslsigncode verify -CAfile " + d + "cert.pem -in " + d + "resigned.exe"), 0);
}

TEST_P(PeWriter, RefusesTargetsItCannotUpdate) {
    std::string missing = (dir.path() / "missing.exe").string();
    EXPECT_EQ(BeginPeUpdate(missing.c_str()), nullptr);
    for (const std::string& bad : {std::string("MZ"), Image(TypicalLeaves()).substr(0, 0x700)})
        EXPECT_EQ(Update(bad, {}), "<failed>");
    // Damaged images never crash the writer, and a failure keeps the target.
    std::string image = Image(TypicalLeaves());
    uint32_t seed = 12345;
    for (int round = 0; round < 200; round++) {
        std::string bad = image;
        for (int k = 0; k < 4; k++) {
            seed = seed * 1103515245 + 12345;
            bad[(seed >> 8) % 0x800] = char(seed >> 24);  // headers and resource tree
        }
        std::string after = Update(bad, {{"HEADER", "0123456789abcdef"}});
        if (after != "<failed>") {
            EXPECT_EQ(Find(after, "HEADER"), "0123456789abcdef");
        }
    }
}
