#pragma once

#include <string>
#include <vector>

#include "host/filter_interface.h"

// Plays a person's steps on a plug-in's configuration dialog from a second thread, with the
// messages a real click or drag sends:
//   click:ID          presses the button or check box with that control id (BM_CLICK)
//   slider:ID:POS     moves a slider as a drag does (TBM_SETPOS, then WM_HSCROLL to the dialog)
//   shot:FILE.png     saves a picture of the screen area covered by the dialog and the preview
//   wait:MS           pauses
//   ok | cancel       closes the dialog with OK, or with Esc
class DialogDriver {
public:
    // Checks the steps' syntax; returns false with a message for the first bad one.
    static bool parse(const std::vector<std::string>& steps, DialogDriver& driver, std::string& error);

    // Starts playing once a dialog belonging to thread `dialogThread` appears. The caller then runs
    // the dialog; `finish`, called when it has returned, waits for the player and reports any step
    // that failed. A dialog that does not appear within kDialogWaitMs ends the process with one line:
    // the caller is inside the dialog call and cannot be reached otherwise.
    void start(DWORD dialogThread);
    bool finish(std::string& error);

    bool empty() const { return steps_.empty(); }

private:
    struct Step {
        std::string kind;
        int id = 0;
        int value = 0;
        std::string file;
    };
    static DWORD WINAPI threadMain(LPVOID driver);
    void play();
    bool playStep(HWND dialog, const Step& step);

    std::vector<Step> steps_;
    DWORD dialogThread_ = 0;
    HANDLE thread_ = nullptr;
    HANDLE dialogReturned_ = nullptr;  // set by finish: no dialog appears after this
    std::string error_;
};

// A person's actions on a dialog, sent as the messages the controls themselves send. vdfhost's steps
// and the tests both drive dialogs through these.
void clickControl(HWND dialog, int id);
// Moves the slider and tells the dialog as a drag does: thumb-track at the new position, then
// end-track.
void dragSlider(HWND dialog, int sliderId, int position);

// How long a dialog may take to appear: Wine can take many seconds to show its first window on a
// fresh, busy system.
inline constexpr int kDialogWaitMs = 60000;
// How long the player of a dialog's steps may take to finish once the dialog has returned: its
// remaining steps find no dialog and a `wait` step is cut short, so it needs only moments.
inline constexpr int kStepsAfterDialogMs = 10000;

// Finds a visible dialog box owned by the given thread, waiting up to `milliseconds`, or until the
// event `dialogReturned` is set: the call that runs the dialog has returned, so none will appear.
HWND waitForDialog(DWORD thread, int milliseconds, HANDLE dialogReturned);

// Saves the screen area of the given windows (those that exist) as a PNG.
bool saveWindowsShot(const std::vector<HWND>& windows, const std::string& path, std::string& error);
