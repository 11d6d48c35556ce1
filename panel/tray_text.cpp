// The notification icon's tooltip and temperature texts.
#include "panel/tray_text.h"

#include <stdio.h>
#include <string.h>

#include "fetch/encoding.h"
#include "util/format.h"
#include "util/mem.h"

static const char CP1251_DEGREE[] = "\xB0";
static const char CP1251_ELLIPSIS = '\x85';

// The observation's comment in code page 1251 on one line; null for none.
static char *comment_line(const WeatherRecord *shown)
{
    const char *comment = weather_comment(&shown->comment);
    if (comment == NULL || comment[0] == 0)
        return NULL;
    char *text = utf8_to_cp1251(comment);
    if (text != NULL)
        for (char *c = text; *c; c++)
            if ((unsigned char)*c < ' ')
                *c = ' ';
    return text;
}

// "-7°", "+12°", "0°" into buffer; empty without a temperature.
static void tip_temperature(int32_t temperature, char *buffer, size_t size)
{
    buffer[0] = 0;
    if (temperature >= -99 && temperature <= 99)
        snprintf(buffer, size, temperature > 0 ? "+%d%s" : "%d%s", (int)temperature, CP1251_DEGREE);
}

char *tray_tip_text(const char *title, const char *place_name, const WeatherRecord *shown,
                    const ShownWeather *state, int64_t now, int32_t failure)
{
    if (title == NULL)
        title = "";
    int observed = place_name != NULL && shown != NULL && state != NULL && state->observation != SHOWN_EMPTY;
    if (!observed) {
        char *reason = failure_reason_text(failure, 0);
        char *text = place_name != NULL ? format_string("%s\n%s%s%s", title, place_name, reason ? "\n" : "",
                                                        reason ? reason : "")
                                        : dup_string(title);
        mem_free(reason);
        if (text != NULL && strlen(text) > TRAY_TIP_MAX_CHARS)
            text[TRAY_TIP_MAX_CHARS] = 0;
        return text;
    }

    char temperature[16];
    tip_temperature(shown->temperature, temperature, sizeof temperature);
    char *comment = comment_line(shown);
    char *time_only = data_time_text(state->observation_time, now, 1);
    char *time_line = with_failure_reason(time_only, failure);
    mem_free(time_only);

    // Everything but the comment first, to see how much room it has.
    const char *colon = temperature[0] || comment ? ":" : "";
    const char *space = temperature[0] ? " " : "";
    const char *comma = temperature[0] && comment ? ", " : (comment ? " " : "");
    const char *time_break = time_line != NULL ? "\n" : "";
    const char *time_text = time_line != NULL ? time_line : "";
    size_t fixed = strlen(title) + 1 + strlen(place_name) + strlen(colon) + strlen(space) +
                   strlen(temperature) + strlen(comma) + strlen(time_break) + strlen(time_text);
    if (comment != NULL && fixed + strlen(comment) > TRAY_TIP_MAX_CHARS) {
        size_t room = fixed < TRAY_TIP_MAX_CHARS ? TRAY_TIP_MAX_CHARS - fixed : 0;
        if (room >= 2) {
            comment[room - 1] = CP1251_ELLIPSIS;
            comment[room] = 0;
        } else {
            comment[0] = 0;
        }
    }
    char *text = format_string("%s\n%s%s%s%s%s%s%s%s", title, place_name, colon, space, temperature, comma,
                               comment != NULL ? comment : "", time_break, time_text);
    if (text != NULL && strlen(text) > TRAY_TIP_MAX_CHARS)
        text[TRAY_TIP_MAX_CHARS] = 0;
    mem_free(comment);
    mem_free(time_line);
    return text;
}

int32_t tray_temperature_text(int32_t temperature, char *buffer, uint32_t size)
{
    if (buffer == NULL || size == 0)
        return 0;
    buffer[0] = 0;
    if (temperature < -99 || temperature > 99)
        return 0;
    int written;
    if (temperature < 0)
        written = snprintf(buffer, size, "\xE2\x88\x92%d", -(int)temperature);
    else if (temperature > 0)
        written = snprintf(buffer, size, "+%d", (int)temperature);
    else
        written = snprintf(buffer, size, "0");
    if (written < 0 || (uint32_t)written >= size) {
        buffer[0] = 0;
        return 0;
    }
    return 1;
}
