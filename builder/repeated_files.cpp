#include "builder/repeated_files.h"
#include <algorithm>
#include <map>
#include <zlib.h>
#include "platform/files.h"

// A file smaller than this is sent whole: its repeat's record would be no
// smaller.
const uint64_t kSmallestRepeat = 16;
const uint32_t kReadChunk = 1 << 16;

// The file's CRC-32, to sort out files that can't be equal. 0 when it
// can't be read whole.
static int ChecksumFile(const std::string& path, uint64_t size, uint32_t* crc) {
    FileHandle file = OpenForRead(path.c_str());
    if (!file) return 0;
    std::vector<unsigned char> buffer(kReadChunk);
    uLong sum = crc32(0, nullptr, 0);
    uint64_t done = 0;
    for (uint32_t n; (n = ReadBlock(file, buffer.data(), kReadChunk)) > 0; done += n)
        sum = crc32(sum, buffer.data(), n);
    CloseFile(file);
    *crc = static_cast<uint32_t>(sum);
    return done == size;
}

static int IsSameFileContent(const std::string& a, const std::string& b) {
    FileHandle first = OpenForRead(a.c_str()), second = first ? OpenForRead(b.c_str()) : 0;
    std::vector<unsigned char> one(kReadChunk), two(kReadChunk);
    int same = second != 0;
    while (same) {
        uint32_t n = ReadBlock(first, one.data(), kReadChunk);
        uint32_t m = n ? ReadBlock(second, two.data(), n) : ReadBlock(second, two.data(), 1);
        same = n == m && std::equal(one.begin(), one.begin() + n, two.begin());
        if (n == 0) break;
    }
    if (second) CloseFile(second);
    if (first) CloseFile(first);
    return same;
}

static uint64_t SizeOf(const std::string& path) {
    FileHandle file = OpenForRead(path.c_str());
    if (!file) return 0;
    uint64_t size = GetFileSize64(file);
    CloseFile(file);
    return size == ~0ull ? 0 : size;
}

void FindRepeatedFiles(const std::string& folder, const std::vector<std::string>& names,
                       std::vector<uint32_t>* first) {
    first->resize(names.size());
    std::map<uint64_t, std::vector<uint32_t>> bySize;
    for (uint32_t i = 0; i < names.size(); i++) {
        (*first)[i] = i;
        uint64_t size = SizeOf(folder + names[i]);
        if (size >= kSmallestRepeat) bySize[size].push_back(i);
    }
    for (const auto& group : bySize) {
        if (group.second.size() < 2) continue;
        std::map<uint32_t, std::vector<uint32_t>> byChecksum;
        for (uint32_t i : group.second) {
            uint32_t crc;
            if (!ChecksumFile(folder + names[i], group.first, &crc)) continue;
            std::vector<uint32_t>& alike = byChecksum[crc];
            for (uint32_t earlier : alike)
                if (IsSameFileContent(folder + names[earlier], folder + names[i])) {
                    (*first)[i] = earlier;
                    break;
                }
            if ((*first)[i] == i) alike.push_back(i);
        }
    }
}
