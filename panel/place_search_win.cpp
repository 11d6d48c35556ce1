// The place search window. Each query runs on a worker thread of its own
// with a cancel event of its own, so that it neither breaks off the
// weather's fetch nor is broken off by it; a newer query supersedes an
// older one, whose answer is dropped by its sequence number. Answers come
// back as a posted message carrying a heap block that the window frees.
// The texts of the edit box and the list go through the wide API, so that
// a name in any script shows as the answer gives it.
#include "panel/place_search_win.h"

#include <process.h>
#include <string.h>

#include "fetch/fetch_failure.h"
#include "fetch/http_client.h"
#include "fetch/https_client.h"
#include "res/resource.h"
#include "settings/settings_vars.h"
#include "util/mem.h"

HWND place_search_dialog;

enum {
    SEARCH_TIMER = 1,
    QUERY_UTF8_SIZE = 256,
    ROW_SIZE = 4 * FOUND_TEXT_SIZE + 32,
    STATUS_SIZE = 128
};

// Posted by a worker to the window: the first parameter is the query's
// sequence number, the second its SearchAnswer.
static const UINT SEARCH_ANSWER_MESSAGE = WM_APP + 1;

struct SearchAnswer {
    int32_t count;    // places read; 0 with failure NONE: nothing found
    int32_t failure;  // FETCH_FAILURE_* when the search brought no answer
    FoundPlace places[FOUND_PLACES_MAX];
};

// What a worker is given; it frees it, and closes its own copy of the event.
struct SearchRequest {
    HWND window;
    uint32_t sequence;
    char *query;            // UTF-8
    HANDLE cancel;          // set when a newer query or the window's end supersedes it
    int64_t route_period_ms;
};

// The window's state, held in its DWLP_USER.
struct SearchWindow {
    uint32_t sequence;   // of the newest query
    HANDLE cancel;       // the newest query's cancel while it runs, else null
    SearchAnswer shown;  // the places in the list, in its order
};

static SearchWindow *state_of(HWND window)
{
    return (SearchWindow *)GetWindowLongPtrA(window, DWLP_USER);
}

static void copy_cp1251(const char *utf8, char *out, int size)
{
    wchar_t wide[FOUND_TEXT_SIZE];
    out[0] = 0;
    if (MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, FOUND_TEXT_SIZE) <= 0)
        return;
    // No WC_NO_BEST_FIT_CHARS: "Łódź" becomes "Lodz", never "?d?".
    if (WideCharToMultiByte(1251, 0, wide, -1, out, size, NULL, NULL) <= 0)
        out[0] = 0;
    out[size - 1] = 0;
}

void found_place_to_cp1251(const FoundPlace *utf8, FoundPlace *cp1251)
{
    *cp1251 = *utf8;
    copy_cp1251(utf8->name, cp1251->name, FOUND_TEXT_SIZE);
    copy_cp1251(utf8->region, cp1251->region, FOUND_TEXT_SIZE);
    copy_cp1251(utf8->country, cp1251->country, FOUND_TEXT_SIZE);
}

static unsigned WINAPI search_worker(void *argument)
{
    SearchRequest *request = (SearchRequest *)argument;
    SearchAnswer *answer = (SearchAnswer *)mem_alloc((uint32_t)sizeof(SearchAnswer));
    char *path = geocoding_path(request->query);
    char *buffer = NULL;
    int32_t size = 0;
    int32_t failure = FETCH_FAILURE_NO_CONNECTION;
    int32_t result = HTTP_NET_ERROR;
    if (answer != NULL && path != NULL)
        result = https_get_until(GEOCODING_HOST, path, open_data_user_agent(), request->route_period_ms,
                                 request->cancel, &buffer, &size, &failure);
    int superseded = WaitForSingleObject(request->cancel, 0) == WAIT_OBJECT_0;
    if (answer != NULL && !superseded) {
        memset(answer, 0, sizeof *answer);
        answer->failure = failure;
        if (result == HTTP_OK) {
            answer->count = parse_found_places(buffer, size, answer->places, FOUND_PLACES_MAX);
            answer->failure = answer->count < 0 ? FETCH_FAILURE_NO_ANSWER : FETCH_FAILURE_NONE;
            if (answer->count < 0)
                answer->count = 0;
        } else if (answer->failure == FETCH_FAILURE_NONE) {
            answer->failure = FETCH_FAILURE_NO_CONNECTION;
        }
        if (PostMessageA(request->window, SEARCH_ANSWER_MESSAGE, (WPARAM)request->sequence, (LPARAM)answer))
            answer = NULL;  // the window's now
    }
    mem_free(answer);
    mem_free(buffer);
    mem_free(path);
    mem_free(request->query);
    CloseHandle(request->cancel);
    mem_free(request);
    return 0;
}

