// Reading the package resources of an executable file, and record layouts.
#include "e2e_support.h"

namespace {

BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR context) {
  std::vector<std::string>* names = reinterpret_cast<std::vector<std::string>*>(context);
  if (IS_INTRESOURCE(name))
    names->push_back("#" + std::to_string(reinterpret_cast<ULONG_PTR>(name)));
  else
    names->push_back(name);
  return TRUE;
}

}  // namespace

int ReadResource(const std::string& exePath, const char* name, std::string* bytes) {
  HMODULE module = LoadLibraryExA(exePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return 0;
  int ok = 0;
  HRSRC found = FindResourceA(module, name, MAKEINTRESOURCEA(10));  // RT_RCDATA
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const char* data = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  if (data) {
    bytes->assign(data, SizeofResource(module, found));
    ok = 1;
  }
  FreeLibrary(module);
  return ok;
}

std::vector<std::string> ListResourceNames(const std::string& exePath) {
  std::vector<std::string> names;
  HMODULE module = LoadLibraryExA(exePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return names;
  EnumResourceNamesA(module, MAKEINTRESOURCEA(10), CollectName,
                     reinterpret_cast<LONG_PTR>(&names));
  FreeLibrary(module);
  return names;
}

unsigned ReadU32(const std::string& bytes, size_t offset) {
  unsigned value = 0;
  for (int i = 3; i >= 0; --i)
    value = (value << 8) | static_cast<unsigned char>(bytes.at(offset + i));
  return value;
}

unsigned long long ReadU64(const std::string& bytes, size_t offset) {
  return ReadU32(bytes, offset) | static_cast<unsigned long long>(ReadU32(bytes, offset + 4)) << 32;
}

unsigned long long CurrentFileTime() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return now.dwLowDateTime | static_cast<unsigned long long>(now.dwHighDateTime) << 32;
}

std::string MakeRecord(const std::string& name, const std::string& content) {
  std::string record;
  unsigned length = static_cast<unsigned>(name.size());
  for (int i = 0; i < 4; ++i) record += static_cast<char>((length >> (8 * i)) & 0xFF);
  record += name;
  record += '\0';
  record += content;
  return record;
}

std::string RecordName(const std::string& record) {
  if (record.size() < 5) return "";
  size_t length = ReadU32(record, 0);
  if (record.size() < length + 5) return "";
  return record.substr(4, length);
}
