// Measures the delta codec on one pair of files: the delta's size, its
// streams, the encoder's time and the process's peak memory, then applies the
// delta and checks the result byte for byte.
//   delta_size OLD NEW [DELTA_OUT]
//   delta_size --sha256 MIB      hashes MIB mebibytes in memory, prints MB/s
// Exit 0 when the delta round-trips, 3 when the encoder declined, 1 on error.
#include <sys/resource.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include "delta/delta_decoder.h"
#include "delta/delta_encoder.h"
#include "platform/sha256.h"

static double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

static int ReadWhole(const char* path, std::string* bytes) {
    FILE* file = fopen(path, "rb");
    if (!file) return 0;
    char buffer[1 << 16];
    size_t count;
    while ((count = fread(buffer, 1, sizeof buffer, file)) > 0) bytes->append(buffer, count);
    int ok = !ferror(file);
    fclose(file);
    return ok;
}

static uint32_t ReadOld(void* context, uint64_t offset, void* buffer, uint32_t count) {
    const std::string* old = static_cast<const std::string*>(context);
    memcpy(buffer, old->data() + offset, count);
    return count;
}

struct Checker {
    const std::string* fresh;
    size_t at;
};

static int CheckNew(void* context, const unsigned char* bytes, uint32_t count) {
    Checker* checker = static_cast<Checker*>(context);
    if (checker->at + count > checker->fresh->size() ||
        memcmp(checker->fresh->data() + checker->at, bytes, count) != 0)
        return 0;
    checker->at += count;
    return 1;
}

static int MeasureSha256(size_t mebibytes) {
    std::string bytes(mebibytes << 20, '\0');
    for (size_t i = 0; i < bytes.size(); i++) bytes[i] = static_cast<char>(i * 2654435761u >> 13);
    unsigned char digest[kSha256DigestSize];
    auto start = std::chrono::steady_clock::now();
    if (!HashBytesSha256(bytes.data(), bytes.size(), digest)) return 1;
    printf("sha256 (libcrypto) %zu MiB in %.3f s: %.0f MB/s\n", mebibytes, Seconds(start),
           bytes.size() / 1e6 / Seconds(start));
    // Ours, as the Windows build hashes with the SHA extensions (and without).
    const struct { const char* name; Sha256Rounds rounds; } ours[] = {
        {"ours, SHA extensions", HasSha256Extensions() ? RunSha256Extensions : nullptr},
        {"ours, portable", RunPortableSha256}};
    for (const auto& o : ours) {
        if (!o.rounds) continue;
        Sha256Sum sum;
        start = std::chrono::steady_clock::now();
        StartSha256SumWith(&sum, o.rounds);
        AddSha256Sum(&sum, bytes.data(), bytes.size());
        FinishSha256Sum(&sum, digest);
        printf("sha256 (%s) %zu MiB in %.3f s: %.0f MB/s\n", o.name, mebibytes, Seconds(start),
               bytes.size() / 1e6 / Seconds(start));
    }
    return 0;
}

static int Measure(const std::string& old, const std::string& fresh, const char* outPath) {
    std::string delta;
    DeltaEncodeReport report;
    auto start = std::chrono::steady_clock::now();
    int made = EncodeDelta(reinterpret_cast<const unsigned char*>(old.data()), old.size(),
                           reinterpret_cast<const unsigned char*>(fresh.data()), fresh.size(),
                           &delta, &report);
    double encode = Seconds(start);
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    if (!made) {
        printf("refused after %.2f s: %s\n", encode, report.refusal);
        return 3;
    }
    Checker checker = {&fresh, 0};
    int damaged;
    start = std::chrono::steady_clock::now();
    int applied = ApplyDelta(reinterpret_cast<const unsigned char*>(delta.data()), delta.size(),
                             old.size(), ReadOld, const_cast<std::string*>(&old),
                             static_cast<uint32_t>(fresh.size()), CheckNew, &checker, &damaged);
    double decode = Seconds(start);
    if (!applied || checker.at != fresh.size()) {
        printf("the delta does not make the new file (damaged %d)\n", damaged);
        return 1;
    }
    double megabytes = fresh.size() / 1e6;
    printf("delta %zu encode %.2f s %.1f MB/s decode %.3f s %.0f MB/s peak %ld MiB "
           "copied %llu inserted %llu instructions %llu searches %llu streams",
           delta.size(), encode, megabytes / encode, decode, megabytes / decode,
           usage.ru_maxrss / 1024, static_cast<unsigned long long>(report.copied),
           static_cast<unsigned long long>(report.inserted),
           static_cast<unsigned long long>(report.instructions),
           static_cast<unsigned long long>(report.searches));
    for (uint32_t size : report.streamSizes) printf(" %u", size);
    printf("\n");
    FILE* out = outPath ? fopen(outPath, "wb") : nullptr;
    if (out) fwrite(delta.data(), 1, delta.size(), out);
    if (out) fclose(out);
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 3 && strcmp(argv[1], "--sha256") == 0) return MeasureSha256(strtoul(argv[2], nullptr, 10));
    if (argc < 3) {
        fprintf(stderr, "usage: delta_size OLD NEW [DELTA_OUT] | --sha256 MIB\n");
        return 1;
    }
    std::string old, fresh;
    if (!ReadWhole(argv[1], &old) || !ReadWhole(argv[2], &fresh)) {
        fprintf(stderr, "cannot read %s or %s\n", argv[1], argv[2]);
        return 1;
    }
    return Measure(old, fresh, argc > 3 ? argv[3] : nullptr);
}
