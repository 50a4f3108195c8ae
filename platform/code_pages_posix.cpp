// Code pages through iconv: Windows code page N is iconv's "CPN".
#include <cerrno>
#include <iconv.h>
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

int ConvertCodePage(const std::string& text, uint32_t from, uint32_t to, std::string* out) {
    iconv_t converter = iconv_open(IconvName(to).c_str(), IconvName(from).c_str());
    if (converter == reinterpret_cast<iconv_t>(-1)) return 0;
    int ok = 0, full = 1;
    for (size_t room = text.size() * 2 + 16; !ok && full; room *= 2) {
        out->assign(room, '\0');
        ok = RunConverter(converter, text, out, &full);
    }
    iconv_close(converter);
    return ok;
}
