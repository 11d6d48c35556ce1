// The built-in location catalogue behind the panel's country and city lists:
// 50 country entries, each with a constant table of cities, and the location
// path (country key "/" region key "/" city key) of a selection.
//
// A list position is an index into CATALOGUE_COUNTRIES or into the selected
// country's city table. The positions are stored in the settings (cur_country
// and cur_city), so the order of the entries must never change.
#ifndef VELVANE_SETTINGS_CATALOGUE_H
#define VELVANE_SETTINGS_CATALOGUE_H

#include <stdint.h>

// One row of a city table. Keys are the weather service's ASCII path words;
// the region key is empty outside Russia. The display name is code page 1251.
// The texts are zero-terminated in two pools, each text stored once, and a
// row holds their offsets: the table then needs no pointers, which would cost
// eight bytes each and a relocation in the program file. Read the texts with
// the functions below.
// The place's position is in decimal degrees times CATALOGUE_COORDINATE_SCALE
// (four decimals, north and east positive), kept as whole numbers so that
// the table holds exactly the digits of its text files.
struct CityEntry {
    uint16_t region_key_at;    // CATALOGUE_KEYS, at most CATALOGUE_REGION_KEY_MAX characters
    uint16_t city_key_at;      // CATALOGUE_KEYS, at most CATALOGUE_CITY_KEY_MAX characters
    uint16_t display_name_at;  // CATALOGUE_NAMES, at most CATALOGUE_CITY_NAME_MAX bytes
    int32_t latitude_e4;       // -900000..900000
    int32_t longitude_e4;      // -1800000..1800000
};

// One entry of the country list.
struct CountryEntry {
    uint16_t country_key_at;   // CATALOGUE_KEYS, at most CATALOGUE_COUNTRY_KEY_MAX characters
    uint16_t display_name_at;  // CATALOGUE_NAMES, at most CATALOGUE_COUNTRY_NAME_MAX bytes
    int32_t city_count;
    const CityEntry *cities;
};

enum {
    CATALOGUE_COUNTRY_COUNT = 50,
    CATALOGUE_COUNTRY_KEY_MAX = 28,
    CATALOGUE_COUNTRY_NAME_MAX = 29,
    CATALOGUE_REGION_KEY_MAX = 29,
    CATALOGUE_CITY_KEY_MAX = 18,
    CATALOGUE_CITY_NAME_MAX = 31,
    CATALOGUE_COORDINATE_SCALE = 10000
};

// The country list and the two pools of texts its rows point into,
// generated into settings/catalogue_table.cpp from settings/catalogue/*.txt
// by scripts/gen-catalogue: the keys (ASCII) and the display names.
extern const CountryEntry CATALOGUE_COUNTRIES[CATALOGUE_COUNTRY_COUNT];
extern const char CATALOGUE_KEYS[];
extern const char CATALOGUE_NAMES[];

// The texts of a row or a country entry, zero-terminated.
inline const char *region_key_of(const CityEntry *city)
{
    return CATALOGUE_KEYS + city->region_key_at;
}

inline const char *city_key_of(const CityEntry *city)
{
    return CATALOGUE_KEYS + city->city_key_at;
}

inline const char *city_name_of(const CityEntry *city)
{
    return CATALOGUE_NAMES + city->display_name_at;
}

inline const char *country_key_of(const CountryEntry *country)
{
    return CATALOGUE_KEYS + country->country_key_at;
}

inline const char *country_name_of(const CountryEntry *country)
{
    return CATALOGUE_NAMES + country->display_name_at;
}

// The entry at a country position, or null outside the list.
const CountryEntry *catalogue_country(int32_t country_position);

// The row at a city position of a country's table, or null when either
// position is outside its list.
const CityEntry *catalogue_city(int32_t country_position, int32_t city_position);

// The location path of two list positions, "country/region/city", as a new
// text from format_string that the caller releases with mem_free. A position
// outside its list (such as -1 for a list without a selection, or a stored
// position beyond the list) counts as position 0, so the path always names a
// real place: the first city of the country, or russia/moscow-area/moscow
// when the country position is outside (whatever the city position, since
// there is then no city list).
char *location_path_at(int32_t country_position, int32_t city_position);

// The row that location_path_at names for two list positions, with the same
// fallback to position 0: never null.
const CityEntry *location_place_at(int32_t country_position, int32_t city_position);

#ifdef _WIN32
#include <windows.h>

// The panel's two lists (IDC_COUNTRY and IDC_CITY), filled by appending
// with CB_INSERTSTRING at -1 so that a list position stays a catalogue
// position even though the lists are sorted combo boxes.

// Empties the country list, runs init_settings (which loads cur_country and
// cur_city), appends the 50 names and selects position cur_country.
void fill_country_list(HWND panel);

// Empties the city list and, when the country list has a selection, appends
// that country's cities and selects position cur_city.
void fill_city_list(HWND panel);

// Takes the country list's position as cur_country and the city list's (or
// 0 when country_changed is set) as cur_city, and stores both.
void save_location_selection(HWND panel, int country_changed);

// The location path of the two lists' selections (see location_path_at).
char *location_path(HWND panel);

// The row of the two lists' selections (see location_place_at).
const CityEntry *location_place(HWND panel);
#endif

#endif
