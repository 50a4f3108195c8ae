#include <gtest/gtest.h>
#include <cstring>
#include "builder/folder_scan.h"
#include "builder/package_writer.h"
#include "frame/modes.h"
#include "package/package_info.h"
#include "pe/pe_resources.h"
#include "tests/unit/pe_test_images.h"
#include "tests/unit/test_support.h"

// A build directory with "Update.exe"; builds in it as the build mode does.
class PackageWriter : public ::testing::Test {
protected:
    void SetUp() override { MakeTargetExecutable(exe()); }
    fs::path exe() const { return dir.path() / "Update.exe"; }
    // Builds the folder's package from another working directory.
    int Build(BuildProgressHook progress = nullptr, void* context = nullptr) {
        TempFolder elsewhere;
        WorkingDirectory cwd(elsewhere.path());
        std::string folder = dir.native();
        BuildRequest request = MakeBuildRequest(folder.c_str());
        request.progress = progress;
        request.progressContext = context;
        return BuildPackage(&request, &report);
    }
    int RunMode() {
        WorkingDirectory cwd(dir.path());
        return RunBuildMode();
    }
    std::string Resource(const char* name) { return ReadResource(exe(), name); }
    void Put(const std::string& relative, const std::string& content) {
        WriteFile(dir.path() / "Update" / relative, content);
    }
    TempFolder dir;
    BuildReport report;
};

// The last progress told: files and bytes done, and of all.
static void KeepProgress(void* context, uint32_t filesDone, uint32_t fileCount,
                         uint64_t bytesDone, uint64_t bytesTotal) {
    *static_cast<std::vector<uint64_t>*>(context) = {filesDone, fileCount, bytesDone, bytesTotal};
}

TEST_F(PackageWriter, PacksRecordsInScanOrderThenTheHeader) {
    Put("a.txt", "1234567890");
    Put("s/empty.dat", "");
    uint64_t before = GetSystemFileTime();
    std::vector<uint64_t> progress;
    ASSERT_TRUE(Build(KeepProgress, &progress));
    EXPECT_EQ((std::vector<uint64_t>{2, 2, 36, 36}), progress);
    EXPECT_EQ(std::string("\x0b\0\0\0s\\empty.dat\0", 16), Resource("FILE000"));
    EXPECT_EQ(std::string("\x05\0\0\0a.txt\0" "1234567890", 20), Resource("FILE001"));
    std::string header = Resource("HEADER");
    EXPECT_EQ(MakeHeader(2, 10, report.header.buildTime), header);
    EXPECT_GE(report.header.buildTime, before);
    EXPECT_LE(report.header.buildTime, GetSystemFileTime());
    EXPECT_EQ("<absent>", Resource("TITLE"));
    EXPECT_EQ("<absent>", Resource("README"));
}

TEST_F(PackageWriter, TitleFileGivesTitleAndReadmeAndARebuildKeepsThem) {
    for (int i = 0; i < 5; i++) Put("f" + std::to_string(i) + ".txt", "x");
    WriteFile(dir.path() / "title.txt", "My Patch\r\nreadme.txt\r\n");
    ASSERT_TRUE(Build());
    EXPECT_EQ("My Patch", Resource("TITLE"));
    EXPECT_EQ("readme.txt", Resource("README"));
    // Fewer files and no title file: the old records, title and readme stay,
    // and the header's count decides what is installed.
    fs::remove_all(dir.path() / "Update");
    fs::remove(dir.path() / "title.txt");
    for (int i = 0; i < 3; i++) Put("g" + std::to_string(i) + ".txt", "yy");
    ASSERT_TRUE(Build());
    for (const char* old : {"FILE003", "FILE004"})
        EXPECT_EQ(std::string("\x06\0\0\0f", 5), Resource(old).substr(0, 5)) << old;
    EXPECT_EQ(3u, report.header.fileCount);
    EXPECT_EQ("My Patch", Resource("TITLE"));
    EXPECT_EQ("readme.txt", Resource("README"));
    // An empty first line writes the readme name only.
    WriteFile(dir.path() / "title.txt", "\r\nnotes.txt");
    ASSERT_TRUE(Build());
    EXPECT_EQ("My Patch", Resource("TITLE"));
    EXPECT_EQ("notes.txt", Resource("README"));
}

