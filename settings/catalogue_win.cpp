// The location catalogue on the panel's two combo boxes, with a place found
// by name and the recent ones among its entries.
#include "settings/catalogue.h"

#include <string.h>

#include "res/resource.h"
#include "settings/settings_store.h"
#include "settings/settings_vars.h"

enum { SEPARATOR_TEXT_SIZE = 64 };

// The selected entry's tag, 1; 0 when the list has no selection.
static int selected_tag(HWND panel, int control, int32_t *tag)
{
    LRESULT position = SendDlgItemMessageA(panel, control, CB_GETCURSEL, 0, 0);
    if (position == CB_ERR)
        return 0;
    *tag = (int32_t)SendDlgItemMessageA(panel, control, CB_GETITEMDATA, (WPARAM)position, 0);
    return 1;
}

// The catalogue position of a list's selection: -1 without a selection or
// for an entry that is no catalogue position.
static int32_t catalogue_selection(HWND panel, int control)
{
    int32_t tag;
    return selected_tag(panel, control, &tag) && tag >= 0 ? tag : -1;
}

// Appends at the end: CB_ADDSTRING would sort the entries of the CBS_SORT
// lists. The tag tells what the entry is, wherever it stands.
static int32_t append_entry(HWND panel, int control, const char *text, int32_t tag)
{
    LRESULT position = SendDlgItemMessageA(panel, control, CB_INSERTSTRING, (WPARAM)-1, (LPARAM)text);
    if (position >= 0)
        SendDlgItemMessageA(panel, control, CB_SETITEMDATA, (WPARAM)position, (LPARAM)tag);
    return (int32_t)position;
}

// The position of the first entry with a tag, or -1.
static int32_t position_of_tag(HWND panel, int control, int32_t tag)
{
    LRESULT count = SendDlgItemMessageA(panel, control, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++)
        if ((int32_t)SendDlgItemMessageA(panel, control, CB_GETITEMDATA, (WPARAM)i, 0) == tag)
            return (int32_t)i;
    return -1;
}

static const FoundPlace *chosen_found_place(void)
{
    return found_place.count == 1 ? &found_place.places[0] : NULL;
}

static void show_country_list(HWND panel)
{
    SendDlgItemMessageA(panel, IDC_COUNTRY, CB_RESETCONTENT, 0, 0);
    for (int32_t i = 0; i < CATALOGUE_COUNTRY_COUNT; i++)
        append_entry(panel, IDC_COUNTRY, country_name_of(&CATALOGUE_COUNTRIES[i]), i);
    // A stored position beyond the list selects nothing; the path then falls
    // back to the first entry.
    int32_t selected = cur_country;
    const FoundPlace *found = chosen_found_place();
    if (found != NULL) {
        selected = catalogue_country_of_code(found->country_code);
        if (selected < 0) {
            const char *name = found->country[0] != 0 ? found->country : found->country_code;
            selected = append_entry(panel, IDC_COUNTRY, name, LIST_TAG_FOUND);
        }
    }
    SendDlgItemMessageA(panel, IDC_COUNTRY, CB_SETCURSEL, (WPARAM)selected, 0);
}

void fill_country_list(HWND panel)
{
    init_settings();
    show_country_list(panel);
}

void fill_city_list(HWND panel)
{
    int32_t country_tag;
    int has_country = selected_tag(panel, IDC_COUNTRY, &country_tag);
    SendDlgItemMessageA(panel, IDC_CITY, CB_RESETCONTENT, 0, 0);
    if (!has_country)
        return;
    const FoundPlace *found = chosen_found_place();
    if (found != NULL)
        append_entry(panel, IDC_CITY, found->name, LIST_TAG_FOUND);
    const CountryEntry *country = catalogue_country(country_tag);
    int32_t city_count = country != NULL ? country->city_count : 0;
    for (int32_t i = 0; i < city_count; i++)
        append_entry(panel, IDC_CITY, city_name_of(&country->cities[i]), i);
    if (found_recent.count > 0) {
        char separator[SEPARATOR_TEXT_SIZE];
        if (LoadStringA((HINSTANCE)GetWindowLongPtrA(panel, GWLP_HINSTANCE), IDS_RECENT_SEPARATOR, separator,
                        sizeof separator) <= 0)
            lstrcpyA(separator, "--");
        append_entry(panel, IDC_CITY, separator, LIST_TAG_SEPARATOR);
        for (int32_t k = 0; k < found_recent.count && k < FOUND_RECENT_MAX; k++)
            append_entry(panel, IDC_CITY, found_recent.places[k].name, LIST_TAG_RECENT_FIRST - k);
    }
    // A stored position beyond the table selects nothing, as ever: never
    // the separator or a recent place that follow the table.
    int32_t selected = -1;
    if (found != NULL)
        selected = 0;
    else if (cur_city >= 0 && cur_city < city_count)
        selected = cur_city;
    SendDlgItemMessageA(panel, IDC_CITY, CB_SETCURSEL, (WPARAM)selected, 0);
}

