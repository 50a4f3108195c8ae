#include "package/record_names.h"
#include <cstring>
#include <vector>
#include "base/bytes.h"
#include "package/package_format.h"
#include "platform/code_pages.h"

namespace {

int IsSeparator(unsigned char c) { return c == '\\' || c == '/'; }

int EndsWithNoCase(const char* text, const char* ending) {
    size_t n = strlen(text), m = strlen(ending);
    if (n < m) return 0;
    for (size_t i = 0; i < m; i++)
        if (ToUpperAscii(text[n - m + i]) != ToUpperAscii(ending[i])) return 0;
    return 1;
}

// Windows drops trailing dots and blanks from a part, so ". ." and "..."
// name the parent just as ".." does.
int IsParentPart(const char* part, size_t length) {
    int dots = 0;
    for (size_t i = 0; i < length; i++) {
        if (part[i] == '.') dots++;
        else if (part[i] != ' ') return 0;
    }
    return dots >= 2;
}

// The number after "COM" or "LPT": 1 to 9, or a superscript 1, 2 or 3,
// which Windows takes for those digits. The superscripts are characters of
// the code page (0xB9 is one in 1252, another letter in 1250).
int IsDeviceDigit(const char* text, size_t length, uint32_t codePage) {
    if (length == 1 && text[0] >= '1' && text[0] <= '9') return 1;
    std::string character;
    if (length == 0 || length > 2 || static_cast<unsigned char>(text[0]) < 0x80 ||
        !ConvertCodePage(std::string(text, length), codePage, kUtf8CodePage, &character))
        return 0;
    return character == "\xC2\xB9" || character == "\xC2\xB2" || character == "\xC2\xB3";
}

// A device's name before the first dot, blanks after it dropped: "con",
// "NUL.txt", "COM1 .log", "LPT\xB2" in 1252 open the device, not a file.
int IsDeviceName(const char* part, size_t length, uint32_t codePage) {
    size_t base = 0;
    while (base < length && part[base] != '.') base++;
    while (base > 0 && part[base - 1] == ' ') base--;
    if (base < 3) return 0;
    char upper[4] = "";
    for (size_t i = 0; i < 3; i++) upper[i] = ToUpperAscii(part[i]);
    if (base == 3) return !strcmp(upper, "CON") || !strcmp(upper, "PRN") ||
                          !strcmp(upper, "AUX") || !strcmp(upper, "NUL");
    return (!strcmp(upper, "COM") || !strcmp(upper, "LPT")) &&
           IsDeviceDigit(part + 3, base - 3, codePage);
}

// One part; last is its last character when that is a single byte, else 0.
RecordNameFault JudgePart(const char* part, size_t length, unsigned char last,
                          uint32_t codePage) {
    if (length == 0) return kNameEmptyPart;
    if (IsParentPart(part, length)) return kNameOutside;
    if (length == 1 && part[0] == '.') return kNameDotPart;
    if (last == '.' || last == ' ') return kNameTrailingDotOrBlank;
    return IsDeviceName(part, length, codePage) ? kNameDevice : kNameSound;
}

// Shaped like a short name that Windows makes for a long one: a base of
// at most 8 bytes ending in '~' and digits, an extension of at most 3.
int IsShortNameShape(const char* part, size_t length, uint32_t codePage) {
    size_t base = length, tilde = length;
    for (size_t i = 0; i < length; i++) {
        unsigned char c = static_cast<unsigned char>(part[i]);
        if (IsCodePageLeadByte(codePage, c)) i++;
        else if (c == '.' && base < length) return 0;  // a second dot
        else if (c == '.') base = i;
        else if (c == '~' && base == length) tilde = i;
    }
    if (base < 2 || base > 8 || length - base > 4 || tilde + 1 >= base) return 0;
    for (size_t i = tilde + 1; i < base; i++)
        if (part[i] < '0' || part[i] > '9') return 0;
    return 1;
}

// A name's parts, each case folded in the code page, as one key: each
// part's key is preceded by its length, so no part can pass for two. A
// name the code page doesn't hold keeps its bytes, upper-casing only the
// single-byte letters a to z.
void AppendPartKey(std::string* key, const std::string& part, uint32_t codePage) {
    std::string folded;
    if (!FoldNameCase(part, codePage, &folded)) {
        folded = part;
        for (size_t i = 0; i < folded.size(); i++) {
            if (IsCodePageLeadByte(codePage, static_cast<unsigned char>(folded[i]))) i++;
            else folded[i] = ToUpperAscii(folded[i]);
        }
    }
    *key += std::to_string(folded.size()) + ":" + folded;
}

}  // namespace