static void set_status(HWND window, int string_id)
{
    wchar_t text[STATUS_SIZE];
    if (string_id == 0 || LoadStringW(GetModuleHandleA(NULL), (UINT)string_id, text, STATUS_SIZE) <= 0)
        text[0] = 0;
    SetDlgItemTextW(window, IDC_SEARCH_STATUS, text);
}

static void set_status_utf8(HWND window, const char *utf8)
{
    wchar_t text[STATUS_SIZE];
    if (utf8 == NULL || MultiByteToWideChar(CP_UTF8, 0, utf8, -1, text, STATUS_SIZE) <= 0)
        text[0] = 0;
    SetDlgItemTextW(window, IDC_SEARCH_STATUS, text);
}

// The running query, if any, is superseded: its answer will be dropped.
static void supersede(SearchWindow *state)
{
    state->sequence++;
    if (state->cancel != NULL) {
        SetEvent(state->cancel);
        CloseHandle(state->cancel);
        state->cancel = NULL;
    }
}

static void clear_list(HWND window, SearchWindow *state)
{
    SendDlgItemMessageW(window, IDC_SEARCH_LIST, LB_RESETCONTENT, 0, 0);
    state->shown.count = 0;
}

// The edit box's text as UTF-8, blanks at either end taken off.
static int query_text(HWND window, char *utf8, int size)
{
    wchar_t wide[QUERY_UTF8_SIZE];
    GetDlgItemTextW(window, IDC_SEARCH_QUERY, wide, QUERY_UTF8_SIZE);
    if (WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, size, NULL, NULL) <= 0)
        utf8[0] = 0;
    int start = 0, end = (int)strlen(utf8);
    while (utf8[start] == ' ' || utf8[start] == '\t')
        start++;
    while (end > start && (utf8[end - 1] == ' ' || utf8[end - 1] == '\t'))
        end--;
    memmove(utf8, utf8 + start, (size_t)(end - start));
    utf8[end - start] = 0;
    return end > start;
}

