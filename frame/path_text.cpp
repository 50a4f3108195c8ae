#include "frame/path_text.h"

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
