#include "builder/record_compressor.h"
#include <zlib.h>

const uint32_t kInputChunk = 0x10000;

struct RecordCompressor {
    z_stream stream;
    FileHandle file;
    int atEnd;     // the file gave its last byte
    int finished;  // the stream is complete
    uint64_t input;
    unsigned char buffer[kInputChunk];
};

void RecordCompressorEnd::operator()(RecordCompressor* compressor) const {
    deflateEnd(&compressor->stream);
    delete compressor;
}

CompressorHandle StartRecordCompressor(FileHandle file) {
    RecordCompressor* compressor = new RecordCompressor();
    compressor->file = file;
    // The best zlib has: a build is made once, installed many times.
    if (deflateInit(&compressor->stream, Z_BEST_COMPRESSION) != Z_OK) {
        delete compressor;
        return CompressorHandle();
    }
    return CompressorHandle(compressor);
}

uint32_t ReadCompressedBytes(void* context, void* buffer, uint32_t count) {
    RecordCompressor* c = static_cast<RecordCompressor*>(context);
    c->stream.next_out = static_cast<unsigned char*>(buffer);
    c->stream.avail_out = count;
    while (c->stream.avail_out > 0 && !c->finished) {
        if (c->stream.avail_in == 0 && !c->atEnd) {
            uint32_t n = ReadBlock(c->file, c->buffer, kInputChunk);
            c->atEnd = n == 0;
            c->input += n;
            c->stream.next_in = c->buffer;
            c->stream.avail_in = n;
        }
        int result = deflate(&c->stream, c->atEnd ? Z_FINISH : Z_NO_FLUSH);
        if (result == Z_STREAM_END) c->finished = 1;
        else if (result != Z_OK && result != Z_BUF_ERROR) break;
    }
    return count - c->stream.avail_out;
}

int FinishedCompressing(const RecordCompressor* compressor, uint64_t* inputBytes,
                        uint64_t* outputBytes) {
    *inputBytes = compressor->input;
    *outputBytes = compressor->stream.total_out;
    return compressor->finished;
}
