#include "tools/vdfhost/plugin_host.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "tools/vdfhost/script_call.h"

namespace {

// The module whose init or exit is running: removeFilter gets no module record to find it by.
PluginModule* moduleInCall = nullptr;

}  // namespace

void registerHostControls() {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
}

namespace {

std::uint32_t littleEndian(const unsigned char* bytes, int size) {
    std::uint32_t value = 0;
    for (int k = size - 1; k >= 0; --k)
        value = (value << 8) | bytes[k];
    return value;
}

// What is wrong with the file as a plug-in for this process, read from its headers, or "" when
// nothing is: LoadLibrary says no more than "error 193" for a file that is not a DLL of this
// process's architecture.
std::string imageProblem(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return "";  // LoadLibrary says why
    unsigned char dos[64] = {};
    if (!file.read(reinterpret_cast<char*>(dos), sizeof dos) || dos[0] != 'M' || dos[1] != 'Z')
        return "it is not a Windows DLL (no MZ header)";
    unsigned char header[24] = {};
    file.seekg(littleEndian(dos + 0x3C, 4));
    if (!file.read(reinterpret_cast<char*>(header), sizeof header) || littleEndian(header, 4) != 0x00004550)
        return "it is not a Windows DLL (no PE header)";
    const std::uint32_t machine = littleEndian(header + 4, 2);
    constexpr std::uint32_t own = sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
    if (machine == own) return "";
    const char* runThe = sizeof(void*) == 8
                             ? "this vdfhost is 64-bit; run the 32-bit one"
                             : "this vdfhost is 32-bit; run the 64-bit one (VELMO_WINE_ARCH=win64)";
    if (machine == IMAGE_FILE_MACHINE_AMD64) return std::string("it is a 64-bit DLL, and ") + runThe;
    if (machine == IMAGE_FILE_MACHINE_I386) return std::string("it is a 32-bit DLL, and ") + runThe;
    char other[64];
    std::snprintf(other, sizeof other, "it is built for another processor (machine 0x%04X)", machine);
    return other;
}

std::string windowsMessage(DWORD code) {
    char text[512] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                   sizeof text, nullptr);
    std::string message = text;
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ' ||
                                message.back() == '.'))
        message.pop_back();
    return (message.empty() ? "Windows error" : message) + " (Windows error " + std::to_string(code) + ")";
}

}  // namespace

std::unique_ptr<PluginModule> PluginModule::load(const std::string& path, std::string& error,
                                                 LoadFailure& failure) {
    failure = LoadFailure::File;
    if (const std::string problem = imageProblem(path); !problem.empty()) {
        error = "cannot load plug-in " + path + ": " + problem;
        return nullptr;
    }
    std::unique_ptr<PluginModule> plugin(new PluginModule());
    plugin->library_ = LoadLibraryA(path.c_str());
    if (plugin->library_ == nullptr) {
        error = "cannot load plug-in " + path + ": " + windowsMessage(GetLastError());
        return nullptr;
    }
    failure = LoadFailure::NotAFilter;
    const auto init = reinterpret_cast<FilterModuleInitProc>(
        reinterpret_cast<void*>(GetProcAddress(plugin->library_, "VirtualdubFilterModuleInit2")));
    const auto deinit = reinterpret_cast<FilterModuleDeinitProc>(
        reinterpret_cast<void*>(GetProcAddress(plugin->library_, "VirtualdubFilterModuleDeinit")));
    if (init == nullptr || deinit == nullptr) {
        error =
            path +
            " is not a filter plug-in: it lacks VirtualdubFilterModuleInit2 or VirtualdubFilterModuleDeinit";
        return nullptr;
    }
    plugin->record_.module.hInstModule = plugin->library_;
    plugin->record_.module.initProc = init;
    plugin->record_.module.deinitProc = deinit;
    plugin->record_.owner = plugin.get();
    plugin->functions_.addFilter = addFilter;
    plugin->functions_.removeFilter = removeFilter;

    // The real host writes its own numbers first and reads back what the plug-in left there.
    plugin->version_ = kHostVersion;
    plugin->compatibleVersion_ = kHostCompatibleVersion;
    moduleInCall = plugin.get();
    const int result =
        init(&plugin->record_.module, &plugin->functions_, plugin->version_, plugin->compatibleVersion_);
    moduleInCall = nullptr;
    if (result != 0) {
        // A failed module init is not followed by module exit.
        failure = LoadFailure::InitFailed;
        error = path + " refused to register its filter: module init returned " + std::to_string(result);
        return nullptr;
    }
    // Module init succeeded, so module exit runs from here on, whatever else is wrong.
    plugin->deinit_ = deinit;
    if (plugin->log_.registered.empty()) {
        failure = LoadFailure::NothingRegistered;
        error = path + " registered no filter: module init returned 0 without calling addFilter";
        return nullptr;
    }
    failure = LoadFailure::VersionHandshake;
    if (plugin->version_ == kHostVersion && plugin->compatibleVersion_ == kHostCompatibleVersion) {
        error = path + " left its interface version unwritten: a real host reads back its own numbers (" +
                std::to_string(kHostVersion) + ", " + std::to_string(kHostCompatibleVersion) +
                ") and would drive the filter as one of that version; module init must set them, to " +
                std::to_string(kSpokenVersion) + " and 4 for this interface";
        return nullptr;
    }
    if (plugin->compatibleVersion_ > kSpokenVersion) {
        error = path + " needs interface version " + std::to_string(plugin->compatibleVersion_) +
                " or newer; vdfhost speaks version " + std::to_string(kSpokenVersion);
        return nullptr;
    }
    failure = LoadFailure::BadDefinition;
    for (const FilterDefinition* definition : plugin->log_.registered)
        if (definition->inst_data_size < 0 || definition->inst_data_size > kLargestInstanceStorage) {
            error = path + " asks for " + std::to_string(definition->inst_data_size) +
                    " bytes of storage per instance; vdfhost gives at most " +
                    std::to_string(kLargestInstanceStorage) + ", and a real host would fail to allocate it";
            return nullptr;
        }
    failure = LoadFailure::None;
    return plugin;
}

