// The location catalogue on the panel's two combo boxes.
#include "settings/catalogue.h"

#include "res/resource.h"
#include "settings/settings_store.h"
#include "settings/settings_vars.h"

static int32_t list_position(HWND panel, int control)
{
    LRESULT position = SendDlgItemMessageA(panel, control, CB_GETCURSEL, 0, 0);
    return position == CB_ERR ? -1 : (int32_t)position;
}

// Appends at the end: CB_ADDSTRING would sort the entries of the CBS_SORT
// lists and break the mapping from position to catalogue row.
static void append_entry(HWND panel, int control, const char *text)
{
    SendDlgItemMessageA(panel, control, CB_INSERTSTRING, (WPARAM)-1, (LPARAM)text);
}

void fill_country_list(HWND panel)
{
    SendDlgItemMessageA(panel, IDC_COUNTRY, CB_RESETCONTENT, 0, 0);
    init_settings();
    for (int i = 0; i < CATALOGUE_COUNTRY_COUNT; i++)
        append_entry(panel, IDC_COUNTRY, country_name_of(&CATALOGUE_COUNTRIES[i]));
    // A stored position beyond the list selects nothing; the path then falls
    // back to the first entry.
    SendDlgItemMessageA(panel, IDC_COUNTRY, CB_SETCURSEL, (WPARAM)cur_country, 0);
}

void fill_city_list(HWND panel)
{
    const CountryEntry *country = catalogue_country(list_position(panel, IDC_COUNTRY));
    SendDlgItemMessageA(panel, IDC_CITY, CB_RESETCONTENT, 0, 0);
    if (!country)
        return;
    for (int32_t i = 0; i < country->city_count; i++)
        append_entry(panel, IDC_CITY, city_name_of(&country->cities[i]));
    SendDlgItemMessageA(panel, IDC_CITY, CB_SETCURSEL, (WPARAM)cur_city, 0);
}

void save_location_selection(HWND panel, int country_changed)
{
    int32_t country = list_position(panel, IDC_COUNTRY);
    cur_city = country_changed ? 0 : list_position(panel, IDC_CITY);
    cur_country = country;
    settings_write_selection();
}

char *location_path(HWND panel)
{
    return location_path_at(list_position(panel, IDC_COUNTRY), list_position(panel, IDC_CITY));
}

const CityEntry *location_place(HWND panel)
{
    return location_place_at(list_position(panel, IDC_COUNTRY), list_position(panel, IDC_CITY));
}
