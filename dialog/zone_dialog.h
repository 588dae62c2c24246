#pragma once

#include "host/filter_interface.h"

// The definition's config callback: opens the zone dialog modally on the instance's settings.
// Returns 0 after OK, 1 after Cancel, or -1 when the dialog cannot open.
int VDCALL showConfigDialog(FilterActivation* activation, const FilterFunctions* functions, HWND parent);

INT_PTR CALLBACK zoneDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
