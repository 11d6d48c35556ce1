// The open-data reader: the forecast API's JSON answer, parsed by rapidjson
// (a header-only Debian package) and mapped onto the weather record's
// fields, units and words.
#include "fetch/open_data_parser.h"

#include <math.h>
#include <string.h>

#include "fetch/http_client.h"
#include "fetch/json_reader.h"
#include "fetch/open_data_hours.h"
#include "panel/day_number.h"
#include "util/format.h"

namespace {

enum {
    DATE_TEXT_LENGTH = 10,    // "2026-12-07"
    HOUR_TEXT_LENGTH = 16,    // "2026-12-07T14:15"
    PARSER_CHUNK = 16384
};

const double HPA_TO_MM_HG = 0.750062;

struct WmoEntry {
    uint8_t wmo;
    uint8_t condition;
    const char *comment;
};

const WmoEntry WMO_TABLE[] = {
    {0, 7, "ясно"},
    {1, 6, "преимущественно ясно"},
    {2, 5, "переменная облачность"},
    {3, 16, "пасмурно"},
    {45, 16, "туман"},
    {48, 16, "туман, изморозь"},
    {51, 11, "слабая морось"},
    {53, 11, "морось"},
    {55, 11, "сильная морось"},
    {56, 4, "слабая ледяная морось"},
    {57, 4, "сильная ледяная морось"},
    {61, 11, "небольшой дождь"},
    {63, 1, "дождь"},
    {65, 1, "сильный дождь"},
    {66, 4, "небольшой ледяной дождь"},
    {67, 4, "сильный ледяной дождь"},
    {71, 13, "небольшой снег"},
    {73, 2, "снег"},
    {75, 2, "сильный снег"},
    {77, 3, "снежные зёрна"},
    {80, 9, "небольшой ливень"},
    {81, 9, "ливень"},
    {82, 1, "сильный ливень"},
    {85, 12, "небольшой ливневый снег"},
    {86, 2, "сильный ливневый снег"},
    {95, 8, "гроза"},
    // Hail is forecast only in Central Europe; elsewhere 96 and 99 mean a
    // strong thunderstorm.
    {96, 8, "сильная гроза"},
    {99, 8, "сильная гроза, возможен град"},
};

// A whole code from 50 to 99 missing from the table reads by its decade.
const WmoEntry WMO_DECADES[] = {
    {50, 11, "морось"}, {60, 1, "дождь"}, {70, 2, "снег"}, {80, 9, "ливень"}, {90, 8, "гроза"},
};

const char *const WIND_WORDS[8] = {"С", "СВ", "В", "ЮВ", "Ю", "ЮЗ", "З", "СЗ"};

const WmoEntry *wmo_entry(int32_t code)
{
    for (const WmoEntry &entry : WMO_TABLE) {
        if (entry.wmo == code)
            return &entry;
    }
    for (const WmoEntry &entry : WMO_DECADES) {
        if (code >= entry.wmo && code < entry.wmo + 10)
            return &entry;
    }
    return NULL;
}

// What a variable measures, for its unit. Percentages, directions in
// degrees and weather codes have nothing to convert: their declared unit
// is not consulted.
enum Quantity { QUANTITY_TEMPERATURE, QUANTITY_SPEED, QUANTITY_PRECIPITATION, QUANTITY_PRESSURE, QUANTITY_PLAIN };

// Converts v from a declared unit to the record's (°C, m/s, mm, hPa); 0 for
// a unit this reader does not know.
int convert_unit(Quantity quantity, const char *unit, double v, double *out)
{
    if (unit == NULL) {
        *out = v;  // not declared: the unit asked for
        return 1;
    }
    switch (quantity) {
    case QUANTITY_TEMPERATURE:
        if (strcmp(unit, "°C") == 0)
            *out = v;
        else if (strcmp(unit, "°F") == 0)
            *out = (v - 32.0) * 5.0 / 9.0;
        else
            return 0;
        return 1;
    case QUANTITY_SPEED:
        if (strcmp(unit, "m/s") == 0)
            *out = v;
        else if (strcmp(unit, "km/h") == 0)
            *out = v / 3.6;
        else if (strcmp(unit, "mp/h") == 0)
            *out = v * 0.44704;
        else if (strcmp(unit, "kn") == 0)
            *out = v * 0.514444;
        else
            return 0;
        return 1;
    case QUANTITY_PRECIPITATION:
        if (strcmp(unit, "mm") == 0)
            *out = v;
        else if (strcmp(unit, "inch") == 0)
            *out = v * 25.4;
        else
            return 0;
        return 1;
    case QUANTITY_PRESSURE:
        if (strcmp(unit, "hPa") != 0)
            return 0;
        *out = v;
        return 1;
    case QUANTITY_PLAIN:
        break;
    }
    *out = v;
    return 1;
}

const JsonValue *object_member(const JsonValue *object, const char *name)
{
    const JsonValue *value = json_member(object, name);
    return value != NULL && value->IsObject() ? value : NULL;
}

// A string member as a zero-terminated text: null when absent or not a
// string, and for a string holding a zero byte (no field takes one).
const char *text_member(const JsonValue *object, const char *name)
{
    const JsonValue *value = json_member(object, name);
    if (value == NULL || !value->IsString() || strlen(value->GetString()) != value->GetStringLength())
        return NULL;
    return value->GetString();
}

// One variable of a block ("current", "hourly" or "daily") and its units
// block: reads numbers, converted to the record's unit.
struct Variable {
    const JsonValue *value;  // the number (current) or the array (hourly, daily)
    Quantity quantity;
    const char *unit;    // as declared, or null when not declared
    int unit_known;      // 0 when declared as something unreadable
};

Variable variable(const JsonValue *block, const JsonValue *units, const char *name, Quantity quantity)
{
    Variable v;
    v.value = json_member(block, name);
    v.quantity = quantity;
    v.unit = NULL;
    v.unit_known = 1;
    const JsonValue *declared = json_member(units, name);
    if (quantity != QUANTITY_PLAIN && declared != NULL && !declared->IsNull()) {
        v.unit = text_member(units, name);
        v.unit_known = v.unit != NULL;
    }
    return v;
}

// The number of a value in the variable's unit converted to the record's;
// 0 for no value (not a number, an unknown unit).
int number_of(const Variable *v, const JsonValue *value, double *out)
{
    if (value == NULL || !value->IsNumber() || !v->unit_known)
        return 0;
    return convert_unit(v->quantity, v->unit, value->GetDouble(), out);
}

int scalar(const Variable *v, double *out)
{
    return number_of(v, v->value, out);
}

int element(const Variable *v, int32_t index, double *out)
{
    if (v->value == NULL || !v->value->IsArray() || index < 0 || (rapidjson::SizeType)index >= v->value->Size())
        return 0;
    return number_of(v, &(*v->value)[(rapidjson::SizeType)index], out);
}

// A figure rounded half away from zero to whole units (open_data_figure)
// and kept only inside its range; the field keeps its value otherwise.
void store_int16(double v, OpenDataRange range, int16_t *field)
{
    int32_t n;
    if (open_data_figure(v, 0, range, &n))
        *field = (int16_t)n;
}

void store_int32(double v, OpenDataRange range, int32_t *field)
{
    int32_t n;
    if (open_data_figure(v, 0, range, &n))
        *field = n;
}

void store_wind_word(const Variable *v, const JsonValue *value, char *direction)
{
    double degrees;
    if (!number_of(v, value, &degrees))
        return;
    const char *word = open_data_wind_word(degrees);
    size_t n = strlen(word);
    memcpy(direction, word, n < (size_t)WIND_DIRECTION_MAX ? n : (size_t)WIND_DIRECTION_MAX);
}

void store_weather_code(const Variable *v, const JsonValue *value, int16_t *condition, CommentSlot *comment)
{
    double code;
    if (!number_of(v, value, &code) || code != floor(code) || code < 0 || code > 255)
        return;
    const WmoEntry *entry = wmo_entry((int32_t)code);
    if (entry == NULL)
        return;
    *condition = entry->condition;
    weather_comment_store(comment, dup_string(entry->comment));
}

// "YYYY-MM-DD" of a real calendar day, as the day number of its noon.
int read_date(const char *text, double *day_number)
{
    if (text == NULL || strlen(text) != DATE_TEXT_LENGTH || text[4] != '-' || text[7] != '-')
        return 0;
    int digits[8];
    int k = 0;
    for (int i = 0; i < DATE_TEXT_LENGTH; i++) {
        if (i == 4 || i == 7)
            continue;
        if (text[i] < '0' || text[i] > '9')
            return 0;
        digits[k++] = text[i] - '0';
    }
    int year = digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3];
    int month = digits[4] * 10 + digits[5];
    int day = digits[6] * 10 + digits[7];
    static const int MONTH_DAYS[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || day > MONTH_DAYS[month - 1])
        return 0;
    int leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month == 2 && day == 29 && !leap)
        return 0;
    CalendarDate date = {(double)year, (double)month, (double)day, 12.0, 0.0, 0.0};
    *day_number = date_to_day_number(&date);
    return 1;
}