TEST_F(PackageWriter, FailuresLeaveTheTargetAsItWasAndSayWhy) {
    std::string before = ReadFile(exe());
    const struct {
        const char* file;
        uint64_t size;
        const char* failure;  // the start of the message; "" for a silent failure
    } cases[] = {
        {nullptr, 0, "0 files found!"},
        {"huge.bin", 1792ull << 20, "The package would be too large to run: 1792 MiB of files, "
                                    "but an update executable can carry at most 1792 MiB."},
        {"giant.bin", 4ull << 30, "This file is too large to be packed"},
    };
    for (const auto& c : cases) {
        fs::remove_all(dir.path() / "Update");
        if (c.file) {
            Put("small.txt", "x");
            Put(c.file, "");
            fs::resize_file(dir.path() / "Update" / c.file, c.size);  // sparse
        }
        EXPECT_FALSE(Build()) << c.failure;
        EXPECT_EQ(0u, std::string(report.failure).find(c.failure)) << report.failure;
        if (c.file && c.size >> 32) {
            EXPECT_NE(std::string::npos, std::string(report.failure).find(c.file));
        }
        EXPECT_EQ(before, ReadFile(exe()));
        EXPECT_FALSE(fs::exists(dir.path() / "Update.exe.tmp"));
    }
}

TEST_F(PackageWriter, RecordsKeptFromAnEarlierBuildCountTowardsTheSizeLimit) {
    // An earlier build's FILE001 of 1000 MiB: its data runs from the section's
    // last bytes into a sparse end of the file.
    using namespace pe_test;
    std::string image = MakeImage({RcData("FILE000", "a"), RcData("FILE001", "kept")});
    Put32(&image, image.find(std::string("\4\0\0\0\xE4\4\0\0", 8)), 1000u << 20);
    const size_t rsrc = kOpt + kPe32.optionalSize + 40;
    Put32(&image, rsrc + 8, 1001u << 20);
    Put32(&image, rsrc + 16, 1001u << 20);
    WriteFile(exe(), image);
    const uint64_t size = Get32(image, rsrc + 20) + (1001ull << 20);
    fs::resize_file(exe(), size);
    Put("new.bin", "");
    fs::resize_file(dir.path() / "Update" / "new.bin", 800u << 20);
    EXPECT_FALSE(Build());
    EXPECT_STREQ("The package would be too large to run: 800 MiB of files and 1000 MiB kept "
                 "from an earlier build, but an update executable can carry at most 1792 MiB.",
                 report.failure);
    EXPECT_EQ(size, fs::file_size(exe()));
    EXPECT_FALSE(fs::exists(dir.path() / "Update.exe.tmp"));
}

TEST_F(PackageWriter, MissingExecutableNamesItInASecondBox) {
    Put("a.txt", "a");
    fs::remove(exe());
    EXPECT_FALSE(Build());
    EXPECT_STREQ("Can''t find / open(for writing) executable!", report.failure);
    EXPECT_EQ((dir.path() / "Update.exe").string(), report.detail);  // one kind of separator
}

// Cuts "Update/big.bin" short once its record's head is written.
static void CutShort(void* context, uint32_t, uint32_t, uint64_t bytesDone, uint64_t) {
    if (bytesDone < 100) fs::resize_file(*static_cast<fs::path*>(context), 10);
}

// The build mode says nothing of these; the cause names the file and why.
TEST_F(PackageWriter, AFileThatCantBeReadFailsSilentlyWithItsCause) {
    Put("a.txt", "a");
    PeUpdate* update = BeginPeUpdate(exe().string().c_str());
    ASSERT_NE(nullptr, update);
    report = BuildReport();
    std::string folder = dir.native();
    BuildRequest request = MakeBuildRequest(folder.c_str());
    BuildRun run = {&request, &report, 0, 1, 0, 0};
    EXPECT_FALSE(AddPayloadFile(update, dir.native("Update\\missing.txt").c_str(), "missing.txt",
                                0, &run));
    EXPECT_TRUE(AddPayloadFile(update, dir.native("Update\\a.txt").c_str(), "a.txt", 0, &run));
    EXPECT_STREQ("", report.failure);
    EXPECT_TRUE(EndPeUpdate(update, 1));
    std::string before = ReadFile(exe());
    fs::remove(dir.path() / "Update" / "a.txt");
    Put("big.bin", std::string(5000, 'b'));
    fs::path big = dir.path() / "Update" / "big.bin";
    EXPECT_FALSE(Build(CutShort, &big));
    EXPECT_EQ(big.string() + " shrank while it was packed: it has 10 bytes now, 5000 when the "
              "build began", report.cause);
    fs::remove(big);
    std::error_code error;  // listed by the scan, but it can't be opened
    fs::create_symlink(dir.path() / "nowhere", dir.path() / "Update" / "gone.txt", error);
    EXPECT_TRUE(error || !Build());
    EXPECT_TRUE(error || report.cause == (dir.path() / "Update" / "gone.txt").string() +
                " can't be opened: nothing is there, or a link that leads nowhere") << report.cause;
    EXPECT_STREQ("", report.failure);
    EXPECT_TRUE(before == ReadFile(exe()));
}

