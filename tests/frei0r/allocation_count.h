#pragma once

// How many times operator new has run in this process, the plug-in's calls among them: velmo.so
// takes operator new from the C++ runtime, and allocation_count.cpp's definition stands in for it.
long allocationCount();
