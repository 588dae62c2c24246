#include "tools/vdfhost/dialog_driver.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "velmo/image/picture.h"

namespace {

bool parseInt(const std::string& text, int& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0') return false;
    value = static_cast<int>(parsed);
    return true;
}

struct ThreadDialogSearch {
    HWND found = nullptr;
};

BOOL CALLBACK findDialog(HWND window, LPARAM context) {
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::string(className) == "#32770" && IsWindowVisible(window)) {
        reinterpret_cast<ThreadDialogSearch*>(context)->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK collectThreadWindows(HWND window, LPARAM context) {
    if (IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
    return TRUE;
}

}  // namespace

HWND waitForDialog(DWORD thread, int milliseconds, HANDLE dialogReturned) {
    const ULONGLONG start = GetTickCount64();
    do {
        ThreadDialogSearch search;
        EnumThreadWindows(thread, findDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) return search.found;
        if (WaitForSingleObject(dialogReturned, 20) == WAIT_OBJECT_0) return nullptr;
    } while (GetTickCount64() - start <= static_cast<ULONGLONG>(milliseconds));
    return nullptr;
}

bool saveWindowsShot(const std::vector<HWND>& windows, const std::string& path, std::string& error) {
    RECT area{};
    bool any = false;
    for (HWND window : windows) {
        RECT r{};
        if (window == nullptr || !IsWindow(window) || !GetWindowRect(window, &r)) continue;
        if (!any) area = r;
        UnionRect(&area, &area, &r);
        any = true;
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    }
    if (!any) {
        error = "no window to take a picture of";
        return false;
    }
    Sleep(300);  // let the windows' own threads finish painting
    const int w = area.right - area.left, h = area.bottom - area.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;  // top-down, as pictures are stored
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, w, h, screen, area.left, area.top, SRCCOPY | CAPTUREBLT);
    GdiFlush();
    Picture picture;
    picture.w = w;
    picture.h = h;
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    picture.pixels.assign(pixels, pixels + static_cast<std::size_t>(w) * h);
    for (auto& pixel : picture.pixels)
        pixel &= 0x00FFFFFF;
    SelectObject(memory, previous);
    DeleteObject(dib);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return savePicture(path, picture, error);
}

bool DialogDriver::parse(const std::vector<std::string>& steps, DialogDriver& driver, std::string& error) {
    for (const std::string& text : steps) {
        Step step;
        const std::size_t colon = text.find(':');
        step.kind = text.substr(0, colon);
        const std::string rest = colon == std::string::npos ? std::string() : text.substr(colon + 1);
        bool ok = false;
        if (step.kind == "ok" || step.kind == "cancel") {
            ok = rest.empty();
        } else if (step.kind == "click" || step.kind == "wait") {
            ok = parseInt(rest, step.id);
        } else if (step.kind == "slider") {
            const std::size_t second = rest.find(':');
            ok = second != std::string::npos && parseInt(rest.substr(0, second), step.id) &&
                 parseInt(rest.substr(second + 1), step.value);
        } else if (step.kind == "shot") {
            step.file = rest;
            ok = !rest.empty();
        }
        if (!ok) {
            error = "bad dialog step \"" + text +
                    "\" (expected click:ID, slider:ID:POS, shot:FILE, wait:MS, ok or cancel)";
            return false;
        }
        driver.steps_.push_back(step);
    }
    return true;
}

void DialogDriver::start(DWORD dialogThread) {
    dialogThread_ = dialogThread;
    error_.clear();
    dialogReturned_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, threadMain, this, 0, nullptr);
}

DWORD WINAPI DialogDriver::threadMain(LPVOID driver) {
    static_cast<DialogDriver*>(driver)->play();
    return 0;
}

bool DialogDriver::finish(std::string& error) {
    if (thread_ == nullptr) {
        error = error_;
        return error_.empty();
    }
    SetEvent(dialogReturned_);
    const bool finished = WaitForSingleObject(thread_, kStepsAfterDialogMs) == WAIT_OBJECT_0;
    // A player still running keeps its handles; the process ends soon after this failure.
    if (!finished) {
        error = "the dialog steps did not finish within " + std::to_string(kStepsAfterDialogMs / 1000) +
                " s of the dialog closing";
        return false;
    }
    CloseHandle(thread_);
    CloseHandle(dialogReturned_);
    thread_ = dialogReturned_ = nullptr;
    error = error_;
    return error_.empty();
}

void DialogDriver::play() {
    HWND dialog = waitForDialog(dialogThread_, kDialogWaitMs, dialogReturned_);
    if (dialog == nullptr && WaitForSingleObject(dialogReturned_, 0) == WAIT_OBJECT_0) {
        error_ = "the plug-in's dialog returned before it appeared";
        return;
    }
    if (dialog == nullptr) {
        // The main thread is inside the plug-in's dialog call, which only the dialog can end.
        std::fprintf(stderr, "vdfhost: the plug-in's dialog did not appear within %d s\n",
                     kDialogWaitMs / 1000);
        std::fflush(nullptr);
        ExitProcess(1);
    }
    for (const Step& step : steps_) {
        if (!playStep(dialog, step)) {
            // Leave the dialog the way a person would give up: with Esc.
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            return;
        }
        if (step.kind == "ok" || step.kind == "cancel") return;
    }
}

bool DialogDriver::playStep(HWND dialog, const Step& step) {
    if (step.kind == "wait") {
        WaitForSingleObject(dialogReturned_, static_cast<DWORD>(std::max(step.id, 0)));
        return true;
    }
    if (step.kind == "ok" || step.kind == "cancel") {
        clickControl(dialog, step.kind == "ok" ? IDOK : IDCANCEL);
        return true;
    }
    if (step.kind == "shot") {
        std::vector<HWND> windows;
        EnumThreadWindows(dialogThread_, collectThreadWindows, reinterpret_cast<LPARAM>(&windows));
        return saveWindowsShot(windows, step.file, error_);
    }
    HWND control = GetDlgItem(dialog, step.id);
    if (control == nullptr) {
        error_ = "the dialog has no control with id " + std::to_string(step.id);
        return false;
    }
    if (step.kind == "click")
        clickControl(dialog, step.id);
    else
        dragSlider(dialog, step.id, step.value);
    return true;
}

void clickControl(HWND dialog, int id) {
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void dragSlider(HWND dialog, int sliderId, int position) {
    HWND slider = GetDlgItem(dialog, sliderId);
    SendMessageA(slider, TBM_SETPOS, TRUE, position);
    const LRESULT shown = SendMessageA(slider, TBM_GETPOS, 0, 0);
    SendMessageA(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, shown), reinterpret_cast<LPARAM>(slider));
    SendMessageA(dialog, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(slider));
}