PluginModule::~PluginModule() {
    unload();
}

void PluginModule::unload() {
    if (deinit_ != nullptr) {
        moduleInCall = this;
        deinit_(&record_.module, &functions_);
        moduleInCall = nullptr;
        deinit_ = nullptr;
    }
    if (library_ != nullptr) FreeLibrary(library_);
    library_ = nullptr;
}

FilterDefinition* VDCALL PluginModule::addFilter(FilterModule* module, FilterDefinition* definition,
                                                 int length) {
    PluginModule* owner = moduleInCall;
    if (owner == nullptr || module != &owner->record_.module || definition == nullptr) return nullptr;
    owner->log_.addFilterLengths.push_back(length);
    // Zero-filled, then the first `length` bytes of the plug-in's definition, as the real host copies.
    auto copy = std::make_unique<FilterDefinition>();
    const std::size_t bytes = std::min<std::size_t>(std::max(length, 0), sizeof(FilterDefinition));
    std::memcpy(copy.get(), definition, bytes);
    copy->module = module;
    owner->log_.registered.push_back(copy.get());
    owner->copies_.push_back(std::move(copy));
    return owner->log_.registered.back();
}

void VDCALL PluginModule::removeFilter(FilterDefinition* definition) {
    if (moduleInCall != nullptr) moduleInCall->log_.removed.push_back(definition);
}

FilterInstance::FilterInstance(PluginModule& module) : functions_(&module.functions()) {
    activation_.filter = &module.filter();
    storageSize_ = static_cast<std::size_t>(std::max(activation_.filter->inst_data_size, 0));
    storage_.assign(storageSize_ + kGuardBytes, kGuardByte);
    std::fill_n(storage_.begin(), storageSize_, std::uint8_t{0});
    activation_.filter_data = storage_.data();
    activation_.src = &source_.bitmap();
    activation_.dst = &destination_.bitmap();
    // Like the real host: the source holds no frame yet when init runs.
    if (activation_.filter->initProc != nullptr)
        initResult_ = activation_.filter->initProc(&activation_, functions_);
}

bool FilterInstance::storageGuardIntact() const {
    return std::all_of(storage_.begin() + static_cast<std::ptrdiff_t>(storageSize_), storage_.end(),
                       [](std::uint8_t b) { return b == kGuardByte; });
}

void FilterInstance::setSource(HostBitmap source) {
    source_ = std::move(source);
    const VFBitmap& layout = source_.bitmap();
    // With no paramProc the host gives a separate destination of identical width, height and pitch.
    destination_ = HostBitmap(layout.w, layout.h, layout.pitch);
    activation_.src = &source_.bitmap();
    activation_.dst = &destination_.bitmap();
    activation_.x2 = static_cast<unsigned long>(layout.w);
    activation_.y2 = static_cast<unsigned long>(layout.h);
}

int FilterInstance::runFrame() {
    if (activation_.filter->runProc == nullptr) return 0;
    return activation_.filter->runProc(&activation_, functions_);
}

std::string FilterInstance::summary() {
    if (activation_.filter->stringProc == nullptr) return std::string();
    std::vector<char> buffer(2048, '\0');
    activation_.filter->stringProc(&activation_, functions_, buffer.data());
    buffer.back() = '\0';
    return buffer.data();
}

bool FilterInstance::scriptLine(std::string& line) {
    if (activation_.filter->fssProc == nullptr) return false;
    std::vector<char> buffer(4096, '\0');
    if (!activation_.filter->fssProc(&activation_, functions_, buffer.data(),
                                     static_cast<int>(buffer.size())))
        return false;
    buffer.back() = '\0';
    line = buffer.data();
    return true;
}

bool FilterInstance::runScript(const std::string& line, std::string& error, int integerTag) {
    return callScriptFunction(*activation_.filter, &activation_, line, error, integerTag);
}

int FilterInstance::configure(HWND parent, IFilterPreview* preview) {
    if (activation_.filter->configProc == nullptr) return 0;
    activation_.ifp = preview;
    const int result = activation_.filter->configProc(&activation_, functions_, parent);
    // The host resets the preview after the dialog closes.
    activation_.ifp = nullptr;
    return result;
}
