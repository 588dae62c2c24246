#include "tests/windows/host_fixture.h"

#include <commctrl.h>

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
};

DWORD WINAPI playDialogSteps(LPVOID context) {
    const auto* play = static_cast<const DialogSteps*>(context);
    HWND dialog = waitForDialog(play->dialogThread, 60000);
    if (dialog == nullptr) {
        ADD_FAILURE() << "the dialog did not appear";
        return 0;
    }
    (*play->steps)(dialog);
    // EndDialog hides the dialog at once; the window goes when its loop has returned.
    for (int waited = 0; IsWindow(dialog) && waited < 3000; waited += 10)
        Sleep(10);
    if (IsWindow(dialog)) {
        ADD_FAILURE() << "the steps left the dialog open; cancelling it";
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
    return 0;
}

}  // namespace

int runDialog(FilterInstance& instance, IFilterPreview* preview,
              const std::function<void(HWND dialog)>& steps) {
    DialogSteps play{GetCurrentThreadId(), &steps};
    HANDLE player = CreateThread(nullptr, 0, playDialogSteps, &play, 0, nullptr);
    const int result = instance.configure(nullptr, preview);
    WaitForSingleObject(player, INFINITE);
    CloseHandle(player);
    return result;
}

int sliderPosition(HWND dialog, int sliderId) {
    return static_cast<int>(SendDlgItemMessageA(dialog, sliderId, TBM_GETPOS, 0, 0));
}

bool isChecked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}
