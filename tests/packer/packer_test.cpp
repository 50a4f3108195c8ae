// orvanta-pack in process, on both builds (the Windows one under Wine): code
// pages, its text forms, packages damaged by the unit helpers, and a build
// with names beyond ASCII through list, extract and verify.
#include <gtest/gtest.h>
#include <cstring>
#include "delta/delta_encoder.h"
#include "packer/packer.h"
#include "platform/code_pages.h"
#include "platform/files.h"
#include "platform/resources.h"
#include "tests/unit/test_support.h"

// orvanta-pack with these arguments; its standard output into out.
static int Pack(std::vector<std::string> arguments, std::string* out = nullptr) {
    std::vector<char*> argv{const_cast<char*>("orvanta-pack")};
    for (std::string& argument : arguments) argv.push_back(&argument[0]);
    testing::internal::CaptureStdout();
    int status = RunPacker(static_cast<int>(argv.size()), argv.data());
    std::string text = testing::internal::GetCapturedStdout();
    if (out) *out = text;
    return status;
}

TEST(PackerText, CodePagesConvertBothWaysOrRefuse) {
    const struct {
        const char* utf8;
        uint32_t codePage;
        const char* stored;  // nullptr: the code page can't hold it
    } cases[] = {
        {"caf\xC3\xA9.txt", 1252, "caf\xE9.txt"},
        {"\xE2\x82\xAC", 1252, "\x80"},      // the euro sign
        {"\xE3\x82\xBD", 932, "\x83\x5C"},   // its second byte is '\'
        {"\xE6\x97\xA5", 1252, nullptr},
        {"caf\xC3\xA9", 932, nullptr},
    };
    for (const auto& c : cases) {
        std::string stored, back;
        ASSERT_EQ(c.stored != nullptr, ConvertCodePage(c.utf8, kUtf8CodePage, c.codePage, &stored))
            << c.utf8;
        if (!c.stored) continue;
        EXPECT_EQ(c.stored, stored);
        EXPECT_TRUE(ConvertCodePage(stored, c.codePage, kUtf8CodePage, &back));
        EXPECT_EQ(c.utf8, back);
    }
    EXPECT_TRUE(IsKnownCodePage(1252));
    EXPECT_FALSE(IsKnownCodePage(9999));
}

TEST(PackerText, BuildTimesInUtcAndJsonStringsInAscii) {
    const struct {
        uint64_t fileTime;
        const char* text;
    } times[] = {
        {0, "1601-01-01 00:00:00 UTC"},
        {116444736000000000ull, "1970-01-01 00:00:00 UTC"},
        {125963423999999999ull, "2000-02-29 23:59:59 UTC"},
        {~0ull, "60056-05-28 05:36:10 UTC"},
    };
    for (const auto& t : times) {
        char text[40];
        FormatBuildTime(t.fileTime, text, sizeof text);
        EXPECT_STREQ(t.text, text);
    }
    const struct {
        const char* utf8;
        const char* json;
    } strings[] = {
        {"a\"b\\c/d", "\"a\\\"b\\\\c/d\""},
        {"\n\x01\x7f", "\"\\u000a\\u0001\\u007f\""},
        {"caf\xC3\xA9 \xE2\x82\xAC", "\"caf\\u00e9 \\u20ac\""},
        {"\xF0\x9F\x98\x80\xE0\xB8\x81\xF4\x8F\xBF\xBF", "\"\\ud83d\\ude00\\u0e01\\udbff\\udfff\""},
        {"\x80\xC3\xE2\x82 \xC0\xAF \xED\xA0\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd \\ufffd\\ufffd "
                                                   "\\ufffd\\ufffd\\ufffd\""},
    };
    for (const auto& s : strings) {
        std::string json;
        AppendJsonString(&json, s.utf8);
        EXPECT_EQ(s.json, json) << s.utf8;
    }
}

