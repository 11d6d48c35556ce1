// The catalogue's operations on real sorted combo boxes: a hidden dialog built
// in memory with the panel's two lists (IDC_COUNTRY, IDC_CITY, both
// CBS_SORT), and the selections stored in this prefix's registry.
#include <doctest/doctest.h>

#include "res/resource.h"
#include "settings/catalogue.h"
#include "settings/settings_store.h"
#include "settings/settings_vars.h"
#include "util/mem.h"

#include <windows.h>

#include <string>
#include <string.h>

static INT_PTR CALLBACK quiet_dialog_proc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

static BYTE *align_dword(BYTE *p, BYTE *base)
{
    while ((p - base) % 4)
        *p++ = 0;
    return p;
}

static BYTE *put_word(BYTE *p, WORD value)
{
    memcpy(p, &value, sizeof value);
    return p + sizeof value;
}

// One combo box item: the template, then class atom 0x0085, no title, no
// creation data.
static BYTE *put_combo(BYTE *p, BYTE *base, WORD id, short y)
{
    p = align_dword(p, base);
    DLGITEMTEMPLATE item = {};
    item.style = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST | CBS_SORT;
    item.x = 5;
    item.y = y;
    item.cx = 150;
    item.cy = 120;
    item.id = id;
    memcpy(p, &item, sizeof item);
    p += sizeof item;
    p = put_word(p, 0xFFFF);
    p = put_word(p, 0x0085);
    p = put_word(p, 0);
    p = put_word(p, 0);
    return p;
}

// A hidden modeless dialog with the two lists, as the panel has them.
static HWND create_panel_stand_in(void)
{
    static DWORD storage[256];
    BYTE *base = (BYTE *)storage;
    memset(storage, 0, sizeof storage);
    DLGTEMPLATE dialog = {};
    dialog.style = WS_POPUP | WS_CAPTION | DS_MODALFRAME;  // not WS_VISIBLE
    dialog.cdit = 2;
    dialog.cx = 160;
    dialog.cy = 60;
    BYTE *p = base;
    memcpy(p, &dialog, sizeof dialog);
    p += sizeof dialog;
    p = put_word(p, 0);  // no menu
    p = put_word(p, 0);  // the standard dialog class
    p = put_word(p, 0);  // no title
    p = put_combo(p, base, IDC_COUNTRY, 5);
    p = put_combo(p, base, IDC_CITY, 25);
    return CreateDialogIndirectParamA(GetModuleHandleA(NULL), (LPCDLGTEMPLATEA)base, NULL,
                                      quiet_dialog_proc, 0);
}

static int item_count(HWND panel, int control)
{
    return (int)SendDlgItemMessageA(panel, control, CB_GETCOUNT, 0, 0);
}

static int selection(HWND panel, int control)
{
    return (int)SendDlgItemMessageA(panel, control, CB_GETCURSEL, 0, 0);
}

static std::string item_text(HWND panel, int control, int index)
{
    char text[64] = "";
    LRESULT length = SendDlgItemMessageA(panel, control, CB_GETLBTEXTLEN, (WPARAM)index, 0);
    if (length == CB_ERR || length >= (LRESULT)sizeof text)
        return "<none>";
    SendDlgItemMessageA(panel, control, CB_GETLBTEXT, (WPARAM)index, (LPARAM)text);
    return text;
}

static std::string path_of(HWND panel)
{
    char *path = location_path(panel);
    REQUIRE(path != nullptr);
    std::string text = path;
    mem_free(path);
    return text;
}

static void delete_settings_key(void)
{
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Keldmark\\weather");
}

// The stored value, or -2 when it is missing or not 4 bytes of REG_BINARY.
static int32_t stored_position(const char *value_name)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Keldmark\\weather", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return -2;
    BYTE data[8] = {};
    DWORD type = 0;
    DWORD size = sizeof data;
    LONG result = RegQueryValueExA(key, value_name, NULL, &type, data, &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_BINARY || size != 4)
        return -2;
    return (int32_t)((uint32_t)data[0] | ((uint32_t)data[1] << 8) | ((uint32_t)data[2] << 16) |
                     ((uint32_t)data[3] << 24));
}

static void store_position(const char *value_name, int32_t position)
{
    REQUIRE(reg_create_key("Software", "Keldmark") == 1);
    REQUIRE(reg_create_key(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME) == 1);
    unsigned char bytes[4] = {(unsigned char)(position & 0xFF), (unsigned char)((position >> 8) & 0xFF),
                              (unsigned char)((position >> 16) & 0xFF), (unsigned char)((position >> 24) & 0xFF)};
    REQUIRE(reg_write_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, value_name, bytes, 4) == 1);
}

