// The simulator's open-data forecast: the JSON that the real API answers to
// the program's request, made up from the simulator's weather model.
#include "tools/sim/sim_open_data.h"

#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <string>

#include "panel/day_number.h"
#include "tools/sim/sim_weather.h"
#include "util/mem.h"

namespace {

const char PATH[] = "/v1/forecast";

int storm_tomorrow;  // set once before serving

enum {
    PAST_DAYS = 1,
    FORECAST_DAYS_SENT = 7,
    DAYS_SENT = PAST_DAYS + FORECAST_DAYS_SENT,
    SECONDS_PER_DAY = 86400,
    DAYS_1970_TO_2000 = 10957
};

void append(std::string *to, const char *format, ...)
{
    char text[256];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    *to += text;
}

// The path part of a target, or null when it is not the forecast's.
const char *path_of(const char *target)
{
    const char *path = target;
    if (strncasecmp(path, "http://", 7) == 0) {
        path = strchr(path + 7, '/');
        if (path == NULL)
            return NULL;
    }
    size_t n = strlen(PATH);
    if (strncmp(path, PATH, n) != 0 || (path[n] != 0 && path[n] != '?'))
        return NULL;
    return path;
}

// The value of a query parameter, copied into value; 0 when absent.
int query_value(const char *target, const char *name, char *value, size_t size)
{
    const char *query = strchr(target, '?');
    size_t n = strlen(name);
    for (const char *p = query; p != NULL; p = strchr(p + 1, '&')) {
        const char *start = p + 1;
        if (strncmp(start, name, n) == 0 && start[n] == '=') {
            size_t length = strcspn(start + n + 1, "&#");
            if (length >= size)
                length = size - 1;
            memcpy(value, start + n + 1, length);
            value[length] = 0;
            return 1;
        }
    }
    return 0;
}

// A coordinate of the query within its range; 0 when absent or not one.
int coordinate(const char *target, const char *name, double limit, double *out)
{
    char text[64];
    if (!query_value(target, name, text, sizeof text) || text[0] == 0)
        return 0;
    char *end;
    double v = strtod(text, &end);
    if (*end != 0 || !isfinite(v) || v < -limit || v > limit)
        return 0;
    *out = v;
    return 1;
}

char *whole_response(int status, const char *reason, const std::string &body, int head_only, int32_t *length)
{
    std::string bytes;
    append(&bytes,
           "HTTP/1.1 %d %s\r\nServer: velvane-sim\r\nContent-Type: application/json; charset=utf-8\r\n"
           "Content-Length: %d\r\nConnection: close\r\n\r\n",
           status, reason, (int)body.size());
    if (!head_only)
        bytes += body;
    char *block = (char *)mem_alloc((uint32_t)bytes.size());
    if (block == NULL)
        return NULL;
    memcpy(block, bytes.data(), bytes.size());
    *length = (int32_t)bytes.size();
    return block;
}

// The WMO code that the API would give for a kind of weather.
int wmo_code(int kind, uint32_t h)
{
    switch (kind) {
    case SIM_CLEAR: return h % 3 == 0 ? 1 : 0;
    case SIM_PARTLY_CLOUDY: return h % 2 ? 1 : 2;
    case SIM_CLOUDY: return 2;
    case SIM_OVERCAST: return h % 5 == 0 ? 45 : 3;
    case SIM_WINDY: return 3;
    case SIM_LIGHT_RAIN: return h % 3 == 0 ? 53 : 61;
    case SIM_SHOWERS: return h % 2 ? 80 : 81;
    case SIM_HEAVY_RAIN: return h % 3 == 0 ? 82 : 65;
    case SIM_THUNDERSTORM: return h % 4 == 0 ? 96 : 95;
    case SIM_SLEET: return h % 2 ? 66 : 67;
    case SIM_SNOW_GRAINS: return 77;
    case SIM_LIGHT_SNOW: return h % 3 == 0 ? 85 : 71;
    case SIM_HEAVY_SNOW: return h % 2 ? 75 : 86;
    default: return 3;
    }
}

double unit_of(uint32_t h)
{
    return (double)(h >> 8) / 16777216.0;
}

// Places where the longitude's nearest hour puts the clock a day off: the
// far east of Chukotka lies past 180 degrees, and keeps the time of the
// rest of Chukotka (UTC+12), not -12. Elsewhere east of 172 E and west of
// 20 W the catalogue's places are within hours of longitude / 15.
struct ZoneBox {
    double south, north, west, east;
    int32_t offset_hours;
};
const ZoneBox ZONE_TABLE[] = {
    {60.0, 72.0, -180.0, -168.0, 12},  // Chukotka east of 180 (Provideniya, Uelen)
};

int32_t utc_offset_of(double latitude, double longitude)
{
    for (const ZoneBox &box : ZONE_TABLE)
        if (latitude >= box.south && latitude <= box.north && longitude >= box.west && longitude <= box.east)
            return box.offset_hours * 3600;
    return (int32_t)lround(longitude / 15.0) * 3600;
}

// The pressure at the place's height from the pressure at sea level: the
// standard atmosphere's barometric formula.
double surface_pressure_of(double sea_level_hpa, int elevation_m)
{
    return sea_level_hpa * pow(1.0 - 2.25577e-5 * elevation_m, 5.25588);
}

struct Place {
    double latitude, longitude;   // as asked
    char key[64];                 // the place in the weather model's hash
    SimClimate climate;
    int32_t utc_offset;           // seconds, from the zone table or the longitude
    int32_t today;                // the place's own date, a whole day number
    int32_t minutes;              // its time of day, on a quarter hour
};

// The hourly precipitation of a day, in hundredths of mm: the day's total
// spread over a few of its hours.
void hourly_precipitation(const Place *place, uint32_t seed, int32_t day, const SimDay *weather, int hundredths[24])
{
    memset(hundredths, 0, 24 * sizeof hundredths[0]);
    if (weather->precip <= 0)
        return;
    uint32_t h = sim_hash(seed, place->key, day, 41);
    int wet_hours = 3 + (int)(h % 8);
    int total = weather->precip * 100 + (int)((h >> 8) % 100);
    int first = (int)((h >> 16) % (uint32_t)(24 - wet_hours + 1));
    int weights[24];
    int weight_sum = 0;
    for (int i = 0; i < wet_hours; i++) {
        weights[i] = 1 + (int)(sim_hash(seed, place->key, day * 24 + i, 42) % 9);
        weight_sum += weights[i];
    }
    for (int i = 0; i < wet_hours; i++)
        hundredths[first + i] = total * weights[i] / weight_sum;
}

void date_text(int32_t day, char *text, size_t size)
{
    CalendarDate date;
    day_number_to_date((double)day, &date);
    snprintf(text, size, "%04d-%02d-%02d", (int)date.year, (int)date.month, (int)date.day);
}

// A temperature with a tenth made up from the hash, as the API gives them.
double tenths(int whole, uint32_t h)
{
    return whole + ((int)(h % 10) - 5) / 10.0;
}

// The hourly variables asked for besides the precipitation, which is
// always given.
struct HourlyAsked {
    int temperature;
    int weather_code;
};

// A temperature of an hour on the day's curve: coldest at 03:00, warmest
// at 15:00.
double hour_temperature(const SimDay *day, double hour)
{
    double share = 0.5 - 0.5 * cos(2 * 3.14159265358979 * (hour - 3) / 24);
    return day->night_temperature + (day->day_temperature - day->night_temperature) * share;
}

// The WMO code of an hour: the day's kind in its wet hours, and in its dry
// ones the day's own code when the day is dry, else overcast.
int hour_code(const Place *place, uint32_t seed, int32_t day, const SimDay *weather, int hour, int wet)
{
    uint32_t h = sim_hash(seed, place->key, day * 24 + hour, 49);
    if (wet || weather->precip <= 0)
        return wmo_code(weather->kind, h);
    return 3;
}

std::string forecast_body(const Place *place, uint32_t seed, int metres_per_second, const HourlyAsked *asked)
{
    SimDay days[DAYS_SENT];
    int precip[DAYS_SENT][24];
    for (int i = 0; i < DAYS_SENT; i++) {
        int32_t day = place->today - PAST_DAYS + i;
        sim_weather_day_in(&place->climate, seed, place->key, day, &days[i]);
        if (storm_tomorrow && i == PAST_DAYS + 1) {
            days[i].kind = SIM_THUNDERSTORM;
            days[i].wind_speed = days[i].wind_speed > 17 ? days[i].wind_speed : 17;
            days[i].precip = days[i].precip > 8 ? days[i].precip : 8;
            days[i].precip_probability = days[i].precip_probability > 85 ? days[i].precip_probability : 85;
        }
        hourly_precipitation(place, seed, day, &days[i], precip[i]);
    }
    const SimDay *today = &days[PAST_DAYS];
    uint32_t h = sim_hash(seed, place->key, place->today, place->minutes / 15 + 100);
    double speed_factor = metres_per_second ? 1.0 : 3.6;
    const char *speed_unit = metres_per_second ? "m/s" : "km/h";

    std::string b;
    int offset_hours = place->utc_offset / 3600;
    // The grid cell's centre, written as short as the API writes it.
    append(&b, "{\"latitude\":%g,\"longitude\":%g,\"generationtime_ms\":0.0%d,", round(place->latitude * 8) / 8,
           round(place->longitude * 8) / 8, 30 + (int)(h % 60));
    append(&b, "\"utc_offset_seconds\":%d,\"timezone\":\"Etc/GMT%+d\",\"timezone_abbreviation\":\"GMT%+d\",",
           (int)place->utc_offset, -offset_hours, offset_hours);
    int elevation = (int)(sim_hash(seed, place->key, 0, 43) % 400);
    append(&b, "\"elevation\":%d.0,", elevation);

    // The current conditions, on the quarter hour.
    double temperature = hour_temperature(today, place->minutes / 60.0);
    char date[16];
    date_text(place->today, date, sizeof date);
    b += "\"current_units\":{\"time\":\"iso8601\",\"interval\":\"seconds\",\"temperature_2m\":\"°C\","
         "\"relative_humidity_2m\":\"%\",\"surface_pressure\":\"hPa\",\"weather_code\":\"wmo code\",";
    append(&b, "\"wind_speed_10m\":\"%s\",\"wind_direction_10m\":\"°\"},", speed_unit);
    append(&b, "\"current\":{\"time\":\"%sT%02d:%02d\",\"interval\":900,", date, place->minutes / 60,
           place->minutes % 60);
    double sea_level = 995.0 + (h >> 8) % 400 / 10.0;
    append(&b, "\"temperature_2m\":%.1f,\"relative_humidity_2m\":%d,\"surface_pressure\":%.1f,",
           round(temperature * 10) / 10, today->precip > 0 ? 80 + (int)(h % 19) : 40 + (int)(h % 40),
           round(surface_pressure_of(sea_level, elevation) * 10) / 10);
    append(&b, "\"weather_code\":%d,\"wind_speed_10m\":%.1f,\"wind_direction_10m\":%d},", wmo_code(today->kind, h),
           today->wind_speed * (0.6 + 0.4 * unit_of(h)) * speed_factor, (int)((h >> 4) % 360));

    // Every hour of the days sent, with the hour's precipitation.
    b += "\"hourly_units\":{\"time\":\"iso8601\",\"precipitation\":\"mm\"";
    if (asked->temperature)
        b += ",\"temperature_2m\":\"°C\"";
    if (asked->weather_code)
        b += ",\"weather_code\":\"wmo code\"";
    b += "},\"hourly\":{\"time\":[";
    for (int i = 0; i < DAYS_SENT; i++) {
        date_text(place->today - PAST_DAYS + i, date, sizeof date);
        for (int k = 0; k < 24; k++)
            append(&b, "%s\"%sT%02d:00\"", i + k > 0 ? "," : "", date, k);
    }
    b += "],\"precipitation\":[";
    for (int i = 0; i < DAYS_SENT; i++) {
        for (int k = 0; k < 24; k++)
            append(&b, "%s%d.%02d", i + k > 0 ? "," : "", precip[i][k] / 100, precip[i][k] % 100);
    }
    if (asked->temperature) {
        b += "],\"temperature_2m\":[";
        for (int i = 0; i < DAYS_SENT; i++)
            for (int k = 0; k < 24; k++)
                append(&b, "%s%.1f", i + k > 0 ? "," : "", round(hour_temperature(&days[i], k) * 10) / 10);
    }
    if (asked->weather_code) {
        b += "],\"weather_code\":[";
        for (int i = 0; i < DAYS_SENT; i++)
            for (int k = 0; k < 24; k++)
                append(&b, "%s%d", i + k > 0 ? "," : "",
                       hour_code(place, seed, place->today - PAST_DAYS + i, &days[i], k, precip[i][k] > 0));
    }
    b += "]},";

    // The days.
    b += "\"daily_units\":{\"time\":\"iso8601\",\"weather_code\":\"wmo code\",\"temperature_2m_max\":\"°C\","
         "\"temperature_2m_min\":\"°C\",\"precipitation_sum\":\"mm\",\"precipitation_probability_max\":\"%\",";
    append(&b, "\"wind_speed_10m_max\":\"%s\",\"wind_direction_10m_dominant\":\"°\"},\"daily\":{\"time\":[", speed_unit);
    for (int i = 0; i < DAYS_SENT; i++) {
        date_text(place->today - PAST_DAYS + i, date, sizeof date);
        append(&b, "%s\"%s\"", i > 0 ? "," : "", date);
    }
    b += "],\"weather_code\":[";
    for (int i = 0; i < DAYS_SENT; i++)
        append(&b, "%s%d", i > 0 ? "," : "", wmo_code(days[i].kind, sim_hash(seed, place->key, place->today + i, 44)));
    b += "],\"temperature_2m_max\":[";
    for (int i = 0; i < DAYS_SENT; i++)
        append(&b, "%s%.1f", i > 0 ? "," : "", tenths(days[i].day_temperature, sim_hash(seed, place->key, i, 45)));
    b += "],\"temperature_2m_min\":[";
    for (int i = 0; i < DAYS_SENT; i++)
        append(&b, "%s%.1f", i > 0 ? "," : "", tenths(days[i].night_temperature, sim_hash(seed, place->key, i, 46)));
    b += "],\"precipitation_sum\":[";
    for (int i = 0; i < DAYS_SENT; i++) {
        int sum = 0;
        for (int k = 0; k < 24; k++)
            sum += precip[i][k];
        append(&b, "%s%d.%02d", i > 0 ? "," : "", sum / 100, sum % 100);
    }
    b += "],\"precipitation_probability_max\":[";
    for (int i = 0; i < DAYS_SENT; i++)
        append(&b, "%s%d", i > 0 ? "," : "", days[i].precip_probability);
    b += "],\"wind_speed_10m_max\":[";
    for (int i = 0; i < DAYS_SENT; i++)
        append(&b, "%s%.1f", i > 0 ? "," : "",
               (days[i].wind_speed + unit_of(sim_hash(seed, place->key, i, 47))) * speed_factor);
    b += "],\"wind_direction_10m_dominant\":[";
    for (int i = 0; i < DAYS_SENT; i++)
        append(&b, "%s%d", i > 0 ? "," : "", (int)(sim_hash(seed, place->key, place->today + i, 48) % 360));
    b += "]}}";
    return b;
}

// Whether a comma-separated query list names a variable.
int lists(const char *list, const char *name)
{
    size_t n = strlen(name);
    for (const char *p = list; p != NULL; p = strchr(p, ',')) {
        if (*p == ',')
            p++;
        if (strncmp(p, name, n) == 0 && (p[n] == 0 || p[n] == ','))
            return 1;
    }
    return 0;
}

} // namespace