TEST(PackerChecks, DamageIsFlaggedOnItsLineAndFailsEachCheck) {
    TempFolder dir;
    WriteFile(dir.path() / "build" / "Update" / "a.txt", "abc");
    WriteFile(dir.path() / "build" / "Update" / "s" / "b.txt", "de");
    std::string a = MakeRecord("a.txt", "abc"), b = MakeRecord("s\\b.txt", "de");
    const struct {
        std::vector<TestResource> resources;
        int status;
        const char* line;  // of list, with its flag
    } cases[] = {
        {{{"HEADER", MakeHeader(2, 5, 0)}, {"FILE000", a}, {"FILE001", b}}, 0,
         "\n     1            2              2  s\\b.txt\n"},
        {{{"HEADER", MakeHeader(2, 5, 0)}, {"FILE000", a}, {"FILE001", std::string("\x09\0\0\0ab", 6)}},
         1, "\n     1            -              -  FILE001  ! damaged record\n"},
        {{{"HEADER", MakeHeader(3, 5, 0)}, {"FILE000", a}, {"FILE001", b}}, 1,
         "\n     2            -              -  FILE002  ! missing: the header counts 3 files, the package holds 2\n"},
        {{{"HEADER", MakeHeader(2, 6, 0)}, {"FILE000", a}, {"FILE001", b}}, 1,
         "\ntotal bytes: 6  ! the records hold 5 bytes\n"},
        {{{"HEADER", MakeHeader(2, 5, 0)}, {"FILE000", a}, {"FILE001", MakeRecord("..\\b.txt", "de")}},
         1, "\n     1            2              2  ..\\b.txt  ! the updater refuses this name: it points outside"},
        {{{"FILE000", a}}, 1, ""},  // no header: no package
    };
    for (const auto& c : cases) {
        std::string exe = (dir.path() / "Update.exe").string(), out = (dir.path() / "out").string();
        UsePackage(exe, c.resources);
        std::string text, json;
        EXPECT_EQ(c.status, Pack({"list", exe}, &text)) << c.line;
        EXPECT_NE(std::string::npos, text.find(c.line)) << text;
        EXPECT_EQ(c.status, Pack({"verify", exe, (dir.path() / "build").string()})) << c.line;
        testing::internal::CaptureStderr();
        EXPECT_EQ(c.status, Pack({"extract", exe, out})) << c.line;
        std::string error = testing::internal::GetCapturedStderr();
        EXPECT_EQ(strstr(c.line, "total bytes") != nullptr,
                  error.find("total bytes: the records hold 5 bytes") != std::string::npos)
            << error;
        EXPECT_FALSE(fs::exists(dir.path() / "b.txt"));  // nothing outside
        fs::remove_all(out);
    }
}

// Names the updater refuses, or that Windows can't tell apart: build refuses
// them naming the files, before anything is written (where this system can
// hold them apart on its disk); list and verify flag them and exit 1.
TEST(PackerChecks, NamesTheUpdaterRefusesFailBuildListAndVerify) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {  // UTF-8 on the disk
        {{"Readme.txt", "README.txt"}, "has the same name (FILE000)"},
        {{"data/m.map", "Data/m.map"}, "has the same name (FILE000)"},
        {{"caf\xC3\xA9.txt", "CAF\xC3\x89.txt"}, "has the same name (FILE000)"},
        {{"log 12:30.txt"}, "names a stream"}, {{"what?.txt"}, "a character Windows refuses"},
        {{"CON"}, "a device's name"}, {{"end. "}, "ends in a dot or a blank"},
    };
    for (const auto& c : cases) {
        TempFolder dir;
        fs::path build = dir.path() / "build", exe = build / "Update.exe";
        std::vector<TestResource> records = {{"HEADER", MakeHeader(uint32_t(c.first.size()), 0, 0)}};
        int apart = 1;
        for (const std::string& file : c.first) {
            std::string stored;  // the package's names in Windows-1252
            ASSERT_TRUE(ConvertCodePage(file, kUtf8CodePage, 1252, &stored));
            records.push_back(FileRecord(int(records.size() - 1), stored, ""));
            WriteFile(build / "Update" / fs::u8path(file), "");
            apart = apart && ReadTree(build / "Update").count(file);
        }
        MakeTargetExecutable(dir.path() / "stub.exe");
        testing::internal::CaptureStderr();
        if (apart) {
            EXPECT_EQ(255, Pack({"--stub", (dir.path() / "stub.exe").string(), build.string()}));
        }
        std::string error = testing::internal::GetCapturedStderr(), out;
        EXPECT_FALSE(fs::exists(exe));
        for (const std::string& file : c.first)
            EXPECT_TRUE(!apart || error.find(file + "\n") != std::string::npos) << error;
        UsePackage(exe, records);
        EXPECT_EQ(1, Pack({"list", exe.string()}, &out));
        EXPECT_NE(std::string::npos, out.find(c.second)) << out;
        EXPECT_EQ(1, Pack({"verify", exe.string(), build.string()}, &out));
        EXPECT_NE(std::string::npos, out.find("damaged: FILE00")) << out;
        ClosePackage();
    }
}

