// Our resource-section writer against the platform's own resource update,
// kept here as the reference: for the same build, both executables hold the
// same resources, every type, name and language, byte for byte.
#include <windows.h>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include "builder/package_writer.h"
#include "tests/unit/test_support.h"

namespace {

typedef std::map<std::string, std::string> ResourceMap;  // "type/name/lang" -> bytes

std::string Key(LPCSTR id) {
    return IS_INTRESOURCE(id) ? "#" + std::to_string(reinterpret_cast<uintptr_t>(id)) : id;
}

struct Walk {
    HMODULE module;
    ResourceMap* out;
    std::string type, name;
};

BOOL CALLBACK OnLanguage(HMODULE module, LPCSTR type, LPCSTR name, WORD language, LONG_PTR p) {
    Walk* walk = reinterpret_cast<Walk*>(p);
    HRSRC found = FindResourceExA(module, type, name, language);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    std::string key = walk->type + "/" + walk->name + "/" + std::to_string(language);
    (*walk->out)[key] = bytes ? std::string(bytes, SizeofResource(module, found)) : "<unreadable>";
    return TRUE;
}

BOOL CALLBACK OnName(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR p) {
    Walk* walk = reinterpret_cast<Walk*>(p);
    walk->name = Key(name);
    EnumResourceLanguagesA(module, type, name, OnLanguage, p);
    return TRUE;
}

BOOL CALLBACK OnType(HMODULE module, LPSTR type, LONG_PTR p) {
    Walk* walk = reinterpret_cast<Walk*>(p);
    walk->type = Key(type);
    EnumResourceNamesA(module, type, OnName, p);
    return TRUE;
}

ResourceMap ReadAll(const fs::path& image) {
    ResourceMap all;
    HMODULE module = LoadLibraryExA(image.string().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return all;
    Walk walk{module, &all, "", ""};
    EnumResourceTypesA(module, OnType, reinterpret_cast<LONG_PTR>(&walk));
    FreeLibrary(module);
    return all;
}

// The package made again from the build directory's files, independently
// of our writer, and written with the platform's resource update. Only the
// order of the records and the header (which holds the build time) are
// taken from our build.
int WriteWithPlatform(const fs::path& image, const fs::path& buildDir, const ResourceMap& built) {
    ResourceMap package;
    for (const auto& r : built) {
        if (r.first.rfind("#10/FILE", 0) != 0) continue;
        std::string name = r.second.substr(4, r.second.find('\0', 4) - 4);
        std::string onDisk = name;
        for (char& c : onDisk)
            if (c == '\\') c = '/';
        package[r.first.substr(4, 7)] = MakeRecord(name, ReadFile(buildDir / "Update" / onDisk));
    }
    package["HEADER"] = built.at("#10/HEADER/0");
    package["TITLE"] = "Oracle title";
    package["README"] = "readme.txt";
    HANDLE update = BeginUpdateResourceA(image.string().c_str(), FALSE);
    if (!update) return 0;
    for (auto& r : package)
        UpdateResourceA(update, RT_RCDATA, r.first.c_str(), 0, &r.second[0], r.second.size());
    return EndUpdateResourceA(update, FALSE);
}

}  // namespace

TEST(PlatformOracle, OurBuildHoldsWhatThePlatformUpdateWouldWrite) {
    TempFolder ours, reference;
    MakeTargetExecutable(ours.path() / "Update.exe");
    MakeTargetExecutable(reference.path() / "Update.exe");
    WriteFile(ours.path() / "Update" / "a.txt", "abc");
    WriteFile(ours.path() / "Update" / "sub" / "big.bin", std::string(300000, '\x5a'));
    WriteFile(ours.path() / "Update" / "sub" / "empty.dat", "");
    WriteFile(ours.path() / "title.txt", "Oracle title\r\nreadme.txt\r\n");
    std::string folder = ours.native();
    BuildRequest request = MakeBuildRequest(folder.c_str());
    BuildReport report;
    ASSERT_TRUE(BuildPackage(&request, &report));

    ResourceMap built = ReadAll(ours.path() / "Update.exe");
    ASSERT_TRUE(built.count("#10/FILE002/0"));
    ASSERT_TRUE(built.count("#10/HEADER/0"));
    ASSERT_TRUE(WriteWithPlatform(reference.path() / "Update.exe", ours.path(), built));
    ResourceMap expected = ReadAll(reference.path() / "Update.exe");
    EXPECT_EQ(expected.size(), built.size());
    for (const auto& r : expected) {
        ASSERT_TRUE(built.count(r.first)) << r.first;
        EXPECT_TRUE(built[r.first] == r.second) << r.first;
    }
    // The window's own resources came through untouched.
    EXPECT_TRUE(built.count("#5/IDD_MAINFORM/1033"));
    EXPECT_TRUE(built.count("#2/#104/1033") || built.count("#2/#104/0"));
}
