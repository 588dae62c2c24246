#pragma once

// The host's filter plug-in interface, version 8: the records, callbacks and services that the
// plug-in and the project's own host program share. Layouts are pinned below for 32-bit and
// 64-bit Windows; a mistake here would otherwise show up only as a crash inside the host.

#include <windows.h>

#include <cstddef>
#include <cstdint>

#if defined(_WIN64)
#define VDCALL
#else
#define VDCALL __cdecl
#endif

struct FilterActivation;
struct FilterDefinition;
struct FilterFunctions;
struct FilterModule;
struct FilterStateInfo;
struct VFBitmap;
class IScriptInterpreter;

using FilterInitProc = int(VDCALL*)(FilterActivation*, const FilterFunctions*);
using FilterDeinitProc = void(VDCALL*)(FilterActivation*, const FilterFunctions*);
using FilterRunProc = int(VDCALL*)(const FilterActivation*, const FilterFunctions*);
using FilterParamProc = long(VDCALL*)(FilterActivation*, const FilterFunctions*);
using FilterConfigProc = int(VDCALL*)(FilterActivation*, const FilterFunctions*, HWND parent);
using FilterStringProc = void(VDCALL*)(const FilterActivation*, const FilterFunctions*, char* buffer);
using FilterStartProc = int(VDCALL*)(FilterActivation*, const FilterFunctions*);
using FilterEndProc = int(VDCALL*)(FilterActivation*, const FilterFunctions*);
using FilterScriptStrProc = bool(VDCALL*)(FilterActivation*, const FilterFunctions*, char* buffer,
                                          int length);
using FilterStringProc2 = void(VDCALL*)(const FilterActivation*, const FilterFunctions*, char* buffer,
                                        int maxLength);
using FilterSerialize = int(VDCALL*)(FilterActivation*, const FilterFunctions*, char* buffer, int maxLength);
using FilterDeserialize = void(VDCALL*)(FilterActivation*, const FilterFunctions*, const char* buffer,
                                        int length);
using FilterCopy = void(VDCALL*)(FilterActivation*, const FilterFunctions*, void* destination);

using FilterModuleInitProc = int(VDCALL*)(FilterModule*, const FilterFunctions*, int& version,
                                          int& compatibleVersion);
using FilterModuleDeinitProc = void(VDCALL*)(FilterModule*, const FilterFunctions*);

struct FilterModule {
    FilterModule* next;
    FilterModule* prev;
    HINSTANCE hInstModule;
    FilterModuleInitProc initProc;
    FilterModuleDeinitProc deinitProc;
};

// Script values. The integer is read from `u.i` whatever the tag: one host tags integers 1, another
// 9. The 64-bit member only gives the union its size and alignment.
struct CScriptValue {
    enum Type { T_VOID = 0, T_INT = 1, T_PINT = 2, T_STR = 3 };
    int type;
    void* thisPtr;
    union {
        int i;
        char** s;
        void* p;
        std::int64_t wide;
    } u;
};

using ScriptFunctionPtr = void(VDCALL*)(IScriptInterpreter*, void* context, CScriptValue* argv, int argc);

struct ScriptFunctionDef {
    ScriptFunctionPtr func_ptr;
    const char* name;
    const char* arg_list;
};

struct ScriptObjectDef;
using ScriptObjectLookupFuncPtr = void*(VDCALL*)(IScriptInterpreter*, void*, const char*);

struct CScriptObject {
    ScriptObjectLookupFuncPtr Lookup;
    ScriptFunctionDef* func_list;
    ScriptObjectDef* obj_list;
};

// Every field starts empty, so the plug-in's definition names only the fields it fills
// (designated initialisers, checked by the compiler).
struct FilterDefinition {
    FilterDefinition* next{};
    FilterDefinition* prev{};
    FilterModule* module{};
    const char* name{};
    const char* desc{};
    const char* maker{};
    void* private_data{};
    int inst_data_size{};
    FilterInitProc initProc{};
    FilterDeinitProc deinitProc{};
    FilterRunProc runProc{};
    FilterParamProc paramProc{};
    FilterConfigProc configProc{};
    FilterStringProc stringProc{};
    FilterStartProc startProc{};
    FilterEndProc endProc{};
    CScriptObject* script_obj{};
    FilterScriptStrProc fssProc{};
    FilterStringProc2 stringProc2{};
    FilterSerialize serializeProc{};
    FilterDeserialize deserializeProc{};
    FilterCopy copyProc{};
};

// The host's bitmap class has virtual methods; the plug-in never calls them, so the table pointer
// is only a placeholder here.
struct VFBitmap {
    const void* vtable;
    std::uint32_t* data;
    std::uint32_t* palette;
    int depth;
    int w;
    int h;
    std::ptrdiff_t pitch;
    std::ptrdiff_t modulo;
    std::ptrdiff_t size;
    std::ptrdiff_t offset;
    DWORD dwFlags;
    HDC hdc;
};

