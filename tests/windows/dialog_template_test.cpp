// The dialog template as the DLL stores it, read back from the resource: language, frame, caption,
// font, and each control's order, id, class, style and rectangle.

#include "tests/windows/host_fixture.h"

#include <commctrl.h>

#include <cstring>
#include <string>
#include <vector>

#include "dialog/resource_ids.h"

namespace {

// A name-or-ordinal field of a dialog template: 0x0000 none, 0xFFFF then an ordinal, or a string.
struct NameOrOrdinal {
    int ordinal = -1;
    std::wstring name;
};

class TemplateReader {
public:
    explicit TemplateReader(const BYTE* data) : cursor_(data) {}

    WORD word() { return take<WORD>(); }
    DWORD dword() { return take<DWORD>(); }
    short coordinate() { return static_cast<short>(word()); }
    BYTE byte() { return take<BYTE>(); }

    std::wstring text() {
        std::wstring s;
        for (WORD c = word(); c != 0; c = word())
            s.push_back(static_cast<wchar_t>(c));
        return s;
    }
    NameOrOrdinal nameOrOrdinal() {
        NameOrOrdinal value;
        const WORD first = word();
        if (first == 0xFFFF) {
            value.ordinal = word();
        } else if (first != 0) {
            value.name.push_back(static_cast<wchar_t>(first));
            value.name += text();
        }
        return value;
    }
    void alignToDword(const BYTE* base) {
        while ((cursor_ - base) % 4 != 0)
            ++cursor_;
    }
    void skip(std::size_t bytes) { cursor_ += bytes; }

private:
    template <typename T>
    T take() {
        T value;
        std::memcpy(&value, cursor_, sizeof value);
        cursor_ += sizeof value;
        return value;
    }
    const BYTE* cursor_;
};

struct Control {
    DWORD id;
    std::wstring className;  // ordinals as the predefined class names
    std::wstring text;
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
};

bool operator==(const Control& a, const Control& b) {
    return a.id == b.id && a.className == b.className && a.text == b.text && a.style == b.style &&
           a.exStyle == b.exStyle && a.x == b.x && a.y == b.y && a.cx == b.cx && a.cy == b.cy;
}

void PrintTo(const Control& c, std::ostream* os) {
    *os << "id " << static_cast<int>(c.id) << " class " << std::string(c.className.begin(), c.className.end())
        << " text \"" << std::string(c.text.begin(), c.text.end()) << "\" style 0x" << std::hex << c.style
        << " ex 0x" << c.exStyle << std::dec << " at " << c.x << "," << c.y << " " << c.cx << "x" << c.cy;
}

std::wstring className(const NameOrOrdinal& value) {
    switch (value.ordinal) {
        case 0x80:
            return L"Button";
        case 0x81:
            return L"Edit";
        case 0x82:
            return L"Static";
        case -1:
            return value.name;
        default:
            return L"#" + std::to_wstring(value.ordinal);
    }
}

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kSlider = kChild | WS_TABSTOP | TBS_HORZ | TBS_AUTOTICKS | TBS_TOP | TBS_TOOLTIPS;
constexpr DWORD kLabel = kChild | WS_GROUP | SS_LEFT;
constexpr DWORD kNoId = 0xFFFFFFFF;

const std::vector<Control> kExpectedControls = {
    {IDOK, L"Button", L"OK", kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 106, 157, 41, 16},
    {IDCANCEL, L"Button", L"Cancel", kChild | WS_TABSTOP | BS_PUSHBUTTON, 0, 157, 157, 41, 16},
    {IDC_PREVIEW, L"Button", L"Show preview", kChild | WS_TABSTOP | BS_PUSHBUTTON, 0, 7, 157, 53, 16},
    {kNoId, L"Button", L"Zone", kChild | BS_GROUPBOX, 0, 7, 5, 191, 128},
    {IDC_SHOW_FRAME, L"Button", L"Show frame", kChild | WS_TABSTOP | BS_AUTOCHECKBOX, 0, 137, 110, 52, 21},
    {IDC_UP, L"msctls_trackbar32", L"", kSlider, 0, 62, 18, 133, 23},
    {IDC_LEFT, L"msctls_trackbar32", L"", kSlider, 0, 62, 41, 133, 23},
    {IDC_RIGHT, L"msctls_trackbar32", L"", kSlider, 0, 62, 65, 133, 23},
    {IDC_DOWN, L"msctls_trackbar32", L"", kSlider, 0, 62, 89, 133, 23},
    {kNoId, L"Static", L"Up", kLabel, 0, 17, 26, 31, 9},
    {kNoId, L"Static", L"Down", kLabel, 0, 17, 97, 31, 9},
    {kNoId, L"Static", L"Left", kLabel, 0, 17, 49, 31, 9},
    {kNoId, L"Static", L"Right", kLabel, 0, 17, 73, 31, 9},
    {IDC_ADD_BORDER, L"Button", L"Add border",
     kChild | WS_TABSTOP | BS_AUTOCHECKBOX | BS_MULTILINE | BS_VCENTER, 0, 137, 134, 52, 21},
    {IDC_ZONE_NOTE, L"Static", L"", kLabel, 0, 27, 140, 80, 8},
};

class DialogTemplate : public testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryA(kPluginFile);
        ASSERT_NE(module_, nullptr);
        HRSRC resource = FindResourceExA(module_, RT_DIALOG, MAKEINTRESOURCEA(IDD_ZONE),
                                         MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT));
        ASSERT_NE(resource, nullptr) << "no dialog 101 in language 1049";
        data_ = static_cast<const BYTE*>(LockResource(LoadResource(module_, resource)));
        ASSERT_NE(data_, nullptr);
    }
    void TearDown() override {
        if (module_ != nullptr) FreeLibrary(module_);
    }
    HMODULE module_ = nullptr;
    const BYTE* data_ = nullptr;
};

