/* Makes the benchmark's payloads: the same bytes on every run and every
 * machine, from a fixed seed, with integer arithmetic only (no libm, no
 * library PRNG), and incompressible (splitmix64 output).
 *
 *   gen_payload KIND OUTDIR [--blob]
 *
 * KIND is "many" (1000 files in 250 nested folders, 128 MiB), "big" (one
 * 256 MiB file and 10 small ones), "tiny" (one 16-byte file) or a size in MiB
 * ("1024": files of at most 256 MiB adding up to that size).
 *
 * OUTDIR/Update/...   the files, as a build directory's "Update" folder holds them
 * OUTDIR/dirs.txt     every folder under Update, parents first ('/' separated)
 * OUTDIR/manifest.txt "SIZE PATH" per file, in the order of blob.bin
 * OUTDIR/blob.bin     with --blob: every file's bytes one after another, for
 *                     the minimal writer, which writes each file from it
 */
#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#define SEED 0x4f7276616e746121ull /* fixed: the payloads never change */
#define MIB (1024ull * 1024ull)
#define MAX_FILES 4096
#define MAX_DIRS 512
#define PATH_SIZE 512

typedef struct {
  char path[PATH_SIZE]; /* relative to Update, '/' separated */
  uint64_t size;
} FileSpec;

typedef struct {
  char dirs[MAX_DIRS][PATH_SIZE];
  int dirDepth[MAX_DIRS];
  int dirCount;
  FileSpec files[MAX_FILES];
  int fileCount;
} Plan;

static uint64_t NextRandom(uint64_t* state) {
  uint64_t z = (*state += 0x9e3779b97f4a7c15ull);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
  return z ^ (z >> 31);
}

static uint64_t RandomBelow(uint64_t* state, uint64_t limit) {
  return NextRandom(state) % limit;
}

/* 2 to the power exp16/65536, mantissa interpolated linearly: integer only. */
static uint64_t PowerOfTwo16(uint64_t exp16) {
  uint64_t whole = exp16 >> 16, fraction = exp16 & 0xffff;
  return ((1ull << whole) * (65536 + fraction)) >> 16;
}

static int AddDir(Plan* plan, int parent, const char* name) {
  if (plan->dirCount >= MAX_DIRS) return -1;
  int index = plan->dirCount++;
  if (parent < 0) {
    plan->dirs[index][0] = 0;
    plan->dirDepth[index] = 0;
  } else {
    char base[PATH_SIZE];
    memcpy(base, plan->dirs[parent], PATH_SIZE);
    if (snprintf(plan->dirs[index], PATH_SIZE, "%s%s%s", base, base[0] ? "/" : "", name) >=
        PATH_SIZE)
      return -1;
    plan->dirDepth[index] = plan->dirDepth[parent] + 1;
  }
  return index;
}

static int AddFile(Plan* plan, int dir, const char* name, uint64_t size) {
  if (plan->fileCount >= MAX_FILES) return 0;
  FileSpec* file = &plan->files[plan->fileCount++];
  char base[PATH_SIZE];
  memcpy(base, plan->dirs[dir], PATH_SIZE);
  if (snprintf(file->path, PATH_SIZE, "%s%s%s", base, base[0] ? "/" : "", name) >= PATH_SIZE)
    return 0;
  file->size = size;
  return 1;
}

static const char* const kExtensions[] = {".bin", ".dat", ".txt", ".pak", ".cfg", ".tex"};

/* 250 folders nested up to 6 deep; 1000 files whose sizes are spread on a
 * log scale around a few KiB, plus 20 large ones that bring the total to
 * exactly 128 MiB. */
static void PlanMany(Plan* plan) {
  uint64_t state = SEED ^ 1;
  AddDir(plan, -1, "");
  for (int i = 1; i <= 250; ++i) {
    int parent;
    do parent = (int)RandomBelow(&state, (uint64_t)plan->dirCount);
    while (plan->dirDepth[parent] >= 6);
    char name[32];
    snprintf(name, sizeof name, "d%03d", i);
    AddDir(plan, parent, name);
  }
  const int kSmall = 980, kLarge = 20;
  const uint64_t total = 128 * MIB;
  uint64_t sizes[1000], sum = 0, weights[20], weightSum = 0;
  for (int i = 0; i < kSmall; ++i) {
    /* exponent 4.3 .. 20 (20 B .. 1 MiB), three uniforms summed: median ~12 */
    uint64_t u = RandomBelow(&state, 65536) + RandomBelow(&state, 65536) +
                 RandomBelow(&state, 65536);
    sizes[i] = PowerOfTwo16(281805 + u * 1029000 / (3 * 65536));
    sum += sizes[i];
  }
  for (int i = 0; i < kLarge; ++i) {
    weights[i] = 1 + RandomBelow(&state, 8);
    weightSum += weights[i];
  }
  uint64_t rest = total - sum, given = 0;
  for (int i = 0; i < kLarge; ++i) {
    sizes[kSmall + i] = i + 1 < kLarge ? rest * weights[i] / weightSum : rest - given;
    given += sizes[kSmall + i];
  }
  for (int i = 0; i < kSmall + kLarge; ++i) {
    /* large files scattered among the small ones */
    int slot = (int)RandomBelow(&state, (uint64_t)(i + 1));
    uint64_t swap = sizes[slot];
    sizes[slot] = sizes[i];
    sizes[i] = swap;
  }
  for (int i = 0; i < kSmall + kLarge; ++i) {
    char name[32];
    int dir = (int)RandomBelow(&state, (uint64_t)plan->dirCount);
    snprintf(name, sizeof name, "f%04d%s", i, kExtensions[RandomBelow(&state, 6)]);
    AddFile(plan, dir, name, sizes[i]);
  }
}

