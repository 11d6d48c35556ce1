// The resources as the program carries them: template 129 item by item
// (ids, classes, places, sizes, styles, texts), the manifest and the
// strings; the Cyrillic texts as a created panel shows them; the panel's
// commands that hide it, end it and open its dialogs.
#include <doctest/doctest.h>

#include <windows.h>
#include <commctrl.h>
#include <string.h>

#include <string>
#include <vector>

#include "fetch/fetch_job.h"
#include "panel/panel.h"
#include "res/resource.h"
#include "settings/settings_store.h"
#include "settings/settings_vars.h"

namespace {

// One item of an extended dialog template, as read back.
struct TemplateItem {
    DWORD ex_style;
    DWORD style;
    int x, y, cx, cy;
    int id;
    std::wstring class_name;  // "#128" style for an ordinal
    std::wstring text;
};

struct DialogTemplate {
    DWORD ex_style;
    DWORD style;
    int x, y, cx, cy;
    std::wstring title;
    int point_size;
    int weight;
    int charset;
    std::wstring face;
    std::vector<TemplateItem> items;
};

const BYTE *align4(const BYTE *p, const BYTE *base)
{
    size_t offset = (size_t)(p - base);
    return base + ((offset + 3) & ~(size_t)3);
}

// A string or an ordinal (0xFFFF then the number); ordinals become "#n".
const BYTE *read_sz_or_ord(const BYTE *p, std::wstring *out)
{
    const WORD *w = (const WORD *)p;
    if (w[0] == 0xFFFF) {
        *out = L"#" + std::to_wstring(w[1]);
        return p + 4;
    }
    out->clear();
    while (*w != 0)
        out->push_back((wchar_t)*w++);
    return (const BYTE *)(w + 1);
}

bool read_template(int id, DialogTemplate *t)
{
    HMODULE module = GetModuleHandleA(NULL);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), (LPCSTR)RT_DIALOG);
    if (found == NULL)
        return false;
    const BYTE *base = (const BYTE *)LockResource(LoadResource(module, found));
    const BYTE *p = base;
    const WORD *w = (const WORD *)p;
    if (w[0] != 1 || w[1] != 0xFFFF)
        return false;  // not an extended template
    p += 4 + 4;  // version, signature, help id
    t->ex_style = *(const DWORD *)p;
    p += 4;
    t->style = *(const DWORD *)p;
    p += 4;
    int count = *(const WORD *)p;
    p += 2;
    const short *s = (const short *)p;
    t->x = s[0];
    t->y = s[1];
    t->cx = s[2];
    t->cy = s[3];
    p += 8;
    std::wstring menu, window_class;
    p = read_sz_or_ord(p, &menu);
    p = read_sz_or_ord(p, &window_class);
    p = read_sz_or_ord(p, &t->title);
    t->point_size = 0;
    if (t->style & DS_SETFONT) {
        t->point_size = *(const WORD *)p;
        t->weight = *(const WORD *)(p + 2);
        t->charset = p[5];
        p += 6;
        p = read_sz_or_ord(p, &t->face);
    }
    for (int i = 0; i < count; i++) {
        p = align4(p, base);
        TemplateItem item;
        p += 4;  // help id
        item.ex_style = *(const DWORD *)p;
        item.style = *(const DWORD *)(p + 4);
        p += 8;
        s = (const short *)p;
        item.x = s[0];
        item.y = s[1];
        item.cx = s[2];
        item.cy = s[3];
        p += 8;
        item.id = (int)*(const int32_t *)p;
        p += 4;
        p = read_sz_or_ord(p, &item.class_name);
        p = read_sz_or_ord(p, &item.text);
        WORD extra = *(const WORD *)p;
        p += 2 + extra;
        t->items.push_back(item);
    }
    return true;
}

struct ExpectedItem {
    int id;
    const wchar_t *class_name;
    int x, y, cx, cy;
    DWORD style_set;    // bits that must be set
    DWORD style_clear;  // bits that must be clear
    DWORD type;         // the low style bits that name the kind of control
    DWORD type_mask;
    const wchar_t *text;  // null: not compared
};

