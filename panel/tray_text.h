// The notification icon's texts: its tooltip and the temperature it draws.
#ifndef VELVANE_PANEL_TRAY_TEXT_H
#define VELVANE_PANEL_TRAY_TEXT_H

#include <stdint.h>

#include "fetch/weather_record.h"
#include "panel/kept_weather.h"

// The most characters the shell shows of a tooltip (its field holds 128
// bytes with the terminator).
enum { TRAY_TIP_MAX_CHARS = 127 };

// The tooltip, code page 1251: title; then, when a place is given, a line
// with the place and, while an observation is shown, its temperature and
// comment ("Москва: -7°, небольшой снег", a hyphen for the minus, which the
// code page lacks) and a line with the time of the data ("данные от 14:35").
// When the last fetch got nothing, its reason (FETCH_FAILURE_*) follows the
// time ("данные от 14:35 · нет соединения") or, without an observation,
// stands on the last line alone ("Нет соединения"). A comment too long for
// the tooltip is shortened with an ellipsis so the time line stays; the
// whole is at most TRAY_TIP_MAX_CHARS characters. A new text (mem_free), or
// null.
char *tray_tip_text(const char *title, const char *place_name, const WeatherRecord *shown,
                    const ShownWeather *state, int64_t now, int32_t failure);

// The temperature the icon draws, UTF-8: "−7" with a real minus (U+2212),
// "+12", "0". 0 when there is no temperature (outside -99 to 99) or the
// buffer is too small; then the icon shows the thermometer.
int32_t tray_temperature_text(int32_t temperature, char *buffer, uint32_t size);

#endif
