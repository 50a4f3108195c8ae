#include "builder/release_delta.h"
#include <cstring>
#include <zlib.h>
#include "builder/build_run.h"
#include "delta/delta_encoder.h"
#include "pe/pe_resources.h"
#include "platform/files.h"
#include "platform/sha256.h"

// The whole file, for the encoder, which compares whole files. 0 when it
// can't be read whole, or is missing (*missing then 1).
static int ReadWholeFile(const std::string& path, std::string* bytes, int* missing) {
    FileHandle file = OpenForRead(path.c_str());
    *missing = !file;
    if (!file) return 0;
    uint64_t size = GetFileSize64(file);
    int ok = size != ~0ull && size < kDeltaNewLimit;
    if (ok) bytes->assign(static_cast<size_t>(size), '\0');
    for (uint64_t at = 0; ok && at < size;) {
        uint32_t want = size - at < (1u << 20) ? static_cast<uint32_t>(size - at) : 1u << 20;
        uint32_t n = ReadBlock(file, &(*bytes)[at], want);
        ok = n > 0;
        at += n;
    }
    CloseFile(file);
    return ok;
}

static int Hash(const std::string& bytes, unsigned char digest[kHashSize]) {
    return HashBytesSha256(bytes.data(), bytes.size(), digest);
}

int PlanReleaseFiles(const std::string& oldFolder, const std::string& folder,
                     const std::vector<std::string>& names,
                     const std::vector<std::string>& recordNames, ReleasePlan* plan,
                     BuildReport* report) {
    plan->kinds.assign(names.size(), kReleaseNew);
    plan->sizes.assign(names.size(), 0);
    plan->unchanged.clear();
    for (size_t i = 0; i < names.size(); i++) {
        std::string fresh, old;
        int missing = 0;
        if (!ReadWholeFile(folder + names[i], &fresh, &missing))
            return ExplainFileCall(report, (folder + names[i]).c_str(), "can't be read");
        plan->sizes[i] = fresh.size();
        if (!ReadWholeFile(oldFolder + names[i], &old, &missing)) {
            if (missing) continue;  // a new file
            return ExplainFileCall(report, (oldFolder + names[i]).c_str(), "can't be read");
        }
        if (old != fresh) {
            plan->kinds[i] = kReleaseChanged;
            continue;
        }
        UnchangedFile file = {recordNames[i], fresh.size(), {}};
        if (!Hash(fresh, file.hash)) return ExplainFile(report, names[i].c_str(), "can't be hashed", "");
        plan->kinds[i] = kReleaseUnchanged;
        plan->unchanged.push_back(file);
    }
    return 1;
}

// The size of the file compressed on its own, as a compressed record would
// carry it.
static uint64_t CompressedSize(const std::string& bytes) {
    uLongf size = compressBound(static_cast<uLong>(bytes.size()));
    std::string packed(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(&packed[0]), &size,
                  reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uLong>(bytes.size()),
                  9) != Z_OK)
        return ~0ull;
    return size + kCompressedOverhead;
}

// Tells the reporter why a changed file goes whole: the encoder declined.
static void NoteWhole(BuildRun* run, const std::string& path, const char* why) {
    const BuildReporter& reporter = run->request->reporter;
    if (!reporter.warn) return;
    std::string text = "Note: sent whole, not as a delta (" + std::string(why ? why : "no delta") +
                       "): " + path;
    reporter.warn(reporter.context, text.c_str());
}

int AddDeltaFile(PeUpdate* update, const std::string& oldPath, const std::string& path,
                 const std::string& recordName, uint32_t index, BuildRun* run, int* whole) {
    *whole = 1;
    std::string old, fresh, delta;
    int missing;
    if (!ReadWholeFile(oldPath, &old, &missing) || !ReadWholeFile(path, &fresh, &missing))
        return 0;
    if (old.size() > kDeltaOldLimit) {
        NoteWhole(run, path, "the release's file is too large for the delta encoder");
        return 0;
    }
    DeltaEncodeReport encoded = DeltaEncodeReport();
    if (!EncodeDelta(reinterpret_cast<const unsigned char*>(old.data()), old.size(),
                     reinterpret_cast<const unsigned char*>(fresh.data()), fresh.size(), &delta,
                     &encoded)) {
        NoteWhole(run, path, encoded.refusal);
        return 0;
    }
    if (delta.size() + kDeltaOverhead >= CompressedSize(fresh)) return 0;
    *whole = 0;
    unsigned char head[kMaxPath + kRecordOverhead + kDeltaOverhead];
    unsigned char baseHash[kHashSize], madeHash[kHashSize];
    if (!Hash(old, baseHash) || !Hash(fresh, madeHash)) return 0;
    uint32_t headSize = EncodeDeltaRecordHead(
        recordName.c_str(), static_cast<uint32_t>(recordName.size()), old.size(), baseHash,
        static_cast<uint32_t>(fresh.size()), madeHash, head);
    std::string record(reinterpret_cast<char*>(head), headSize);
    record += delta;
    char resourceName[kRecordNameSize];
    FormatRecordName(resourceName, index);
    TellProgress(run, fresh.size());
    BuildReport* report = run->report;
    report->deltaFiles++;
    report->deltaBytes += delta.size();
    report->deltaFileBytes += fresh.size();
    return AddPeResourceBytes(update, resourceName, record.data(),
                              static_cast<uint32_t>(record.size()));
}
