// The simulator's weather: a small climate table (by country, and for Russia
// by region) and a made-up but plausible week for any catalogue location,
// the same for the same seed, location and day.
#ifndef VELVANE_TOOLS_SIM_SIM_WEATHER_H
#define VELVANE_TOOLS_SIM_SIM_WEATHER_H

#include <stdint.h>

// The climate of a place: mean temperatures of mid-January and mid-July,
// the usual difference between day and night, the share of days with
// precipitation and the usual wind.
struct SimClimate {
    const char *key;   // country key, or region key for Russia
    int january;       // mean daily temperature, whole degrees C
    int july;
    int day_range;     // day temperature minus night temperature
    int wet_percent;   // days with precipitation, percent
    int wind;          // usual wind speed, m/s
};

// The kinds of weather a day can have.
enum SimKind {
    SIM_CLEAR,
    SIM_PARTLY_CLOUDY,
    SIM_CLOUDY,
    SIM_OVERCAST,
    SIM_WINDY,
    SIM_LIGHT_RAIN,
    SIM_SHOWERS,
    SIM_HEAVY_RAIN,
    SIM_THUNDERSTORM,
    SIM_SLEET,
    SIM_SNOW_GRAINS,
    SIM_LIGHT_SNOW,
    SIM_HEAVY_SNOW,
    SIM_KIND_COUNT
};

// One day of weather at one place. Texts are UTF-8 and static.
struct SimDay {
    int kind;                 // SimKind
    int night_temperature;
    int day_temperature;
    int precip;               // mm over the day
    int precip_probability;   // percent
    int wind_speed;           // m/s
    const char *wind_direction;  // short form: "С-З", or "Штиль"
    const char *forecast_comment;
    int forecast_picture;     // picture number of the forecast page
};

// The latest observation of a day (the actual-weather page).
struct SimObservation {
    int temperature;
    int pressure;             // mm of mercury
    int humidity;             // percent
    int picture;              // picture number of the actual-weather page
    const char *comment;
    const char *wind_direction;
    int wind_speed;
    int precip_6h;
    int precip_12h;
    int precip_24h;
};

// The climate of a location path "country/region/city": Russia's by its
// region, others' by country, with a few cities of the large countries
// (Miami, Anchorage, Harbin, Darwin...) by their own; an unknown key gets a
// temperate climate.
const SimClimate *sim_climate_of(const char *location_path);

// The mean daily temperature of a climate on a day of the year (1..366).
double sim_seasonal_mean(const SimClimate *climate, int day_of_year);

// The weather of a location on a whole day number (days from 1 January
// 2000), for a seed.
void sim_weather_day(uint32_t seed, const char *location_path, int32_t day, SimDay *out);

// The same for a climate given, the key standing for the place in the hash.
void sim_weather_day_in(const SimClimate *climate, uint32_t seed, const char *key, int32_t day, SimDay *out);

// A plausible climate for a latitude (degrees, north positive).
void sim_climate_at(double latitude, SimClimate *out);

// The observation for the same location and day (consistent with its
// SimDay).
void sim_weather_observation(uint32_t seed, const char *location_path, int32_t day, SimObservation *out);

// A 32-bit hash of a text and numbers, for the rest of the simulator too.
uint32_t sim_hash(uint32_t seed, const char *text, int32_t a, int32_t b);

#endif
