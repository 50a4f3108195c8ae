// Every SHA-256 of the program (ours, portable and on the SHA extensions,
// and the platform's) against the published vectors and each other, fed in
// uneven pieces so that every block edge is crossed; and a file's, read in
// several pieces; and the journal's HMAC over it.
#include <gtest/gtest.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>
#include "base/hmac_sha256.h"
#include "platform/sha256.h"
#include "tests/unit/test_support.h"

namespace {

typedef std::string (*Hasher)(const std::string& message, size_t piece);

std::string Hex(const unsigned char* digest) {
    char text[2 * kSha256Size + 1];
    for (size_t i = 0; i < kSha256Size; i++) snprintf(text + 2 * i, 3, "%02x", digest[i]);
    return text;
}

// Pieces of piece, piece + 1, ... bytes (0: empty adds as well).
template <typename Add>
void AddInPieces(const std::string& message, size_t piece, Add add) {
    for (size_t at = 0; at < message.size(); at += piece++)
        add(message.data() + at, std::min(piece, message.size() - at));
}

template <Sha256Rounds rounds>
std::string HashOurs(const std::string& message, size_t piece) {
    Sha256Sum sum;
    StartSha256SumWith(&sum, rounds);
    AddInPieces(message, piece, [&](const char* at, size_t n) { AddSha256Sum(&sum, at, n); });
    unsigned char digest[kSha256Size];
    FinishSha256Sum(&sum, digest);
    return Hex(digest);
}

template <int (*start)(Sha256State*)>
std::string HashPlatform(const std::string& message, size_t piece) {
    Sha256State state;
    if (!start(&state)) return "no start";
    int added = 1;
    AddInPieces(message, piece, [&](const char* at, size_t n) {
        added = added && AddSha256(&state, at, n);
    });
    unsigned char digest[kSha256Size];
    if (!added) AbandonSha256(&state);
    return added && FinishSha256(&state, digest) ? Hex(digest) : "failed";
}

std::vector<std::pair<const char*, Hasher>> Hashers() {
    std::vector<std::pair<const char*, Hasher>> hashers = {
        {"portable", HashOurs<RunPortableSha256>},
        {"platform", HashPlatform<StartSha256>},
        {"system", HashPlatform<StartSystemSha256>}};
    if (HasSha256Extensions()) hashers.push_back({"extensions", HashOurs<RunSha256Extensions>});
    else printf("note: no SHA extensions on this processor: their rounds go untested here\n");
    return hashers;
}

}  // namespace

TEST(Sha256, EveryImplementationGivesThePublishedVectors) {
    const struct {
        std::string message;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& hasher : Hashers())
        for (const auto& c : cases)
            for (size_t piece : {0, 64, 1000000}) {
                EXPECT_EQ(c.digest, hasher.second(c.message, piece))
                    << hasher.first << ", " << c.message.size() << " bytes, pieces from " << piece;
            }
}

TEST(Sha256, ImplementationsAgreeAtEveryLengthNearTheBlockEdges) {
    std::mt19937 random(7);
    auto hashers = Hashers();
    std::vector<size_t> sizes = {1000, 4096 + 17};
    for (size_t size = 0; size <= 130; size++) sizes.push_back(size);
    for (size_t size : sizes) {
        std::string message(size, '\0');
        for (char& c : message) c = static_cast<char>(random());
        std::string expected = HashPlatform<StartSystemSha256>(message, size);  // one piece
        for (const auto& hasher : hashers)
            EXPECT_EQ(expected, hasher.second(message, size % 70)) << hasher.first << ", " << size;
    }
}

TEST(Sha256, AnOpenFileHashesAsItsBytesOverSeveralReads) {
    TempFolder folder;
    for (size_t size : {0, 1, (256 << 10) - 1, 256 << 10, (256 << 10) + 1, (1 << 20) * 3 + 7}) {
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; i++) bytes[i] = static_cast<char>(i * 31 + i / 4099);
        WriteFile(folder.path() / "f.bin", bytes);
        FileHandle file = OpenForRead(folder.native("f.bin").c_str());
        ASSERT_TRUE(file);
        uint64_t hashedSize = 0;
        unsigned char digest[kSha256Size], expected[kSha256Size];
        EXPECT_EQ(1, HashOpenFile(file, &hashedSize, digest));
        CloseFile(file);
        ComputeSha256(bytes.data(), bytes.size(), expected);
        EXPECT_EQ(size, hashedSize);
        EXPECT_EQ(Hex(expected), Hex(digest)) << size << " bytes";
    }
}

TEST(Sha256, TheJournalsMacIsHmacSha256) {
    unsigned char mac[kSha256Size];
    const struct { std::string key, message, hex; } cases[] = {
        {"", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"Jefe", "what do ya want for nothing?",
         "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
        {std::string(131, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
         "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"}};
    for (const auto& c : cases) {
        if (c.key.empty()) ComputeSha256(c.message.data(), c.message.size(), mac);
        else ComputeHmacSha256(c.key.data(), c.key.size(), c.message.data(), c.message.size(), mac);
        EXPECT_EQ(c.hex, Hex(mac)) << c.message;
    }
}
