#include "dialog/zone_dialog.h"

#include <commctrl.h>

#include "core/zone_settings.h"
#include "dialog/resource_ids.h"
#include "host/zone_instance.h"

// The plug-in's own module, for hosts whose registered definition carries no module record.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

struct Slider {
    int id;
    ZoneSide side;
};

// In the order the dialog looks sliders up.
constexpr Slider kSliders[] = {
    {IDC_UP, ZoneSide::Up},
    {IDC_LEFT, ZoneSide::Left},
    {IDC_RIGHT, ZoneSide::Right},
    {IDC_DOWN, ZoneSide::Down},
};

constexpr int kSliderLow = 1;
constexpr int kSliderHigh = 30;

int sliderFor(ZoneSide side) {
    for (const Slider& slider : kSliders)
        if (slider.side == side) return slider.id;
    return IDC_UP;
}

void showMargin(HWND window, const ZoneSettings& settings, ZoneSide side) {
    SendDlgItemMessageA(window, sliderFor(side), TBM_SETPOS, TRUE, marginOf(settings, side));
}

ZoneSettings* settingsInWindow(HWND window) {
    return reinterpret_cast<ZoneSettings*>(GetWindowLongPtrA(window, DWLP_USER));
}

// The real host always passes a preview; a host that passes none still gets a working dialog.
void redoFrame(const ZoneSettings& settings) {
    if (settings.preview != nullptr) settings.preview->RedoFrame();
}

std::int32_t checkedAsFlag(HWND window, int id) {
    return IsDlgButtonChecked(window, id) == BST_CHECKED ? 1 : 0;
}

INT_PTR initDialog(HWND window, ZoneSettings& settings) {
    SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(&settings));
    for (const Slider& slider : kSliders) {
        SendDlgItemMessageA(window, slider.id, TBM_SETRANGE, FALSE, MAKELPARAM(kSliderLow, kSliderHigh));
        showMargin(window, settings, slider.side);
    }
    CheckDlgButton(window, IDC_SHOW_FRAME, settings.showFrame != 0 ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(window, IDC_ADD_BORDER, settings.addBorder != 0 ? BST_CHECKED : BST_UNCHECKED);
    snapshotSettings(settings);
    if (settings.preview != nullptr) settings.preview->InitButton(GetDlgItem(window, IDC_PREVIEW));
    return TRUE;
}

INT_PTR command(HWND window, ZoneSettings& settings, int id) {
    switch (id) {
        case IDOK:
            EndDialog(window, 0);
            return TRUE;
        case IDCANCEL:
            restoreSettings(settings);
            EndDialog(window, 1);
            return FALSE;
        case IDC_PREVIEW:
            if (settings.preview != nullptr) settings.preview->Toggle(window);
            redoFrame(settings);
            return TRUE;
        case IDC_SHOW_FRAME:
            settings.showFrame = checkedAsFlag(window, IDC_SHOW_FRAME);
            redoFrame(settings);
            return TRUE;
        case IDC_ADD_BORDER:
            settings.addBorder = checkedAsFlag(window, IDC_ADD_BORDER);
            redoFrame(settings);
            return TRUE;
        default:
            return FALSE;
    }
}

INT_PTR sliderMoved(HWND window, ZoneSettings& settings, HWND sliderWindow) {
    for (const Slider& slider : kSliders) {
        if (GetDlgItem(window, slider.id) != sliderWindow) continue;
        const auto position =
            static_cast<std::int32_t>(SendDlgItemMessageA(window, slider.id, TBM_GETPOS, 0, 0));
        if (adjustMargin(settings, slider.side, position))
            showMargin(window, settings, oppositeSide(slider.side));
        redoFrame(settings);
        return FALSE;
    }
    return FALSE;
}

}  // namespace

int VDCALL showConfigDialog(FilterActivation* activation, const FilterFunctions*, HWND parent) {
    ZoneSettings& settings = settingsOf(activation);
    settings.preview = activation->ifp;
    // Instances are created before any frame exists; by now the host has prepared the chain.
    if (activation->src != nullptr) refreshFrameSize(settings, activation->src->w, activation->src->h);
    const FilterModule* module = activation->filter != nullptr ? activation->filter->module : nullptr;
    HINSTANCE resources = module != nullptr ? module->hInstModule : nullptr;
    if (resources == nullptr) resources = reinterpret_cast<HINSTANCE>(&__ImageBase);
    return static_cast<int>(DialogBoxParamA(resources, MAKEINTRESOURCEA(IDD_ZONE), parent, zoneDialogProc,
                                            reinterpret_cast<LPARAM>(&settings)));
}

INT_PTR CALLBACK zoneDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) return initDialog(window, *reinterpret_cast<ZoneSettings*>(lParam));
    ZoneSettings* settings = settingsInWindow(window);
    if (settings == nullptr) return FALSE;
    switch (message) {
        case WM_COMMAND:
            return command(window, *settings, LOWORD(wParam));
        case WM_HSCROLL:
            return sliderMoved(window, *settings, reinterpret_cast<HWND>(lParam));
        default:
            return FALSE;
    }
}