void refill_location_lists(HWND panel)
{
    show_country_list(panel);
    fill_city_list(panel);
}

static void drop_found_place(void)
{
    if (found_place.count == 0)
        return;
    found_place.count = 0;
    settings_write_found_place();
}

void save_location_selection(HWND panel, int country_changed)
{
    int32_t country = catalogue_selection(panel, IDC_COUNTRY);
    cur_city = country_changed ? 0 : catalogue_selection(panel, IDC_CITY);
    cur_country = country;
    settings_write_selection();
    drop_found_place();
}

void choose_found_place(HWND panel, const FoundPlace *place)
{
    int32_t country, city;
    if (found_place_catalogue_match(place, &country, &city)) {
        // One of the catalogue's own, pages and all: as if the user had
        // picked its country and then its city.
        cur_country = country;
        cur_city = city;
        settings_write_selection();
        drop_found_place();
    } else {
        FoundPlace chosen = *place;  // place may be one of the recent ones, which move
        found_place.count = 1;
        found_place.places[0] = chosen;
        settings_write_found_place();
        found_recent_add(&found_recent, &chosen);
        settings_write_found_recent();
    }
    refill_location_lists(panel);
}

// The city list's entry of the present choice selected again.
static void select_present_choice(HWND panel)
{
    int32_t position = position_of_tag(panel, IDC_CITY, found_place.count == 1 ? LIST_TAG_FOUND : cur_city);
    SendDlgItemMessageA(panel, IDC_CITY, CB_SETCURSEL, (WPARAM)position, 0);
}

int location_list_changed(HWND panel, int control)
{
    int32_t tag;
    if (!selected_tag(panel, control, &tag))
        return 0;
    if (tag == LIST_TAG_FOUND) {
        // The found place's own entry again: nothing changes.
        if (control == IDC_COUNTRY)
            fill_city_list(panel);
        return 0;
    }
    if (tag == LIST_TAG_SEPARATOR) {
        select_present_choice(panel);
        return 0;
    }
    if (tag <= LIST_TAG_RECENT_FIRST) {
        int32_t k = LIST_TAG_RECENT_FIRST - tag;
        if (k >= found_recent.count)
            return 0;
        FoundPlace recent = found_recent.places[k];
        choose_found_place(panel, &recent);
        return 1;
    }
    int had_found = found_place.count == 1;
    save_location_selection(panel, control == IDC_COUNTRY);
    if (had_found)
        show_country_list(panel);  // without the found place's entry
    fill_city_list(panel);
    return 1;
}

// The found place a city list's selection names (the chosen one, or a
// recent one), or null for a catalogue entry.
static const FoundPlace *found_of_selection(HWND panel)
{
    int32_t tag;
    if (!selected_tag(panel, IDC_CITY, &tag) || tag >= 0)
        return NULL;
    if (tag <= LIST_TAG_RECENT_FIRST) {
        int32_t k = LIST_TAG_RECENT_FIRST - tag;
        return k < found_recent.count ? &found_recent.places[k] : chosen_found_place();
    }
    return chosen_found_place();
}

// The catalogue city position of the lists: the separator stands for the
// present catalogue choice.
static int32_t catalogue_city_selection(HWND panel)
{
    int32_t tag;
    if (!selected_tag(panel, IDC_CITY, &tag))
        return -1;
    return tag == LIST_TAG_SEPARATOR ? cur_city : tag;
}

char *location_target(HWND panel, int32_t *latitude_e4, int32_t *longitude_e4, int32_t *pages)
{
    const FoundPlace *found = found_of_selection(panel);
    if (found != NULL) {
        *latitude_e4 = found->latitude_e4;
        *longitude_e4 = found->longitude_e4;
        *pages = 0;
        return found_location_key(found->latitude_e4, found->longitude_e4);
    }
    int32_t country = catalogue_selection(panel, IDC_COUNTRY);
    int32_t city = catalogue_city_selection(panel);
    const CityEntry *place = location_place_at(country, city);
    *latitude_e4 = place->latitude_e4;
    *longitude_e4 = place->longitude_e4;
    *pages = 1;
    return location_path_at(country, city);
}

char *location_path(HWND panel)
{
    int32_t latitude_e4, longitude_e4, pages;
    return location_target(panel, &latitude_e4, &longitude_e4, &pages);
}

const char *location_name(HWND panel)
{
    const FoundPlace *found = found_of_selection(panel);
    if (found != NULL)
        return found->name;
    return city_name_of(location_place_at(catalogue_selection(panel, IDC_COUNTRY), catalogue_city_selection(panel)));
}