TEST_F(DialogTemplate, IsAnExtendedTemplateWithTheZoneLayout) {
    TemplateReader reader(data_);
    EXPECT_EQ(reader.word(), 1) << "dialog version";
    EXPECT_EQ(reader.word(), 0xFFFF) << "extended template signature";
    reader.dword();  // help id
    EXPECT_EQ(reader.dword(), 0u) << "extended style";
    const DWORD style = reader.dword();
    EXPECT_EQ(style & ~static_cast<DWORD>(DS_SETFONT),
              static_cast<DWORD>(DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU));
    EXPECT_EQ(style & DS_CENTER, 0u);
    const WORD count = reader.word();
    EXPECT_EQ(count, kExpectedControls.size());
    EXPECT_EQ(reader.coordinate(), 0);
    EXPECT_EQ(reader.coordinate(), 0);
    EXPECT_EQ(reader.coordinate(), 205);
    EXPECT_EQ(reader.coordinate(), 183);
    EXPECT_EQ(reader.nameOrOrdinal().ordinal, -1) << "no menu";
    const NameOrOrdinal windowClass = reader.nameOrOrdinal();
    EXPECT_TRUE(windowClass.ordinal == -1 && windowClass.name.empty()) << "the standard dialog class";
    EXPECT_EQ(reader.text(), L"Panel adjustment VeLmO");
    ASSERT_NE(style & DS_SETFONT, 0u);
    EXPECT_EQ(reader.word(), 8) << "point size";
    EXPECT_EQ(reader.word(), 0) << "weight";
    EXPECT_EQ(reader.byte(), 0) << "italic";
    EXPECT_EQ(reader.byte(), 0) << "character set";
    EXPECT_EQ(reader.text(), L"MS Sans Serif");

    std::vector<Control> controls;
    for (WORD k = 0; k < count; ++k) {
        reader.alignToDword(data_);
        Control control{};
        reader.dword();  // help id
        control.exStyle = reader.dword();
        control.style = reader.dword();
        control.x = reader.coordinate();
        control.y = reader.coordinate();
        control.cx = reader.coordinate();
        control.cy = reader.coordinate();
        control.id = reader.dword();
        control.className = className(reader.nameOrOrdinal());
        control.text = reader.nameOrOrdinal().name;
        reader.skip(reader.word());
        controls.push_back(control);
    }
    ASSERT_EQ(controls.size(), kExpectedControls.size());
    for (std::size_t k = 0; k < controls.size(); ++k)
        EXPECT_EQ(controls[k], kExpectedControls[k]) << "control " << k << " in template order";
}

TEST_F(DialogTemplate, IsStoredOnlyInRussian) {
    HRSRC english = FindResourceExA(module_, RT_DIALOG, MAKEINTRESOURCEA(IDD_ZONE),
                                    MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    HRSRC neutral = FindResourceExA(module_, RT_DIALOG, MAKEINTRESOURCEA(IDD_ZONE),
                                    MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    // Exact-language lookups: only 1049 holds the template.
    if (english != nullptr) {
        const auto* a = LockResource(LoadResource(module_, english));
        EXPECT_EQ(a, data_) << "found only by falling back to the one stored language";
    }
    if (neutral != nullptr) {
        const auto* b = LockResource(LoadResource(module_, neutral));
        EXPECT_EQ(b, data_);
    }
}

}  // namespace
