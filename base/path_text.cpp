#include "base/path_text.h"

unsigned char GetLastSingleByte(const char* text, size_t length, LeadBytePredicate isLeadByte) {
    unsigned char last = 0;
    for (size_t i = 0; i < length; i++) {
        last = static_cast<unsigned char>(text[i]);
        // A lead byte and the byte after it are one character, whatever that
        // byte is; a lead byte at the very end stands alone.
        if (isLeadByte(last) && i + 1 < length) {
            i++;
            last = 0;
        }
    }
    return last;
}

size_t MeasureFolder(const char* path, size_t length, LeadBytePredicate isLeadByte) {
    size_t separator = length;  // none yet
    for (size_t i = 0; i < length; i++) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (isLeadByte(c)) i++;
        else if (c == '\\' || c == '/') separator = i;
    }
    if (separator == length) return 0;
    int root = separator == 0 || (separator == 2 && path[1] == ':');
    return separator + (root ? 1 : 0);
}
