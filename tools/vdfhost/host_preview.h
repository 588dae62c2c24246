#pragma once

#include <string>
#include <vector>

#include "host/filter_interface.h"

class FilterInstance;

// The host's preview, as a plug-in's dialog sees it. Every call is recorded. RedoFrame runs the
// current frame through the filter again before it returns, like the real host; Toggle opens or
// closes a window, owned by the dialog, that shows the filtered frame and redraws on every
// RedoFrame.
class HostPreview : public IFilterPreview {
public:
    struct Call {
        std::string method;
        HWND window;
    };

    HostPreview(FilterInstance& instance, std::string title);
    ~HostPreview();
    HostPreview(const HostPreview&) = delete;
    HostPreview& operator=(const HostPreview&) = delete;

    const std::vector<Call>& calls() const { return calls_; }
    int count(const std::string& method) const;
    HWND window() const { return window_; }

    void SetButtonCallback(void(VDCALL* callback)(bool, void*), void* context) override;
    void SetSampleCallback(void(VDCALL* callback)(VFBitmap*, long, long, void*), void* context) override;
    bool isPreviewEnabled() override;
    void Toggle(HWND parent) override;
    void Display(HWND parent, bool show) override;
    void RedoFrame() override;
    void RedoSystem() override;
    void UndoSystem() override;
    void InitButton(HWND button) override;
    void Close() override;
    bool SampleCurrentFrame() override;
    long SampleFrames() override;

private:
    void record(const char* method, HWND window = nullptr) { calls_.push_back(Call{method, window}); }
    void open(HWND parent);
    void close();
    void showButtonState();
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void paint(HWND window);

    FilterInstance& instance_;
    std::string title_;
    std::vector<Call> calls_;
    HWND window_ = nullptr;
    HWND button_ = nullptr;
};