int IsReservedInstallName(const char* name) {
    size_t length = strlen(name);
    return EndsWithNoCase(name, kNewFileSuffix) || EndsWithNoCase(name, kOldFileSuffix) ||
           (length == strlen(kJournalFileName) && EndsWithNoCase(name, kJournalFileName)) ||
           (length == strlen(kStampFileName) && EndsWithNoCase(name, kStampFileName));
}

int HasShortNameShape(const char* name, uint32_t codePage) {
    const char* part = name;
    for (const char* p = name;; p++) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c != 0 && !IsSeparator(c)) {
            if (IsCodePageLeadByte(codePage, c) && p[1]) p++;
            continue;
        }
        if (IsShortNameShape(part, static_cast<size_t>(p - part), codePage)) return 1;
        if (c == 0) return 0;
        part = p + 1;
    }
}

RecordNameFault JudgeRecordName(const char* name, uint32_t codePage) {
    if (!name || !name[0]) return kNameEmptyPart;
    unsigned char first = static_cast<unsigned char>(name[0]);
    if (IsSeparator(first) || (first < 0x80 && name[1] == ':')) return kNameOutside;  // a drive
    const char* part = name;
    unsigned char last = 0;
    for (const char* p = name;; p++) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == 0 || IsSeparator(c)) {
            RecordNameFault fault =
                JudgePart(part, static_cast<size_t>(p - part), last, codePage);
            if (fault != kNameSound) return fault;
            if (c == 0) break;
            part = p + 1;
            last = 0;
            continue;
        }
        last = c;
        if (IsCodePageLeadByte(codePage, c) && p[1]) {
            p++;  // the second byte belongs to this character, whatever it is
            last = 0;
        } else if (c < 0x20) {
            return kNameBadCharacter;
        } else if (c == ':') {
            return kNameStream;
        } else if (strchr("<>\"|?*", c)) {
            return kNameBadCharacter;
        }
    }
    return IsReservedInstallName(name) ? kNameReserved : kNameSound;
}

const char* DescribeNameFault(RecordNameFault fault) {
    switch (fault) {
    case kNameSound: break;
    case kNameEmptyPart: return "it is empty, or a part of it is";
    case kNameOutside: return "it points outside the game directory";
    case kNameDotPart: return "a part of it is \".\"";
    case kNameStream: return "a ':' in it names a stream of a file";
    case kNameBadCharacter:
        return "it has a character Windows refuses in names (< > \" | ? * or a control character)";
    case kNameDevice:
        return "it is a device's name (CON, PRN, AUX, NUL, or COM or LPT with a digit 1 to 9 or "
               "a superscript 1, 2 or 3)";
    case kNameTrailingDotOrBlank: return "a part of it ends in a dot or a blank, which Windows drops";
    case kNameReserved: return "it keeps it for its own files";
    }
    return "";
}

// The earlier record whose name has this key in names, if any.
static int FindKey(const std::map<std::string, uint32_t>& names, const std::string& key,
                   uint32_t* earlier) {
    auto found = names.find(key);
    if (found == names.end()) return 0;
    *earlier = found->second;
    return 1;
}

int AddRecordName(RecordNameSet* set, const char* name, uint32_t index, uint32_t* earlier) {
    std::string key;
    std::vector<std::string> folders;
    const char* part = name;
    for (const char* p = name;; p++) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c != 0 && !IsSeparator(c)) {
            if (IsCodePageLeadByte(set->codePage, c) && p[1]) p++;
            continue;
        }
        AppendPartKey(&key, std::string(part, p), set->codePage);
        if (c == 0) break;
        if (FindKey(set->files, key, earlier)) return 0;  // a file where a folder must be
        folders.push_back(key);
        part = p + 1;
    }
    if (FindKey(set->files, key, earlier) || FindKey(set->folders, key, earlier)) return 0;
    set->files[key] = index;
    for (const std::string& folder : folders) set->folders.insert({folder, index});
    return 1;
}
