// Compressed records inflated ahead of the install, on a thread of their
// own: while the worker writes one file (and journals, creates and closes
// it), the next files are already being inflated. At most kPrefetchBytes of
// inflated content wait at any time; the package stays where it is mapped.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>
#include "package/record_content.h"
#include "updater/package_info.h"

const uint32_t kPrefetchBytes = 8u << 20;

struct RecordPrefetch;
struct RecordPrefetchEnd {
    void operator()(RecordPrefetch* prefetch) const;  // stops and joins its thread
};
typedef std::unique_ptr<RecordPrefetch, RecordPrefetchEnd> PrefetchHandle;

// A prefetch over the records, which must stay as they are while it lives.
// Its thread starts at the first record asked for.
PrefetchHandle MakeRecordPrefetch(const std::vector<PackageRecord>& records);

// ReadRecordContent for record number index, a valid compressed one, from
// the thread's work. Records are asked for in order; one asked for again
// (a retry) or out of order starts the thread over from it.
int ReadPrefetchedContent(RecordPrefetch* prefetch, uint32_t index, ContentSink sink,
                          void* context, int* damaged);
