#pragma once

// Resource ids of the configuration dialog, shared by its template and its code.
#define IDD_ZONE 101
#define IDC_PREVIEW 1005
#define IDC_SHOW_FRAME 1006
#define IDC_ADD_BORDER 1007
#define IDC_UP 1010
#define IDC_LEFT 1011
#define IDC_RIGHT 1012
#define IDC_DOWN 1013
#define IDC_ZONE_NOTE 1017
