#include "tests/windows/host_fixture.h"

#include <commctrl.h>

#include <cstdio>

#include "tools/vdfhost/dialog_driver.h"

void PluginTest::SetUp() {
    registerHostControls();
    std::string error;
    plugin_ = PluginModule::load(kPluginFile, error);
    ASSERT_TRUE(plugin_) << error;
}

namespace {

struct DialogSteps {
    DWORD dialogThread;
    const std::function<void(HWND)>* steps;
    HANDLE dialogReturned;
};

DWORD WINAPI playDialogSteps(LPVOID context) {
    const auto* play = static_cast<const DialogSteps*>(context);
    HWND dialog = waitForDialog(play->dialogThread, kDialogWaitMs, play->dialogReturned);
    if (dialog == nullptr && WaitForSingleObject(play->dialogReturned, 0) == WAIT_OBJECT_0) {
        ADD_FAILURE() << "the dialog did not appear: the config callback returned without showing it";
        return 0;
    }
    if (dialog == nullptr) {
        // The test's thread is inside the dialog call, which only the dialog can end, and every
        // dialog test after it would wait as long.
        std::fprintf(stderr, "windows_tests: the plug-in's dialog did not appear within %d s; stopping\n",
                     kDialogWaitMs / 1000);
        std::fflush(nullptr);
        ExitProcess(1);
    }
    (*play->steps)(dialog);
    // EndDialog hides the dialog at once; the window goes when its loop has returned.
    if (!waitForWindowToGo(dialog, 3000)) {
        ADD_FAILURE() << "the steps left the dialog open for 3 s; cancelling it";
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
    return 0;
}

}  // namespace

int runDialog(FilterInstance& instance, IFilterPreview* preview,
              const std::function<void(HWND dialog)>& steps) {
    DialogSteps play{GetCurrentThreadId(), &steps, CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    HANDLE player = CreateThread(nullptr, 0, playDialogSteps, &play, 0, nullptr);
    const int result = instance.configure(nullptr, preview);
    SetEvent(play.dialogReturned);
    if (WaitForSingleObject(player, kStepsAfterDialogMs) != WAIT_OBJECT_0) {
        // The player still uses this test's objects, so the test cannot go on.
        std::fprintf(stderr,
                     "windows_tests: the dialog steps did not finish within %d s of the dialog closing\n",
                     kStepsAfterDialogMs / 1000);
        std::fflush(nullptr);
        ExitProcess(1);
    }
    CloseHandle(player);
    CloseHandle(play.dialogReturned);
    return result;
}

bool waitForWindowToGo(HWND window, int milliseconds) {
    const ULONGLONG start = GetTickCount64();
    while (IsWindow(window)) {
        if (GetTickCount64() - start > static_cast<ULONGLONG>(milliseconds)) return false;
        Sleep(10);
    }
    return true;
}

int sliderPosition(HWND dialog, int sliderId) {
    return static_cast<int>(SendDlgItemMessageA(dialog, sliderId, TBM_GETPOS, 0, 0));
}

bool isChecked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}
