/* Resource and control ids, shared by the code and the resource script. */
#ifndef VELVANE_RES_RESOURCE_H
#define VELVANE_RES_RESOURCE_H

/* Dialog templates */
#define IDD_ABOUT            103
#define IDD_PANEL            129
#define IDD_SETTINGS         153
#define IDD_NOTICE           154

/* Icons and bitmaps */
#define IDI_APP              107
#define IDI_CONDITION_FIRST  132   /* condition code k is icon 132 + k */
#define IDI_CONDITION_LAST   151
#define IDI_BUSY             152
#define IDB_NOTICE           156

/* Panel controls */
#define IDC_ABOUT            3
#define IDC_COUNTRY          1007
#define IDC_CITY             1008
#define IDC_CALENDAR         1010
#define IDC_FORECAST_TEXT    1011
#define IDC_TODAY            1012
#define IDC_ACTUAL_TEXT      1014
#define IDC_DAY_LABEL        1019
#define IDC_NIGHT_LABEL      1020
#define IDC_SETTINGS         1024

/* Panel commands sent by the tray menu and the settings dialog
   (1 exit and 2 hide are IDOK and IDCANCEL). */
#define CMD_REFRESH          130
#define CMD_AUTO_REFRESH     131

#endif
