#include "tests/unit/test_support.h"
#include <gtest/gtest.h>
#include <atomic>
#include <fstream>
#include <sstream>
#include <zlib.h>
#include "base/bytes.h"
#include "package/package_format.h"
#include "platform/sha256.h"
#include "pe/pe_resources.h"
#include "platform/resources.h"
#include "tests/unit/pe_test_images.h"

static std::atomic<unsigned> folderCounter{0};

TempFolder::TempFolder() {
    path_ = fs::temp_directory_path() /
            ("orvanta-test-" + std::to_string(GetSystemFileTime() % 1000000007ull) + "-" +
             std::to_string(folderCounter++));
    fs::remove_all(path_);
    fs::create_directories(path_);
}

TempFolder::~TempFolder() {
    SelectPackageImage(nullptr);  // a mapped image would keep its file busy
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string TempFolder::native(const std::string& relative) const {
    std::string p = path_.string();
    if (!relative.empty()) p += "\\" + relative;
    return p;
}

// The native build keeps its protected records in a folder the tests own
// (Windows keeps them in the registry and ignores the variable).
static TempFolder protectedStore;
static std::string protectedStoreVariable = "ORVANTA_PROTECTED_DIR=" + protectedStore.path().string();
[[maybe_unused]] static int protectedStoreSet = putenv(&protectedStoreVariable[0]);

WorkingDirectory::WorkingDirectory(const fs::path& dir) : previous_(fs::current_path()) {
    fs::current_path(dir);
}

WorkingDirectory::~WorkingDirectory() { fs::current_path(previous_); }

void WriteFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<missing>";
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::map<std::string, std::string> ReadTree(const fs::path& root) {
    std::map<std::string, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::string name = entry.path().lexically_relative(root).generic_string();
        tree[entry.is_directory() ? name + "/" : name] =
            entry.is_directory() ? "" : ReadFile(entry.path());
    }
    return tree;
}

void MakeTargetExecutable(const fs::path& path) {
#ifdef ORVANTA_SAMPLE_EXE
    // The build passes a Unix path; Wine reaches the Unix root as drive Z.
    std::string sample = ORVANTA_SAMPLE_EXE;
    if (!sample.empty() && sample[0] == '/') sample = "Z:" + sample;
    fs::copy_file(sample, path, fs::copy_options::overwrite_existing);
#else
    WriteFile(path, pe_test::MakeImage({pe_test::Leaf{3, u"", 105, u"", 1033, "icon"}}));
#endif
}

std::string ReadResource(const fs::path& image, const char* name) {
    std::string result = "<absent>";
    const unsigned char* bytes;
    uint32_t size;
    if (SelectPackageImage(image.string().c_str()) && FindPackageResource(name, &bytes, &size))
        result.assign(reinterpret_cast<const char*>(bytes), size);
    SelectPackageImage(nullptr);
    return result;
}

void UsePackage(const fs::path& path, const std::vector<TestResource>& resources) {
    SelectPackageImage(nullptr);
    MakeTargetExecutable(path);
    PeUpdate* update = BeginPeUpdate(path.string().c_str());
    ASSERT_NE(nullptr, update);
    for (const auto& r : resources)
        EXPECT_TRUE(AddPeResourceBytes(update, r.name.c_str(), r.bytes.data(),
                                       static_cast<uint32_t>(r.bytes.size())));
    ASSERT_TRUE(EndPeUpdate(update, 0));
    ASSERT_TRUE(SelectPackageImage(path.string().c_str()));
}

std::string MakeRecord(const std::string& name, const std::string& content) {
    std::string r(name.size() + kRecordOverhead, '\0');
    EncodeRecordHead(name.c_str(), static_cast<uint32_t>(name.size()),
                     reinterpret_cast<unsigned char*>(&r[0]));
    return r + content;
}

std::string Deflate(const std::string& content) {
    uLongf size = compressBound(content.size());
    std::string stream(size, '\0');
    compress2(reinterpret_cast<Bytef*>(&stream[0]), &size,
              reinterpret_cast<const Bytef*>(content.data()), content.size(), 9);
    return stream.substr(0, size);
}