// A start of the program: fresh variables, a new panel, both lists filled.
static HWND start_panel(void)
{
    cur_country = 0;
    cur_city = 0;
    HWND panel = create_panel_stand_in();
    REQUIRE(panel != NULL);
    fill_country_list(panel);
    fill_city_list(panel);
    return panel;
}

// What the panel does when the user picks an entry of a list.
static void choose_country(HWND panel, int position)
{
    REQUIRE(SendDlgItemMessageA(panel, IDC_COUNTRY, CB_SETCURSEL, (WPARAM)position, 0) == position);
    save_location_selection(panel, 1);
    fill_city_list(panel);
}

static void choose_city(HWND panel, int position)
{
    REQUIRE(SendDlgItemMessageA(panel, IDC_CITY, CB_SETCURSEL, (WPARAM)position, 0) == position);
    save_location_selection(panel, 0);
}

TEST_CASE("first start: Russia and Moscow, the lists in catalogue order despite CBS_SORT")
{
    delete_settings_key();
    HWND panel = start_panel();
    CHECK(item_count(panel, IDC_COUNTRY) == 50);
    CHECK(selection(panel, IDC_COUNTRY) == 0);
    CHECK(item_count(panel, IDC_CITY) == 1290);
    CHECK(selection(panel, IDC_CITY) == 0);
    CHECK(path_of(panel) == "russia/moscow-area/moscow");
    for (int i = 0; i < CATALOGUE_COUNTRY_COUNT; i++) {
        CAPTURE(i);
        CHECK(item_text(panel, IDC_COUNTRY, i) == country_name_of(&CATALOGUE_COUNTRIES[i]));
    }
    const CountryEntry &russia = CATALOGUE_COUNTRIES[0];
    for (int j = 0; j < russia.city_count; j++) {
        CAPTURE(j);
        CHECK(item_text(panel, IDC_CITY, j) == city_name_of(&russia.cities[j]));
    }
    // The key path was made and nothing was stored.
    HKEY key;
    REQUIRE(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Keldmark\\weather", 0, KEY_READ, &key) == ERROR_SUCCESS);
    RegCloseKey(key);
    CHECK(stored_position(VALUE_CUR_COUNTRY) == -2);
    CHECK(stored_position(VALUE_CUR_CITY) == -2);
    DestroyWindow(panel);
}

TEST_CASE("a change of country refills the city list from its first city and stores both positions")
{
    delete_settings_key();
    HWND panel = start_panel();
    choose_city(panel, 5);
    CHECK(stored_position(VALUE_CUR_COUNTRY) == 0);
    CHECK(stored_position(VALUE_CUR_CITY) == 5);

    choose_country(panel, 8);
    CHECK(item_count(panel, IDC_CITY) == 133);
    CHECK(selection(panel, IDC_CITY) == 0);
    CHECK(item_text(panel, IDC_CITY, 0) == city_name_of(&CATALOGUE_COUNTRIES[8].cities[0]));
    CHECK(path_of(panel) == "brazil//altamira");
    CHECK(stored_position(VALUE_CUR_COUNTRY) == 8);
    CHECK(stored_position(VALUE_CUR_CITY) == 0);

    choose_city(panel, 7);
    CHECK(stored_position(VALUE_CUR_CITY) == 7);
    CHECK(path_of(panel) == std::string("brazil//") + city_key_of(&CATALOGUE_COUNTRIES[8].cities[7]));

    // Each country with one city shows a one-entry list.
    const int single[] = {3, 4, 6, 10, 40};
    for (int position : single) {
        CAPTURE(position);
        choose_country(panel, position);
        CHECK(item_count(panel, IDC_CITY) == 1);
        CHECK(selection(panel, IDC_CITY) == 0);
    }
    CHECK(path_of(panel) == std::string("fidji//") + city_key_of(&CATALOGUE_COUNTRIES[40].cities[0]));
    DestroyWindow(panel);
}

TEST_CASE("the stored positions are restored at the next start")
{
    delete_settings_key();
    HWND panel = start_panel();
    choose_country(panel, 39);
    choose_city(panel, 46);
    CHECK(path_of(panel) == "ukraine//kovel");
    DestroyWindow(panel);

    panel = start_panel();
    CHECK(selection(panel, IDC_COUNTRY) == 39);
    CHECK(item_count(panel, IDC_CITY) == 115);
    CHECK(selection(panel, IDC_CITY) == 46);
    CHECK(path_of(panel) == "ukraine//kovel");
    DestroyWindow(panel);
}

TEST_CASE("Russia at 33 and Moscow at 627 give the paths of 0 but store their own positions")
{
    delete_settings_key();
    HWND panel = start_panel();
    choose_country(panel, 33);
    CHECK(item_count(panel, IDC_CITY) == 1290);
    CHECK(path_of(panel) == "russia/moscow-area/moscow");
    choose_city(panel, 627);
    CHECK(path_of(panel) == "russia/moscow-area/moscow");
    CHECK(stored_position(VALUE_CUR_COUNTRY) == 33);
    CHECK(stored_position(VALUE_CUR_CITY) == 627);
    choose_city(panel, 10);
    CHECK(path_of(panel) == "russia/aginsky-burjatskij-ar/aginskoe2");
    choose_city(panel, 9);
    CHECK(path_of(panel) == "russia/krasnoyarsk-territory/aginskoe");
    choose_city(panel, 890);
    DestroyWindow(panel);

    panel = start_panel();
    CHECK(selection(panel, IDC_COUNTRY) == 33);
    CHECK(selection(panel, IDC_CITY) == 890);
    CHECK(path_of(panel) == "russia/leningrad-region/sankt-peterburg");
    DestroyWindow(panel);
}

TEST_CASE("a stored position beyond its list selects nothing and the path takes position 0")
{
    delete_settings_key();
    store_position(VALUE_CUR_COUNTRY, 77);
    store_position(VALUE_CUR_CITY, 3);
    HWND panel = start_panel();
    CHECK(selection(panel, IDC_COUNTRY) == CB_ERR);
    CHECK(item_count(panel, IDC_CITY) == 0);
    CHECK(path_of(panel) == "russia/moscow-area/moscow");
    // Picking a country mends it.
    choose_country(panel, 8);
    CHECK(path_of(panel) == "brazil//altamira");
    DestroyWindow(panel);

    store_position(VALUE_CUR_COUNTRY, 8);
    store_position(VALUE_CUR_CITY, 500);
    panel = start_panel();
    CHECK(selection(panel, IDC_COUNTRY) == 8);
    CHECK(item_count(panel, IDC_CITY) == 133);
    CHECK(selection(panel, IDC_CITY) == CB_ERR);
    CHECK(path_of(panel) == "brazil//altamira");
    DestroyWindow(panel);

    store_position(VALUE_CUR_COUNTRY, -5);
    panel = start_panel();
    CHECK(selection(panel, IDC_COUNTRY) == CB_ERR);
    CHECK(path_of(panel) == "russia/moscow-area/moscow");
    DestroyWindow(panel);
}

// A place as the search window hands it over: texts in code page 1251.
static FoundPlace found(const char *name, const char *country, const char *code, int32_t latitude_e4,
                        int32_t longitude_e4)
{
    FoundPlace place = {};
    lstrcpynA(place.name, name, FOUND_TEXT_SIZE);
    lstrcpynA(place.country, country, FOUND_TEXT_SIZE);
    lstrcpynA(place.country_code, code, 3);
    place.latitude_e4 = latitude_e4;
    place.longitude_e4 = longitude_e4;
    place.population = -1;
    return place;
}

static const char VILLAGE[] = "\xCF\xE5\xF2\xF0\xEE\xE2\xEE\x2D\xC4\xE0\xEB\xFC\xED\xE5\xE5";  // Петрово-Дальнее
static const char REYKJAVIK[] = "\xD0\xE5\xE9\xEA\xFC\xFF\xE2\xE8\xEA";
static const char ICELAND[] = "\xC8\xF1\xEB\xE0\xED\xE4\xE8\xFF";
static const char RUSSIA[] = "\xD0\xEE\xF1\xF1\xE8\xFF";

// What the lists' selection at a city position names.
struct Target {
    std::string path;
    std::string name;
    int32_t pages;
    int32_t latitude_e4;
    int32_t longitude_e4;
};

static Target target_at(HWND panel, int position)
{
    REQUIRE(SendDlgItemMessageA(panel, IDC_CITY, CB_SETCURSEL, (WPARAM)position, 0) == position);
    Target t;
    char *path = location_target(panel, &t.latitude_e4, &t.longitude_e4, &t.pages);
    REQUIRE(path != nullptr);
    t.path = path;
    mem_free(path);
    t.name = location_name(panel);
    return t;
}

TEST_CASE("found places in the lists: every entry's tag names its place, and the choices are kept")
{
    delete_settings_key();
    HWND panel = start_panel();
    FoundPlace village = found(VILLAGE, RUSSIA, "RU", 557420, 371860);
    FoundPlace reykjavik = found(REYKJAVIK, ICELAND, "IS", 641355, -218954);
    choose_found_place(panel, &village);
    choose_found_place(panel, &reykjavik);

    // Iceland is none of the 50: an entry of its own at the end.
    CHECK(item_count(panel, IDC_COUNTRY) == 51);
    CHECK(selection(panel, IDC_COUNTRY) == 50);
    CHECK(item_text(panel, IDC_COUNTRY, 50) == ICELAND);
    // The place, the separator, the two recent places, newest first.
    REQUIRE(item_count(panel, IDC_CITY) == 4);
    CHECK(selection(panel, IDC_CITY) == 0);
    const std::string reykjavik_key = "found:64.1355,-21.8954", village_key = "found:55.7420,37.1860";
    struct Case {
        int position;
        std::string path;
        const char *name;
    };
    const Case cases[] = {{0, reykjavik_key, REYKJAVIK},
                          {1, reykjavik_key, REYKJAVIK},  // the separator: the present choice
                          {2, reykjavik_key, REYKJAVIK},
                          {3, village_key, VILLAGE}};
    for (const Case &c : cases) {
        CAPTURE(c.position);
        Target t = target_at(panel, c.position);
        CHECK(t.path == c.path);
        CHECK(t.name == c.name);
        CHECK(t.pages == 0);
    }
    CHECK(target_at(panel, 3).latitude_e4 == 557420);

    // The separator chosen goes back to the place; a recent one chosen is
    // the place, in its catalogue country, above that country's cities.
    SendDlgItemMessageA(panel, IDC_CITY, CB_SETCURSEL, 1, 0);
    CHECK(location_list_changed(panel, IDC_CITY) == 0);
    CHECK(selection(panel, IDC_CITY) == 0);
    SendDlgItemMessageA(panel, IDC_CITY, CB_SETCURSEL, 3, 0);
    CHECK(location_list_changed(panel, IDC_CITY) == 1);
    CHECK(item_count(panel, IDC_COUNTRY) == 50);
    CHECK(selection(panel, IDC_COUNTRY) == 0);
    REQUIRE(item_count(panel, IDC_CITY) == 1 + 1290 + 1 + 2);
    CHECK(selection(panel, IDC_CITY) == 0);
    CHECK(target_at(panel, 0).path == village_key);
    Target moscow = target_at(panel, 1);
    CHECK(moscow.path == "russia/moscow-area/moscow");
    CHECK(moscow.pages == 1);
    CHECK(target_at(panel, 1292).path == village_key);  // the newest recent place now
    CHECK(target_at(panel, 1293).path == reykjavik_key);

    // Restarted: the place and the recent ones come back from the registry.
    DestroyWindow(panel);
    panel = start_panel();
    CHECK(found_place.count == 1);
    CHECK(found_recent.count == 2);
    CHECK(selection(panel, IDC_COUNTRY) == 0);
    CHECK(selection(panel, IDC_CITY) == 0);
    CHECK(path_of(panel) == village_key);

    // A catalogue city drops the found place, stored as none; the recent
    // places stay offered.
    SendDlgItemMessageA(panel, IDC_CITY, CB_SETCURSEL, 3, 0);  // catalogue row 2
    CHECK(location_list_changed(panel, IDC_CITY) == 1);
    CHECK(found_place.count == 0);
    CHECK(stored_position(VALUE_CUR_CITY) == 2);
    CHECK(item_count(panel, IDC_CITY) == 1290 + 1 + 2);
    CHECK(selection(panel, IDC_CITY) == 2);
    CHECK(path_of(panel) == std::string("russia/") + region_key_of(&CATALOGUE_COUNTRIES[0].cities[2]) + "/" +
                                city_key_of(&CATALOGUE_COUNTRIES[0].cities[2]));
    DestroyWindow(panel);
    panel = start_panel();
    CHECK(found_place.count == 0);
    CHECK(selection(panel, IDC_CITY) == 2);
    DestroyWindow(panel);

    // A damaged value is never trusted: one byte cut off the recent list.
    uint8_t bytes[FOUND_PLACES_STORED_MAX];
    uint32_t length = found_places_encode(&found_recent, bytes, sizeof bytes);
    REQUIRE(length > 0);
    REQUIRE(reg_write_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, VALUE_FOUND_RECENT, bytes, length - 1) == 1);
    panel = start_panel();
    CHECK(found_recent.count == 0);
    CHECK(item_count(panel, IDC_CITY) == 1290);
    DestroyWindow(panel);
}