int sim_query_value(const char *target, const char *name, char *value, size_t size)
{
    return query_value(target, name, value, size);
}

char *sim_json_response(int status, const char *reason, const char *body, size_t body_length, int head_only,
                        int32_t *length)
{
    return whole_response(status, reason, std::string(body, body_length), head_only, length);
}

void sim_open_data_set_storm(int storm)
{
    storm_tomorrow = storm;
}

int sim_open_data_route(const char *target)
{
    return path_of(target) != NULL;
}

char *sim_open_data_respond(const char *target, int head_only, uint32_t seed, int64_t now, int *status,
                            int32_t *length)
{
    *length = 0;
    Place place;
    memset(&place, 0, sizeof place);
    int has_latitude = coordinate(target, "latitude", 90.0, &place.latitude);
    int has_longitude = coordinate(target, "longitude", 180.0, &place.longitude);
    if (!has_latitude || !has_longitude) {
        *status = 400;
        return whole_response(400, "Bad Request",
                              "{\"error\":true,\"reason\":\"Latitude must be in range of -90 to 90\\u00b0 and "
                              "longitude in range of -180 to 180\\u00b0.\"}",
                              head_only, length);
    }
    snprintf(place.key, sizeof place.key, "%.4f,%.4f", place.latitude, place.longitude);
    sim_climate_at(place.latitude, &place.climate);
    place.utc_offset = utc_offset_of(place.latitude, place.longitude);
    int64_t local = now + place.utc_offset;
    int64_t days = local >= 0 ? local / SECONDS_PER_DAY : (local - SECONDS_PER_DAY + 1) / SECONDS_PER_DAY;
    place.today = (int32_t)(days - DAYS_1970_TO_2000);
    place.minutes = (int32_t)((local - days * SECONDS_PER_DAY) / 60 / 15 * 15);

    char unit[16];
    int metres_per_second = query_value(target, "wind_speed_unit", unit, sizeof unit) && strcmp(unit, "ms") == 0;
    char hourly[256];
    HourlyAsked asked = {0, 0};
    if (query_value(target, "hourly", hourly, sizeof hourly)) {
        asked.temperature = lists(hourly, "temperature_2m");
        asked.weather_code = lists(hourly, "weather_code");
    }
    *status = 200;
    return whole_response(200, "OK", forecast_body(&place, seed, metres_per_second, &asked), head_only, length);
}
