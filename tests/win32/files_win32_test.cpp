// The Win32 file layer where only the real system shows it: the system's own
// words for a failure, and names the ANSI code page can't hold.
#include <windows.h>
#include <sddl.h>
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include "builder/package_writer.h"
#include "platform/files.h"
#include "platform/protected_store.h"
#include "tests/unit/test_support.h"

// The system's text for code in the user's language, as a reason shows it.
static std::string UserLanguageText(DWORD code) {
    char text[300];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, GetUserDefaultUILanguage(), text, sizeof text, nullptr);
    std::string words(text, n);
    return words.erase(words.find_last_not_of("\r\n. ") + 1);
}

// Run by CTest a second time with a German user (unit_system_text_german).
TEST(SystemText, AFailureWeDontWordIsToldInTheUsersLanguage) {
    TempFolder dir;
    EXPECT_EQ(0u, CreateForWrite(dir.native("a<b").c_str()));
    char text[200];
    EXPECT_EQ(kFailureOther, GetLastFileFailure(text, sizeof text));
    EXPECT_NE("", UserLanguageText(ERROR_INVALID_NAME));
    EXPECT_EQ(UserLanguageText(ERROR_INVALID_NAME), text);
}

// Made with the wide calls; the ANSI listing shows "??" and a look-alike.
TEST(CodePageNames, ThatTheCodePageCantHoldFailTheBuildNamedAsListed) {
    const struct {
        const wchar_t* name;
        const char* listed;
    } cases[] = {{L"\u65E5\u672C\\a.txt", "??"}, {L"\u0101x.txt", "ax.txt"}};
    for (const auto& c : cases) {
        TempFolder dir;
        MakeTargetExecutable(dir.path() / "Update.exe");
        std::string before = ReadFile(dir.path() / "Update.exe");
        WriteFile(dir.path() / "Update" / "b.txt", "b");
        WriteFile(dir.path() / "Update" / fs::path(c.name), "x");
        BuildReport report;
        std::string folder = dir.native();
        BuildRequest request = MakeBuildRequest(folder.c_str());
        EXPECT_FALSE(BuildPackage(&request, &report)) << c.listed;
        EXPECT_NE(std::string::npos,
                  std::string(report.failure).find(":\n\n" + dir.native("Update\\") + c.listed))
            << report.failure;
        EXPECT_TRUE(before == ReadFile(dir.path() / "Update.exe")) << "Update.exe changed";
    }
}

// The install's marker lives in a key of the machine's registry that only
// Administrators and SYSTEM may open. Wine doesn't enforce access lists: the
// key's descriptor is read back instead.
TEST(ProtectedStore, KeepsRecordsInAKeyForAdministratorsAndSystemOnly) {
    ASSERT_TRUE(WriteProtectedRecord("test-record", "abc", 3));
    char bytes[8], access[300];
    EXPECT_EQ(3u, ReadProtectedRecord("test-record", bytes, sizeof bytes));
    EXPECT_EQ(0u, ReadProtectedRecord("test-record", bytes, 2));  // doesn't fit
    ASSERT_TRUE(DescribeProtectedStore(access, sizeof access));
    EXPECT_STREQ("O:BAD:P(A;;KA;;;BA)(A;;KA;;;SY)", access);
    EXPECT_TRUE(RemoveProtectedRecord("test-record"));
    EXPECT_EQ(0u, ReadProtectedRecord("test-record", bytes, sizeof bytes));
    LockHandle lock = TakeLock("test-lock");
    EXPECT_NE(0u, lock);
    EXPECT_EQ(0u, TakeLock("test-lock"));
    ReleaseLock(lock);
}

// A key someone else made before the updater (and still holds open) is
// judged as it stands and made anew: the updater never secures such a key
// and then trusts it, and its maker's handle sees nothing of the new one.
TEST(ProtectedStore, NeverAdoptsAKeySomeoneElseMade) {
    const char kKey[] = "SOFTWARE\\Mervolk\\Orvanta\\Update in progress";
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kKey, KEY_WOW64_32KEY, 0);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0,
                                             KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key,
                                             nullptr));
    PSECURITY_DESCRIPTOR everyone = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("O:BAD:(A;;KA;;;WD)", 1,
                                                                     &everyone, nullptr));
    RegSetKeySecurity(key, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, everyone);
    LocalFree(everyone);
    ASSERT_TRUE(WriteProtectedRecord("test-record", "abc", 3));
    char access[300] = "", bytes[8];
    DWORD size = sizeof bytes;
    EXPECT_NE(ERROR_SUCCESS, RegQueryValueExA(key, "test-record", nullptr, nullptr,
                                              reinterpret_cast<BYTE*>(bytes), &size));
    ASSERT_TRUE(DescribeProtectedStore(access, sizeof access));
    EXPECT_STREQ("O:BAD:P(A;;KA;;;BA)(A;;KA;;;SY)", access);
    EXPECT_EQ(3u, ReadProtectedRecord("test-record", bytes, sizeof bytes));
    RegCloseKey(key);
    EXPECT_TRUE(RemoveProtectedRecord("test-record"));
}