// The index of a text in an array of texts, or -1.
int32_t index_of_text(const JsonValue *array, const char *text, size_t length)
{
    if (array == NULL || !array->IsArray())
        return -1;
    for (rapidjson::SizeType i = 0; i < array->Size() && i < (rapidjson::SizeType)INT32_MAX; i++) {
        const JsonValue &item = (*array)[i];
        if (item.IsString() && item.GetStringLength() == length && memcmp(item.GetString(), text, length) == 0)
            return (int32_t)i;
    }
    return -1;
}

// The total of the count hourly values up to and including index, in mm;
// -1 when one of them is no value or they begin before the first hour.
void store_precip_total(const Variable *precipitation, int32_t index, int32_t count, int32_t *field)
{
    if (index < count - 1)
        return;
    double total = 0;
    for (int32_t i = index - count + 1; i <= index; i++) {
        double v;
        if (!element(precipitation, i, &v))
            return;
        total += v;
    }
    store_int32(total, OPEN_DATA_PRECIPITATION, field);
}

void fill_precip_totals(WeatherRecord *record, const JsonValue *root, const char *current_time)
{
    // The hour that holds the current time: "2026-12-07T14:15" -> "2026-12-07T14:00".
    if (current_time == NULL || strlen(current_time) < HOUR_TEXT_LENGTH || current_time[13] != ':')
        return;
    char hour[HOUR_TEXT_LENGTH + 1];
    memcpy(hour, current_time, 14);
    memcpy(hour + 14, "00", 3);
    const JsonValue *hourly = object_member(root, "hourly");
    int32_t index = index_of_text(json_member(hourly, "time"), hour, HOUR_TEXT_LENGTH);
    if (index < 0)
        return;
    Variable precipitation =
        variable(hourly, object_member(root, "hourly_units"), "precipitation", QUANTITY_PRECIPITATION);
    store_precip_total(&precipitation, index, 6, &record->precip_6h);
    store_precip_total(&precipitation, index, 12, &record->precip_12h);
    store_precip_total(&precipitation, index, 24, &record->precip_24h);
}

