// The install's questions as message boxes: an "Error" box owned by the
// updater window with Retry and Cancel for what Retry can mend, OK only for
// a fault of the package itself.
#pragma once
#include "install/install_session.h"
#include "platform/system.h"

// The questions, as boxes owned by window (0: before the window exists).
InstallQuestions MakeWindowQuestions(WindowHandle window);

// An install session for the install directory, the package header and
// records, reporting to the bar and asking in boxes owned by window.
void StartInstallSession(InstallSession* session, const PackageRecords* package,
                         WindowHandle window);
