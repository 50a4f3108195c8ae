// The package inside an update executable, all as RT_RCDATA resources of
// language 0 with string names:
//
//   "FILE000", "FILE001", ...  one PayloadRecord per file ("%s%03d")
//   "HEADER"                   the PackageHeader, exactly 16 bytes
//   "TITLE"                    window title, no terminator (optional)
//   "README"                   readme name, no terminator (optional)
//
// PayloadRecord, little-endian:
//   +0       u32   name length n (terminator not counted)
//   +4       n     name relative to the packed folder, '\' between parts
//   +4+n     u8    0
//   +5+n     ...   the file's content, to the end of the resource
//
// A compressed record (written by "orvanta-pack build --compress" only when
// that makes the file smaller) has the top bit of its length field set, so
// that a reader that doesn't know the form finds a length beyond the record
// and calls it damaged, never installs the compressed bytes as they are:
//   +0       u32   0x80000000 | n
//   +4       n     name, as above
//   +4+n     u8    0
//   +5+n     u32   the file's size
//   +9+n     ...   the content as one zlib stream (RFC 1950: deflate with an
//                  Adler-32 check), ending exactly at the end of the
//                  resource and inflating to exactly the file's size
//
// A repeated file (written by "orvanta-pack build --compress" for a file
// whose bytes equal an earlier file's of the same package) has the next bit
// of its length field set, and points to that earlier record instead of
// carrying the bytes again:
//   +0       u32   0x20000000 | n
//   +4       n     name, as above
//   +4+n     u8    0
//   +5+n     u32   the index of the earlier record, a stored or compressed
//                  one, whose file this one repeats; the record ends here
//
// A delta (written by "orvanta-pack build --from OLD" for a file that
// changed) has the second bit of its length field set, and carries what
// turns the installed file into the new one, with the sizes and SHA-256 of
// both, so that the updater applies it only to the exact file it was made
// from and keeps only the exact file it makes:
//   +0       u32   0x40000000 | n
//   +4       n     name, as above
//   +4+n     u8    0
//   +5+n     u64   the size of the installed file it applies to
//   +13+n    32    that file's SHA-256
//   +45+n    u32   the size of the file it makes
//   +49+n    32    that file's SHA-256
//   +81+n    ...   the delta (delta/delta_decoder.h), to the end of the record
//
// "UNCHANGED", beside the records of a patch made with --from: the files of
// the release it was made from that it leaves as they are, which must be in
// the game folder as they were; entries of
//   u32 name length n, n bytes name (as a record's), u64 size, 32 SHA-256
// to the end of the resource.
//
// PackageHeader, little-endian:
//   +0  u32 file count   +4 u32 total bytes (mod 2^32)
//   +8  u32 build time low   +12 u32 build time high  (FILETIME, UTC)
//
// "Update.ver" in the install directory holds the 8-byte build time of the
// last package installed there (low half first).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

const char* const kRecordPrefix = "FILE";
const char* const kHeaderName = "HEADER";
const char* const kTitleName = "TITLE";
const char* const kReadmeName = "README";
const char* const kStampFileName = "Update.ver";

const uint32_t kHeaderSize = 16;
const uint32_t kStampSize = 8;
const uint32_t kRecordOverhead = 5;  // length field and terminator
const uint32_t kCompressedFlag = 0x80000000;     // in a record's length field
const uint32_t kCompressedOverhead = 4;          // a compressed record's size field
const uint32_t kRepeatedFlag = 0x20000000;       // in a record's length field
const uint32_t kRepeatedOverhead = 4;            // a repeated file's index field
const uint32_t kDeltaFlag = 0x40000000;          // in a record's length field
const uint32_t kHashSize = 32;                   // SHA-256
const uint32_t kDeltaOverhead = 8 + kHashSize + 4 + kHashSize;  // sizes and hashes
const char* const kUnchangedName = "UNCHANGED";
// "FORMATS", in the update program itself: the record forms it installs,
// one word each ("stored zlib same"); a build compresses only into a program
// that names "zlib" there, and sends a repeated file once only into one
// that names "same".
const char* const kFormatsName = "FORMATS";
const char* const kZlibFormat = "zlib";
const char* const kRepeatedFormat = "same";
const char* const kDeltaFormat = "delta";
const uint32_t kTextLimit = 260;     // title and readme name, in bytes