static void PlanBig(Plan* plan) {
  uint64_t state = SEED ^ 2;
  AddDir(plan, -1, "");
  int docs = AddDir(plan, 0, "docs");
  AddFile(plan, 0, "big.pak", 256 * MIB);
  for (int i = 0; i < 10; ++i) {
    char name[32];
    snprintf(name, sizeof name, "small%02d.txt", i);
    AddFile(plan, i < 5 ? 0 : docs, name, 20 + RandomBelow(&state, 64 * 1024));
  }
}

static void PlanTiny(Plan* plan) {
  AddDir(plan, -1, "");
  AddFile(plan, 0, "tiny.txt", 16);
}

static void PlanSized(Plan* plan, uint64_t mib) {
  AddDir(plan, -1, "");
  uint64_t left = mib * MIB;
  for (int i = 0; left > 0; ++i) {
    uint64_t size = left < 256 * MIB ? left : 256 * MIB;
    char name[32];
    snprintf(name, sizeof name, "part%02d.pak", i);
    AddFile(plan, 0, name, size);
    left -= size;
  }
}

static int MakeDir(const char* path) {
  return mkdir(path, 0777) == 0 || errno == EEXIST;
}

/* The content of file number index: its own stream of the seed. */
static int WriteContent(FILE* out, FILE* blob, int index, uint64_t size) {
  static uint64_t buffer[1 << 17]; /* 1 MiB */
  uint64_t state = SEED ^ ((uint64_t)(index + 1) << 32);
  while (size > 0) {
    uint64_t n = size < sizeof buffer ? size : sizeof buffer;
    for (uint64_t i = 0; i < (n + 7) / 8; ++i) buffer[i] = NextRandom(&state);
    if (fwrite(buffer, 1, n, out) != n) return 0;
    if (blob && fwrite(buffer, 1, n, blob) != n) return 0;
    size -= n;
  }
  return 1;
}

static int WritePlan(const Plan* plan, const char* outDir, int withBlob) {
  char path[PATH_SIZE * 2];
  snprintf(path, sizeof path, "%s/Update", outDir);
  if (!MakeDir(outDir) || !MakeDir(path)) return 0;
  snprintf(path, sizeof path, "%s/dirs.txt", outDir);
  FILE* dirs = fopen(path, "w");
  if (!dirs) return 0;
  int ok = 1;
  for (int i = 1; i < plan->dirCount && ok; ++i) {
    snprintf(path, sizeof path, "%s/Update/%s", outDir, plan->dirs[i]);
    ok = MakeDir(path) && fprintf(dirs, "%s\n", plan->dirs[i]) > 0;
  }
  if (fclose(dirs) != 0 || !ok) return 0;
  snprintf(path, sizeof path, "%s/manifest.txt", outDir);
  FILE* manifest = fopen(path, "w");
  if (!manifest) return 0;
  FILE* blob = NULL;
  if (withBlob) {
    snprintf(path, sizeof path, "%s/blob.bin", outDir);
    blob = fopen(path, "wb");
    ok = blob != NULL;
  }
  for (int i = 0; i < plan->fileCount && ok; ++i) {
    const FileSpec* file = &plan->files[i];
    snprintf(path, sizeof path, "%s/Update/%s", outDir, file->path);
    FILE* out = fopen(path, "wb");
    ok = out && WriteContent(out, blob, i, file->size);
    if (out && fclose(out) != 0) ok = 0;
    if (ok) ok = fprintf(manifest, "%llu %s\n", (unsigned long long)file->size, file->path) > 0;
  }
  if (blob && fclose(blob) != 0) ok = 0;
  if (fclose(manifest) != 0) ok = 0;
  return ok;
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: %s many|big|tiny|MiB OUTDIR [--blob]\n", argv[0]);
    return 2;
  }
  static Plan plan;
  const char* kind = argv[1];
  if (!strcmp(kind, "many")) PlanMany(&plan);
  else if (!strcmp(kind, "big")) PlanBig(&plan);
  else if (!strcmp(kind, "tiny")) PlanTiny(&plan);
  else if (atoll(kind) > 0) PlanSized(&plan, (uint64_t)atoll(kind));
  else {
    fprintf(stderr, "gen_payload: unknown kind %s\n", kind);
    return 2;
  }
  int withBlob = argc > 3 && !strcmp(argv[3], "--blob");
  if (!WritePlan(&plan, argv[2], withBlob)) {
    fprintf(stderr, "gen_payload: could not write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