// What the build mode leaves unsaid, the packer tells on stderr: a name
// shaped like a short name (built all the same), a file it can't open.
TEST(PackerChecks, BuildWarnsOfShortNameShapesAndNamesAFileItCantOpen) {
    TempFolder dir;
    fs::path build = dir.path() / "build", gone = build / "Update" / "gone.txt";
    WriteFile(build / "Update" / "READ~1.TXT", "a");
    MakeTargetExecutable(build / "Update.exe");
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, Pack({"build", build.string()}));
    EXPECT_EQ("Warning: the name of this file is shaped like a short (8.3) name, which on Windows "
              "may be another file's: " + (build / "Update" / "READ~1.TXT").string() + "\n",
              testing::internal::GetCapturedStderr());
    std::error_code error;
    fs::create_symlink(dir.path() / "nowhere", gone, error);
    if (error) GTEST_SKIP() << "no symbolic links here";
    testing::internal::CaptureStderr();
    EXPECT_EQ(255, Pack({"build", build.string()}));
    std::string text = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, text.find("\nError: " + gone.string() + " can't be opened: nothing "
                                           "is there, or a link that leads nowhere\n")) << text;
}

TEST(PackerRoundTrip, NamesBeyondAsciiThroughBuildListExtractAndVerify) {
    std::string cafe;  // "café.txt" as this platform spells file names
    if (!ConvertCodePage("caf\xC3\xA9.txt", kUtf8CodePage, kPlatformCodePage, &cafe))
        GTEST_SKIP() << "this system's code page has no e acute";
    TempFolder dir;  // natively the build directory is longer than a Windows path
    fs::path build = dir.path() / std::string(kNativePathLimit > kMaxPath ? 250 : 1, 'd') / "build";
    fs::path update = build / "Update", exe = build / "Update.exe";
    WriteFile(update / fs::u8path("caf\xC3\xA9.txt"), "abc");
    WriteFile(update / "data" / "b.bin", std::string("x\0y", 3));
    MakeTargetExecutable(dir.path() / "stub.exe");
    std::string out, stub = (dir.path() / "stub.exe").string();
    EXPECT_EQ(255, Pack({"build", "--code-page=932", "--stub", stub, build.string()}));  // no é
    EXPECT_FALSE(fs::exists(exe));  // nor the stub's copy
    ASSERT_EQ(0, Pack({"--stub", stub, build.string()}, &out));
    EXPECT_EQ("Done: 2 files (6 bytes) succesfully saved into resources.\n", out);
    EXPECT_EQ(MakeRecord("caf\xE9.txt", "abc"), ReadResource(exe, "FILE001"));
    std::string built = ReadFile(exe);
    EXPECT_EQ(255, Pack({"build", "--code-page=932", "--stub", stub, build.string()}));  // no é
    EXPECT_EQ(built, ReadFile(exe));
    EXPECT_EQ(0, Pack({"list", exe.string()}, &out));
    EXPECT_NE(std::string::npos, out.find("\n     1            3              3  " + cafe + "\n")) << out;
    EXPECT_EQ(0, Pack({"extract", exe.string(), (dir.path() / "out").string()}));
    EXPECT_EQ("abc", ReadFile(dir.path() / "out" / fs::u8path("caf\xC3\xA9.txt")));
    EXPECT_EQ(std::string("x\0y", 3), ReadFile(dir.path() / "out" / "data" / "b.bin"));
    EXPECT_EQ(0, Pack({"verify", exe.string(), build.string()}));
    std::error_code error;  // a link in the place of a name's part is not written through
    fs::path linked = dir.path() / "linked", elsewhere = dir.path() / "elsewhere";
    fs::create_directories(elsewhere);
    fs::create_directories(linked);
    fs::create_directory_symlink(elsewhere, linked / "data", error);
    fs::create_symlink(elsewhere / "c.txt", linked / fs::u8path("caf\xC3\xA9.txt"), error);
    if (!error) {
        EXPECT_EQ(1, Pack({"extract", exe.string(), linked.string()}));
    }
    EXPECT_TRUE(fs::is_empty(elsewhere));
    WriteFile(update / "data" / "b.bin", "xzy");
    WriteFile(update / "new.txt", "n");
    fs::remove(update / fs::u8path("caf\xC3\xA9.txt"));
    EXPECT_EQ(1, Pack({"verify", exe.string(), build.string()}, &out));
    EXPECT_EQ("different: data\\b.bin\nmissing: new.txt\nextra: " + cafe + "\n", out);
}

