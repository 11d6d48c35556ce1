// The panel's date line, forecast heading and temperature figures. Every
// text here is code page 1251 and goes to the screen as it is.
#ifndef VELVANE_PANEL_DATE_TEXT_H
#define VELVANE_PANEL_DATE_TEXT_H

#include <stdint.h>

// A new copy of the genitive month name for index 0 (January) to 11, or
// of "null" for any other index. Release with mem_free.
char *month_name_genitive(uint32_t month_index);

// "Сегодня: 05 сентября 2011г, Пн." for the day number; a new text of up
// to 255 bytes (mem_free), or null when the heap is exhausted.
char *today_text(double day_number);

// "Прогноз погоды на 5 сентября"; a new text of up to 255 bytes.
char *forecast_title_text(double day_number);

// "%+d°" for -99 to 99, "--" otherwise, in a buffer shared by every call.
const char *temperature_text(int32_t temperature);

#endif