const wchar_t BUTTON[] = L"#128";
const wchar_t STATIC[] = L"#130";
const wchar_t COMBO[] = L"#133";

const DWORD CHILD = WS_CHILD | WS_VISIBLE;

// Template 129, control by control, in template order.
const ExpectedItem PANEL_ITEMS[] = {
    {IDCANCEL, BUTTON, 234, 156, 50, 14, CHILD | WS_TABSTOP, 0, BS_DEFPUSHBUTTON, 0xF, L"Закрыть"},
    {IDC_COUNTRY, COMBO, 195, 22, 89, 30, CHILD | CBS_SORT | WS_VSCROLL | WS_TABSTOP, 0,
     CBS_DROPDOWNLIST, 0x3, L""},
    {IDC_CITY, COMBO, 195, 42, 53, 30, CHILD | CBS_SORT | WS_VSCROLL | WS_TABSTOP, 0,
     CBS_DROPDOWNLIST, 0x3, L""},
    {IDC_FIND, BUTTON, 250, 41, 34, 14, CHILD | WS_TABSTOP, 0, BS_PUSHBUTTON, 0xF, L"&Найти…"},
    {IDC_TODAY, STATIC, 168, 7, 116, 8, CHILD, 0, SS_LEFT, SS_TYPEMASK, L"тек. дата"},
    {IDC_CALENDAR, L"SysMonthCal32", 168, 60, 116, 86,
     CHILD | MCS_WEEKNUMBERS | MCS_NOTODAY, MCS_DAYSTATE | MCS_MULTISELECT, 0, 0, NULL},
    {IDC_FORECAST_TEXT, STATIC, 6, 140, 155, 33, CHILD, 0, SS_LEFT, SS_TYPEMASK, NULL},
    {IDC_ACTUAL_TEXT, STATIC, 6, 55, 155, 32, CHILD, 0, SS_LEFT, SS_TYPEMASK, NULL},
    {IDC_DAY_LABEL, STATIC, 75, 103, 27, 8, CHILD, 0, SS_LEFT, SS_TYPEMASK, L"День"},
    {IDC_NIGHT_LABEL, STATIC, 133, 103, 17, 8, CHILD, 0, SS_LEFT, SS_TYPEMASK, L"Ночь"},
    {-1, STATIC, 167, 24, 28, 8, CHILD, 0, SS_LEFT, SS_TYPEMASK, L"Страна:"},
    {-1, STATIC, 167, 44, 24, 8, CHILD, 0, SS_LEFT, SS_TYPEMASK, L"Город:"},
    {IDC_SETTINGS, BUTTON, 168, 156, 50, 14, WS_CHILD, WS_VISIBLE, BS_PUSHBUTTON, 0xF, L"Настройки"},
    {IDC_ABOUT, BUTTON, 111, 26, 50, 14, WS_CHILD, WS_VISIBLE, BS_PUSHBUTTON, 0xF, L"О программе"},
};

void pump_for(DWORD ms)
{
    DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(5);
    } while (GetTickCount() - start < ms);
}

void store_value(const char *name, int32_t value)
{
    reg_create_key("Software", "Keldmark");
    reg_create_key(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME);
    reg_write_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, name, &value, sizeof value);
}

HWND create_panel(void)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_DATE_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    store_value(VALUE_IS_FIRST_FORE, 0);
    store_value(VALUE_IS_GET_FORE, 0);
    store_value(VALUE_IS_AUTOSTART, 0);
    HWND panel = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_PANEL), NULL,
                                    panel_dialog_proc, 0);
    REQUIRE(panel != NULL);
    pump_for(50);
    return panel;
}

// A stand-in for the About box and the settings dialog: counts creations,
// and closes as those dialogs do, clearing the panel's record.
int stand_in_created;
HWND *stand_in_record;

INT_PTR CALLBACK stand_in_proc(HWND window, UINT message, WPARAM wparam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        stand_in_created++;
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
        DestroyWindow(window);
        *stand_in_record = NULL;
        return TRUE;
    }
    return FALSE;
}

}  // namespace

