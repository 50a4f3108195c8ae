#include "install/install_session.h"

void CountInstalledBytes(InstallSession* session, uint32_t bytes) {
    SetInstalledBytes(session, session->bytesDone + bytes);
}

void SetInstalledBytes(InstallSession* session, uint32_t bytesDone) {
    session->bytesDone = bytesDone;
    if (session->progress.show) session->progress.show(session->progress.context, bytesDone);
}
