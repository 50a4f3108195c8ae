// The platform's file layer, natively and against the real Win32 calls.
#include <gtest/gtest.h>
#include "platform/files.h"
#include "tests/unit/test_support.h"

TEST(Files, CreateForWriteTruncatesOrCreatesButNeedsTheFolder) {
    TempFolder dir;
    WriteFile(dir.path() / "big.bin", std::string(1 << 20, 'x'));
    FileHandle file = CreateForWrite(dir.native("big.bin").c_str());
    ASSERT_NE(0u, file);
    EXPECT_EQ(0u, GetFileSize64(file));
    EXPECT_EQ(3u, WriteBlock(file, "abc", 3));
    CloseFile(file);
    EXPECT_EQ("abc", ReadFile(dir.path() / "big.bin"));
    file = CreateForWrite(dir.native("new.bin").c_str());
    ASSERT_NE(0u, file);
    CloseFile(file);
    EXPECT_EQ("", ReadFile(dir.path() / "new.bin"));
    char text[100];
    EXPECT_EQ(0u, CreateForWrite(dir.native("missing\\new.bin").c_str()));
    EXPECT_EQ(kFailureNoFolder, GetLastFileFailure(text, sizeof text));
}
