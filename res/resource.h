/* Resource and control ids, shared by the code and the resource script. */
#ifndef VELVANE_RES_RESOURCE_H
#define VELVANE_RES_RESOURCE_H

/* Dialog templates */
#define IDD_ABOUT            103
#define IDD_PANEL            129
#define IDD_SETTINGS         153
#define IDD_NOTICE           154
#define IDD_PLACE_SEARCH     157

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
#define IDC_FIND             1042

/* Place search controls */
#define IDC_SEARCH_QUERY     1050
#define IDC_SEARCH_LIST      1051
#define IDC_SEARCH_STATUS    1052

/* Settings dialog controls */
#define IDC_SET_AUTOSTART    1013
#define IDC_SET_FIRST_FORE   1014
#define IDC_SET_GET_FORE     1015
#define IDC_SET_HIDE_WINDOW  1016
#define IDC_SET_USE_PROXY    1017
#define IDC_SET_HOURS        1022
#define IDC_SET_HOURS_SPIN   1023
#define IDC_SET_PROXY_NAME   1025
#define IDC_SET_PROXY_PORT   1026
#define IDC_SET_DATA_SOURCE  1028
#define IDC_SET_TRAY_TEMPERATURE 1029
#define IDC_SET_PROXY_USER   1030
#define IDC_SET_PROXY_PASSWORD 1031
#define IDC_SET_PROXY_USER_LABEL 1032
#define IDC_SET_PROXY_PASSWORD_LABEL 1033
#define IDC_SET_WARNINGS     1040

/* About box and notice controls */
#define IDC_ABOUT_LINK       1008
#define IDC_ABOUT_DATA_LINK  1009
#define IDC_NEVER_SHOW       1027

/* Strings */
#define IDS_APP_TITLE        200
#define IDS_APP_DESCRIPTION  201
#define IDS_ACTUAL_TITLE     202
/* The settings dialog's data sources, in the order of the setting's values */
#define IDS_DATA_SOURCE_FIRST 203
#define IDS_DATA_SOURCE_COUNT 3
/* The labels of the proxy's sign-in in the settings dialog */
#define IDS_PROXY_USER_LABEL 220
#define IDS_PROXY_PASSWORD_LABEL 221
/* The place search: the city list's line above the recent places, the
   search window's status line and the population's word */
#define IDS_RECENT_SEPARATOR 230
#define IDS_SEARCH_NOTHING   231
#define IDS_SEARCH_BUSY      232
#define IDS_SEARCH_PEOPLE    233

#ifndef IDC_STATIC
#define IDC_STATIC           (-1)
#endif

/* Panel commands sent by the tray menu and the settings dialog
   (1 exit and 2 hide are IDOK and IDCANCEL). */
#define CMD_REFRESH          130
#define CMD_AUTO_REFRESH     131
/* A click on the heads-up's notice: the panel selects the notice's day. */
#define CMD_NOTICE_DAY       132

#endif