struct PackageHeader {
    uint32_t fileCount;
    uint32_t totalBytes;
    uint64_t buildTime;
};

// Field offsets of the fixed layouts.
const uint32_t kHeaderFileCount = 0;
const uint32_t kHeaderTotalBytes = 4;
const uint32_t kHeaderBuildTime = 8;
const uint32_t kRecordName = 4;
static_assert(kHeaderBuildTime + 8 == kHeaderSize, "the header ends with the 8-byte build time");
static_assert(kStampSize == kHeaderSize - kHeaderBuildTime, "a stamp is a header's build time");
static_assert(kRecordName + 1 == kRecordOverhead, "a record's overhead: length field and 0");

// "FILE" and the index with at least three digits.
const uint32_t kRecordNameSize = 16;
void FormatRecordName(char name[kRecordNameSize], uint32_t index);

void EncodeHeader(const PackageHeader& header, unsigned char out[kHeaderSize]);
// 0 unless the resource is exactly 16 bytes.
[[nodiscard]] int DecodeHeader(const unsigned char* data, size_t size, PackageHeader* header);

void EncodeStamp(uint64_t buildTime, unsigned char out[kStampSize]);
// 0 unless at least 8 bytes are given; longer stamps use their first 8.
[[nodiscard]] int DecodeStamp(const unsigned char* data, size_t size, uint64_t* buildTime);

// Writes the record's length field, name and terminator into out, which
// holds nameLength + 5 bytes. Gives the content offset.
uint32_t EncodeRecordHead(const char* name, uint32_t nameLength, unsigned char* out);
// The same for a compressed record of a file of fileSize bytes; out holds
// nameLength + 9 bytes.
uint32_t EncodeCompressedRecordHead(const char* name, uint32_t nameLength, uint32_t fileSize,
                                    unsigned char* out);

// The record of a repeated file: its length field, name and the earlier
// record's index into out, which holds nameLength + 9 bytes. Gives its size.
uint32_t EncodeRepeatedRecord(const char* name, uint32_t nameLength, uint32_t earlier,
                              unsigned char* out);

// The head of a delta: its length field, name, terminator, the base's size
// and hash and the made file's, into out (nameLength + 81 bytes). Gives the
// offset where the delta's bytes go.
uint32_t EncodeDeltaRecordHead(const char* name, uint32_t nameLength, uint64_t baseSize,
                               const unsigned char baseHash[kHashSize], uint32_t madeSize,
                               const unsigned char madeHash[kHashSize], unsigned char* out);

// A record as the updater sees it. The name points into the record.
struct PayloadView {
    const char* name;
    uint32_t nameLength;
    const unsigned char* content;  // as stored: compressed or not
    uint32_t contentSize;
    uint32_t fileSize;             // the file's own size, once installed
    int compressed;
    // A repeated file: the index of the earlier record whose content it
    // takes (content, sizes and compressed then come from that record, once
    // the package's records are loaded).
    int repeated;
    uint32_t sameAs;
    // A delta: content is the delta, fileSize the made file's; it applies
    // to an installed file of baseSize bytes.
    int delta;
    uint64_t baseSize;
    const unsigned char* baseHash;  // kHashSize bytes inside the record
    const unsigned char* madeHash;
};

// One file a patch made with --from leaves as it is.
struct UnchangedFile {
    std::string name;
    uint64_t size;
    unsigned char hash[kHashSize];
};
// Appends an entry of the "UNCHANGED" resource to out.
void EncodeUnchangedFile(const UnchangedFile& file, std::string* out);
// The entries of an "UNCHANGED" resource. 0 when it isn't whole entries
// (a name with a zero byte in it, or an entry cut short).
[[nodiscard]] int ParseUnchangedFiles(const unsigned char* data, size_t size,
                                      std::vector<UnchangedFile>* files);

// 0 when the record is too short, its name has no terminator inside it, or
// the length field disagrees with the terminated name (a compressed record
// is taken apart, not inflated: its stream is checked as it is written).
[[nodiscard]] int ParsePayloadRecord(const unsigned char* data, size_t size, PayloadView* view);

// 1 when a name in the platform's code page passes the rule for record
// names (record_names.h): among others, it stays inside the folder it is
// relative to.
int IsSafeRelativeName(const char* name);