TEST_F(PackageWriter, TheModeShowsTheCountAndBytesOrTheFailure) {
    Put("a.txt", "1234567890");
    Put("b.txt", "12345678901234567890");
    Put("c.txt", "123456789012345678901234567890");
    {
        MessageRecorder shown;
        EXPECT_EQ(kExitSuccess, RunMode());
        ASSERT_EQ(1u, shown.shown.size());
        EXPECT_EQ("3 files (60 bytes) succesfully saved into resources.", shown.shown[0].text);
        EXPECT_EQ("Done", shown.shown[0].title);
        EXPECT_EQ(0u, shown.shown[0].owner);
    }
    fs::remove(exe());
    MessageRecorder shown;
    EXPECT_EQ(kExitFailure, RunMode());
    ASSERT_EQ(2u, shown.shown.size());
    EXPECT_EQ("Can''t find / open(for writing) executable!", shown.shown[0].text);
    EXPECT_EQ((dir.path() / "Update.exe").string(), shown.shown[1].text);
    EXPECT_EQ("Error", shown.shown[1].title);
}

TEST(EraseMode, CountsNoFileWhateverAHeaderSays) {
    PackageHeader loaded = g_PackageHeader;
    g_PackageHeader.fileCount = 7;
    MessageRecorder shown;
    EXPECT_EQ(kExitSuccess, RunEraseMode());
    g_PackageHeader = loaded;
    ASSERT_EQ(1u, shown.shown.size());
    EXPECT_EQ("0 files succesfully removed from resources.", shown.shown[0].text);
}

TEST(BuildDirectory, EndsInOneSeparatorAndLeavesRoomForTheTemporaryImage) {
    const struct {
        std::string text;
        LeadBytePredicate isLeadByte;
        std::string ended;  // "" when refused
    } cases[] = {
        {"C:\\b", NoLeadByte, "C:\\b\\"},
        {"/home/b/", NoLeadByte, "/home/b/"},
        {"C:\\\x95\x5C", Cp932LeadByte, "C:\\\x95\x5C\\"},  // 0x95 0x5C: one character
        {"C:\\\x95\x5C", NoLeadByte, "C:\\\x95\x5C"},
        {"C:\\\x95\x95\x5C", Cp932LeadByte, "C:\\\x95\x95\x5C"},
        // Room for "Update.exe.tmp" and the terminator.
        {std::string(244, 'd'), NoLeadByte, std::string(244, 'd') + "\\"},
        {std::string(245, 'd'), NoLeadByte, ""},
        {std::string(248, 'd') + "\\", NoLeadByte, ""},
    };
    for (const auto& c : cases) {
        char path[kMaxPath];
        snprintf(path, sizeof path, "%s", c.text.c_str());
        uint32_t length = EndBuildDirectory(path, uint32_t(c.text.size()), c.isLeadByte);
        EXPECT_EQ(c.ended, std::string(path, length)) << c.text;
    }
}

TEST(ScanCheck, RefusesMoreFilesThanTheResourceTableHolds) {
    const struct {
        size_t files;
        const char* failure;
    } cases[] = {{65532, ""},
                 {65533, "There are too many files to pack: 65533 files, but a package holds at "
                         "most 65532 files."}};
    for (const auto& c : cases) {
        ScanResult scan = ScanResult();
        scan.names.resize(c.files, "f");
        BuildReport report = BuildReport();
        EXPECT_EQ(!c.failure[0], CheckScanResult(1, scan, &report) != 0) << c.files;
        EXPECT_STREQ(c.failure, report.failure);
    }
}
