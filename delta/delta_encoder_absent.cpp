// The delta encoder where its suffix sorter doesn't exist (the Windows
// builds: Debian packages libdivsufsort natively only). The update program
// never encodes; the Windows packer says it can't build from a release.
#include "delta/delta_encoder.h"

const int kDeltaEncoderPresent = 0;

int EncodeDelta(const unsigned char*, size_t, const unsigned char*, size_t, std::string*,
                DeltaEncodeReport* report) {
    *report = DeltaEncodeReport();
    report->refusal = "this build has no delta encoder";
    return 0;
}
