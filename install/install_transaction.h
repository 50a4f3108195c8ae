// The install, all or nothing: after the checks, every record is written to
// a new file beside its target; the originals are set aside and the new
// files renamed into place in batches, each batch announced in the journal
// first, then the stamp and the commit; then the originals are deleted. The
// journal, trusted only with its install's marker in the protected store,
// lets Cancel, a failure or a killed process always be undone. Every file
// is named relative to the folders the checks hold.
#pragma once
#include "install/install_session.h"

// Installs the session's package into its game folder, asking the player
// through the session on each failure; 1 once the commit is on the disk, 0
// when the game was left (or put back) as it was.
[[nodiscard]] int InstallPackage(InstallSession* session);
