#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/filter_interface.h"
#include "tools/vdfhost/host_bitmap.h"

// Registers the common controls in this process, as the host does at start-up: plug-in dialogs
// rely on the slider class being there.
void registerHostControls();

// What a plug-in asked of the host's services while it was loaded.
struct ServiceLog {
    std::vector<int> addFilterLengths;
    std::vector<FilterDefinition*> registered;  // what addFilter returned
    std::vector<FilterDefinition*> removed;     // what removeFilter received
};

// Why a plug-in could not be loaded; vdfhost exits with these numbers.
enum class LoadFailure {
    None = 0,
    File = 3,        // missing, not a DLL, or built for the other architecture
    NotAFilter = 4,  // lacks the two entry points
    InitFailed = 5,  // module init returned nonzero
    NothingRegistered = 6,
    VersionHandshake = 7,  // left the version outputs unwritten, or needs a newer interface
    BadDefinition = 8,     // asks for instance storage no host can give
};

// The version numbers vdfhost writes into module init's outputs before the call. A real host does
// the same and reads back what the plug-in left there, so numbers left unwritten show.
inline constexpr int kHostVersion = 12;
inline constexpr int kHostCompatibleVersion = 9;
// The interface vdfhost speaks, and the most instance storage it gives one instance.
inline constexpr int kSpokenVersion = 8;
inline constexpr int kLargestInstanceStorage = 1 << 24;

// A plug-in module loaded the way the real host loads one: LoadLibrary, then module init with the
// host's own module record and services. addFilter copies the definition into host storage and
// returns the copy, whose `module` points at the host's module record.
class PluginModule {
public:
    // Null, with `error` saying why in one line and `failure` saying what kind of failure, when the
    // file cannot be loaded, is not a filter plug-in, or breaks the registration.
    static std::unique_ptr<PluginModule> load(const std::string& path, std::string& error,
                                              LoadFailure& failure);
    static std::unique_ptr<PluginModule> load(const std::string& path, std::string& error) {
        LoadFailure failure = LoadFailure::None;
        return load(path, error, failure);
    }
    ~PluginModule();  // module exit, then FreeLibrary

    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    FilterDefinition& filter() const { return *log_.registered.front(); }
    HMODULE handle() const { return library_; }
    const FilterFunctions& functions() const { return functions_; }
    const ServiceLog& log() const { return log_; }
    int version() const { return version_; }
    int compatibleVersion() const { return compatibleVersion_; }

    // Ends the module's life early (module exit and FreeLibrary), as the host does at shut-down.
    void unload();

private:
    PluginModule() = default;

    static FilterDefinition* VDCALL addFilter(FilterModule* module, FilterDefinition* definition, int length);
    static void VDCALL removeFilter(FilterDefinition* definition);

    // The module record comes first, so the services can find their way back to the host module.
    struct Record {
        FilterModule module;
        PluginModule* owner;
    };

    Record record_{};
    HMODULE library_ = nullptr;
    FilterFunctions functions_{};
    FilterModuleDeinitProc deinit_ = nullptr;
    ServiceLog log_;
    std::vector<std::unique_ptr<FilterDefinition>> copies_;
    int version_ = 0;
    int compatibleVersion_ = 0;
};

// One instance of a plug-in's filter, as the host keeps it: zero-filled storage of the size the
// definition asks for (followed by guard bytes), an activation record, and source and destination
// frames.
class FilterInstance {
public:
    explicit FilterInstance(PluginModule& module);
    FilterInstance(const FilterInstance&) = delete;
    FilterInstance& operator=(const FilterInstance&) = delete;

    FilterActivation& activation() { return activation_; }
    const FilterDefinition& filter() const { return *activation_.filter; }
    int initResult() const { return initResult_; }
    std::uint8_t* storage() { return storage_.data(); }
    bool storageGuardIntact() const;

    // Describes the frame to be filtered next and gives it a destination of the same layout.
    void setSource(HostBitmap source);
    HostBitmap& source() { return source_; }
    HostBitmap& destination() { return destination_; }
    int runFrame();

    std::string summary();
    // The saved script line, or false when the plug-in declines to write one.
    bool scriptLine(std::string& line);
    // Runs one saved line such as "Config(3,5,7,9,1)" the way the host's script interpreter does.
    bool runScript(const std::string& line, std::string& error, int integerTag = CScriptValue::T_INT);
    int configure(HWND parent, IFilterPreview* preview);

    static constexpr std::uint8_t kGuardByte = 0xA7;

private:
    static constexpr std::size_t kGuardBytes = 64;
    std::vector<std::uint8_t> storage_;
    std::size_t storageSize_ = 0;
    HostBitmap source_;
    HostBitmap destination_;
    FilterActivation activation_{};
    int initResult_ = 0;
    const FilterFunctions* functions_;
};
