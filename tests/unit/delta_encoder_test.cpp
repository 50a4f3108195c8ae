// The delta encoder (native only) through the decoder: every pair of files
// comes back byte for byte, from a delta no larger than the change needs.
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include "delta/delta_decoder.h"
#include "delta/delta_encoder.h"

namespace {

std::string RandomBytes(size_t count, uint32_t seed) {
    std::string bytes(count, '\0');
    for (char& byte : bytes) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<char>(seed >> 16);
    }
    return bytes;
}

// A program-like file: random words, every eighth of them an address into
// the file (little-endian), which a rebuild shifts.
std::string Program(size_t words, uint32_t shift) {
    std::string bytes = RandomBytes(words * 4, 7);
    for (size_t i = 0; i < words; i += 8) {
        uint32_t address = static_cast<uint32_t>(0x401000 + i * 3) + shift;
        memcpy(&bytes[i * 4], &address, 4);
    }
    return bytes;
}

uint32_t ReadString(void* context, uint64_t offset, void* buffer, uint32_t count) {
    memcpy(buffer, static_cast<const std::string*>(context)->data() + offset, count);
    return count;
}

int Append(void* context, const unsigned char* bytes, uint32_t count) {
    static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(bytes), count);
    return 1;
}

}  // namespace

TEST(DeltaEncoder, RoundTripsFromDeltasSizedToTheChange) {
    const std::string base = RandomBytes(96 << 10, 1), other = RandomBytes(4000, 2);
    const std::string program = Program(32 << 10, 0);
    auto block = [&](int i) { return base.substr(i * (12 << 10), 12 << 10); };
    const struct {
        const char* what;
        std::string old, fresh;
        size_t limit;  // at most this many bytes of delta
    } cases[] = {
        {"both empty", "", "", 100},
        {"empty old", "", other, 4200},
        {"empty new", base, "", 100},
        {"identical", base, base, 100},
        {"insertions", base, base.substr(0, 1000) + other.substr(0, 300) + base.substr(1000, 50000) +
                                 other.substr(300, 5) + base.substr(50000), 600},
        {"one byte changed", base, base.substr(0, 7777) + "!" + base.substr(7778), 120},
        {"shifted addresses", program, Program(32 << 10, 0x40), 800},
        {"shifted addresses and an insertion", program,
         Program(32 << 10, 0x40).substr(0, 4096) + other + Program(32 << 10, 0x40).substr(4096), 5000},
        {"reordered blocks", base, block(5) + block(1) + block(7) + block(0) + block(3) + block(2) +
                                       block(6) + block(4), 400},
        {"new larger", base, base + base.substr(20000, 30000) + other, 4500},
        {"new smaller", base, base.substr(0, 30000) + base.substr(70000), 200},
    };
    for (const auto& c : cases) {
        std::string delta, again, made;
        DeltaEncodeReport report;
        const unsigned char* old = reinterpret_cast<const unsigned char*>(c.old.data());
        const unsigned char* fresh = reinterpret_cast<const unsigned char*>(c.fresh.data());
        ASSERT_EQ(1, EncodeDelta(old, c.old.size(), fresh, c.fresh.size(), &delta, &report)) << c.what;
        EXPECT_LE(delta.size(), c.limit) << c.what;
        EXPECT_EQ(c.fresh.size(), report.copied + report.inserted) << c.what;
        ASSERT_EQ(1, EncodeDelta(old, c.old.size(), fresh, c.fresh.size(), &again, &report));
        EXPECT_EQ(delta, again) << c.what << ": the same files, another delta";
        int damaged;
        std::string oldCopy = c.old;
        EXPECT_EQ(1, ApplyDelta(reinterpret_cast<const unsigned char*>(delta.data()), delta.size(),
                                c.old.size(), ReadString, &oldCopy,
                                static_cast<uint32_t>(c.fresh.size()), Append, &made, &damaged))
            << c.what;
        EXPECT_TRUE(made == c.fresh) << c.what;
    }
}

TEST(DeltaEncoder, RefusesFilesBeyondItsLimits) {
    std::string delta;
    DeltaEncodeReport report;
    unsigned char byte = 0;
    // Refused before either file is read.
    EXPECT_EQ(0, EncodeDelta(&byte, kDeltaOldLimit + 1, &byte, 1, &delta, &report));
    EXPECT_STREQ("the files are too large for a delta", report.refusal);
    EXPECT_EQ(0, EncodeDelta(&byte, 1, &byte, kDeltaNewLimit + 1, &delta, &report));
    // Unlike throughout (found by sampling), or in four fifths of the new
    // file (a search at nearly every byte, past the encoder's budget).
    const std::string old = RandomBytes(512 << 10, 1), other = RandomBytes(2 << 20, 2);
    for (const std::string& fresh : {other.substr(0, 1 << 20), old + other}) {
        EXPECT_EQ(0, EncodeDelta(reinterpret_cast<const unsigned char*>(old.data()), old.size(),
                                 reinterpret_cast<const unsigned char*>(fresh.data()), fresh.size(),
                                 &delta, &report));
        EXPECT_STREQ("the files differ too much for a delta to pay", report.refusal);
        EXPECT_TRUE(delta.empty());
    }
}