// Compressed where smaller: text is, noise and an empty file are stored;
// only an update program that names zlib among its formats gets them.
TEST(PackerRoundTrip, CompressedBuildListExtractVerifyAndTheOldStubRefused) {
    TempFolder dir;
    fs::path build = dir.path() / "build", update = build / "Update", exe = build / "Update.exe";
    std::string text, noise;
    for (int i = 0; i < 9000; i++) text += "line " + std::to_string(i) + "\n";
    for (uint32_t i = 0, x = 1; i < 5000; i++, x = x * 1103515245 + 12345) noise += char(x >> 23);
    WriteFile(update / "text.txt", text);
    WriteFile(update / "noise.bin", noise);
    WriteFile(update / "empty.dat", "");
    std::string old = (dir.path() / "old.exe").string(), stub = (dir.path() / "stub.exe").string();
    UsePackage(old, {{"FORMATS", "stored"}});
    UsePackage(stub, {{"FORMATS", "stored zlib"}});
    SelectPackageImage(nullptr);
    EXPECT_EQ(255, Pack({"build", "--compress", "--stub", old, build.string()}));
    EXPECT_FALSE(fs::exists(exe));
    std::string out;
    ASSERT_EQ(0, Pack({"build", "--compress", "--stub", stub, build.string()}));
    EXPECT_EQ(0, Pack({"list", exe.string()}, &out));
    for (std::string line : std::vector<std::string>{"  " + std::to_string(text.size()) + " ",
         "  5000           5000  noise.bin\n",
                             "     0              0  empty.dat\n", " z  text.txt\n"})
        EXPECT_NE(std::string::npos, out.find(line)) << line << out;
    EXPECT_EQ(0, Pack({"extract", exe.string(), (dir.path() / "out").string()}));
    EXPECT_EQ((std::map<std::string, std::string>{
                  {"empty.dat", ""}, {"noise.bin", noise}, {"text.txt", text}}),
              ReadTree(dir.path() / "out"));
    EXPECT_EQ(0, Pack({"verify", exe.string(), build.string()}));
    std::string stream = Deflate(text);
    stream[stream.size() / 2] ^= 1;
    UsePackage(exe, {{"HEADER", MakeHeader(1, uint32_t(text.size()), 0)},
                     {"FILE000", MakeCompressedRecord("text.txt", stream, uint32_t(text.size()))}});
    EXPECT_EQ(1, Pack({"verify", exe.string(), build.string()}, &out));
    EXPECT_NE(std::string::npos, out.find("damaged: text.txt: its compressed content is damaged\n")) << out;
    EXPECT_EQ(1, Pack({"extract", exe.string(), (dir.path() / "bad").string()}));
    EXPECT_FALSE(fs::exists(dir.path() / "bad" / "text.txt"));
}

