#include "updater/install_questions.h"
#include "install/install_dir.h"
#include "updater/progress_state.h"

static WindowHandle OwnerOf(void* context) { return reinterpret_cast<WindowHandle>(context); }

static int AskRetryInBox(void* context, const ExtractFailure& failure) {
    char text[sizeof failure.files + sizeof failure.target + sizeof failure.reason + 300];
    FormatFailure(failure, text, sizeof text);
    // Nothing a retry mends the package or another release's files: OK only.
    if (failure.kind == kPackageFault || failure.kind == kOtherRelease) {
        ShowMessage(OwnerOf(context), text, "Error", kButtonsOk);
        return 0;
    }
    return ShowMessage(OwnerOf(context), text, "Error", kButtonsRetryCancel) == kAnswerRetry;
}

static void TellInBox(void* context, const char* text, const char* title) {
    ShowMessage(OwnerOf(context), text, title, kButtonsOk);
}

InstallQuestions MakeWindowQuestions(WindowHandle window) {
    return InstallQuestions{AskRetryInBox, TellInBox, reinterpret_cast<void*>(window)};
}

void StartInstallSession(InstallSession* session, const PackageRecords* package,
                         WindowHandle window) {
    ReleaseGameFolders(&session->folders);
    session->header = &g_PackageHeader;
    session->package = package;
    session->folders.directory = g_InstallDir;
    session->bytesDone = 0;
    session->progress = ProgressSink{ShowInstalledBytes, nullptr, ShowInstallStage};
    session->questions = MakeWindowQuestions(window);
}