// The host's preview, a C++ object built by its compiler. The twelve methods keep the host's order
// and there is no destructor, so the slots match; on 32-bit Windows they are __thiscall, which is
// also g++'s default for member functions there.
class IFilterPreview {
public:
    virtual void SetButtonCallback(void(VDCALL* callback)(bool, void*), void* context) = 0;
    virtual void SetSampleCallback(void(VDCALL* callback)(VFBitmap*, long, long, void*), void* context) = 0;
    virtual bool isPreviewEnabled() = 0;
    virtual void Toggle(HWND parent) = 0;
    virtual void Display(HWND parent, bool show) = 0;
    virtual void RedoFrame() = 0;
    virtual void RedoSystem() = 0;
    virtual void UndoSystem() = 0;
    virtual void InitButton(HWND button) = 0;
    virtual void Close() = 0;
    virtual bool SampleCurrentFrame() = 0;
    virtual long SampleFrames() = 0;
};

struct FilterActivation {
    FilterDefinition* filter;
    void* filter_data;
    VFBitmap* dst;
    VFBitmap* src;
    VFBitmap* reserved;
    VFBitmap* last;
    unsigned long x1;
    unsigned long y1;
    unsigned long x2;
    unsigned long y2;
    FilterStateInfo* pfsi;
    IFilterPreview* ifp;
};

struct FilterFunctions {
    FilterDefinition*(VDCALL* addFilter)(FilterModule*, FilterDefinition*, int length);
    void(VDCALL* removeFilter)(FilterDefinition*);
    bool(VDCALL* isFPUEnabled)();
    bool(VDCALL* isMMXEnabled)();
    void(VDCALL* InitVTables)(void*);
    void(VDCALL* ExceptOutOfMemory)();
    void(VDCALL* Except)(const char* format, ...);
    long(VDCALL* getCPUFlags)();
    long(VDCALL* getHostVersionInfo)(char* buffer, int length);
};

// Interface version 8, the oldest version 8 hosts accept (4), and the definition length they copy.
inline constexpr int kFilterInterfaceVersion = 8;
inline constexpr int kFilterInterfaceCompatibleVersion = 4;
inline constexpr int kFilterDefinitionLength = sizeof(void*) == 4 ? 88 : 176;

