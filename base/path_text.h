// Directory texts in the system's ANSI code page, taken byte by byte. In a
// double-byte code page (932, 936, 949, 950) the second byte of a character
// may be 0x5C, the code of '\': only a walk from the start of the text tells
// a separator from such a byte.
#pragma once
#include <cstddef>

// 1 when byte begins a double-byte character in the code page of the text.
typedef int (*LeadBytePredicate)(unsigned char byte);

// The last character of text (length bytes) when it is a single byte; 0 when
// the text is empty or ends in a double-byte character.
unsigned char GetLastSingleByte(const char* text, size_t length, LeadBytePredicate isLeadByte);

// The length of the folder of path (length bytes): the text before its last
// separator ('\' or '/', found walking from the start), that separator kept
// when it ends a root ("\", "X:\"). 0 when the path has no separator.
size_t MeasureFolder(const char* path, size_t length, LeadBytePredicate isLeadByte);
