// The portable part of the location catalogue: lookups by position and the
// location path.
#include "settings/catalogue.h"

#include "util/format.h"

const CountryEntry *catalogue_country(int32_t country_position)
{
    if (country_position < 0 || country_position >= CATALOGUE_COUNTRY_COUNT)
        return 0;
    return &CATALOGUE_COUNTRIES[country_position];
}

const CityEntry *catalogue_city(int32_t country_position, int32_t city_position)
{
    const CountryEntry *country = catalogue_country(country_position);
    if (!country || city_position < 0 || city_position >= country->city_count)
        return 0;
    return &country->cities[city_position];
}

char *location_path_at(int32_t country_position, int32_t city_position)
{
    // A list left without a selection by a stored position beyond it must
    // not send us outside the tables: such a position counts as the first.
    // Without a country there is no city list either, so the city position
    // then means nothing and the first city is taken too.
    const CountryEntry *country = catalogue_country(country_position);
    const CityEntry *city = catalogue_city(country_position, city_position);
    if (!country)
        country = &CATALOGUE_COUNTRIES[0];
    if (!city)
        city = &country->cities[0];
    return format_string("%s/%s/%s", country_key_of(country), region_key_of(city), city_key_of(city));
}

const CityEntry *location_place_at(int32_t country_position, int32_t city_position)
{
    const CityEntry *city = catalogue_city(country_position, city_position);
    if (city)
        return city;
    const CountryEntry *country = catalogue_country(country_position);
    return country ? &country->cities[0] : &CATALOGUE_COUNTRIES[0].cities[0];
}

// format_degrees_e4 writes the catalogue's coordinates with four decimals.
static_assert(CATALOGUE_COORDINATE_SCALE == 10000, "four decimals");

char *found_location_key(int32_t latitude_e4, int32_t longitude_e4)
{
    char latitude[DEGREES_TEXT_SIZE], longitude[DEGREES_TEXT_SIZE];
    format_degrees_e4(latitude_e4, latitude);
    format_degrees_e4(longitude_e4, longitude);
    return format_string("found:%s,%s", latitude, longitude);
}
