#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "core/zone_settings.h"
#include "tools/vdfhost/dialog_driver.h"
#include "tools/vdfhost/host_preview.h"
#include "tools/vdfhost/plugin_host.h"

// The plug-in under test, in the tests' working folder.
inline constexpr char kPluginFile[] = VELMO_PLUGIN_NAME;

// Loads the plug-in through the project's host for one test and unloads it afterwards.
class PluginTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override { plugin_.reset(); }

    PluginModule& plugin() { return *plugin_; }
    std::unique_ptr<FilterInstance> newInstance() { return std::make_unique<FilterInstance>(*plugin_); }

    // The instance's record, read the way the plug-in lays it out.
    static ZoneSettings& settingsOf(FilterInstance& instance) {
        return *reinterpret_cast<ZoneSettings*>(instance.storage());
    }

private:
    std::unique_ptr<PluginModule> plugin_;
};

// Runs the plug-in's dialog modally on this thread while `steps` plays on a second thread with the
// dialog's window; returns the config callback's result. If the steps leave the dialog open, it
// is cancelled. A dialog that does not appear within kDialogWaitMs stops the tests with one line.
int runDialog(FilterInstance& instance, IFilterPreview* preview,
              const std::function<void(HWND dialog)>& steps);

// Waits up to `milliseconds` for the window to be destroyed; false if it is still there.
bool waitForWindowToGo(HWND window, int milliseconds);

// What the dialog shows. A person's actions are vdfhost's own: clickControl and dragSlider.
int sliderPosition(HWND dialog, int sliderId);
bool isChecked(HWND dialog, int id);
