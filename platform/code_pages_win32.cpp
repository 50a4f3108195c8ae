// Code pages through the system's tables, by way of UTF-16.
#include <windows.h>
#include "platform/code_pages.h"

int IsKnownCodePage(uint32_t codePage) {
    return codePage == kPlatformCodePage || IsValidCodePage(codePage);
}

static int ToWide(const std::string& text, uint32_t codePage, std::wstring* wide) {
    wide->clear();
    if (text.empty()) return 1;
    int size = static_cast<int>(text.size());
    int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (n <= 0) return 0;
    wide->resize(n);
    return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, &(*wide)[0],
                               n) == n;
}

static int FromWide(const std::wstring& wide, uint32_t codePage, std::string* out) {
    out->clear();
    if (wide.empty()) return 1;
    // No look-alikes and no default character; UTF-8 holds every character
    // and takes neither flag nor question.
    int utf8 = codePage == CP_UTF8;
    DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL defaulted = FALSE;
    BOOL* askDefaulted = utf8 ? nullptr : &defaulted;
    int size = static_cast<int>(wide.size());
    int n = WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr,
                                askDefaulted);
    if (n <= 0 || defaulted) return 0;
    out->resize(n);
    n = WideCharToMultiByte(codePage, flags, wide.data(), size, &(*out)[0], n, nullptr,
                            askDefaulted);
    return n == static_cast<int>(out->size()) && !defaulted;
}

int ConvertCodePage(const std::string& text, uint32_t from, uint32_t to, std::string* out) {
    std::wstring wide;
    return ToWide(text, from, &wide) && FromWide(wide, to, out);
}

int IsCodePageLeadByte(uint32_t codePage, unsigned char byte) {
    return IsDBCSLeadByteEx(codePage, byte) != 0;
}

int FoldNameCase(const std::string& text, uint32_t codePage, std::string* folded) {
    std::wstring wide;
    if (!ToWide(text, codePage, &wide)) return 0;
    // The system's own upper-case table, the one its file names compare by.
    std::wstring upper(wide.size(), L'\0');
    int size = static_cast<int>(wide.size());
    if (size && LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide.data(), size, &upper[0],
                             size) != size)
        return 0;
    folded->assign(reinterpret_cast<const char*>(upper.data()), upper.size() * sizeof(wchar_t));
    return 1;
}