TEST(PackerCommandLine, HelpVersionAndWrongUsage) {
    std::string out;
    const struct {
        std::vector<std::string> arguments;
        int status;
        const char* output;  // the start of standard output
    } cases[] = {
        {{"--help"}, 0, "Usage: orvanta-pack [build] [DIR]"},
        {{"verify", "--help"}, 0, "Usage: orvanta-pack verify UPDATE.EXE BUILD-DIR"},
        {{"--version"}, 0, "orvanta-pack 1."},
        {{"list"}, 2, ""},
        {{"build", "a", "b"}, 2, ""},
        {{"list", "--stub", "x", "a"}, 2, ""},
        {{"--code-page", "9999", "x"}, 2, ""},
        {{"--code-page"}, 2, ""},
        {{"--bogus"}, 2, ""},
        {{"list", "no-such.exe"}, 2, ""},
        {{"build", "no-such-folder"}, 2, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.status, Pack(c.arguments, &out)) << c.arguments[0];
        EXPECT_EQ(0u, out.find(c.output)) << out;
    }
}

// A file whose bytes repeat an earlier file's is sent once into a program
// that takes repeats (its other names point to the first), and whole, with
// a note, into one that doesn't; either way every name gets its bytes.
TEST(PackerRoundTrip, RepeatedFilesAreSentOnceWhereTheProgramTakesThem) {
    TempFolder dir;
    fs::path build = dir.path() / "build", update = build / "Update", exe = build / "Update.exe";
    std::string noise;
    for (uint32_t i = 0, x = 7; i < 5000; i++, x = x * 1103515245 + 12345) noise += char(x >> 23);
    std::map<std::string, std::string> files = {
        {"a.bin", noise}, {"sub/b.bin", noise}, {"c.txt", std::string(3000, 'c')},
        {"d.txt", std::string(3000, 'c')}, {"e.txt", noise.substr(1)}, {"t1", "tiny"}, {"t2", "tiny"}};
    for (const auto& f : files) WriteFile(update / f.first, f.second);
    const struct {
        const char* formats;
        size_t repeats;  // list lines that point to another record
        size_t noted;
    } cases[] = {{"stored zlib same", 2, 0}, {"stored zlib", 0, 1}};
    for (const auto& c : cases) {
        std::string stub = (dir.path() / "stub.exe").string(), out;
        UsePackage(stub, {{"FORMATS", c.formats}});
        SelectPackageImage(nullptr);
        fs::remove(exe);
        testing::internal::CaptureStderr();
        ASSERT_EQ(0, Pack({"build", "--compress", "--quiet", "--stub", stub, build.string()}));
        std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_EQ(c.noted, errors.find("Note: 2 files repeat") != std::string::npos) << errors;
        EXPECT_EQ(0, Pack({"list", exe.string()}, &out));
        size_t pointers = 0;
        for (size_t at = 0; (at = out.find("  = ", at)) != std::string::npos; at++) pointers++;
        EXPECT_EQ(c.repeats, pointers) << out;
        fs::remove_all(dir.path() / "out");
        EXPECT_EQ(0, Pack({"extract", exe.string(), (dir.path() / "out").string()}));
        EXPECT_EQ(files.size(), ReadTree(dir.path() / "out").size() - 1);  // "sub/" too
        for (const auto& f : files) EXPECT_TRUE(f.second == ReadFile(dir.path() / "out" / f.first)) << f.first;
        EXPECT_EQ(0, Pack({"verify", exe.string(), build.string()}));
    }
}