void fill_observation(WeatherRecord *record, const JsonValue *root, const JsonValue *current)
{
    const JsonValue *units = object_member(root, "current_units");
    double v;
    Variable temperature = variable(current, units, "temperature_2m", QUANTITY_TEMPERATURE);
    if (scalar(&temperature, &v))
        store_int16(v, OPEN_DATA_TEMPERATURE, &record->temperature);
    // The barometer at the place, as Russian services give it, not the
    // figure brought down to sea level.
    Variable pressure = variable(current, units, "surface_pressure", QUANTITY_PRESSURE);
    if (scalar(&pressure, &v))
        store_int32(v * HPA_TO_MM_HG, OPEN_DATA_PRESSURE, &record->pressure);
    Variable humidity = variable(current, units, "relative_humidity_2m", QUANTITY_PLAIN);
    if (scalar(&humidity, &v))
        store_int32(v, OPEN_DATA_PERCENT, &record->humidity);
    Variable speed = variable(current, units, "wind_speed_10m", QUANTITY_SPEED);
    if (scalar(&speed, &v))
        store_int16(v, OPEN_DATA_SPEED, &record->wind_speed);
    Variable direction = variable(current, units, "wind_direction_10m", QUANTITY_PLAIN);
    store_wind_word(&direction, direction.value, record->wind_direction);
    Variable code = variable(current, units, "weather_code", QUANTITY_PLAIN);
    store_weather_code(&code, code.value, &record->condition, &record->comment);
    fill_precip_totals(record, root, text_member(current, "time"));
}

