#include "updater/record_prefetch.h"
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {

// Inflated bytes of a record, or its end with how it ended.
struct Chunk {
    uint32_t index;
    std::vector<unsigned char> bytes;
    int end;
    int read;  // the end: ReadRecordContent's result and damage
    int damaged;
};

}  // namespace

struct RecordPrefetch {
    const std::vector<PackageRecord>* records;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<Chunk> queue;
    size_t queued = 0;   // bytes in the queue
    int stopping = 0;
    uint32_t next = 0;   // the first record a consumer may still ask for
    int usable = 0;      // the thread runs, and next is where its work stands
    int finished = 0;    // the thread has gone through the last record
    std::thread thread;
};

namespace {

struct Producer {
    RecordPrefetch* prefetch;
    uint32_t index;
};

int PushChunk(void* context, const unsigned char* bytes, uint32_t count) {
    Producer* producer = static_cast<Producer*>(context);
    RecordPrefetch* p = producer->prefetch;
    std::unique_lock<std::mutex> held(p->lock);
    p->changed.wait(held, [p] { return p->stopping || p->queued < kPrefetchBytes; });
    if (p->stopping) return 0;
    p->queue.push_back(Chunk{producer->index, std::vector<unsigned char>(bytes, bytes + count), 0, 0, 0});
    p->queued += count;
    p->changed.notify_all();
    return 1;
}

void RunPrefetch(RecordPrefetch* p, uint32_t from) {
    for (uint32_t i = from; i < p->records->size(); i++) {
        const PackageRecord& record = (*p->records)[i];
        if (!record.valid || !record.view.compressed) continue;
        Producer producer = {p, i};
        int damaged = 0;
        int read = ReadRecordContent(record.view, PushChunk, &producer, &damaged);
        std::lock_guard<std::mutex> held(p->lock);
        if (p->stopping) return;
        p->queue.push_back(Chunk{i, std::vector<unsigned char>(), 1, read, damaged});
        p->changed.notify_all();
    }
    std::lock_guard<std::mutex> held(p->lock);
    p->finished = 1;
    p->changed.notify_all();
}

void StopThread(RecordPrefetch* p) {
    {
        std::lock_guard<std::mutex> held(p->lock);
        p->stopping = 1;
        p->changed.notify_all();
    }
    if (p->thread.joinable()) p->thread.join();
    p->queue.clear();
    p->queued = 0;
    p->stopping = 0;
    p->usable = 0;
    p->finished = 0;
}

void StartThread(RecordPrefetch* p, uint32_t from) {
    StopThread(p);
    p->next = from;
    p->usable = 1;
    p->thread = std::thread(RunPrefetch, p, from);
}

}  // namespace

void RecordPrefetchEnd::operator()(RecordPrefetch* prefetch) const {
    StopThread(prefetch);
    delete prefetch;
}

PrefetchHandle MakeRecordPrefetch(const std::vector<PackageRecord>& records) {
    PrefetchHandle prefetch(new RecordPrefetch());
    prefetch->records = &records;
    return prefetch;
}

int ReadPrefetchedContent(RecordPrefetch* p, uint32_t index, ContentSink sink, void* context,
                          int* damaged) {
    *damaged = 0;
    if (!p->usable || index < p->next) StartThread(p, index);
    p->next = index + 1;
    for (;;) {
        Chunk chunk;
        {
            std::unique_lock<std::mutex> held(p->lock);
            p->changed.wait(held, [p] { return !p->queue.empty() || p->finished; });
            if (p->queue.empty()) {
                p->usable = 0;  // a record the thread doesn't inflate
                return 0;
            }
            chunk = std::move(p->queue.front());
            p->queue.pop_front();
            p->queued -= chunk.bytes.size();
            p->changed.notify_all();
        }
        if (chunk.index < index) continue;  // of a record not asked for
        if (chunk.index > index) {
            p->usable = 0;  // as above
            return 0;
        }
        if (chunk.end) {
            *damaged = chunk.damaged;
            return chunk.read;
        }
        if (!sink(context, chunk.bytes.data(), static_cast<uint32_t>(chunk.bytes.size()))) {
            p->usable = 0;  // the rest of this record is lost to a retry
            return 0;
        }
    }
}