TEST_CASE("template 129: the panel's frame, font and every control")
{
    DialogTemplate t;
    REQUIRE(read_template(IDD_PANEL, &t));
    CHECK((t.style & ~(DWORD)DS_SETFONT) ==
          (DWORD)(DS_MODALFRAME | DS_3DLOOK | DS_CENTER | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX));
    CHECK((t.style & WS_VISIBLE) == 0);
    CHECK(t.ex_style == (DWORD)(WS_EX_APPWINDOW | WS_EX_WINDOWEDGE));
    CHECK(t.cx == 291);
    CHECK(t.cy == 177);
    CHECK(t.title == L"Velvane - Прогноз погоды");
    CHECK(t.point_size == 8);
    CHECK(t.face == L"MS Shell Dlg");
    CHECK(t.charset == DEFAULT_CHARSET);

    REQUIRE(t.items.size() == sizeof PANEL_ITEMS / sizeof PANEL_ITEMS[0]);
    for (size_t i = 0; i < t.items.size(); i++) {
        const TemplateItem &item = t.items[i];
        const ExpectedItem &e = PANEL_ITEMS[i];
        CAPTURE(i);
        CAPTURE(e.id);
        CHECK(item.id == e.id);
        // Class names are compared as the system does, without case.
        CHECK(lstrcmpiW(item.class_name.c_str(), e.class_name) == 0);
        CHECK(item.x == e.x);
        CHECK(item.y == e.y);
        CHECK(item.cx == e.cx);
        CHECK(item.cy == e.cy);
        CHECK((item.style & e.style_set) == e.style_set);
        CHECK((item.style & e.style_clear) == 0);
        CHECK((item.style & e.type_mask) == e.type);
        CHECK(item.ex_style == 0);
        if (e.text != NULL)
            CHECK((item.text == e.text));
    }
}

TEST_CASE("the other templates, the manifest and the strings are in the program")
{
    DialogTemplate t;
    REQUIRE(read_template(IDD_SETTINGS, &t));
    CHECK(t.title == L"Настройки");
    CHECK(t.items.size() == 21);  // with the proxy's sign-in (two labels, two fields) and the heads-up's box
    DialogTemplate notice;
    REQUIRE(read_template(IDD_NOTICE, &notice));
    CHECK(notice.items.size() == 4);
    DialogTemplate search;
    REQUIRE(read_template(IDD_PLACE_SEARCH, &search));
    CHECK(search.title == L"Поиск места");
    CHECK(search.items.size() == 5);  // the label, the name, the places, the status line, "Закрыть"
    DialogTemplate about;
    REQUIRE(read_template(IDD_ABOUT, &about));
    CHECK(about.title == L"О программе");
    CHECK(about.face == L"Tahoma");

    HMODULE module = GetModuleHandleA(NULL);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    REQUIRE(found != NULL);
    std::string manifest((const char *)LockResource(LoadResource(module, found)),
                         SizeofResource(module, found));
    CHECK(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"") != std::string::npos);
    CHECK(manifest.find("level=\"asInvoker\"") != std::string::npos);
    // Per-monitor aware (v2), aware of the system's scale before Windows 10.
    CHECK(manifest.find(">PerMonitorV2</dpiAwareness>") != std::string::npos);
    CHECK(manifest.find(">true</dpiAware>") != std::string::npos);

    wchar_t text[100];
    REQUIRE(LoadStringW(module, IDS_APP_TITLE, text, 100) > 0);
    CHECK(std::wstring(text) == L"Velvane - Прогноз погоды");
}