// A worker for the edit box's text; an empty box asks nothing.
static void start_search(HWND window, SearchWindow *state)
{
    KillTimer(window, SEARCH_TIMER);
    supersede(state);
    char query[QUERY_UTF8_SIZE];
    if (!query_text(window, query, sizeof query)) {
        clear_list(window, state);
        set_status(window, 0);
        return;
    }
    SearchRequest *request = (SearchRequest *)mem_alloc((uint32_t)sizeof(SearchRequest));
    HANDLE cancel = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE worker_cancel = NULL;
    if (cancel != NULL)
        DuplicateHandle(GetCurrentProcess(), cancel, GetCurrentProcess(), &worker_cancel, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
    char *copy = dup_string(query);
    uintptr_t thread = 0;
    if (request != NULL && worker_cancel != NULL && copy != NULL) {
        request->window = window;
        request->sequence = state->sequence;
        request->query = copy;
        request->cancel = worker_cancel;
        request->route_period_ms = refresh_period_ms(hours);
        thread = _beginthreadex(NULL, 0, search_worker, request, 0, NULL);
    }
    if (thread == 0) {
        mem_free(request);
        mem_free(copy);
        if (worker_cancel != NULL)
            CloseHandle(worker_cancel);
        if (cancel != NULL)
            CloseHandle(cancel);
        set_status_utf8(window, fetch_failure_text(FETCH_FAILURE_NO_CONNECTION));
        return;
    }
    CloseHandle((HANDLE)thread);
    state->cancel = cancel;
    set_status(window, IDS_SEARCH_BUSY);
}

// "12 345": the digits in groups of three.
static void append_grouped(wchar_t *row, int size, int32_t number)
{
    wchar_t digits[16];
    int count = 0;
    do {
        digits[count++] = (wchar_t)(L'0' + number % 10);
        number /= 10;
    } while (number > 0 && count < 12);
    int at = lstrlenW(row);
    for (int i = count - 1; i >= 0 && at < size - 2; i--) {
        row[at++] = digits[i];
        if (i > 0 && i % 3 == 0)
            row[at++] = L' ';
    }
    row[at] = 0;
}

static void append_utf8(wchar_t *row, int size, const char *separator, const char *utf8)
{
    if (utf8[0] == 0)
        return;
    int at = lstrlenW(row);
    if (at > 0 && separator != NULL)
        at += MultiByteToWideChar(CP_UTF8, 0, separator, -1, row + at, size - at) - 1;
    if (at < size - 1 && MultiByteToWideChar(CP_UTF8, 0, utf8, -1, row + at, size - at) <= 0)
        row[at] = 0;
}

// "Name, region, country · 12 345 чел.", the population when known.
static void place_row(const FoundPlace *place, const wchar_t *people, wchar_t *row, int size)
{
    row[0] = 0;
    append_utf8(row, size, NULL, place->name);
    append_utf8(row, size, ", ", place->region);
    append_utf8(row, size, ", ", place->country);
    if (place->population > 0 && lstrlenW(row) + 24 < size) {
        lstrcatW(row, L" \x00B7 ");
        append_grouped(row, size, place->population);
        lstrcatW(row, L" ");
        lstrcpynW(row + lstrlenW(row), people, size - lstrlenW(row));
    }
}

static void show_answer(HWND window, SearchWindow *state, const SearchAnswer *answer)
{
    clear_list(window, state);
    state->shown = *answer;
    wchar_t people[16];
    if (LoadStringW(GetModuleHandleA(NULL), IDS_SEARCH_PEOPLE, people, 16) <= 0)
        people[0] = 0;
    for (int32_t i = 0; i < answer->count; i++) {
        wchar_t row[ROW_SIZE];
        place_row(&answer->places[i], people, row, ROW_SIZE);
        SendDlgItemMessageW(window, IDC_SEARCH_LIST, LB_ADDSTRING, 0, (LPARAM)row);
    }
    if (answer->count > 0) {
        SendDlgItemMessageW(window, IDC_SEARCH_LIST, LB_SETCURSEL, 0, 0);
        set_status(window, 0);
    } else if (answer->failure != FETCH_FAILURE_NONE) {
        set_status_utf8(window, fetch_failure_text(answer->failure));
    } else {
        set_status(window, IDS_SEARCH_NOTHING);
    }
}

// The list's selected place goes to the panel, and the window closes.
static void choose(HWND window, SearchWindow *state)
{
    LRESULT selected = SendDlgItemMessageW(window, IDC_SEARCH_LIST, LB_GETCURSEL, 0, 0);
    if (selected == LB_ERR || selected < 0 || selected >= state->shown.count)
        return;
    FoundPlace place;
    found_place_to_cp1251(&state->shown.places[selected], &place);
    SendMessageA(GetWindow(window, GW_OWNER), PLACE_CHOSEN_MESSAGE, 0, (LPARAM)&place);
    DestroyWindow(window);
}

// Over the panel, inside the work area of its monitor.
static void place_over_owner(HWND window)
{
    HWND owner = GetWindow(window, GW_OWNER);
    RECT frame, over;
    MONITORINFO monitor;
    monitor.cbSize = sizeof monitor;
    if (owner == NULL || !GetWindowRect(window, &frame) || !GetWindowRect(owner, &over) ||
        !GetMonitorInfoA(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor))
        return;
    int width = frame.right - frame.left, height = frame.bottom - frame.top;
    int x = (over.left + over.right - width) / 2, y = (over.top + over.bottom - height) / 2;
    const RECT &area = monitor.rcWork;
    x = x + width > area.right ? area.right - width : x;
    y = y + height > area.bottom ? area.bottom - height : y;
    x = x < area.left ? area.left : x;
    y = y < area.top ? area.top : y;
    SetWindowPos(window, NULL, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

static INT_PTR on_init(HWND window)
{
    SearchWindow *state = (SearchWindow *)mem_alloc((uint32_t)sizeof(SearchWindow));
    if (state != NULL)
        memset(state, 0, sizeof *state);
    SetWindowLongPtrA(window, DWLP_USER, (LONG_PTR)state);
    SendDlgItemMessageW(window, IDC_SEARCH_QUERY, EM_LIMITTEXT, FOUND_TEXT_SIZE, 0);
    place_over_owner(window);
    SetFocus(GetDlgItem(window, IDC_SEARCH_QUERY));
    return FALSE;  // the focus is set
}

// Enter: from the list it chooses, elsewhere it searches at once.
static INT_PTR on_enter(HWND window, SearchWindow *state)
{
    if (GetFocus() == GetDlgItem(window, IDC_SEARCH_LIST))
        choose(window, state);
    else
        start_search(window, state);
    return TRUE;
}

static INT_PTR on_command(HWND window, WPARAM wparam)
{
    SearchWindow *state = state_of(window);
    if (state == NULL)
        return FALSE;
    int id = LOWORD(wparam);
    int notification = HIWORD(wparam);
    switch (id) {
    case IDOK:
        return on_enter(window, state);
    case IDCANCEL:
        DestroyWindow(window);
        return TRUE;
    case IDC_SEARCH_QUERY:
        if (notification == EN_CHANGE)
            SetTimer(window, SEARCH_TIMER, PLACE_SEARCH_DELAY_MS, NULL);
        return TRUE;
    case IDC_SEARCH_LIST:
        if (notification == LBN_DBLCLK)
            choose(window, state);
        return TRUE;
    default:
        return FALSE;
    }
}

static INT_PTR on_timer(HWND window, WPARAM id)
{
    SearchWindow *state = state_of(window);
    if (id == SEARCH_TIMER && state != NULL)
        start_search(window, state);
    return TRUE;
}

static INT_PTR on_answer(HWND window, WPARAM sequence, LPARAM lparam)
{
    SearchAnswer *answer = (SearchAnswer *)lparam;
    SearchWindow *state = state_of(window);
    if (state != NULL && (uint32_t)sequence == state->sequence) {
        if (state->cancel != NULL)
            CloseHandle(state->cancel);
        state->cancel = NULL;
        show_answer(window, state, answer);
    }
    mem_free(answer);
    return TRUE;
}

static INT_PTR on_destroy(HWND window)
{
    SearchWindow *state = state_of(window);
    if (state != NULL)
        supersede(state);
    // Answers already posted would be lost with the window: freed here.
    MSG message;
    while (PeekMessageA(&message, window, SEARCH_ANSWER_MESSAGE, SEARCH_ANSWER_MESSAGE, PM_REMOVE))
        mem_free((void *)message.lParam);
    SetWindowLongPtrA(window, DWLP_USER, 0);
    mem_free(state);
    if (place_search_dialog == window)
        place_search_dialog = NULL;
    return FALSE;
}

INT_PTR CALLBACK place_search_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_INITDIALOG:
        return on_init(window);
    case WM_COMMAND:
        return on_command(window, wparam);
    case WM_TIMER:
        return on_timer(window, wparam);
    case WM_DESTROY:
        return on_destroy(window);
    default:
        if (message == SEARCH_ANSWER_MESSAGE)
            return on_answer(window, wparam, lparam);
        return FALSE;
    }
}
