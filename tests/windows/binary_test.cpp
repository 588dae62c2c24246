// The plug-in file as the host and the user meet it: its name, its two entry points, the DLLs it
// needs beside it, and its manifest.

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "tests/windows/host_fixture.h"

namespace {

// Reads the loaded image's PE directories.
class LoadedImage {
public:
    explicit LoadedImage(HMODULE module) : base_(reinterpret_cast<const BYTE*>(module)) {}

    const IMAGE_DATA_DIRECTORY& directory(int index) const {
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base_);
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base_ + dos->e_lfanew);
        return nt->OptionalHeader.DataDirectory[index];
    }
    template <typename T>
    const T* at(DWORD rva) const {
        return reinterpret_cast<const T*>(base_ + rva);
    }

    std::vector<std::string> exportedNames() const {
        std::vector<std::string> names;
        const IMAGE_DATA_DIRECTORY& entry = directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
        if (entry.Size == 0) return names;
        const auto* exports = at<IMAGE_EXPORT_DIRECTORY>(entry.VirtualAddress);
        const auto* nameRvas = at<DWORD>(exports->AddressOfNames);
        for (DWORD k = 0; k < exports->NumberOfNames; ++k)
            names.push_back(at<char>(nameRvas[k]));
        return names;
    }

    std::vector<std::string> importedDlls() const {
        std::vector<std::string> dlls;
        const IMAGE_DATA_DIRECTORY& entry = directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
        if (entry.Size == 0) return dlls;
        for (const auto* d = at<IMAGE_IMPORT_DESCRIPTOR>(entry.VirtualAddress); d->Name != 0; ++d) {
            std::string name = at<char>(d->Name);
            std::transform(name.begin(), name.end(), name.begin(),
                           [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
            dlls.push_back(name);
        }
        return dlls;
    }

private:
    const BYTE* base_;
};

class PluginFile : public testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryA(kPluginFile);
        ASSERT_NE(module_, nullptr);
    }
    void TearDown() override {
        if (module_ != nullptr) FreeLibrary(module_);
    }
    HMODULE module_ = nullptr;
};

TEST_F(PluginFile, IsNamedVelmoVdf) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(module_, path, MAX_PATH);
    const std::string full = path;
    EXPECT_EQ(full.substr(full.find_last_of("\\/") + 1), "VELMO.VDF");
}

TEST_F(PluginFile, ExportsExactlyTheTwoEntryPointsUndecorated) {
    std::vector<std::string> names = LoadedImage(module_).exportedNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names,
              (std::vector<std::string>{"VirtualdubFilterModuleDeinit", "VirtualdubFilterModuleInit2"}));
    EXPECT_NE(GetProcAddress(module_, "VirtualdubFilterModuleInit2"), nullptr);
    EXPECT_NE(GetProcAddress(module_, "VirtualdubFilterModuleDeinit"), nullptr);
}

TEST_F(PluginFile, ImportsSystemDllsOnly) {
    const std::set<std::string> system = {"KERNEL32.DLL", "USER32.DLL",   "MSVCRT.DLL",
                                          "GDI32.DLL",    "COMCTL32.DLL", "ADVAPI32.DLL"};
    for (const std::string& dll : LoadedImage(module_).importedDlls())
        EXPECT_TRUE(system.count(dll) == 1) << dll << " would have to be shipped beside the plug-in";
}

TEST_F(PluginFile, CarriesTheEmptyManifestInUsEnglish) {
    HRSRC resource = FindResourceExA(module_, MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(2),
                                     MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_NE(resource, nullptr);
    const DWORD size = SizeofResource(module_, resource);
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(module_, resource)));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(size, 86u);
    EXPECT_EQ(std::string(bytes, size),
              "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n</assembly>");
}

}  // namespace
