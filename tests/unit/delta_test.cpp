// The delta decoder against deltas made by hand (it runs where no encoder
// exists, under Wine too).
#include <gtest/gtest.h>
#include <zlib.h>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>
#include "base/bytes.h"
#include "delta/delta_decoder.h"
#include "package/record_content.h"
#include "platform/sha256.h"

namespace {

const uint64_t kMax64 = ~0ull;

std::string Numbers(std::initializer_list<uint64_t> values) {
    std::string bytes;
    for (uint64_t value : values) {
        for (; value >= 0x80; value >>= 7) bytes += static_cast<char>(value | 0x80);
        bytes += static_cast<char>(value);
    }
    return bytes;
}

uint64_t Zigzag(int64_t value) {
    return value < 0 ? (~static_cast<uint64_t>(value) << 1) | 1 : static_cast<uint64_t>(value) << 1;
}

std::string Deflate(const std::string& bytes) {
    uLongf size = compressBound(static_cast<uLong>(bytes.size()));
    std::string packed(size, '\0');
    compress2(reinterpret_cast<Bytef*>(&packed[0]), &size,
              reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uLong>(bytes.size()), 9);
    packed.resize(size);
    return packed;
}

// A delta's content: instructions (copy, insert, zigzag seek, ...), gap
// pairs (z, n, ...), difference bytes and inserted bytes.
struct Hand {
    std::vector<uint64_t> instructions, pairs;
    std::string differences, inserts;
};

// The streams as they are inflated.
struct Streams {
    std::string parts[kDeltaStreamCount];
};

Streams Split(const Hand& hand) {
    Streams streams;
    for (size_t i = 0; i < hand.instructions.size(); i++)
        streams.parts[kDeltaCopies + i % 3] += Numbers({hand.instructions[i]});
    for (size_t i = 0; i < hand.pairs.size(); i++)
        streams.parts[kDeltaZeroRuns + i % 2] += Numbers({hand.pairs[i]});
    streams.parts[kDeltaDifferences] = hand.differences;
    streams.parts[kDeltaInserts] = hand.inserts;
    return streams;
}

// Packs the streams as the layout says (empty ones as nothing), or as
// they are given, already deflated.
std::string Pack(const Streams& streams, int deflate = 1) {
    std::string delta(reinterpret_cast<const char*>(kDeltaTag), sizeof kDeltaTag);
    std::string body;
    for (const std::string& part : streams.parts) {
        std::string packed = deflate && !part.empty() ? Deflate(part) : part;
        unsigned char size[4];
        StoreU32(size, static_cast<uint32_t>(packed.size()));
        delta.append(reinterpret_cast<char*>(size), 4);
        body += packed;
    }
    return delta + body;
}

std::string OldFile() {
    std::string old;
    for (int i = 0; i < 64; i++) old += static_cast<char>('A' + i % 26);
    return old;
}

struct Applied {
    int result;
    int damaged;
    std::string made;
};

struct Target {
    std::string* made;
    int sinkCalls;  // the sink fails on the call after this many
};

uint32_t ReadString(void* context, uint64_t offset, void* buffer, uint32_t count) {
    const std::string* old = static_cast<const std::string*>(context);
    if (offset > old->size() || count > old->size() - offset) return 0;
    memcpy(buffer, old->data() + offset, count);
    return count;
}

int Collect(void* context, const unsigned char* bytes, uint32_t count) {
    Target* target = static_cast<Target*>(context);
    if (target->sinkCalls-- == 0) return 0;
    target->made->append(reinterpret_cast<const char*>(bytes), count);
    return 1;
}

Applied Apply(const std::string& delta, std::string old, uint32_t newSize, int sinkCalls = -1,
              DeltaReadAt read = ReadString) {
    Applied applied = {0, -1, ""};
    Target target = {&applied.made, sinkCalls};
    applied.result = ApplyDelta(reinterpret_cast<const unsigned char*>(delta.data()), delta.size(),
                                old.size(), read, &old, newSize, Collect, &target, &applied.damaged);
    return applied;
}

// Copy 10 with two differences (1 at 3, 2 at 9), insert "xyz", seek back
// to 2; copy 5 as they are.
Streams SoundStreams() {
    return Split({{10, 3, Zigzag(-8), 5, 0, 0}, {3, 1, 5, 1, 5, 0}, std::string("\x01\x02", 2), "xyz"});
}
const char kSoundNew[] = "ABCEEFGHILxyzCDEFG";

}  // namespace