void fill_day(ForecastDay *day, const JsonValue *daily, const JsonValue *units, int32_t i)
{
    double v;
    Variable high = variable(daily, units, "temperature_2m_max", QUANTITY_TEMPERATURE);
    if (element(&high, i, &v))
        store_int16(v, OPEN_DATA_TEMPERATURE, &day->day_temperature);
    Variable low = variable(daily, units, "temperature_2m_min", QUANTITY_TEMPERATURE);
    if (element(&low, i, &v))
        store_int16(v, OPEN_DATA_TEMPERATURE, &day->night_temperature);
    Variable precip = variable(daily, units, "precipitation_sum", QUANTITY_PRECIPITATION);
    if (element(&precip, i, &v))
        store_int32(v, OPEN_DATA_PRECIPITATION, &day->precip);
    Variable probability = variable(daily, units, "precipitation_probability_max", QUANTITY_PLAIN);
    if (element(&probability, i, &v))
        store_int32(v, OPEN_DATA_PERCENT, &day->precip_probability);
    Variable speed = variable(daily, units, "wind_speed_10m_max", QUANTITY_SPEED);
    if (element(&speed, i, &v))
        store_int16(v, OPEN_DATA_SPEED, &day->wind_speed);
    Variable direction = variable(daily, units, "wind_direction_10m_dominant", QUANTITY_PLAIN);
    if (direction.value != NULL && direction.value->IsArray() && (rapidjson::SizeType)i < direction.value->Size())
        store_wind_word(&direction, &(*direction.value)[(rapidjson::SizeType)i], day->wind_direction);
    Variable code = variable(daily, units, "weather_code", QUANTITY_PLAIN);
    if (code.value != NULL && code.value->IsArray() && (rapidjson::SizeType)i < code.value->Size())
        store_weather_code(&code, &(*code.value)[(rapidjson::SizeType)i], &day->condition, &day->comment);
}

// The index in daily.time of the place's own today (the date of
// current.time), or -1 when current.time is missing or names no day there:
// then the days cannot be placed, and none is filled.
int32_t first_day_index(const JsonValue *current, const JsonValue *daily)
{
    const char *current_time = text_member(current, "time");
    if (current_time == NULL || strlen(current_time) < DATE_TEXT_LENGTH)
        return -1;
    return index_of_text(json_member(daily, "time"), current_time, DATE_TEXT_LENGTH);
}

// Day 0 is the day at first; the days after it follow the daily arrays.
void fill_days(WeatherRecord *record, const JsonValue *root, const JsonValue *daily, int32_t first)
{
    const JsonValue *dates = json_member(daily, "time");
    const JsonValue *units = object_member(root, "daily_units");
    for (int32_t d = 0; d < FORECAST_DAYS; d++) {
        int32_t i = first + d;
        if ((rapidjson::SizeType)i >= dates->Size())
            break;
        const JsonValue &date = (*dates)[(rapidjson::SizeType)i];
        double day_number;
        if (!date.IsString() || strlen(date.GetString()) != date.GetStringLength() ||
            !read_date(date.GetString(), &day_number))
            break;
        record->days[d].date = day_number;
        fill_day(&record->days[d], daily, units, i);
    }
}

// The hourly block, hour by hour in the record's units, into the days'
// steps (fetch/open_data_hours.h); after fill_days, which dates the days.
void fill_hours(WeatherRecord *record, const JsonValue *root)
{
    const JsonValue *offset = json_member(root, "utc_offset_seconds");
    int32_t utc_offset = NO_UTC_OFFSET;
    if (offset != NULL && offset->IsNumber() && fabs(offset->GetDouble()) <= 18 * 3600 &&
        offset->GetDouble() == floor(offset->GetDouble()))
        utc_offset = (int32_t)offset->GetDouble();
    HourlyReading reading;
    hourly_reading_begin(&reading, record, utc_offset);
    const JsonValue *hourly = object_member(root, "hourly");
    const JsonValue *times = json_member(hourly, "time");
    if (times != NULL && times->IsArray()) {
        const JsonValue *units = object_member(root, "hourly_units");
        Variable temperature = variable(hourly, units, "temperature_2m", QUANTITY_TEMPERATURE);
        Variable code = variable(hourly, units, "weather_code", QUANTITY_PLAIN);
        Variable precipitation = variable(hourly, units, "precipitation", QUANTITY_PRECIPITATION);
        for (rapidjson::SizeType i = 0; i < times->Size() && i < (rapidjson::SizeType)INT32_MAX; i++) {
            const JsonValue &stamp = (*times)[i];
            if (!stamp.IsString())
                continue;
            HourFigures figures;
            figures.has_temperature = element(&temperature, (int32_t)i, &figures.temperature);
            figures.has_code = element(&code, (int32_t)i, &figures.code);
            figures.has_precipitation = element(&precipitation, (int32_t)i, &figures.precipitation);
            hourly_reading_add(&reading, stamp.GetString(), stamp.GetStringLength(), &figures);
        }
    }
    const JsonValue *daily = object_member(root, "daily");
    const JsonValue *dates = json_member(daily, "time");
    Variable day_code = variable(daily, object_member(root, "daily_units"), "weather_code", QUANTITY_PLAIN);
    rapidjson::SizeType date_count = dates != NULL && dates->IsArray() ? dates->Size() : 0;
    for (rapidjson::SizeType i = 0; i < date_count && i < (rapidjson::SizeType)INT32_MAX; i++) {
        const JsonValue &date = (*dates)[i];
        double code = 0;
        int has_code = element(&day_code, (int32_t)i, &code);
        if (date.IsString())
            hourly_reading_day_code(&reading, date.GetString(), date.GetStringLength(), has_code, code);
    }
    hourly_reading_end(&reading);
}

} // namespace

