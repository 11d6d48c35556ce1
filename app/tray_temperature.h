// The notification icon that shows the temperature instead of the
// thermometer.
#ifndef VELVANE_APP_TRAY_TEMPERATURE_H
#define VELVANE_APP_TRAY_TEMPERATURE_H

#include <windows.h>

// A new icon of size x size pixels (the small-icon size at the icon's DPI)
// with text (UTF-8, such as "−7" from tray_temperature_text) drawn as large
// as fits: white figures with a dark outline on a transparent ground, so
// they read on a light and on a dark taskbar. Null on failure. The caller
// releases it with DestroyIcon once the shell has taken its copy.
HICON create_temperature_icon(const char *text, int size);

#endif
