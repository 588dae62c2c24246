#include "tools/vdfhost/host_preview.h"

#include <algorithm>

#include "tools/vdfhost/plugin_host.h"

namespace {

constexpr char kWindowClass[] = "VdfHostPreview";

void registerWindowClass(WNDPROC procedure) {
    WNDCLASSA windowClass{};
    if (GetClassInfoA(GetModuleHandleA(nullptr), kWindowClass, &windowClass)) return;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass);
}

}  // namespace

HostPreview::HostPreview(FilterInstance& instance, std::string title)
    : instance_(instance), title_(std::move(title)) {}

HostPreview::~HostPreview() {
    close();
}

int HostPreview::count(const std::string& method) const {
    return static_cast<int>(
        std::count_if(calls_.begin(), calls_.end(), [&](const Call& call) { return call.method == method; }));
}

void HostPreview::SetButtonCallback(void(VDCALL*)(bool, void*), void*) {
    record("SetButtonCallback");
}
void HostPreview::SetSampleCallback(void(VDCALL*)(VFBitmap*, long, long, void*), void*) {
    record("SetSampleCallback");
}

bool HostPreview::isPreviewEnabled() {
    record("isPreviewEnabled");
    return window_ != nullptr;
}

void HostPreview::Toggle(HWND parent) {
    record("Toggle", parent);
    if (window_ != nullptr)
        close();
    else
        open(parent);
}

void HostPreview::Display(HWND parent, bool show) {
    record("Display", parent);
    if (show && window_ == nullptr) open(parent);
    if (!show) close();
}

void HostPreview::RedoFrame() {
    record("RedoFrame");
    instance_.runFrame();
    if (window_ != nullptr) {
        InvalidateRect(window_, nullptr, FALSE);
        UpdateWindow(window_);
    }
}

void HostPreview::RedoSystem() {
    record("RedoSystem");
}
void HostPreview::UndoSystem() {
    record("UndoSystem");
}

void HostPreview::InitButton(HWND button) {
    record("InitButton", button);
    button_ = button;
    showButtonState();
}

void HostPreview::Close() {
    record("Close");
    close();
}

bool HostPreview::SampleCurrentFrame() {
    record("SampleCurrentFrame");
    return false;
}

long HostPreview::SampleFrames() {
    record("SampleFrames");
    return 0;
}

void HostPreview::open(HWND parent) {
    registerWindowClass(windowProc);
    const VFBitmap& frame = instance_.destination().bitmap();
    RECT area{0, 0, std::max(frame.w, 160), std::max(frame.h, 120)};
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    AdjustWindowRect(&area, style, FALSE);
    RECT owner{};
    if (parent != nullptr) GetWindowRect(parent, &owner);
    window_ = CreateWindowExA(0, kWindowClass, title_.c_str(), style, owner.right + 8, owner.top,
                              area.right - area.left, area.bottom - area.top, parent, nullptr,
                              GetModuleHandleA(nullptr), this);
    instance_.runFrame();
    showButtonState();
}

void HostPreview::close() {
    if (window_ == nullptr) return;
    const HWND window = window_;
    window_ = nullptr;
    if (IsWindow(window)) DestroyWindow(window);
    showButtonState();
}

void HostPreview::showButtonState() {
    if (button_ != nullptr && IsWindow(button_))
        SetWindowTextA(button_, window_ != nullptr ? "Hide preview" : "Show preview");
}

LRESULT CALLBACK HostPreview::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto* preview = reinterpret_cast<HostPreview*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
        case WM_PAINT:
            if (preview != nullptr) {
                preview->paint(window);
                return 0;
            }
            break;
        case WM_CLOSE:
            // Closing the window is the same as pressing the dialog's button again.
            if (preview != nullptr) preview->close();
            return 0;
        case WM_NCDESTROY:
            if (preview != nullptr && preview->window_ == window) {
                preview->window_ = nullptr;
                preview->showButtonState();
            }
            break;
        default:
            break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void HostPreview::paint(HWND window) {
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(window, &paint);
    const VFBitmap& frame = instance_.destination().bitmap();
    if (frame.data != nullptr && frame.w > 0 && frame.h > 0) {
        // The frame is already a bottom-up 32-bit DIB; its pitch gives the DIB's row width.
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = static_cast<LONG>(frame.pitch / 4);
        info.bmiHeader.biHeight = frame.h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(frame.w), static_cast<DWORD>(frame.h), 0, 0, 0,
                          static_cast<UINT>(frame.h), frame.data, &info, DIB_RGB_COLORS);
    }
    EndPaint(window, &paint);
}
