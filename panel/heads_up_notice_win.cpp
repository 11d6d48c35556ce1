// The heads-up's notice from the panel.
#include "panel/heads_up_notice.h"

#include <commctrl.h>

#include "panel/day_number.h"
#include "panel/heads_up.h"
#include "res/resource.h"
#include "settings/catalogue.h"
#include "settings/settings_store.h"
#include "util/mem.h"

static HeadsUpTold told;
// The place's date of the last notice (a whole day number), 0 for none.
static int32_t notice_day;

void heads_up_load_ledger(void)
{
    uint8_t bytes[HEADS_UP_TOLD_BYTES];
    uint32_t length = settings_read_warnings_told(bytes, sizeof bytes);
    heads_up_told_decode(bytes, length, &told);
    notice_day = 0;
}

void heads_up_after_fetch(HWND panel, const WeatherRecord *forecast, const char *place_path, int32_t warnings_on,
                          int64_t now, HeadsUpNotice notice)
{
    if (!warnings_on || forecast == NULL || notice == NULL)
        return;
    int32_t day = 0;
    char *text = heads_up_next_notice(forecast, place_path, location_name(panel), now, &told, &day);
    if (text == NULL)
        return;
    // Stored before it is shown: a notice is never given twice, even when
    // the program ends at once.
    uint8_t bytes[HEADS_UP_TOLD_BYTES];
    settings_write_warnings_told(bytes, heads_up_told_encode(&told, bytes, sizeof bytes));
    notice_day = day;
    char title[128];
    if (LoadStringA((HINSTANCE)GetWindowLongPtrA(panel, GWLP_HINSTANCE), IDS_APP_TITLE, title, sizeof title) <= 0)
        title[0] = 0;
    notice(title, text);
    mem_free(text);
}

int heads_up_select_day(HWND panel, double *day)
{
    if (notice_day == 0)
        return 0;
    CalendarDate date;
    day_number_to_date((double)notice_day, &date);
    SYSTEMTIME chosen;
    ZeroMemory(&chosen, sizeof chosen);
    chosen.wYear = (WORD)date.year;
    chosen.wMonth = (WORD)date.month;
    chosen.wDay = (WORD)date.day;
    SendDlgItemMessageA(panel, IDC_CALENDAR, MCM_SETCURSEL, 0, (LPARAM)&chosen);
    *day = (double)notice_day;
    return 1;
}
