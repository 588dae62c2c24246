// The configuration dialog, driven for real: the test opens it through the definition's config
// callback and plays a person's clicks and drags on it from a second thread.

#include "tests/windows/host_fixture.h"

#include <commctrl.h>

#include "core/render_zone_frame.h"
#include "dialog/resource_ids.h"

namespace {

class ZoneDialog : public PluginTest {
protected:
    // An instance created like the real host creates one (no frame yet), restored from `line`, with
    // a w x h source prepared before the dialog opens.
    std::unique_ptr<FilterInstance> instanceWith(const char* line, int w = 720, int h = 576) {
        auto instance = newInstance();
        std::string error;
        EXPECT_TRUE(instance->runScript(line, error)) << error;
        instance->setSource(HostBitmap(w, h));
        return instance;
    }
};

TEST_F(ZoneDialog, OpensOnFreshInstanceAndOkKeepsEverything) {
    auto instance = instanceWith("Config(1,1,1,1,0)");
    HostPreview preview(*instance, "test");
    HWND previewButton = nullptr;
    const int result = runDialog(*instance, &preview, [&](HWND dialog) {
        for (int id : {IDC_UP, IDC_LEFT, IDC_RIGHT, IDC_DOWN})
            EXPECT_EQ(sliderPosition(dialog, id), 1) << id;
        EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_UP, TBM_GETRANGEMIN, 0, 0), 1);
        EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_UP, TBM_GETRANGEMAX, 0, 0), 30);
        EXPECT_FALSE(isChecked(dialog, IDC_SHOW_FRAME));
        EXPECT_FALSE(isChecked(dialog, IDC_ADD_BORDER));
        char caption[64] = {};
        GetWindowTextA(dialog, caption, sizeof caption);
        EXPECT_STREQ(caption, "Panel adjustment VeLmO");
        previewButton = GetDlgItem(dialog, IDC_PREVIEW);
        clickControl(dialog, IDOK);
    });
    EXPECT_EQ(result, 0);
    std::string line;
    ASSERT_TRUE(instance->scriptLine(line));
    EXPECT_EQ(line, "Config(1,1,1,1,0)");
    EXPECT_EQ(settingsOf(*instance).showFrame, 0);
    ASSERT_FALSE(preview.calls().empty());
    EXPECT_EQ(preview.calls().front().method, "InitButton");
    EXPECT_EQ(preview.calls().front().window, previewButton);
    EXPECT_EQ(preview.count("RedoFrame"), 0);
}