// A patch made from a release: the changed files as deltas, the same ones
// left out and listed, the new ones whole; an update program without
// deltas refused; verify and extract need the release's files and check
// the deltas against them. The Windows packer has no encoder and says so.
TEST(PackerRoundTrip, AReleaseMakesDeltasLeavesTheSameOutAndIsNeededToVerify) {
    TempFolder dir;
    fs::path old = dir.path() / "old", build = dir.path() / "build", update = build / "Update";
    std::string noise, text;
    for (uint32_t i = 0, x = 3; i < 65536; i++, x = x * 1103515245 + 12345) noise += char(x >> 23);
    for (int i = 0; i < 4000; i++) text += "line " + std::to_string(i) + "\n";
    std::string noise2 = noise, text2 = text;
    noise2[100] ^= 1;
    noise2[40000] ^= 7;
    text2.replace(text2.find("line 2000"), 9, "line two thousand");
    WriteFile(old / "a.bin", noise);
    WriteFile(old / "same.txt", "the same in both");
    WriteFile(old / "t" / "text.txt", text);
    std::map<std::string, std::string> fresh = {{"a.bin", noise2}, {"same.txt", "the same in both"},
                                                {"t/text.txt", text2}, {"new.txt", "new"}};
    for (const auto& f : fresh) WriteFile(update / f.first, f.second);
    std::string stub = (dir.path() / "stub.exe").string(), older = (dir.path() / "older.exe").string();
    UsePackage(stub, {{"FORMATS", "stored zlib same delta"}});
    UsePackage(older, {{"FORMATS", "stored zlib same"}});
    SelectPackageImage(nullptr);
    std::string exe = (build / "Update.exe").string(), out;
    if (!kDeltaEncoderPresent) {
        EXPECT_EQ(2, Pack({"build", "--from", old.string(), "--stub", stub, build.string()}));
        return;
    }
    EXPECT_EQ(255, Pack({"build", "--from", old.string(), "--stub", older, build.string()}));
    EXPECT_FALSE(fs::exists(exe));
    ASSERT_EQ(0, Pack({"build", "--from", old.string(), "--stub", stub, build.string()}, &out));
    EXPECT_NE(std::string::npos, out.find(": 1 files left out as unchanged, 2 sent as deltas (")) << out;
    EXPECT_NE(std::string::npos, out.find("), 1 sent whole\n")) << out;
    ASSERT_EQ(0, Pack({"list", exe}, &out));
    EXPECT_NE(std::string::npos, out.find("unchanged: 1 files")) << out;
    EXPECT_NE(std::string::npos, out.find(" d  a.bin\n")) << out;
    EXPECT_EQ(std::string::npos, out.find("same.txt")) << out;
    EXPECT_EQ(2, Pack({"verify", exe, build.string()}));
    EXPECT_EQ(0, Pack({"verify", "--from", old.string(), exe, build.string()}));
    WriteFile(update / "same.txt", "changed after all");
    EXPECT_EQ(1, Pack({"verify", "--from", old.string(), exe, build.string()}, &out));
    EXPECT_NE(std::string::npos, out.find("different: same.txt\n")) << out;
    WriteFile(old / "a.bin", noise2);  // not the release the delta was made from
    EXPECT_EQ(1, Pack({"verify", "--from", old.string(), exe, build.string()}, &out));
    EXPECT_NE(std::string::npos, out.find("damaged: a.bin: its delta")) << out;
    WriteFile(old / "a.bin", noise);
    EXPECT_EQ(2, Pack({"extract", exe, (dir.path() / "x").string()}));
    EXPECT_EQ(0, Pack({"extract", "--from", old.string(), exe, (dir.path() / "out").string()}));
    fresh.erase("same.txt");
    for (const auto& f : fresh) EXPECT_TRUE(f.second == ReadFile(dir.path() / "out" / f.first)) << f.first;
}
