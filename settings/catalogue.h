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

// Where a found place (settings/found_place.h) stands in for a location
// path, as the key of the shown and kept weather: "found:LAT,LON", each
// with a point and 4 decimals. A new text (mem_free), or null.
char *found_location_key(int32_t latitude_e4, int32_t longitude_e4);

#ifdef _WIN32
#include <windows.h>
#include "settings/found_place.h"

// Each list entry carries a tag (CB_SETITEMDATA) saying what it is: a
// catalogue position (0 and up; a country's in the country list, a row of
// its table in the city list) or one of these. List positions and catalogue
// positions part as soon as a found place heads the city list.
enum {
    LIST_TAG_FOUND = -2,        // the found place; in the country list its country outside the catalogue
    LIST_TAG_SEPARATOR = -3,    // the line above the recent places
    LIST_TAG_RECENT_FIRST = -16 // recent place k (of found_recent) is LIST_TAG_RECENT_FIRST - k
};

// The panel's two lists (IDC_COUNTRY and IDC_CITY), filled by appending
// with CB_INSERTSTRING at -1 so that a list position stays a catalogue
// position even though the lists are sorted combo boxes.

// Empties the country list, runs init_settings (which loads cur_country,
// cur_city and the found places), appends the 50 names and selects position
// cur_country; with a found place chosen, its country instead: the
// catalogue's entry of its code, else an entry of the answer's country name
// appended at the end.
void fill_country_list(HWND panel);

// Empties the city list and, when the country list has a selection, appends:
// the found place when one is chosen (selected), that country's cities
// (otherwise position cur_city selected), then, when there are recent
// places, a separator and the recent places.
void fill_city_list(HWND panel);

// Both lists again from the settings in memory (no registry read).
void refill_location_lists(HWND panel);

// Takes the catalogue position of the country list's selection as
// cur_country and of the city list's (or 0 when country_changed is set) as
// cur_city, and stores both; a found place chosen is dropped (and stored
// as none).
void save_location_selection(HWND panel, int country_changed);

// A list's selection changed (control IDC_COUNTRY or IDC_CITY): a
// catalogue entry is chosen as the user's choice always was, the found
// place dropped; the separator goes back to the present choice; a recent
// place is chosen as choose_found_place does. 1 when the place changed.
int location_list_changed(HWND panel, int control);

// A place found by name (texts in code page 1251) chosen: when it is a
// catalogue place, those catalogue positions are chosen and the found place
// dropped; otherwise it becomes the found place and the newest recent one.
// Both lists follow, and every change is stored.
void choose_found_place(HWND panel, const FoundPlace *place);

// The location path of the two lists' selections (see location_path_at);
// for a found place (or a recent one selected) its found_location_key.
char *location_path(HWND panel);

// What a fetch needs of the lists' place: its location path (a new text,
// as location_path), its coordinates, and whether the service's pages exist
// for it (not for a found place).
char *location_target(HWND panel, int32_t *latitude_e4, int32_t *longitude_e4, int32_t *pages);

// The name of the lists' place, code page 1251: the found place's, or the
// catalogue row's (see location_place_at).
const char *location_name(HWND panel);
#endif

#endif
