// The platform's file layer, natively and against the real Win32 calls.
#include <gtest/gtest.h>
#include "platform/files.h"
#include "platform/folders.h"
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

// What is done in a held folder is done there, whatever its name leads to
// later: on Windows no one can rename the folder while it is held, and
// natively the folder is followed where it was moved. Nothing but a plain
// file, and only the expected one, is renamed or deleted.
TEST(HeldFolders, ActWhereTheyAreHeldNeverWhereTheirNameLeadsLater) {
    TempFolder game, outside;
    for (const char* name : {"x.old", "gone", "theirs"}) {
        WriteFile(game.path() / "data" / name, "ours");
        WriteFile(outside.path() / name, "victim");
    }
    fs::create_directories(game.path() / "data" / "folder");
    FolderHandle root = HoldFolder(game.native().c_str());
    int viaLink = 1;
    FolderHandle data = HoldSubfolder(root, "data", &viaLink);
    ASSERT_NE(0u, data);
    EXPECT_EQ(0, viaLink);
    std::error_code error;
    fs::rename(game.path() / "data", game.path() / "moved", error);
    int swapped = !error;
    EXPECT_EQ(FoldersMoveWhileHeld(), swapped);
    if (swapped) fs::create_directory_symlink(outside.path(), game.path() / "data", error);
    FileIdentity theirs;
    ASSERT_TRUE(GetFileIdentityIn(data, "theirs", &theirs));
    ExpectedFile other = {theirs, 0};
    other.identity.file++;
    EXPECT_EQ(kEntryDone, MoveFileIn(data, "x.old", "x", nullptr));
    EXPECT_EQ(kEntryDone, RemoveFileIn(data, "gone", nullptr));
    EXPECT_EQ(kEntryNotOurs, RemoveFileIn(data, "theirs", &other));
    EXPECT_EQ(kEntryNotOurs, RemoveFileIn(data, "folder", nullptr));
    EXPECT_EQ(kEntryNotOurs, MoveFileIn(data, "missing", "x2", nullptr));
    EXPECT_EQ(0u, CreateNewFileIn(data, "x"));  // never over an existing name
    ReleaseFolder(data);
    ReleaseFolder(root);
    EXPECT_EQ((std::map<std::string, std::string>{{"x.old", "victim"}, {"gone", "victim"},
                                                   {"theirs", "victim"}}),
              ReadTree(outside.path()));
    EXPECT_EQ((std::map<std::string, std::string>{{"folder/", ""}, {"theirs", "ours"}, {"x", "ours"}}),
              ReadTree(game.path() / (swapped ? "moved" : "data")));
}