TEST(DeltaDecoder, CopiesWithDifferencesInsertsAndSeeks) {
    Applied applied = Apply(Pack(SoundStreams()), OldFile(), 18);
    EXPECT_EQ(1, applied.result);
    EXPECT_EQ(0, applied.damaged);
    EXPECT_EQ(kSoundNew, applied.made);
    Streams empty;
    applied = Apply(Pack(empty), "", 0);
    EXPECT_EQ(1, applied.result);
    EXPECT_EQ("", applied.made);
}

TEST(DeltaDecoder, ReadsOldFilesBeyondFourGiB) {
    // A 5 GiB old file that is never held: byte n is (n >> 32) + n, so that
    // an offset cut to 32 bits reads other bytes.
    const uint64_t oldSize = 5ull << 30, at = (1ull << 32) + (1ull << 28) + 5;
    DeltaReadAt synthesize = [](void*, uint64_t offset, void* buffer, uint32_t count) -> uint32_t {
        for (uint32_t i = 0; i < count; i++)
            static_cast<unsigned char*>(buffer)[i] = static_cast<unsigned char>(((offset + i) >> 32) + offset + i);
        return count;
    };
    std::string delta = Pack(Split({{0, 0, Zigzag(static_cast<int64_t>(at)), 3, 0, 0}, {3, 0}, "", ""}));
    std::string made;
    Target target = {&made, -1};
    int damaged;
    ASSERT_EQ(1, ApplyDelta(reinterpret_cast<const unsigned char*>(delta.data()), delta.size(),
                            oldSize, synthesize, nullptr, 3, Collect, &target, &damaged));
    EXPECT_EQ(std::string("\x06\x07\x08", 3), made);
}

TEST(DeltaDecoder, DamagedDeltasHandOnNothingUnsound) {
    const std::vector<uint64_t> pairs64 = {64, 0};
    const std::string unending(3, '\x80'), bits65 = std::string(9, '\xff') + "\x02";
    const struct {
        const char* what;
        Hand hand;
        uint32_t newSize;
        size_t sound;  // bytes that may be handed on before the damage shows
        int rawStream;  // this stream's bytes replaced by raw, when not -1
        std::string raw;
    } cases[] = {
        {"copy past the old file's end", {{65, 0, 0}, {65, 0}, "", ""}, 65, 0, -1, ""},
        {"copy after a seek to the end", {{0, 0, Zigzag(60), 5, 0, 0}, {5, 0}, "", ""}, 5, 0, -1, ""},
        {"seek before the start", {{10, 0, Zigzag(-11), 1, 0, 0}, {11, 0}, "", ""}, 11, 0, -1, ""},
        {"seek past the end", {{10, 0, Zigzag(55)}, {10, 0}, "", ""}, 20, 0, -1, ""},
        {"seek of -2^63", {{10, 0, kMax64, 1, 0, 0}, {11, 0}, "", ""}, 11, 0, -1, ""},
        {"copy count of 2^64-1", {{kMax64, 0, 0}, pairs64, "", ""}, 64, 0, -1, ""},
        {"insert count of 2^64-1", {{1, kMax64, 0}, {1, 0}, "", "x"}, 2, 0, -1, ""},
        {"more bytes than the new size", {{60, 1, 0}, {60, 0}, "", "x"}, 60, 0, -1, ""},
        {"fewer bytes than the new size", {{64, 0, 0}, pairs64, "", ""}, 65, 64, -1, ""},
        {"an instruction after the new size", {{64, 0, Zigzag(-64), 1, 0, 0}, pairs64, "", ""}, 64, 64, -1, ""},
        {"a number of 65 bits", {{64, 0, 0}, pairs64, "", ""}, 64, 0, kDeltaSeeks, bits65},
        {"a number that never ends", {{1, 0, 0}, {1, 0}, "", ""}, 1, 0, kDeltaCopies, unending},
        {"gap pair (0, 0)", {{4, 0, 0}, {0, 0, 4, 0}, "", ""}, 4, 0, -1, ""},
        {"gap pairs past the copies", {{4, 0, 0}, {4, 0, 1, 0}, "", ""}, 4, 4, -1, ""},
        {"gap pair longer than the copies", {{4, 0, 0}, {5, 0}, "", ""}, 4, 4, -1, ""},
        {"gap pairs missing", {{4, 0, 0}, {4}, "", ""}, 4, 0, -1, ""},
        {"differences left over", {{4, 0, 0}, {4, 0}, "\x01", ""}, 4, 4, -1, ""},
        {"differences missing", {{4, 0, 0}, {0, 2, 2, 0}, "\x01", ""}, 4, 0, -1, ""},
        {"inserts left over", {{0, 2, 0}, {}, "", "xyz"}, 2, 2, -1, ""},
        {"inserts missing", {{0, 4, 0}, {}, "", "xyz"}, 4, 0, -1, ""},
    };
    for (const auto& c : cases) {
        Streams streams = Split(c.hand);
        if (c.rawStream >= 0) streams.parts[c.rawStream] = c.raw;
        Applied applied = Apply(Pack(streams), OldFile(), c.newSize);
        EXPECT_EQ(0, applied.result) << c.what;
        EXPECT_EQ(1, applied.damaged) << c.what;
        EXPECT_LE(applied.made.size(), c.sound) << c.what;
    }
}

