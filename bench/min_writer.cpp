// min_writer.exe: the least a Win32 program can do to write a payload's
// files, as the floor that Wine's per-file cost sets for the updater. For
// each file: CreateFileA with CREATE_ALWAYS, one WriteFile, CloseHandle.
//
//   min_writer.exe MANIFEST BLOB DESTDIR [TIMEFILE]
//
// MANIFEST holds "SIZE PATH" per file ('/' separated, relative to DESTDIR),
// BLOB all files' bytes one after another in the manifest's order. BLOB is
// mapped, not read, as the updater's own image is: both write from mapped
// pages. Folders must exist. Exit code 0 when every file was written. With
// TIMEFILE, the milliseconds spent from mapping BLOB to the last close are
// written there, apart from the process's start-up and end.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

int WriteOneFile(const char* path, const unsigned char* data, DWORD size) {
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD written = 0;
  int ok = WriteFile(file, data, size, &written, nullptr) && written == size;
  return CloseHandle(file) && ok;
}

// Writes every file of the manifest; the count written, or -1 on failure.
int WriteAll(FILE* manifest, const unsigned char* blob, unsigned long long blobSize,
             const char* destDir) {
  char line[1024], path[MAX_PATH];
  unsigned long long offset = 0;
  int count = 0;
  while (fgets(line, sizeof line, manifest)) {
    char* name = strchr(line, ' ');
    if (!name) return -1;
    unsigned long long size = strtoull(line, nullptr, 10);
    name[strcspn(name, "\r\n")] = 0;
    if (size > blobSize - offset ||
        snprintf(path, sizeof path, "%s\\%s", destDir, name + 1) >= (int)sizeof path)
      return -1;
    for (char* c = path; *c; ++c)
      if (*c == '/') *c = '\\';
    if (!WriteOneFile(path, blob + offset, static_cast<DWORD>(size))) {
      fprintf(stderr, "min_writer: could not write %s\n", path);
      return -1;
    }
    offset += size;
    ++count;
  }
  return count;
}

int WriteFromBlob(FILE* manifest, const char* blobPath, const char* destDir) {
  HANDLE file = CreateFileA(blobPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -1;
  LARGE_INTEGER size = {};
  HANDLE mapping = nullptr;
  if (GetFileSizeEx(file, &size) && size.QuadPart > 0)
    mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  const unsigned char* view =
      mapping ? static_cast<const unsigned char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0))
              : nullptr;
  int count = -1;
  if (view || size.QuadPart == 0)
    count = WriteAll(manifest, view, static_cast<unsigned long long>(size.QuadPart), destDir);
  if (view) UnmapViewOfFile(view);
  if (mapping) CloseHandle(mapping);
  CloseHandle(file);
  return count;
}

double NowMs() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

int SaveTime(const char* path, int count, double ms) {
  FILE* out = fopen(path, "w");
  if (!out) return 0;
  int ok = fprintf(out, "%d %.3f\n", count, ms) > 0;
  return fclose(out) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) {
    fprintf(stderr, "usage: min_writer.exe MANIFEST BLOB DESTDIR [TIMEFILE]\n");
    return 2;
  }
  FILE* manifest = fopen(argv[1], "r");
  if (!manifest) return 1;
  double start = NowMs();
  int count = WriteFromBlob(manifest, argv[2], argv[3]);
  double ms = NowMs() - start;
  fclose(manifest);
  if (count < 0) return 1;
  if (argc == 5 && !SaveTime(argv[4], count, ms)) return 1;
  return 0;
}
