// Text in Windows code pages. A package stores its file names in the code
// page of the Windows that installs it (Windows-1252 on most), while each
// platform spells its own file names its own way: UTF-8 on POSIX, the ANSI
// code page on Windows. code_pages_posix.cpp (iconv), code_pages_win32.cpp
// (the system's own tables).
#pragma once
#include <cstdint>
#include <string>

// How this platform spells file names: UTF-8 on POSIX, the ANSI code page
// on Windows (the Windows number of that code page is 0, CP_ACP).
const uint32_t kPlatformCodePage = 0;
const uint32_t kUtf8CodePage = 65001;

// 1 when this platform converts text of that Windows code page number.
int IsKnownCodePage(uint32_t codePage);

// Converts text from one code page to another into out. 0 when the text is
// not valid in from, or one of its characters has no equivalent in to (no
// character is replaced by a look-alike or a question mark).
int ConvertCodePage(const std::string& text, uint32_t from, uint32_t to, std::string* out);

// 1 when byte begins a double-byte character in that code page: the byte
// after it belongs to the same character, whatever its value ('\' too).
int IsCodePageLeadByte(uint32_t codePage, unsigned char byte);

// The text of that code page with every character upper-cased as Windows
// compares file names, in a form of this platform's own, for comparing
// only. 0 when the text is not valid in the code page.
int FoldNameCase(const std::string& text, uint32_t codePage, std::string* folded);
