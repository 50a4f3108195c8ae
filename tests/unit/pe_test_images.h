// Small PE32 images made byte by byte for the tests, with a resource tree
// encoder of their own (so a layout bug in the writer can't hide behind the
// same bug in the test's input).
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace pe_test {

// ---- Test images -------------------------------------------------------

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

inline bool SameType(const Leaf& a, const Leaf& b) {
    return a.typeId == b.typeId && a.typeText == b.typeText;
}

inline bool SameName(const Leaf& a, const Leaf& b) {
    return SameType(a, b) && a.nameId == b.nameId && a.nameText == b.nameText;
}

// Encodes leaves into a resource section at sectionRva, tables in the order
// given: leaves of one type (and name) must be adjacent. The entry counts
// name every entry "named" or "id" by what it is, whatever the order.
inline std::string EncodeTree(const std::vector<Leaf>& leaves, uint32_t sectionRva) {
    std::vector<size_t> typeStarts, nameStarts;
    for (size_t i = 0; i < leaves.size(); i++) {
        if (i == 0 || !SameType(leaves[i], leaves[i - 1])) typeStarts.push_back(i);
        if (i == 0 || !SameName(leaves[i], leaves[i - 1])) nameStarts.push_back(i);
    }
    // Each table's entry count, then each table's place.
    std::vector<size_t> typeNames(typeStarts.size()), nameLangs(nameStarts.size());
    for (size_t i = 0, t = 0, n = 0; i < leaves.size(); i++) {
        if (i && !SameType(leaves[i], leaves[i - 1])) t++;
        if (i && !SameName(leaves[i], leaves[i - 1])) n++;
        if (i == 0 || !SameName(leaves[i], leaves[i - 1])) typeNames[t]++;
        nameLangs[n]++;
    }
    std::vector<size_t> typeTable(typeStarts.size()), nameTable(nameStarts.size());
    size_t at;
    at = 16 + 8 * typeStarts.size();
    for (size_t t = 0; t < typeStarts.size(); t++) typeTable[t] = at, at += 16 + 8 * typeNames[t];
    for (size_t n = 0; n < nameStarts.size(); n++) nameTable[n] = at, at += 16 + 8 * nameLangs[n];
    size_t dataEntries = at;
    at += 16 * leaves.size();
    std::string s(at, '\0');
    auto putString = [&](const std::u16string& text) {
        size_t offset = s.size();
        Put16(&s, offset, uint32_t(text.size()));
        for (size_t c = 0; c < text.size(); c++) Put16(&s, offset + 2 + 2 * c, text[c]);
        if (s.size() % 2) s.push_back('\0');
        return uint32_t(0x80000000u | offset);
    };
    auto putEntry = [&](size_t table, size_t index, uint32_t name, uint32_t field, bool named) {
        Put32(&s, table + 16 + 8 * index, name);
        Put32(&s, table + 16 + 8 * index + 4, field);
        Put16(&s, table + (named ? 12 : 14), Get16(s, table + (named ? 12 : 14)) + 1);
    };
    size_t t = 0, n = 0, typeIndex = 0, nameIndex = 0, langIndex = 0;
    for (size_t i = 0; i < leaves.size(); i++) {
        const Leaf& leaf = leaves[i];
        if (i && !SameType(leaf, leaves[i - 1])) t++, nameIndex = 0;
        if (i && !SameName(leaf, leaves[i - 1])) n++, langIndex = 0;
        if (i == 0 || !SameType(leaf, leaves[i - 1])) {
            uint32_t id = leaf.typeText.empty() ? leaf.typeId : putString(leaf.typeText);
            putEntry(0, typeIndex++, id, 0x80000000u | uint32_t(typeTable[t]), !leaf.typeText.empty());
        }
        if (i == 0 || !SameName(leaf, leaves[i - 1])) {
            uint32_t id = leaf.nameText.empty() ? leaf.nameId : putString(leaf.nameText);
            putEntry(typeTable[t], nameIndex++, id, 0x80000000u | uint32_t(nameTable[n]),
                     !leaf.nameText.empty());
        }
        putEntry(nameTable[n], langIndex++, leaf.language, uint32_t(dataEntries + 16 * i), false);
    }
    for (size_t i = 0; i < leaves.size(); i++) {
        while (s.size() % 8) s.push_back('\0');
        Put32(&s, dataEntries + 16 * i, sectionRva + uint32_t(s.size()));
        Put32(&s, dataEntries + 16 * i + 4, uint32_t(leaves[i].data.size()));
        Put32(&s, dataEntries + 16 * i + 8, 1252);
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

const uint32_t kPeOffset = 0x40;
const uint32_t kOpt = kPeOffset + 24;
const uint32_t kSectionTable = kOpt + 224;

inline size_t Align(size_t v, size_t a) {
    return (v + a - 1) / a * a;
}

inline void AddSection(std::string* pe, uint32_t index, const char* name, uint32_t rva,
                const std::string& content, uint32_t flags) {
    size_t raw = Align(pe->size(), 0x200);
    size_t header = kSectionTable + 40 * index;
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

inline std::string MakeImage(const std::vector<Leaf>& leaves, const ImageOptions& o = ImageOptions()) {
    std::string pe(0x400, '\0');
    pe[0] = 'M', pe[1] = 'Z';
    Put32(&pe, 0x3C, kPeOffset);
    pe.replace(kPeOffset, 4, std::string("PE\0\0", 4));
    Put16(&pe, kPeOffset + 4, 0x14C);
    Put16(&pe, kPeOffset + 20, 224);
    Put16(&pe, kPeOffset + 22, 0x0102);
    Put16(&pe, kOpt, 0x10B);
    Put32(&pe, kOpt + 16, 0x1000);  // entry point
    Put32(&pe, kOpt + 28, 0x400000);
    Put32(&pe, kOpt + 32, 0x1000);
    Put32(&pe, kOpt + 36, 0x200);
    Put16(&pe, kOpt + 40, 4);
    Put16(&pe, kOpt + 48, 4);
    Put32(&pe, kOpt + 60, o.sizeOfHeaders);
    Put32(&pe, kOpt + 64, o.checkSum);
    Put16(&pe, kOpt + 68, 3);
    Put32(&pe, kOpt + 92, 16);
    uint32_t sections = 0, rva = 0x1000;
    AddSection(&pe, sections++, ".text", rva, std::string(16, '\xC3'), 0x60000020);
    rva += 0x1000;
    if (o.resources) {
        std::string tree = EncodeTree(leaves, rva);
        AddSection(&pe, sections++, ".rsrc", rva, tree, 0x40000040);
        Put32(&pe, kOpt + 96 + 16, rva);
        Put32(&pe, kOpt + 96 + 20, uint32_t(tree.size()));
        rva += uint32_t(Align(tree.size(), 0x1000));
    }
    if (o.sectionAfterResources) {
        AddSection(&pe, sections++, ".data", rva, std::string(100, 'd'), 0xC0000040);
        rva += 0x1000;
    }
    Put16(&pe, kPeOffset + 6, sections);
    Put32(&pe, kOpt + 56, rva);
    if (o.tailIsSymbolTable) Put32(&pe, kPeOffset + 12, uint32_t(pe.size()));
    pe += o.tail;
    return pe;
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
