// orvanta-pack: builds patches and looks inside them (packer.h).
#include "packer/packer.h"

int main(int argc, char** argv) { return RunPacker(argc, argv); }