// Every size and offset the host relies on, for the build at hand.
#if defined(_WIN64)
static_assert(sizeof(FilterModule) == 40);
static_assert(offsetof(FilterModule, hInstModule) == 16);
static_assert(sizeof(FilterDefinition) == 176);
static_assert(offsetof(FilterDefinition, module) == 16);
static_assert(offsetof(FilterDefinition, name) == 24);
static_assert(offsetof(FilterDefinition, inst_data_size) == 56);
static_assert(offsetof(FilterDefinition, initProc) == 64);
static_assert(offsetof(FilterDefinition, runProc) == 80);
static_assert(offsetof(FilterDefinition, configProc) == 96);
static_assert(offsetof(FilterDefinition, stringProc) == 104);
static_assert(offsetof(FilterDefinition, script_obj) == 128);
static_assert(offsetof(FilterDefinition, fssProc) == 136);
static_assert(offsetof(FilterDefinition, copyProc) == 168);
static_assert(sizeof(FilterActivation) == 80);
static_assert(offsetof(FilterActivation, filter_data) == 8);
static_assert(offsetof(FilterActivation, dst) == 16);
static_assert(offsetof(FilterActivation, src) == 24);
static_assert(offsetof(FilterActivation, last) == 40);
static_assert(offsetof(FilterActivation, x1) == 48);
static_assert(offsetof(FilterActivation, y2) == 60);
static_assert(offsetof(FilterActivation, pfsi) == 64);
static_assert(offsetof(FilterActivation, ifp) == 72);
static_assert(sizeof(VFBitmap) == 88);
static_assert(offsetof(VFBitmap, data) == 8);
static_assert(offsetof(VFBitmap, palette) == 16);
static_assert(offsetof(VFBitmap, depth) == 24);
static_assert(offsetof(VFBitmap, w) == 28);
static_assert(offsetof(VFBitmap, h) == 32);
static_assert(offsetof(VFBitmap, pitch) == 40);
static_assert(offsetof(VFBitmap, modulo) == 48);
static_assert(offsetof(VFBitmap, size) == 56);
static_assert(offsetof(VFBitmap, offset) == 64);
static_assert(offsetof(VFBitmap, dwFlags) == 72);
static_assert(offsetof(VFBitmap, hdc) == 80);
static_assert(offsetof(FilterFunctions, removeFilter) == 8);
static_assert(sizeof(ScriptFunctionDef) == 24);
static_assert(offsetof(ScriptFunctionDef, name) == 8);
static_assert(offsetof(ScriptFunctionDef, arg_list) == 16);
static_assert(sizeof(CScriptObject) == 24);
static_assert(offsetof(CScriptObject, func_list) == 8);
static_assert(offsetof(CScriptObject, obj_list) == 16);
static_assert(sizeof(CScriptValue) == 24);
static_assert(offsetof(CScriptValue, thisPtr) == 8);
static_assert(offsetof(CScriptValue, u) == 16);
#else
static_assert(sizeof(void*) == 4);
static_assert(sizeof(FilterModule) == 20);
static_assert(offsetof(FilterModule, prev) == 4);
static_assert(offsetof(FilterModule, hInstModule) == 8);
static_assert(offsetof(FilterModule, initProc) == 12);
static_assert(offsetof(FilterModule, deinitProc) == 16);
static_assert(sizeof(FilterDefinition) == 88);
static_assert(offsetof(FilterDefinition, prev) == 4);
static_assert(offsetof(FilterDefinition, module) == 8);
static_assert(offsetof(FilterDefinition, name) == 12);
static_assert(offsetof(FilterDefinition, desc) == 16);
static_assert(offsetof(FilterDefinition, maker) == 20);
static_assert(offsetof(FilterDefinition, private_data) == 24);
static_assert(offsetof(FilterDefinition, inst_data_size) == 28);
static_assert(offsetof(FilterDefinition, initProc) == 32);
static_assert(offsetof(FilterDefinition, deinitProc) == 36);
static_assert(offsetof(FilterDefinition, runProc) == 40);
static_assert(offsetof(FilterDefinition, paramProc) == 44);
static_assert(offsetof(FilterDefinition, configProc) == 48);
static_assert(offsetof(FilterDefinition, stringProc) == 52);
static_assert(offsetof(FilterDefinition, startProc) == 56);
static_assert(offsetof(FilterDefinition, endProc) == 60);
static_assert(offsetof(FilterDefinition, script_obj) == 64);
static_assert(offsetof(FilterDefinition, fssProc) == 68);
static_assert(offsetof(FilterDefinition, stringProc2) == 72);
static_assert(offsetof(FilterDefinition, serializeProc) == 76);
static_assert(offsetof(FilterDefinition, deserializeProc) == 80);
static_assert(offsetof(FilterDefinition, copyProc) == 84);
static_assert(sizeof(FilterActivation) == 48);
static_assert(offsetof(FilterActivation, filter_data) == 4);
static_assert(offsetof(FilterActivation, dst) == 8);
static_assert(offsetof(FilterActivation, src) == 12);
static_assert(offsetof(FilterActivation, reserved) == 16);
static_assert(offsetof(FilterActivation, last) == 20);
static_assert(offsetof(FilterActivation, x1) == 24);
static_assert(offsetof(FilterActivation, y1) == 28);
static_assert(offsetof(FilterActivation, x2) == 32);
static_assert(offsetof(FilterActivation, y2) == 36);
static_assert(offsetof(FilterActivation, pfsi) == 40);
static_assert(offsetof(FilterActivation, ifp) == 44);
static_assert(sizeof(VFBitmap) == 48);
static_assert(offsetof(VFBitmap, data) == 4);
static_assert(offsetof(VFBitmap, palette) == 8);
static_assert(offsetof(VFBitmap, depth) == 12);
static_assert(offsetof(VFBitmap, w) == 16);
static_assert(offsetof(VFBitmap, h) == 20);
static_assert(offsetof(VFBitmap, pitch) == 24);
static_assert(offsetof(VFBitmap, modulo) == 28);
static_assert(offsetof(VFBitmap, size) == 32);
static_assert(offsetof(VFBitmap, offset) == 36);
static_assert(offsetof(VFBitmap, dwFlags) == 40);
static_assert(offsetof(VFBitmap, hdc) == 44);
static_assert(sizeof(FilterFunctions) == 36);
static_assert(offsetof(FilterFunctions, removeFilter) == 4);
static_assert(offsetof(FilterFunctions, isFPUEnabled) == 8);
static_assert(offsetof(FilterFunctions, getHostVersionInfo) == 32);
static_assert(sizeof(ScriptFunctionDef) == 12);
static_assert(offsetof(ScriptFunctionDef, name) == 4);
static_assert(offsetof(ScriptFunctionDef, arg_list) == 8);
static_assert(sizeof(CScriptObject) == 12);
static_assert(offsetof(CScriptObject, func_list) == 4);
static_assert(offsetof(CScriptObject, obj_list) == 8);
static_assert(sizeof(CScriptValue) == 16);
static_assert(offsetof(CScriptValue, thisPtr) == 4);
static_assert(offsetof(CScriptValue, u) == 8);
#endif