TEST(DeltaDecoder, AlteredTruncatedOrExtendedStreamsAreDamaged) {
    std::string sound = Pack(SoundStreams());
    std::vector<std::string> deltas;
    for (size_t cut = 0; cut < sound.size(); cut++) deltas.push_back(sound.substr(0, cut));
    deltas.push_back(sound + "x");
    // A stream cut or followed by a byte, its size and the delta agreeing;
    // an empty one given as a zlib stream of nothing is as good.
    for (uint32_t i = 0; i < kDeltaStreamCount; i++) {
        Streams packed;
        for (uint32_t j = 0; j < kDeltaStreamCount; j++) packed.parts[j] = Deflate(SoundStreams().parts[j]);
        EXPECT_EQ(kSoundNew, Apply(Pack(packed, 0), OldFile(), 18).made);
        std::string whole = packed.parts[i];
        packed.parts[i] = whole + "x";
        deltas.push_back(Pack(packed, 0));
        packed.parts[i] = whole.substr(0, whole.size() - 1);
        deltas.push_back(Pack(packed, 0));
    }
    for (const std::string& delta : deltas) {
        Applied applied = Apply(delta, OldFile(), 18);
        EXPECT_EQ(1, applied.damaged) << delta.size();
        EXPECT_EQ(0, applied.result);
    }
    // Any one bit flipped: damaged, but for the padding bits after a
    // stream's last block, which change nothing.
    int undetected = 0;
    for (size_t bit = 0; bit < sound.size() * 8; bit++) {
        std::string flipped = sound;
        flipped[bit / 8] = static_cast<char>(flipped[bit / 8] ^ (1 << bit % 8));
        Applied applied = Apply(flipped, OldFile(), 18);
        if (!applied.damaged) {
            EXPECT_EQ(kSoundNew, applied.made) << bit;
            undetected++;
        }
        EXPECT_NE(applied.result, applied.damaged) << bit;
    }
    EXPECT_LT(undetected, static_cast<int>(8 * kDeltaStreamCount));
}

TEST(DeltaDecoder, SinkOrReadFailureIsNotDamage) {
    std::string delta = Pack(SoundStreams());
    for (int calls = 0; calls < 3; calls++) {
        Applied applied = Apply(delta, OldFile(), 18, calls);
        EXPECT_EQ(0, applied.result) << calls;
        EXPECT_EQ(0, applied.damaged) << calls;
    }
    DeltaReadAt failing = [](void*, uint64_t, void*, uint32_t count) { return count - 1; };
    Applied applied = Apply(delta, OldFile(), 18, -1, failing);
    EXPECT_EQ(0, applied.result);
    EXPECT_EQ(0, applied.damaged);
    EXPECT_EQ("", applied.made);
}


