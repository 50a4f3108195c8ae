// The Win32 file layer where only the real system shows it: the system's own
// words for a failure.
#include <windows.h>
#include <gtest/gtest.h>
#include <string>
#include "platform/files.h"
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