TEST_CASE("the created panel shows its Cyrillic texts intact, in code page 1251 too")
{
    HWND panel = create_panel();
    wchar_t wide[100];
    GetWindowTextW(panel, wide, 100);
    CHECK(std::wstring(wide) == L"Velvane - Прогноз погоды");
    char bytes[100];
    GetWindowTextA(panel, bytes, sizeof bytes);
    CHECK(std::string(bytes) == "Velvane - \xCF\xF0\xEE\xE3\xED\xEE\xE7 \xEF\xEE\xE3\xEE\xE4\xFB");
    GetDlgItemTextW(panel, IDC_DAY_LABEL, wide, 100);
    CHECK(std::wstring(wide) == L"День");
    // Created hidden: the host decides whether it is shown.
    CHECK(!IsWindowVisible(panel));
    // Its large icon is the application icon.
    CHECK(SendMessageA(panel, WM_GETICON, ICON_BIG, 0) != 0);
    DestroyWindow(panel);
    panel_window = NULL;
}

TEST_CASE("commands: 2 hides, 1 ends and posts the quit, 3 and 1024 open their dialog once")
{
    HWND panel = create_panel();
    ShowWindow(panel, SW_SHOW);
    CHECK(IsWindowVisible(panel));

    SUBCASE("2 hides the panel, which still exists")
    {
        CHECK(panel_dialog_proc(panel, WM_COMMAND, IDCANCEL, 0) == TRUE);
        CHECK(!IsWindowVisible(panel));
        CHECK(IsWindow(panel));
    }
    SUBCASE("1 ends the dialog and posts the quit message with code 0")
    {
        MSG message;
        while (PeekMessageA(&message, NULL, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
        CHECK(panel_dialog_proc(panel, WM_COMMAND, IDOK, 0) == TRUE);
        CHECK(!IsWindowVisible(panel));
        CHECK(PeekMessageA(&message, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
        CHECK(message.message == WM_QUIT);
        CHECK(message.wParam == 0);
    }
    SUBCASE("3 and 1024: one dialog each, owned by the panel, created again after closing")
    {
        struct Case {
            int command;
            DLGPROC *proc;
            HWND *record;
        };
        const Case cases[] = {{IDC_ABOUT, &panel_about_proc, &about_dialog},
                              {IDC_SETTINGS, &panel_settings_proc, &settings_dialog}};
        for (const Case &c : cases) {
            CAPTURE(c.command);
            *c.proc = stand_in_proc;
            stand_in_record = c.record;
            stand_in_created = 0;
            CHECK(panel_dialog_proc(panel, WM_COMMAND, (WPARAM)c.command, 0) == FALSE);
            REQUIRE(*c.record != NULL);
            CHECK(GetWindow(*c.record, GW_OWNER) == panel);
            CHECK(IsWindowVisible(*c.record));
            HWND first = *c.record;
            SendMessageA(panel, WM_COMMAND, c.command, 0);
            CHECK(*c.record == first);
            CHECK(stand_in_created == 1);
            SendMessageA(first, WM_COMMAND, IDOK, 0);
            CHECK(*c.record == NULL);
            SendMessageA(panel, WM_COMMAND, c.command, 0);
            CHECK(*c.record != NULL);
            CHECK(stand_in_created == 2);
            SendMessageA(*c.record, WM_COMMAND, IDOK, 0);
            *c.proc = NULL;
        }
    }
    DestroyWindow(panel);
    panel_window = NULL;
}

namespace {
int notices_created;
HWND last_notice;

INT_PTR CALLBACK notice_stand_in(HWND window, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG) {
        notices_created++;
        last_notice = window;
        return TRUE;
    }
    return FALSE;
}
}  // namespace

TEST_CASE("the notice opens at the panel's creation unless is_never_show is stored")
{
    panel_notice_proc = notice_stand_in;
    notices_created = 0;
    store_value(VALUE_IS_NEVER_SHOW, 0);
    HWND panel = create_panel();
    CHECK(notices_created == 1);
    REQUIRE(last_notice != NULL);
    CHECK(GetWindow(last_notice, GW_OWNER) == panel);
    CHECK(IsWindowVisible(last_notice));
    // Shown although the panel itself is not.
    CHECK(!IsWindowVisible(panel));
    DestroyWindow(panel);

    store_value(VALUE_IS_NEVER_SHOW, 1);
    panel = create_panel();
    CHECK(notices_created == 1);
    DestroyWindow(panel);
    panel_window = NULL;
    panel_notice_proc = NULL;
}
