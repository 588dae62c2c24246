// vdfhost: loads a filter plug-in the way the host does and runs it on a picture.
//
//   vdfhost PLUGIN [--script LINE]... IN OUT
//   vdfhost PLUGIN --configure IN [OUT] [--script LINE]... [--do STEP]...
//
// Prints the filter's summary and its saved script line.

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "tools/vdfhost/dialog_driver.h"
#include "tools/vdfhost/host_preview.h"
#include "tools/vdfhost/plugin_host.h"
#include "velmo/image/picture.h"

namespace {

constexpr char kUsage[] =
    "usage: vdfhost PLUGIN [--script LINE]... IN OUT\n"
    "       vdfhost PLUGIN --configure IN [OUT] [--script LINE]... [--do STEP]...\n"
    "  --script LINE  restore settings from a saved line such as \"Config(3,5,7,9,1)\"\n"
    "  --configure    open the plug-in's dialog with a live preview; OUT is written after OK\n"
    "  --do STEP      play a dialog step: click:ID, slider:ID:POS, shot:FILE.png, wait:MS, ok, cancel\n"
    "Exit status: 0 done; 1 a picture, script line or dialog failed; 2 bad arguments; 3 the plug-in file\n"
    "cannot be loaded (missing, not a DLL, other architecture); 4 it is not a filter plug-in; 5 its module\n"
    "init failed; 6 it registered no filter; 7 it broke the version handshake; 8 its definition asks for\n"
    "more instance storage than a host gives.\n";

struct Options {
    std::string plugin;
    std::vector<std::string> scripts;
    std::vector<std::string> steps;
    std::vector<std::string> files;
    bool configure = false;
};

bool parseOptions(int argc, char** argv, Options& options, std::string& error) {
    for (int k = 1; k < argc; ++k) {
        const std::string argument = argv[k];
        const bool hasValue = k + 1 < argc;
        if (argument == "--script" && hasValue) {
            options.scripts.push_back(argv[++k]);
        } else if (argument == "--do" && hasValue) {
            options.steps.push_back(argv[++k]);
        } else if (argument == "--configure") {
            options.configure = true;
        } else if (argument.rfind("--", 0) == 0) {
            error = "unknown or incomplete option " + argument;
            return false;
        } else if (options.plugin.empty()) {
            options.plugin = argument;
        } else {
            options.files.push_back(argument);
        }
    }
    const std::size_t minimum = options.configure ? 1 : 2;
    if (options.plugin.empty() || options.files.size() < minimum || options.files.size() > 2) {
        error = "expected a plug-in, an input picture and an output picture";
        return false;
    }
    if (!options.steps.empty() && !options.configure) {
        error = "--do needs --configure";
        return false;
    }
    return true;
}

int fail(const std::string& message, int status = 1) {
    std::fprintf(stderr, "vdfhost: %s\n", message.c_str());
    return status;
}

// Why the dialog could not open. Under Wine the usual cause is a missing display: windows then
// cannot be created at all.
std::string dialogFailure(int result) {
    std::string message =
        "the plug-in's dialog could not open (its config callback returned " + std::to_string(result) + ")";
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0')
        message += "; there is no X display (DISPLAY is unset): run vdfhost under xvfb-run";
    return message;
}

void printSettings(FilterInstance& instance) {
    std::printf("filter:  %s\n", instance.filter().name != nullptr ? instance.filter().name : "");
    std::printf("summary: \"%s\"\n", instance.summary().c_str());
    std::string line;
    if (instance.scriptLine(line))
        std::printf("line:    %s\n", line.c_str());
    else
        std::printf("line:    (none: the plug-in declined to write one)\n");
}

int run(int argc, char** argv) {
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        std::fputs(kUsage, stderr);
        return fail(error, 2);
    }
    DialogDriver driver;
    if (!DialogDriver::parse(options.steps, driver, error)) return fail(error);

    registerHostControls();
    Picture input;
    if (!loadPicture(options.files[0], input, error)) return fail(error);
    LoadFailure failure = LoadFailure::None;
    std::unique_ptr<PluginModule> plugin = PluginModule::load(options.plugin, error, failure);
    if (!plugin) return fail(error, static_cast<int>(failure));

    FilterInstance instance(*plugin);
    for (const std::string& script : options.scripts)
        if (!instance.runScript(script, error)) return fail(error);

    HostBitmap source(input.w, input.h);
    source.load(input);
    instance.setSource(std::move(source));

    if (options.configure) {
        const std::string name = options.files[0].substr(options.files[0].find_last_of("/\\") + 1);
        HostPreview preview(instance, "Preview - " + name);
        if (!driver.empty()) driver.start(GetCurrentThreadId());
        const int result = instance.configure(nullptr, &preview);
        const bool played = driver.finish(error);
        if (result != 0 && result != 1) return fail(dialogFailure(result));
        if (!played) return fail(error);
        if (result != 0) {
            std::printf("dialog:  cancelled (%d)\n", result);
            printSettings(instance);
            return 0;
        }
        std::printf("dialog:  OK\n");
    }

    instance.runFrame();
    printSettings(instance);
    if (options.files.size() == 2) {
        if (!savePicture(options.files[1], instance.destination().picture(), error)) return fail(error);
        std::printf("wrote:   %s\n", options.files[1].c_str());
    }
    return 0;
}

}  // namespace

// A host survives what it meets: nothing leaves it as an uncaught exception.
int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        return fail("not enough memory");
    } catch (const std::exception& exception) {
        return fail(std::string("unexpected failure: ") + exception.what());
    }
}
