// Small PE32 and PE32+ images made byte by byte for the tests, with a resource tree
// encoder of their own (so a layout bug in the writer can't hide behind the
// same bug in the test's input).
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace pe_test {

struct Leaf {
    uint32_t typeId;
    std::u16string typeText;
    uint32_t nameId;
    std::u16string nameText;
    uint32_t language;
    std::string data;
};

inline Leaf RcData(const char* name, const std::string& data, uint32_t language = 0) {
    std::string ascii(name);
    return Leaf{10, u"", 0, std::u16string(ascii.begin(), ascii.end()), language, data};
}

inline void Put16(std::string* s, size_t at, uint32_t v) {
    if (s->size() < at + 2) s->resize(at + 2);
    (*s)[at] = char(v);
    (*s)[at + 1] = char(v >> 8);
}

inline void Put32(std::string* s, size_t at, uint32_t v) {
    Put16(s, at, v & 0xFFFF);
    Put16(s, at + 2, v >> 16);
}

inline uint32_t Get16(const std::string& s, size_t at) {
    return uint8_t(s[at]) | uint8_t(s[at + 1]) << 8;
}

inline uint32_t Get32(const std::string& s, size_t at) {
    return Get16(s, at) | Get16(s, at + 2) << 16;
}

// The key of a leaf at a level: 0 type, 1 name, 2 language.
inline bool SameKey(const Leaf& a, const Leaf& b, int level) {
    bool type = a.typeId == b.typeId && a.typeText == b.typeText;
    bool name = a.nameId == b.nameId && a.nameText == b.nameText;
    return level == 0 ? type : level == 1 ? type && name : type && name && a.language == b.language;
}

// Encodes leaves [first, last), which agree on every level above this one,
// as a table and the tables below it, appended to s; gives its offset. The
// leaves of one key must be adjacent; tables keep the order given.
inline uint32_t EncodeTable(std::string* s, const std::vector<Leaf>& leaves, size_t first,
                            size_t last, int level, std::vector<size_t>* dataEntries) {
    std::vector<size_t> runs;
    for (size_t i = first; i < last; i++)
        if (i == first || !SameKey(leaves[i], leaves[i - 1], level)) runs.push_back(i);
    size_t table = s->size();
    s->resize(table + 16 + 8 * runs.size());
    for (size_t r = 0; r < runs.size(); r++) {
        const Leaf& leaf = leaves[runs[r]];
        const std::u16string& text = level == 0 ? leaf.typeText : level == 1 ? leaf.nameText : u"";
        uint32_t id = level == 0 ? leaf.typeId : level == 1 ? leaf.nameId : leaf.language;
        if (!text.empty()) {
            id = 0x80000000u | uint32_t(s->size());
            Put16(s, s->size(), uint32_t(text.size()));
            for (char16_t c : text) Put16(s, s->size(), c);
        }
        size_t counter = table + (text.empty() ? 14 : 12);
        Put16(s, counter, Get16(*s, counter) + 1);
        Put32(s, table + 16 + 8 * r, id);
        size_t end = r + 1 < runs.size() ? runs[r + 1] : last;
        uint32_t field;
        if (level < 2) {
            field = 0x80000000u | EncodeTable(s, leaves, runs[r], end, level + 1, dataEntries);
        } else {
            field = uint32_t(s->size());
            (*dataEntries)[runs[r]] = field;
            s->resize(s->size() + 16);
        }
        Put32(s, table + 16 + 8 * r + 4, field);
    }
    return uint32_t(table);
}

// A resource section at sectionRva: the tree, then the data, 8-aligned.
inline std::string EncodeTree(const std::vector<Leaf>& leaves, uint32_t sectionRva) {
    std::string s;
    std::vector<size_t> dataEntries(leaves.size());
    EncodeTable(&s, leaves, 0, leaves.size(), 0, &dataEntries);
    for (size_t i = 0; i < leaves.size(); i++) {
        s.resize((s.size() + 7) / 8 * 8);
        Put32(&s, dataEntries[i], sectionRva + uint32_t(s.size()));
        Put32(&s, dataEntries[i] + 4, uint32_t(leaves[i].data.size()));
        Put32(&s, dataEntries[i] + 8, 1252);
        s += leaves[i].data;
    }
    return s;
}

struct ImageOptions {
    bool resources = true;
    bool sectionAfterResources = false;  // a ".data" section follows ".rsrc"
    uint32_t checkSum = 0;
    uint32_t sizeOfHeaders = 0x400;
    std::string tail;                    // bytes after the last section
    bool tailIsSymbolTable = false;
};

// What differs between a 32-bit image (PE32) and a 64-bit one (PE32+), as
// offsets in the optional header.
struct Kind {
    const char* name;
    uint32_t machine, optionalSize, magic, imageBase, directoryCount, directories;
};
const Kind kPe32 = {"Pe32", 0x14C, 224, 0x10B, 28, 92, 96};
const Kind kPe32Plus = {"Pe32Plus", 0x8664, 240, 0x20B, 24, 108, 112};

const uint32_t kPeOffset = 0x40;
const uint32_t kOpt = kPeOffset + 24;

inline size_t Align(size_t v, size_t a) { return (v + a - 1) / a * a; }

inline void AddSection(std::string* pe, const Kind& kind, uint32_t index, const char* name,
                       uint32_t rva, const std::string& content, uint32_t flags) {
    size_t raw = Align(pe->size(), 0x200);
    size_t header = kOpt + kind.optionalSize + 40 * index;
    pe->replace(header, 8, std::string(name).append(8 - strlen(name), '\0'));
    Put32(pe, header + 8, uint32_t(content.size()));
    Put32(pe, header + 12, rva);
    Put32(pe, header + 16, uint32_t(Align(content.size(), 0x200)));
    Put32(pe, header + 20, uint32_t(raw));
    Put32(pe, header + 36, flags);
    pe->resize(raw);
    *pe += content;
    pe->resize(Align(pe->size(), 0x200));
}

// An image with a code section, the resources, and what the options add.
inline std::string MakeImage(const std::vector<Leaf>& leaves,
                             const ImageOptions& o = ImageOptions(), const Kind& kind = kPe32) {
    std::string pe(0x400, '\0');
    pe[0] = 'M', pe[1] = 'Z';
    Put32(&pe, 0x3C, kPeOffset);
    pe.replace(kPeOffset, 4, std::string("PE\0\0", 4));
    const uint32_t fields[][2] = {{kPeOffset + 4, kind.machine},  {kPeOffset + 20, kind.optionalSize},
                                  {kPeOffset + 22, 0x102}, {kOpt, kind.magic},
                                  {kOpt + 40, 4},          {kOpt + 48, 4},
                                  {kOpt + 68, 3}};
    for (const auto& f : fields) Put16(&pe, f[0], f[1]);
    const uint32_t words[][2] = {{kOpt + 16, 0x1000}, {kOpt + kind.imageBase, 0x400000},
                                 {kOpt + 32, 0x1000}, {kOpt + 36, 0x200},
                                 {kOpt + 60, o.sizeOfHeaders}, {kOpt + 64, o.checkSum},
                                 {kOpt + kind.directoryCount, 16}};
    for (const auto& w : words) Put32(&pe, w[0], w[1]);
    uint32_t sections = 0, rva = 0x1000;
    AddSection(&pe, kind, sections++, ".text", rva, std::string(16, '\xC3'), 0x60000020);
    rva += 0x1000;
    if (o.resources) {
        std::string tree = EncodeTree(leaves, rva);
        AddSection(&pe, kind, sections++, ".rsrc", rva, tree, 0x40000040);
        Put32(&pe, kOpt + kind.directories + 16, rva);
        Put32(&pe, kOpt + kind.directories + 20, uint32_t(tree.size()));
        rva += uint32_t(Align(tree.size(), 0x1000));
    }
    if (o.sectionAfterResources) {
        AddSection(&pe, kind, sections++, ".data", rva, std::string(100, 'd'), 0xC0000040);
        rva += 0x1000;
    }
    Put16(&pe, kPeOffset + 6, sections);
    Put32(&pe, kOpt + 56, rva);
    if (o.tailIsSymbolTable) Put32(&pe, kPeOffset + 12, uint32_t(pe.size()));
    return pe + o.tail;
}

// The image checksum, computed here on its own.
inline uint32_t Checksum(const std::string& file) {
    uint32_t sum = 0;
    for (size_t i = 0; i < file.size(); i += 2) {
        bool field = i >= kOpt + 64 && i < kOpt + 68;
        uint32_t word = field ? 0 : uint8_t(file[i]);
        if (!field && i + 1 < file.size()) word |= uint8_t(file[i + 1]) << 8;
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return sum + uint32_t(file.size());
}

}  // namespace pe_test