namespace {

// A base of the installed file's kind: read a call at a time, short at its end.
struct CountedBase {
    const std::string* bytes;
    std::vector<uint64_t> reads;  // each call's offset
};

uint32_t ReadCounted(void* context, uint64_t offset, void* buffer, uint32_t count) {
    CountedBase* base = static_cast<CountedBase*>(context);
    base->reads.push_back(offset);
    if (offset > base->bytes->size()) return 0;
    uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(count, base->bytes->size() - offset));
    memcpy(buffer, base->bytes->data() + offset, n);
    return n;
}

// A delta of plain copies at the given (offset, count) places of base;
// *made is what it makes.
std::string CopiesFrom(const std::string& base, const std::vector<std::pair<uint64_t, uint64_t>>& copies,
                       std::string* made) {
    Hand hand;
    uint64_t at = 0;
    for (size_t i = 0; i < copies.size(); i++) {
        uint64_t next = i + 1 < copies.size() ? copies[i + 1].first : 0;
        int64_t seek = static_cast<int64_t>(next) - static_cast<int64_t>(at + copies[i].second);
        hand.instructions.insert(hand.instructions.end(), {copies[i].second, 0, Zigzag(seek)});
        made->append(base, at, copies[i].second);
        at = next;
    }
    hand.pairs = {made->size(), 0};  // no byte differs
    return Pack(Split(hand));
}

}  // namespace

// What a delta record of copies from base makes, through ReadDeltaContent;
// *reads counts the base's reads.
std::string MakeFromBase(const std::string& base, const std::vector<std::pair<uint64_t, uint64_t>>& copies,
                         size_t* reads) {
    std::string made, delta = CopiesFrom(base, copies, &made);
    unsigned char madeHash[kSha256DigestSize];
    if (!HashBytesSha256(made.data(), made.size(), madeHash)) return "no hash";
    PayloadView view = PayloadView();
    view.name = "big.bin";
    view.delta = 1;
    view.content = reinterpret_cast<const unsigned char*>(delta.data());
    view.contentSize = static_cast<uint32_t>(delta.size());
    view.baseSize = base.size();
    view.fileSize = static_cast<uint32_t>(made.size());
    view.madeHash = madeHash;
    CountedBase counted = {&base, {}};
    std::string got;
    Target target = {&got, -1};
    int damaged = -1;
    int result = ReadDeltaContent(view, DeltaBase{ReadCounted, &counted}, Collect, &target, &damaged);
    *reads = counted.reads.size();
    if (!result) return damaged ? "damaged" : "failed";
    return got == made ? "made" : "another file";
}

TEST(DeltaContent, CopiesFromAllOverALargeBaseReadEachHeldPartOnce) {
    std::string base(20 * 1024 * 1024 + 123, '\0');  // beyond what is held at once
    uint32_t seed = 1;
    for (char& c : base) c = static_cast<char>((seed = seed * 1103515245 + 12345) >> 24);
    std::vector<std::pair<uint64_t, uint64_t>> near, all;
    for (uint64_t i = 0; i < 400; i++) near.push_back({(i * 7919) % (1 << 20), 3000});
    // Across all of the base (more places than are held) and back to the
    // first; then the base's short last part.
    for (uint64_t at = 0; at < base.size(); at += 65000) all.push_back({at, 100});
    all.push_back({0, 70000});
    all.push_back({base.size() - 5000, 5000});
    size_t reads = 0;
    EXPECT_EQ("made", MakeFromBase(base, near, &reads));
    EXPECT_LE(reads, 64u) << "1 MiB read in blocks of 16 KiB or more, each once";
    EXPECT_EQ("made", MakeFromBase(base, all, &reads));
    EXPECT_LE(reads, base.size() / 65000 + 10);
    EXPECT_EQ("made", MakeFromBase("tiny", {{1, 3}, {0, 4}}, &reads));
}
