#include "tools/vdfhost/plugin_host.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>

#include "tools/vdfhost/script_call.h"

namespace {

// The module whose init or exit is running: removeFilter gets no module record to find it by.
PluginModule* moduleInCall = nullptr;

}  // namespace

void registerHostControls() {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
}

std::unique_ptr<PluginModule> PluginModule::load(const std::string& path, std::string& error) {
    std::unique_ptr<PluginModule> plugin(new PluginModule());
    plugin->library_ = LoadLibraryA(path.c_str());
    if (plugin->library_ == nullptr) {
        error = "cannot load plug-in " + path + " (Windows error " + std::to_string(GetLastError()) + ")";
        return nullptr;
    }
    const auto init = reinterpret_cast<FilterModuleInitProc>(
        reinterpret_cast<void*>(GetProcAddress(plugin->library_, "VirtualdubFilterModuleInit2")));
    plugin->deinit_ = reinterpret_cast<FilterModuleDeinitProc>(
        reinterpret_cast<void*>(GetProcAddress(plugin->library_, "VirtualdubFilterModuleDeinit")));
    if (init == nullptr || plugin->deinit_ == nullptr) {
        error =
            path +
            " is not a filter plug-in: it lacks VirtualdubFilterModuleInit2 or VirtualdubFilterModuleDeinit";
        FreeLibrary(plugin->library_);
        plugin->library_ = nullptr;
        return nullptr;
    }
    plugin->record_.module.hInstModule = plugin->library_;
    plugin->record_.module.initProc = init;
    plugin->record_.module.deinitProc = plugin->deinit_;
    plugin->record_.owner = plugin.get();
    plugin->functions_.addFilter = addFilter;
    plugin->functions_.removeFilter = removeFilter;

    // The real host writes its own numbers first and reads back what the plug-in left there.
    plugin->version_ = 12;
    plugin->compatibleVersion_ = 9;
    moduleInCall = plugin.get();
    const int result =
        init(&plugin->record_.module, &plugin->functions_, plugin->version_, plugin->compatibleVersion_);
    moduleInCall = nullptr;
    if (result != 0 || plugin->log_.registered.empty()) {
        error =
            path + " refused to register its filter (module init returned " + std::to_string(result) + ")";
        // A failed module init is not followed by module exit.
        plugin->deinit_ = nullptr;
        return nullptr;
    }
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
    auto copy = std::make_unique<FilterDefinition>();
    std::memset(copy.get(), 0, sizeof(FilterDefinition));
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