std::string MakeCompressedRecord(const std::string& name, const std::string& stream,
                                 uint32_t fileSize) {
    std::string r(name.size() + kRecordOverhead + kCompressedOverhead, '\0');
    EncodeCompressedRecordHead(name.c_str(), static_cast<uint32_t>(name.size()), fileSize,
                               reinterpret_cast<unsigned char*>(&r[0]));
    return r + stream;
}

std::string MakeRepeatedRecord(const std::string& name, uint32_t earlier) {
    std::string r(name.size() + kRecordOverhead + kRepeatedOverhead, '\0');
    EncodeRepeatedRecord(name.c_str(), static_cast<uint32_t>(name.size()), earlier,
                         reinterpret_cast<unsigned char*>(&r[0]));
    return r;
}

static std::string Number(uint64_t value) {
    std::string bytes;
    for (; value >= 0x80; value >>= 7) bytes += static_cast<char>(value | 0x80);
    return bytes + static_cast<char>(value);
}

std::string MakeDelta(uint64_t copy, const std::string& inserted) {
    // copies, insert counts, seeks, zero runs, run lengths, differences, inserts
    std::string streams[7] = {Number(copy), Number(inserted.size()), Number(0),
                              copy ? Number(copy) : "", copy ? Number(0) : "", "", inserted};
    std::string delta = "DLT2", body;
    for (const std::string& stream : streams) {
        std::string packed = stream.empty() ? "" : Deflate(stream);
        unsigned char size[4];
        StoreU32(size, static_cast<uint32_t>(packed.size()));
        delta.append(reinterpret_cast<char*>(size), 4);
        body += packed;
    }
    return delta + body;
}

static void Hash(const std::string& bytes, unsigned char digest[kHashSize]) {
    EXPECT_TRUE(HashBytesSha256(bytes.data(), bytes.size(), digest));
}

std::string MakeDeltaRecord(const std::string& name, const std::string& base,
                            const std::string& made, const std::string& delta) {
    unsigned char baseHash[kHashSize], madeHash[kHashSize];
    Hash(base, baseHash);
    Hash(made, madeHash);
    std::string r(name.size() + kRecordOverhead + kDeltaOverhead, '\0');
    EncodeDeltaRecordHead(name.c_str(), static_cast<uint32_t>(name.size()), base.size(), baseHash,
                          static_cast<uint32_t>(made.size()), madeHash,
                          reinterpret_cast<unsigned char*>(&r[0]));
    return r + delta;
}

std::string MakeUnchangedList(const std::map<std::string, std::string>& files) {
    std::string list;
    for (const auto& file : files) {
        UnchangedFile entry = {file.first, file.second.size(), {}};
        Hash(file.second, entry.hash);
        EncodeUnchangedFile(entry, &list);
    }
    return list;
}

TestResource FileRecord(int index, const std::string& name, const std::string& content) {
    char resource[kRecordNameSize];
    FormatRecordName(resource, index);
    return {resource, MakeRecord(name, content)};
}

std::string MakeHeader(uint32_t count, uint32_t total, uint64_t buildTime) {
    unsigned char bytes[kHeaderSize];
    EncodeHeader(PackageHeader{count, total, buildTime}, bytes);
    return std::string(reinterpret_cast<char*>(bytes), kHeaderSize);
}

static MessageRecorder* recorder = nullptr;

MessageRecorder::MessageRecorder(std::vector<int> answers) : answers_(std::move(answers)) {
    recorder = this;
    SetMessageHook(Record);
}

MessageRecorder::~MessageRecorder() {
    SetMessageHook(nullptr);
    recorder = nullptr;
}

int MessageRecorder::Record(WindowHandle owner, const char* text, const char* title,
                            MessageButtons buttons) {
    recorder->shown.push_back({text, title, buttons, owner});
    if (recorder->answers_.empty()) return kAnswerOk;
    int answer = recorder->answers_.front();
    recorder->answers_.erase(recorder->answers_.begin());
    return answer;
}