TEST_F(ZoneDialog, EveryChangeIsStoredAtOnceAndRedrawn) {
    auto instance = instanceWith("Config(1,1,1,1,0)");
    ZoneSettings& settings = settingsOf(*instance);
    HostPreview preview(*instance, "test");
    const int result = runDialog(*instance, &preview, [&](HWND dialog) {
        dragSlider(dialog, IDC_UP, 7);
        EXPECT_EQ(settings.up, 7);
        // A drag ends with end-track, and every scroll message stores the position and redraws.
        EXPECT_EQ(preview.count("RedoFrame"), 2);
        dragSlider(dialog, IDC_LEFT, 3);
        dragSlider(dialog, IDC_RIGHT, 12);
        dragSlider(dialog, IDC_DOWN, 30);
        EXPECT_EQ(preview.count("RedoFrame"), 8);
        clickControl(dialog, IDC_ADD_BORDER);
        EXPECT_EQ(settings.addBorder, 1);
        clickControl(dialog, IDC_SHOW_FRAME);
        EXPECT_EQ(settings.showFrame, 1);
        EXPECT_EQ(preview.count("RedoFrame"), 10);
        clickControl(dialog, IDC_SHOW_FRAME);
        EXPECT_EQ(settings.showFrame, 0);
        clickControl(dialog, IDOK);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(instance->summary(), " (7, 3, 12, 30, 1)");
}

TEST_F(ZoneDialog, ShowPreviewTogglesThenRedraws) {
    auto instance = instanceWith("Config(3,5,7,9,1)", 64, 48);
    HostPreview preview(*instance, "test");
    runDialog(*instance, &preview, [&](HWND dialog) {
        clickControl(dialog, IDC_PREVIEW);
        ASSERT_GE(preview.calls().size(), 3u);
        const auto& calls = preview.calls();
        EXPECT_EQ(calls[calls.size() - 2].method, "Toggle");
        EXPECT_EQ(calls[calls.size() - 2].window, dialog);
        EXPECT_EQ(calls.back().method, "RedoFrame");
        EXPECT_NE(preview.window(), nullptr) << "the host's preview window opened";
        clickControl(dialog, IDOK);
    });
    EXPECT_EQ(preview.count("Toggle"), 1);
}

TEST_F(ZoneDialog, CancelRestoresAllSixValuesIncludingAPushedPartner) {
    auto instance = instanceWith("Config(3,5,7,20,1)", 720, 40);
    ZoneSettings& settings = settingsOf(*instance);
    HostPreview preview(*instance, "test");
    const int result = runDialog(*instance, &preview, [&](HWND dialog) {
        dragSlider(dialog, IDC_UP, 15);
        EXPECT_EQ(settings.down, 15) << "40 - 15 - 10";
        dragSlider(dialog, IDC_LEFT, 30);
        dragSlider(dialog, IDC_RIGHT, 1);
        clickControl(dialog, IDC_ADD_BORDER);
        clickControl(dialog, IDC_SHOW_FRAME);
        const int redraws = preview.count("RedoFrame");
        clickControl(dialog, IDCANCEL);
        EXPECT_EQ(preview.count("RedoFrame"), redraws) << "Cancel does not refresh the preview";
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(instance->summary(), " (3, 5, 7, 20, 1)");
    EXPECT_EQ(settings.showFrame, 0);
}

TEST_F(ZoneDialog, EscapeAndTheCloseButtonCancel) {
    for (const bool escape : {true, false}) {
        auto instance = instanceWith("Config(2,2,2,2,0)");
        ZoneSettings& settings = settingsOf(*instance);
        HostPreview preview(*instance, "test");
        const int result = runDialog(*instance, &preview, [&](HWND dialog) {
            dragSlider(dialog, IDC_UP, 9);
            if (escape) {
                SetForegroundWindow(dialog);
                PostMessageA(GetDlgItem(dialog, IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
            } else {
                SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
            }
            EXPECT_TRUE(waitForWindowToGo(dialog, 5000))
                << (escape ? "Esc" : "the close button") << " did not close the dialog within 5 s";
        });
        EXPECT_EQ(result, 1) << (escape ? "Esc" : "close button");
        EXPECT_EQ(settings.up, 2);
    }
}

struct CouplingCase {
    const char* name;
    const char* line;
    int frameHeight;
    int moved;
    int position;
    int up, down;            // the record afterwards
    int upShown, downShown;  // the sliders afterwards
};

void PrintTo(const CouplingCase& c, std::ostream* os) {
    *os << c.name;
}

class DialogCoupling : public ZoneDialog, public testing::WithParamInterface<CouplingCase> {};

TEST_P(DialogCoupling, PartnerGivesWayAndItsSliderFollows) {
    const CouplingCase& c = GetParam();
    auto instance = instanceWith(c.line, 720, c.frameHeight);
    ZoneSettings& settings = settingsOf(*instance);
    HostPreview preview(*instance, "test");
    runDialog(*instance, &preview, [&](HWND dialog) {
        dragSlider(dialog, c.moved, c.position);
        EXPECT_EQ(settings.up, c.up);
        EXPECT_EQ(settings.down, c.down);
        EXPECT_EQ(sliderPosition(dialog, IDC_UP), c.upShown);
        EXPECT_EQ(sliderPosition(dialog, IDC_DOWN), c.downShown);
        clickControl(dialog, IDOK);
    });
}

INSTANTIATE_TEST_SUITE_P(
    ZoneDialog, DialogCoupling,
    testing::Values(
        CouplingCase{"FortyLines", "Config(1,1,1,20,0)", 40, IDC_UP, 15, 15, 15, 15, 15},
        CouplingCase{"ThirtyLinesPushBelowRange", "Config(1,1,1,1,0)", 30, IDC_UP, 25, 25, -5, 25, 1},
        CouplingCase{"RestoredFortyOnTallFrame", "Config(40,1,1,1,0)", 576, IDC_DOWN, 30, 40, 30, 30, 30},
        CouplingCase{"RestoredFortyOn79Lines", "Config(40,1,1,1,0)", 79, IDC_DOWN, 30, 39, 30, 30, 30}),
    [](const testing::TestParamInfo<CouplingCase>& info) { return std::string(info.param.name); });

TEST_F(ZoneDialog, UpNeverMovesDownOnA576LineSource) {
    auto instance = instanceWith("Config(1,1,1,30,0)");
    ZoneSettings& settings = settingsOf(*instance);
    HostPreview preview(*instance, "test");
    runDialog(*instance, &preview, [&](HWND dialog) {
        for (int position = 1; position <= 30; ++position) {
            dragSlider(dialog, IDC_UP, position);
            ASSERT_EQ(settings.down, 30) << "Up at " << position;
        }
        EXPECT_EQ(sliderPosition(dialog, IDC_DOWN), 30);
        clickControl(dialog, IDOK);
    });
    EXPECT_EQ(settings.up, 30);
}

TEST_F(ZoneDialog, OutOfRangeValuesShowAtTheNearerEndAndStayInTheRecord) {
    auto instance = instanceWith("Config(40,-5,0,31,7)");
    ZoneSettings& settings = settingsOf(*instance);
    HostPreview preview(*instance, "test");
    runDialog(*instance, &preview, [&](HWND dialog) {
        EXPECT_EQ(sliderPosition(dialog, IDC_UP), 30);
        EXPECT_EQ(sliderPosition(dialog, IDC_LEFT), 1);
        EXPECT_EQ(sliderPosition(dialog, IDC_RIGHT), 1);
        EXPECT_EQ(sliderPosition(dialog, IDC_DOWN), 30);
        EXPECT_TRUE(isChecked(dialog, IDC_ADD_BORDER)) << "any nonzero border is shown ticked";
        clickControl(dialog, IDOK);
    });
    EXPECT_EQ(instance->summary(), " (40, -5, 0, 31, 7)");
    EXPECT_EQ(settings.addBorder, 7);
}

TEST_F(ZoneDialog, ScrollFromAnotherWindowIsIgnored) {
    auto instance = instanceWith("Config(4,4,4,4,0)");
    HostPreview preview(*instance, "test");
    runDialog(*instance, &preview, [&](HWND dialog) {
        HWND ok = GetDlgItem(dialog, IDOK);
        EXPECT_EQ(
            SendMessageA(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, 20), reinterpret_cast<LPARAM>(ok)), 0);
        EXPECT_EQ(preview.count("RedoFrame"), 0);
        clickControl(dialog, IDOK);
    });
    EXPECT_EQ(instance->summary(), " (4, 4, 4, 4, 0)");
}

TEST_F(ZoneDialog, ShowFrameStaysOnAfterOkAndLaterFramesAreOutlined) {
    auto instance = instanceWith("Config(3,2,3,2,0)", 10, 8);
    HostPreview preview(*instance, "test");
    const int result = runDialog(*instance, &preview, [&](HWND dialog) {
        clickControl(dialog, IDC_SHOW_FRAME);
        clickControl(dialog, IDOK);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(settingsOf(*instance).showFrame, 1);
    instance->runFrame();
    // Red on the zone's edge lines: rows 1 and 5 (from the bottom) and columns 1 and 7.
    EXPECT_EQ(instance->destination().at(1, 4), kRed);
    EXPECT_EQ(instance->destination().at(5, 1), kRed);
    EXPECT_EQ(instance->destination().at(3, 7), kRed);
    EXPECT_NE(instance->destination().at(3, 4), kRed);
}

TEST_F(ZoneDialog, CapturesTheFrameSizeWhenOpened) {
    auto instance = instanceWith("Config(1,1,1,20,0)", 64, 40);
    EXPECT_EQ(settingsOf(*instance).frameHeight, 0) << "created before any frame, like the real host";
    HostPreview preview(*instance, "test");
    runDialog(*instance, &preview, [&](HWND dialog) {
        dragSlider(dialog, IDC_UP, 15);
        clickControl(dialog, IDOK);
    });
    EXPECT_EQ(settingsOf(*instance).frameWidth, 64);
    EXPECT_EQ(settingsOf(*instance).frameHeight, 40);
    EXPECT_EQ(settingsOf(*instance).down, 15);
}

TEST_F(ZoneDialog, WithoutAFrameTheSlidersAreNotCoupled) {
    auto instance = newInstance();
    HostPreview preview(*instance, "test");
    runDialog(*instance, &preview, [&](HWND dialog) {
        dragSlider(dialog, IDC_UP, 30);
        dragSlider(dialog, IDC_DOWN, 30);
        clickControl(dialog, IDOK);
    });
    EXPECT_EQ(instance->summary(), " (30, 1, 1, 30, 0)");
}

TEST_F(ZoneDialog, WorksWithoutAPreview) {
    auto instance = instanceWith("Config(1,1,1,1,0)");
    const int result = runDialog(*instance, nullptr, [&](HWND dialog) {
        dragSlider(dialog, IDC_UP, 5);
        clickControl(dialog, IDC_SHOW_FRAME);
        clickControl(dialog, IDC_ADD_BORDER);
        clickControl(dialog, IDC_PREVIEW);
        clickControl(dialog, IDOK);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(instance->summary(), " (5, 1, 1, 1, 1)");
}

TEST_F(ZoneDialog, FindsItsTemplateWhenTheHostClearedTheModuleRecord) {
    auto instance = instanceWith("Config(1,1,1,1,0)");
    instance->activation().filter->module = nullptr;
    HostPreview preview(*instance, "test");
    const int result = runDialog(*instance, &preview, [&](HWND dialog) { clickControl(dialog, IDOK); });
    EXPECT_EQ(result, 0);
}

}  // namespace
