// Code pages through iconv: Windows code page N is iconv's "CPN".
#include <cerrno>
#include <iconv.h>
#include <locale.h>
#include <wctype.h>
#include "platform/code_pages.h"

static std::string IconvName(uint32_t codePage) {
    if (codePage == kPlatformCodePage || codePage == kUtf8CodePage) return "UTF-8";
    return "CP" + std::to_string(codePage);
}

int IsKnownCodePage(uint32_t codePage) {
    iconv_t converter = iconv_open("UTF-8", IconvName(codePage).c_str());
    if (converter == reinterpret_cast<iconv_t>(-1)) return 0;
    iconv_close(converter);
    return 1;
}

// One pass of the converter over the whole text; 0 when out was too small
// (E2BIG) or the text can't be converted.
static int RunConverter(iconv_t converter, const std::string& text, std::string* out, int* full) {
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char* at = &(*out)[0];
    size_t outLeft = out->size();
    iconv(converter, nullptr, nullptr, nullptr, nullptr);  // the initial state
    int ok = iconv(converter, &in, &inLeft, &at, &outLeft) != static_cast<size_t>(-1) &&
             iconv(converter, nullptr, nullptr, &at, &outLeft) != static_cast<size_t>(-1);
    *full = !ok && errno == E2BIG;
    if (ok) out->resize(out->size() - outLeft);
    return ok;
}

static int ConvertNamed(const std::string& text, const char* from, const char* to,
                        std::string* out) {
    iconv_t converter = iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1)) return 0;
    int ok = 0, full = 1;
    for (size_t room = text.size() * 2 + 16; !ok && full; room *= 2) {
        out->assign(room, '\0');
        ok = RunConverter(converter, text, out, &full);
    }
    iconv_close(converter);
    return ok;
}

int ConvertCodePage(const std::string& text, uint32_t from, uint32_t to, std::string* out) {
    return ConvertNamed(text, IconvName(from).c_str(), IconvName(to).c_str(), out);
}

// A byte that converts to nothing by itself but isn't refused either
// (EINVAL: the input ends inside a character) begins a longer one.
static int BeginsLongerCharacter(iconv_t converter, unsigned char byte) {
    char in[1] = {static_cast<char>(byte)}, out[8];
    char *from = in, *to = out;
    size_t inLeft = 1, outLeft = sizeof out;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);  // the initial state
    return iconv(converter, &from, &inLeft, &to, &outLeft) == static_cast<size_t>(-1) &&
           errno == EINVAL;
}

int IsCodePageLeadByte(uint32_t codePage, unsigned char byte) {
    // The table of the last code page asked for is kept.
    static uint32_t known = kUtf8CodePage;
    static unsigned char leads[256];
    if (byte < 0x80 || codePage == kPlatformCodePage || codePage == kUtf8CodePage) return 0;
    if (codePage != known) {
        iconv_t converter = iconv_open("UTF-32LE", IconvName(codePage).c_str());
        int opened = converter != reinterpret_cast<iconv_t>(-1);
        for (int b = 0; b < 256; b++)
            leads[b] = opened && BeginsLongerCharacter(converter, static_cast<unsigned char>(b));
        if (opened) iconv_close(converter);
        known = codePage;
    }
    return leads[byte];
}

int FoldNameCase(const std::string& text, uint32_t codePage, std::string* folded) {
    // Unicode's simple upper-case mapping, as the system's tables give it;
    // the C.UTF-8 locale has it whatever the process's own locale is.
    static locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (!ConvertNamed(text, IconvName(codePage).c_str(), "UTF-32LE", folded)) return 0;
    for (size_t at = 0; at + 4 <= folded->size(); at += 4) {
        unsigned char* c = reinterpret_cast<unsigned char*>(&(*folded)[at]);
        wint_t wide = c[0] | c[1] << 8 | c[2] << 16 | static_cast<wint_t>(c[3]) << 24;
        wide = unicode ? towupper_l(wide, unicode) : towupper(wide);
        for (int i = 0; i < 4; i++) c[i] = static_cast<unsigned char>(wide >> 8 * i);
    }
    return 1;
}