int data_source_uses_pages(int32_t data_source)
{
    return data_source != DATA_SOURCE_OPEN_DATA_ONLY;
}

int open_data_parts_wanted(int32_t data_source, int actual_whole, int forecast_whole)
{
    if (data_source == DATA_SOURCE_OPEN_DATA_ONLY)
        return WEATHER_PARTS_ALL;
    if (data_source == DATA_SOURCE_PAGES_ONLY)
        return 0;
    return (actual_whole ? 0 : WEATHER_PART_OBSERVATION) | (forecast_whole ? 0 : WEATHER_PART_DAYS);
}

char *open_data_path(int32_t latitude_e4, int32_t longitude_e4)
{
    char latitude[DEGREES_TEXT_SIZE], longitude[DEGREES_TEXT_SIZE];
    format_degrees_e4(latitude_e4, latitude);
    format_degrees_e4(longitude_e4, longitude);
    return format_string(
        "v1/forecast?latitude=%s&longitude=%s"
        "&current=temperature_2m,relative_humidity_2m,surface_pressure,weather_code,wind_speed_10m,wind_direction_10m"
        "&hourly=precipitation,temperature_2m,weather_code"
        "&daily=weather_code,temperature_2m_max,temperature_2m_min,precipitation_sum,"
        "precipitation_probability_max,wind_speed_10m_max,wind_direction_10m_dominant"
        "&wind_speed_unit=ms&timezone=auto&past_days=1&forecast_days=7",
        latitude, longitude);
}

int16_t open_data_condition_code(int32_t wmo_code)
{
    const WmoEntry *entry = wmo_entry(wmo_code);
    return entry != NULL ? entry->condition : 0;
}

const char *open_data_comment(int32_t wmo_code)
{
    const WmoEntry *entry = wmo_entry(wmo_code);
    return entry != NULL ? entry->comment : NULL;
}

const char *open_data_wind_word(double degrees)
{
    if (!(degrees >= 0.0 && degrees <= 360.0))
        return "";
    int index = (int)floor((degrees + 22.5) / 45.0) % 8;
    return WIND_WORDS[index];
}

int parse_open_data_into(WeatherRecord *record, const char *bytes, int32_t length, int parts, int *replaced)
{
    if (replaced != NULL)
        *replaced = 0;
    if (record == NULL || bytes == NULL || length <= 0)
        return 0;
    int32_t body_length = 0;
    const char *body = http_body_of_200(bytes, length, &body_length);
    if (body == NULL)
        return 0;

    JsonAllocator base;
    JsonPool pool(PARSER_CHUNK, &base);
    JsonDocument document(&pool, 1024, &base);
    document.Parse<JSON_PARSE_FLAGS>(body, (size_t)body_length);
    if (document.HasParseError() || !document.IsObject())
        return 0;
    const JsonValue *root = &document;
    const JsonValue *current = object_member(root, "current");
    const JsonValue *daily = object_member(root, "daily");
    if (current == NULL && daily == NULL)
        return 0;

    int done = 0;
    if ((parts & WEATHER_PART_OBSERVATION) && current != NULL) {
        weather_record_reset_observation(record);
        fill_observation(record, root, current);
        done |= WEATHER_PART_OBSERVATION;
    }
    int32_t first = daily != NULL ? first_day_index(current, daily) : -1;
    if ((parts & WEATHER_PART_DAYS) && first >= 0) {
        weather_record_reset_days(record);
        fill_days(record, root, daily, first);
        fill_hours(record, root);
        done |= WEATHER_PART_DAYS;
    }
    if (replaced != NULL)
        *replaced = done;
    return 1;
}
