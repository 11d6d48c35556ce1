// Date and temperature texts, with their literals in code page 1251.
#include "panel/date_text.h"

#include <stdio.h>
#include <string.h>
#include <time.h>

#include "panel/day_number.h"
#include "util/mem.h"

enum { DATE_TEXT_SIZE = 256, STRFTIME_MAX = 60, TEMPERATURE_TEXT_SIZE = 40 };

static const char *const MONTHS_GENITIVE[12] = {
    "\xFF\xED\xE2\xE0\xF0\xFF",              // января
    "\xF4\xE5\xE2\xF0\xE0\xEB\xFF",          // февраля
    "\xEC\xE0\xF0\xF2\xE0",                  // марта
    "\xE0\xEF\xF0\xE5\xEB\xFF",              // апреля
    "\xEC\xE0\xFF",                          // мая
    "\xE8\xFE\xED\xFF",                      // июня
    "\xE8\xFE\xEB\xFF",                      // июля
    "\xE0\xE2\xE3\xF3\xF1\xF2\xE0",          // августа
    "\xF1\xE5\xED\xF2\xFF\xE1\xF0\xFF",      // сентября
    "\xEE\xEA\xF2\xFF\xE1\xF0\xFF",          // октября
    "\xED\xEE\xFF\xE1\xF0\xFF",              // ноября
    "\xE4\xE5\xEA\xE0\xE1\xF0\xFF",          // декабря
};

static const char TODAY_FORMAT[] = "\xD1\xE5\xE3\xEE\xE4\xED\xFF: %d ";          // "Сегодня: %d "
static const char YEAR_FORMAT[] = " %Y\xE3, ";                                     // " %Yг, "
static const char WEEKDAY_FORMAT[] = "%a.";
static const char TITLE_FORMAT[] =
    "\xCF\xF0\xEE\xE3\xED\xEE\xE7 \xEF\xEE\xE3\xEE\xE4\xFB \xED\xE0 %d ";          // "Прогноз погоды на %d "
static const char TEMPERATURE_FORMAT[] = "%+d\xB0";                                // "%+d°"

char *month_name_genitive(uint32_t month_index)
{
    return dup_string(month_index < 12 ? MONTHS_GENITIVE[month_index] : "null");
}

// Appends src to the text in dst (of DATE_TEXT_SIZE bytes), never past it.
static void append(char *dst, const char *src)
{
    size_t used = strlen(dst);
    size_t room = DATE_TEXT_SIZE - 1 - used;
    size_t length = strlen(src);
    if (length > room)
        length = room;
    memcpy(dst + used, src, length);
    dst[used + length] = 0;
}

static void append_strftime(char *dst, const char *format, const struct tm *time_record)
{
    char part[STRFTIME_MAX + 1];
    size_t length = strftime(part, STRFTIME_MAX, format, time_record);
    part[length] = 0;
    append(dst, part);
}

static void append_month(char *dst, double month)
{
    char *name = month_name_genitive((uint32_t)(month - 1));
    if (name != NULL)
        append(dst, name);
    mem_free(name);
}

char *today_text(double day_number)
{
    char *text = (char *)mem_alloc(DATE_TEXT_SIZE);
    if (text == NULL)
        return NULL;
    text[0] = 0;
    CalendarDate date;
    day_number_to_date(day_number, &date);

    struct tm time_record;
    memset(&time_record, 0, sizeof time_record);
    time_record.tm_wday = weekday_of_day_number(day_number);
    time_record.tm_year = (int)date.year - 1900;
    time_record.tm_mon = (int)date.month - 1;
    time_record.tm_mday = (int)date.day;

    append_strftime(text, TODAY_FORMAT, &time_record);
    append_month(text, date.month);
    append_strftime(text, YEAR_FORMAT, &time_record);
    append_strftime(text, WEEKDAY_FORMAT, &time_record);
    return text;
}

char *forecast_title_text(double day_number)
{
    char *text = (char *)mem_alloc(DATE_TEXT_SIZE);
    if (text == NULL)
        return NULL;
    CalendarDate date;
    day_number_to_date(day_number, &date);
    snprintf(text, DATE_TEXT_SIZE, TITLE_FORMAT, (int)date.day);
    append_month(text, date.month);
    return text;
}

const char *temperature_text(int32_t temperature)
{
    static char buffer[TEMPERATURE_TEXT_SIZE];
    memset(buffer, 0, sizeof buffer);
    if (temperature >= -99 && temperature <= 99)
        snprintf(buffer, sizeof buffer, TEMPERATURE_FORMAT, (int)temperature);
    else
        strcpy(buffer, "--");
    return buffer;
}
