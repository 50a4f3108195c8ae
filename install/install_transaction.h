// The install, all or nothing: after the checks, every record is written to
// a new file beside its target; the originals are set aside and the new
// files renamed into place in batches, each batch announced in the journal
// first, then the stamp and the commit; then the originals are deleted. The
// journal, trusted only with its install's marker in the protected store,
// lets Cancel, a failure or a killed process always be undone.
#pragma once
#include <cstdint>
#include "install/install_failure.h"

// 1 when record number index was written completely into its new file
// beside the target; 0 on any failure, with failure telling why.
int ExtractPayloadFile(uint32_t index, ExtractFailure* failure);

// Installs the package into the install directory, asking the user on each
// failure; 1 once the commit is on the disk, 0 when the game was left (or
// put back) as it was.
int InstallPackage();
