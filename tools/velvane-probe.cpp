// velvane-probe: finds, reads and pokes the windows of the desktop it runs
// in, for the tests that drive velvane.exe from outside.
//
//   velvane-probe COMMAND [ARGS...]
//
// A window is named by a handle (0x...) or by criteria joined with commas:
// title=TEXT (exact, ASCII), titlehex=HEX (exact, the title's UTF-8 bytes in
// hex), class=NAME, visible=1. The first top-level window, hidden ones
// included, that meets them all is taken.
//
//   find W              prints the handle; exit 1 when there is none
//   count W             prints how many top-level windows meet W
//   wait W MS           waits until W exists, prints its handle
//   wait-gone W MS      waits until no window meets W
//   wait-visible W 0|1 MS   waits until W is hidden (0) or shown (1)
//   rect W              prints left top right bottom of W's window rectangle
//   visible W           prints 1 or 0
//   focus W             prints the id and class of the control with the focus in W's thread
//   text W              prints W's title as UTF-8
//   send W MSG WPARAM LPARAM   sends a message, prints the result
//   answer-ms W         sends W a null message, prints how many ms its
//                       answer took (fails after 5 s without one)
//   post W MSG WPARAM LPARAM   posts a message
//   broadcast NAME      posts the registered message NAME to all top-level windows
//   workarea            prints left top right bottom of the desktop work area
//   icon W ID           prints 1 when the notification area has icon ID of W
//   delete-icon W ID    deletes that icon, as a restarting shell loses it
//   tooltips            prints the text of every visible tooltip, one a line
//   client W            prints left top right bottom of W's client area, in
//                       screen coordinates
//   item-rect W ID      the same for W's child window ID
//   item-text W ID      prints the text of W's child window ID, quoted and
//                       escaped as velvane-scrape prints its texts
//   item-selection W ID prints the selected position of W's combo box ID
//                       (or list box)
//   item-list W ID      prints every entry of W's combo box or list box ID,
//                       one a line, quoted as item-text prints
//   wait-text W ID MS   waits until W exists and its child ID has a text
//   process-stats W     prints the working set (bytes) and the handle count
//                       of W's process (counted in the system's handle
//                       list: Wine's GetProcessHandleCount gives 0)
//   icon-drawn X Y SIZE FILE ID   compares the screen's SIZE x SIZE square at
//                       X Y with icon ID of the program FILE drawn there over
//                       the background colour found just left of the square;
//                       prints how many pixels differ
//   date-cell W ID Y M D    prints the screen x y of a point in the cell of
//                       that date in W's month calendar ID (of the month shown)
//   date-selection W ID prints the selected date of W's month calendar ID as
//                       YYYY-MM-DD
//   hold TITLE SECONDS  keeps a hidden top-level window titled TITLE, prints
//                       "ready" once it exists
//   hold-mutex NAME SECONDS  holds the named mutex NAME, prints "ready"
// Exit code 0 when the command did what it says, 1 when not, 2 on misuse.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
#include <shellapi.h>
#include <winternl.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tools/quoted_text.h"

struct WindowQuery {
    const char *title;
    wchar_t title_wide[512];
    int has_title_wide;
    const char *class_name;
    int must_be_visible;
    HWND found;
    int count;
};

static int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Decodes hex UTF-8 bytes into a wide text; 0 on a malformed input.
static int decode_title_hex(const char *hex, size_t length, wchar_t *out, int out_size)
{
    char bytes[1024];
    if (length % 2 || length / 2 >= sizeof(bytes))
        return 0;
    for (size_t i = 0; i < length / 2; i++) {
        int high = hex_value(hex[2 * i]);
        int low = hex_value(hex[2 * i + 1]);
        if (high < 0 || low < 0)
            return 0;
        bytes[i] = (char)(high * 16 + low);
    }
    int written = MultiByteToWideChar(CP_UTF8, 0, bytes, (int)(length / 2), out, out_size - 1);
    if (written <= 0 && length)
        return 0;
    out[written] = 0;
    return 1;
}

// Criteria are kept in copies, so the caller's text may be split in place.
static char query_text[2048];

static int parse_query(const char *spec, WindowQuery *query)
{
    memset(query, 0, sizeof(*query));
    if (strlen(spec) >= sizeof(query_text))
        return 0;
    strcpy(query_text, spec);
    char *part = query_text;
    while (part && *part) {
        char *next = strchr(part, ',');
        if (next)
            *next++ = 0;
        if (strncmp(part, "title=", 6) == 0) {
            query->title = part + 6;
        } else if (strncmp(part, "titlehex=", 9) == 0) {
            if (!decode_title_hex(part + 9, strlen(part + 9), query->title_wide, 512))
                return 0;
            query->has_title_wide = 1;
        } else if (strncmp(part, "class=", 6) == 0) {
            query->class_name = part + 6;
        } else if (strcmp(part, "visible=1") == 0) {
            query->must_be_visible = 1;
        } else {
            return 0;
        }
        part = next;
    }
    return 1;
}

static int window_matches(HWND window, const WindowQuery *query)
{
    if (query->must_be_visible && !IsWindowVisible(window))
        return 0;
    if (query->class_name) {
        char name[256];
        if (!GetClassNameA(window, name, sizeof(name)) || strcmp(name, query->class_name) != 0)
            return 0;
    }
    if (query->title) {
        char title[512];
        GetWindowTextA(window, title, sizeof(title));
        if (strcmp(title, query->title) != 0)
            return 0;
    }
    if (query->has_title_wide) {
        wchar_t title[512];
        GetWindowTextW(window, title, 512);
        if (wcscmp(title, query->title_wide) != 0)
            return 0;
    }
    return 1;
}

static BOOL CALLBACK match_window(HWND window, LPARAM context)
{
    WindowQuery *query = (WindowQuery *)context;
    if (window_matches(window, query)) {
        if (!query->found)
            query->found = window;
        query->count++;
    }
    return TRUE;
}

// The window named by spec, or null; count receives the number of matches.
static HWND find_window(const char *spec, int *count)
{
    if (count)
        *count = 0;
    if (strncmp(spec, "0x", 2) == 0) {
        HWND window = (HWND)(uintptr_t)strtoull(spec + 2, nullptr, 16);
        if (!IsWindow(window))
            return nullptr;
        if (count)
            *count = 1;
        return window;
    }
    static WindowQuery query;
    if (!parse_query(spec, &query)) {
        fprintf(stderr, "velvane-probe: bad window criteria: %s\n", spec);
        exit(2);
    }
    EnumWindows(match_window, (LPARAM)&query);
    if (count)
        *count = query.count;
    return query.found;
}

static void print_handle(HWND window)
{
    printf("0x%llx\n", (unsigned long long)(uintptr_t)window);
}

static UINT parse_message(const char *text)
{
    return (UINT)strtoul(text, nullptr, 0);
}

static LPARAM parse_param(const char *text)
{
    return (LPARAM)strtoll(text, nullptr, 0);
}

// Polls every 20 ms until the predicate holds or ms have passed.
static int wait_until(int (*holds)(const char *, int), const char *spec, int argument, int ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (holds(spec, argument))
            return 1;
        if ((int)(GetTickCount() - start) >= ms)
            return 0;
        Sleep(20);
    }
}

static int window_exists(const char *spec, int) { return find_window(spec, nullptr) != nullptr; }
static int window_gone(const char *spec, int) { return find_window(spec, nullptr) == nullptr; }
static int window_visibility(const char *spec, int shown)
{
    HWND window = find_window(spec, nullptr);
    return window && (IsWindowVisible(window) ? 1 : 0) == shown;
}

static int item_has_text(const char *spec, int id)
{
    HWND window = find_window(spec, nullptr);
    HWND item = window ? GetDlgItem(window, id) : nullptr;
    DWORD_PTR length = 0;
    return item && SendMessageTimeoutA(item, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 1000, &length) &&
           length > 0;
}

// The system's extended handle list (information class 64), one entry per
// open handle of every process.
struct SystemHandleEntry {
    PVOID object;
    ULONG_PTR process_id;
    ULONG_PTR handle;
    ULONG access;
    USHORT back_trace;
    USHORT type;
    ULONG attributes;
    ULONG reserved;
};
struct SystemHandleList {
    ULONG_PTR count;
    ULONG_PTR reserved;
    SystemHandleEntry entries[1];
};

static long count_handles(DWORD process_id)
{
    const ULONG LENGTH_MISMATCH = 0xC0000004UL;
    ULONG size = 1 << 18;
    void *list = nullptr;
    for (int attempt = 0; attempt < 8; attempt++) {
        void *grown = realloc(list, size);
        if (!grown)
            break;
        list = grown;
        ULONG needed = 0;
        NTSTATUS status = NtQuerySystemInformation((SYSTEM_INFORMATION_CLASS)64, list, size, &needed);
        if ((ULONG)status == LENGTH_MISMATCH) {
            size *= 2;
            continue;
        }
        if (status != 0)
            break;
        const SystemHandleList *handles = (const SystemHandleList *)list;
        long count = 0;
        for (ULONG_PTR i = 0; i < handles->count; i++)
            if (handles->entries[i].process_id == process_id)
                count++;
        free(list);
        return count;
    }
    free(list);
    return -1;
}

static int print_process_stats(HWND window)
{
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
    if (!process)
        return 1;
    PROCESS_MEMORY_COUNTERS memory;
    memset(&memory, 0, sizeof(memory));
    memory.cb = sizeof(memory);
    int ok = GetProcessMemoryInfo(process, &memory, sizeof(memory));
    CloseHandle(process);
    long handles = count_handles(id);
    if (!ok || handles < 0)
        return 1;
    printf("%llu %ld\n", (unsigned long long)memory.WorkingSetSize, handles);
    return 0;
}

static int notify_icon(DWORD action, HWND window, UINT id)
{
    NOTIFYICONDATAW data;
    memset(&data, 0, sizeof(data));
    data.cbSize = sizeof(data);
    data.hWnd = window;
    data.uID = id;
    return Shell_NotifyIconW(action, &data) ? 1 : 0;
}

static void print_utf8(const wchar_t *text)
{
    char bytes[2048];
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof(bytes), nullptr, nullptr);
    if (length <= 0)
        bytes[0] = 0;
    printf("%s\n", bytes);
}

static BOOL CALLBACK print_tooltip(HWND window, LPARAM)
{
    char name[64];
    if (IsWindowVisible(window) && GetClassNameA(window, name, sizeof(name)) &&
        lstrcmpiA(name, "tooltips_class32") == 0) {
        wchar_t text[1024];
        text[0] = 0;
        SendMessageTimeoutW(window, WM_GETTEXT, 1024, (LPARAM)text, SMTO_ABORTIFHUNG, 2000, nullptr);
        print_utf8(text);
    }
    return TRUE;
}

// The text of another program's control: WM_GETTEXT is carried across
// processes, GetWindowText is not for controls.
static int print_item_text(HWND item)
{
    enum { TEXT_MAX = 65536 };
    static wchar_t text[TEXT_MAX];
    static char bytes[TEXT_MAX * 3];
    DWORD_PTR copied = 0;
    text[0] = 0;
    if (!SendMessageTimeoutW(item, WM_GETTEXT, TEXT_MAX, (LPARAM)text, SMTO_ABORTIFHUNG, 5000, &copied))
        return 1;
    text[TEXT_MAX - 1] = 0;
    if (WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof(bytes), nullptr, nullptr) <= 0)
        bytes[0] = 0;
    print_quoted(stdout, bytes);
    putchar('\n');
    return 0;
}

// The entries of another program's combo box or list box: the system
// carries their texts across processes.
static int print_item_list(HWND item)
{
    char name[64];
    if (!GetClassNameA(item, name, sizeof name))
        return 1;
    int list = lstrcmpiA(name, "ListBox") == 0;
    UINT get_count = list ? LB_GETCOUNT : CB_GETCOUNT;
    UINT get_length = list ? LB_GETTEXTLEN : CB_GETLBTEXTLEN;
    UINT get_text = list ? LB_GETTEXT : CB_GETLBTEXT;
    DWORD_PTR count = 0;
    if (!SendMessageTimeoutW(item, get_count, 0, 0, SMTO_ABORTIFHUNG, 5000, &count))
        return 1;
    for (LRESULT i = 0; i < (LRESULT)count; i++) {
        static wchar_t text[4096];
        static char bytes[4096 * 3];
        DWORD_PTR length = 0;
        text[0] = 0;
        if (!SendMessageTimeoutW(item, get_length, (WPARAM)i, 0, SMTO_ABORTIFHUNG, 5000, &length) ||
            (LRESULT)length < 0 || length >= 4096 ||
            !SendMessageTimeoutW(item, get_text, (WPARAM)i, (LPARAM)text, SMTO_ABORTIFHUNG, 5000, &length))
            return 1;
        text[4095] = 0;
        if (WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof(bytes), nullptr, nullptr) <= 0)
            bytes[0] = 0;
        print_quoted(stdout, bytes);
        putchar('\n');
    }
    return 0;
}

// A block in the memory of a window's process, for the messages whose
// parameter points at a structure.
struct Remote {
    HANDLE process;
    void *block;
};

static int remote_open(HWND window, SIZE_T size, Remote *remote)
{
    DWORD process_id = 0;
    GetWindowThreadProcessId(window, &process_id);
    remote->process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process_id);
    remote->block = remote->process ? VirtualAllocEx(remote->process, nullptr, size, MEM_COMMIT, PAGE_READWRITE)
                                    : nullptr;
    return remote->block != nullptr;
}

static void remote_close(Remote *remote)
{
    if (remote->block)
        VirtualFreeEx(remote->process, remote->block, 0, MEM_RELEASE);
    if (remote->process)
        CloseHandle(remote->process);
}

// The calendar's own hit test over its client area, point by point.
static int print_date_cell(HWND calendar, int year, int month, int day)
{
    Remote remote;
    int found = 0;
    if (remote_open(calendar, sizeof(MCHITTESTINFO), &remote)) {
        RECT client;
        GetClientRect(calendar, &client);
        for (int y = 0; y < client.bottom && !found; y += 3)
            for (int x = 0; x < client.right && !found; x += 3) {
                MCHITTESTINFO hit;
                memset(&hit, 0, sizeof hit);
                hit.cbSize = sizeof hit;
                hit.pt.x = x;
                hit.pt.y = y;
                SIZE_T moved = 0;
                WriteProcessMemory(remote.process, remote.block, &hit, sizeof hit, &moved);
                SendMessageA(calendar, MCM_HITTEST, 0, (LPARAM)remote.block);
                ReadProcessMemory(remote.process, remote.block, &hit, sizeof hit, &moved);
                if (hit.uHit == MCHT_CALENDARDATE && hit.st.wYear == year && hit.st.wMonth == month &&
                    hit.st.wDay == day) {
                    POINT at = {x + 4, y + 4};  // into the cell, off its edge
                    ClientToScreen(calendar, &at);
                    printf("%ld %ld\n", at.x, at.y);
                    found = 1;
                }
            }
    }
    remote_close(&remote);
    return found ? 0 : 1;
}

static int print_date_selection(HWND calendar)
{
    Remote remote;
    int ok = 0;
    if (remote_open(calendar, sizeof(SYSTEMTIME), &remote) &&
        SendMessageA(calendar, MCM_GETCURSEL, 0, (LPARAM)remote.block)) {
        SYSTEMTIME date;
        SIZE_T moved = 0;
        if (ReadProcessMemory(remote.process, remote.block, &date, sizeof date, &moved)) {
            printf("%04d-%02d-%02d\n", date.wYear, date.wMonth, date.wDay);
            ok = 1;
        }
    }
    remote_close(&remote);
    return ok ? 0 : 1;
}

static void print_rect(const RECT *rect)
{
    printf("%ld %ld %ld %ld\n", rect->left, rect->top, rect->right, rect->bottom);
}

// Counts the pixels of the screen square that differ from the icon drawn
// over the background: -1 when the icon cannot be had.
static int compare_icon(int x, int y, int size, const char *file, int id)
{
    HMODULE module = LoadLibraryExA(file, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return -1;
    HICON icon = (HICON)LoadImageA(module, MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, 0);
    if (!icon) {
        FreeLibrary(module);
        return -1;
    }
    HDC screen = GetDC(nullptr);
    HDC shot = CreateCompatibleDC(screen);
    HDC drawn = CreateCompatibleDC(screen);
    HBITMAP shot_bitmap = CreateCompatibleBitmap(screen, size, size);
    HBITMAP drawn_bitmap = CreateCompatibleBitmap(screen, size, size);
    HGDIOBJ old_shot = SelectObject(shot, shot_bitmap);
    HGDIOBJ old_drawn = SelectObject(drawn, drawn_bitmap);
    BitBlt(shot, 0, 0, size, size, screen, x, y, SRCCOPY);
    COLORREF background = GetPixel(screen, x - 2, y);
    HBRUSH brush = CreateSolidBrush(background);
    RECT square = {0, 0, size, size};
    FillRect(drawn, &square, brush);
    DrawIconEx(drawn, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    int differing = 0;
    for (int row = 0; row < size; row++)
        for (int column = 0; column < size; column++)
            if (GetPixel(shot, column, row) != GetPixel(drawn, column, row))
                differing++;
    DeleteObject(brush);
    SelectObject(shot, old_shot);
    SelectObject(drawn, old_drawn);
    DeleteObject(shot_bitmap);
    DeleteObject(drawn_bitmap);
    DeleteDC(shot);
    DeleteDC(drawn);
    ReleaseDC(nullptr, screen);
    DestroyIcon(icon);
    FreeLibrary(module);
    return differing;
}

static int hold_window(const char *title, int seconds)
{
    WNDCLASSA window_class;
    memset(&window_class, 0, sizeof(window_class));
    window_class.lpfnWndProc = DefWindowProcA;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "VelvaneProbeHold";
    RegisterClassA(&window_class);
    HWND window = CreateWindowExA(0, "VelvaneProbeHold", title, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                  nullptr, nullptr, window_class.hInstance, nullptr);
    if (!window)
        return 1;
    printf("ready\n");
    fflush(stdout);
    SetTimer(nullptr, 0, (UINT)seconds * 1000, nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER)
            break;
        DispatchMessageA(&message);
    }
    DestroyWindow(window);
    return 0;
}

static int usage(void)
{
    fprintf(stderr, "usage: velvane-probe COMMAND [ARGS...] (see the source for the commands)\n");
    return 2;
}

int main(int argc, char **argv)
{
    if (argc < 2)
        return usage();
    const char *command = argv[1];
    int count = 0;

    if (strcmp(command, "workarea") == 0) {
        RECT area;
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
        printf("%ld %ld %ld %ld\n", area.left, area.top, area.right, area.bottom);
        return 0;
    }
    if (strcmp(command, "tooltips") == 0) {
        EnumWindows(print_tooltip, 0);
        return 0;
    }
    if (strcmp(command, "broadcast") == 0 && argc == 3) {
        UINT message = RegisterWindowMessageA(argv[2]);
        return PostMessageA(HWND_BROADCAST, message, 0, 0) ? 0 : 1;
    }
    if (strcmp(command, "hold") == 0 && argc == 4)
        return hold_window(argv[2], atoi(argv[3]));
    if (strcmp(command, "hold-mutex") == 0 && argc == 4) {
        HANDLE mutex = CreateMutexA(nullptr, TRUE, argv[2]);
        if (!mutex)
            return 1;
        printf("ready\n");
        fflush(stdout);
        Sleep((DWORD)atoi(argv[3]) * 1000);
        CloseHandle(mutex);
        return 0;
    }
    if (strcmp(command, "icon-drawn") == 0 && argc == 7) {
        int differing = compare_icon(atoi(argv[2]), atoi(argv[3]), atoi(argv[4]), argv[5], atoi(argv[6]));
        if (differing < 0)
            return 1;
        printf("%d\n", differing);
        return 0;
    }
    if (argc < 3)
        return usage();

    const char *spec = argv[2];
    if (strcmp(command, "find") == 0) {
        HWND window = find_window(spec, nullptr);
        if (!window)
            return 1;
        print_handle(window);
        return 0;
    }
    if (strcmp(command, "count") == 0) {
        find_window(spec, &count);
        printf("%d\n", count);
        return 0;
    }
    if (strcmp(command, "wait") == 0 && argc == 4) {
        if (!wait_until(window_exists, spec, 0, atoi(argv[3])))
            return 1;
        print_handle(find_window(spec, nullptr));
        return 0;
    }
    if (strcmp(command, "wait-gone") == 0 && argc == 4)
        return wait_until(window_gone, spec, 0, atoi(argv[3])) ? 0 : 1;
    if (strcmp(command, "wait-text") == 0 && argc == 5)
        return wait_until(item_has_text, spec, atoi(argv[3]), atoi(argv[4])) ? 0 : 1;
    if (strcmp(command, "wait-visible") == 0 && argc == 5)
        return wait_until(window_visibility, spec, atoi(argv[3]), atoi(argv[4])) ? 0 : 1;

    // A notification icon outlives its window when the window was not
    // deleted properly: a handle given in hex is taken as it stands.
    if ((strcmp(command, "icon") == 0 || strcmp(command, "delete-icon") == 0) && argc == 4) {
        HWND owner = strncmp(spec, "0x", 2) == 0 ? (HWND)(uintptr_t)strtoull(spec + 2, nullptr, 16)
                                                 : find_window(spec, nullptr);
        UINT id = (UINT)atoi(argv[3]);
        if (command[0] == 'i') {
            printf("%d\n", notify_icon(NIM_MODIFY, owner, id));
            return 0;
        }
        return notify_icon(NIM_DELETE, owner, id) ? 0 : 1;
    }

    HWND window = find_window(spec, nullptr);
    if (!window) {
        fprintf(stderr, "velvane-probe: no window %s\n", spec);
        return 1;
    }
    if (strcmp(command, "rect") == 0) {
        RECT rect;
        GetWindowRect(window, &rect);
        printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right, rect.bottom);
        return 0;
    }
    if (strcmp(command, "process-stats") == 0)
        return print_process_stats(window);
    if (strcmp(command, "client") == 0) {
        RECT rect;
        GetClientRect(window, &rect);
        MapWindowPoints(window, nullptr, (POINT *)&rect, 2);
        print_rect(&rect);
        return 0;
    }
    if ((strcmp(command, "item-rect") == 0 || strcmp(command, "item-text") == 0 ||
         strcmp(command, "item-selection") == 0 || strcmp(command, "item-list") == 0) && argc == 4) {
        HWND item = GetDlgItem(window, atoi(argv[3]));
        if (!item) {
            fprintf(stderr, "velvane-probe: no item %s in %s\n", argv[3], spec);
            return 1;
        }
        if (command[5] == 'r') {
            RECT rect;
            GetWindowRect(item, &rect);
            print_rect(&rect);
            return 0;
        }
        if (command[5] == 't')
            return print_item_text(item);
        if (command[5] == 'l')
            return print_item_list(item);
        char name[64];
        UINT get_selection = GetClassNameA(item, name, sizeof name) && lstrcmpiA(name, "ListBox") == 0
                                 ? LB_GETCURSEL
                                 : CB_GETCURSEL;
        DWORD_PTR selection = 0;
        if (!SendMessageTimeoutA(item, get_selection, 0, 0, SMTO_ABORTIFHUNG, 5000, &selection))
            return 1;
        printf("%lld\n", (long long)(LRESULT)selection);
        return 0;
    }
    if ((strcmp(command, "date-cell") == 0 && argc == 7) || (strcmp(command, "date-selection") == 0 && argc == 4)) {
        HWND calendar = GetDlgItem(window, atoi(argv[3]));
        if (!calendar)
            return 1;
        if (command[5] == 'c')
            return print_date_cell(calendar, atoi(argv[4]), atoi(argv[5]), atoi(argv[6]));
        return print_date_selection(calendar);
    }
    if (strcmp(command, "visible") == 0) {
        printf("%d\n", IsWindowVisible(window) ? 1 : 0);
        return 0;
    }
    if (strcmp(command, "focus") == 0) {
        // The control with the keyboard focus in the window's thread: its
        // id and class, "0 -" when none.
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        char name[64] = "-";
        HWND focus = GetGUIThreadInfo(GetWindowThreadProcessId(window, NULL), &info) ? info.hwndFocus : NULL;
        if (focus != NULL)
            GetClassNameA(focus, name, sizeof name);
        printf("%d %s\n", focus != NULL ? GetDlgCtrlID(focus) : 0, name);
        return 0;
    }
    if (strcmp(command, "text") == 0) {
        wchar_t text[1024];
        GetWindowTextW(window, text, 1024);
        print_utf8(text);
        return 0;
    }
    if (strcmp(command, "answer-ms") == 0 && argc == 3) {
        ULONGLONG start = GetTickCount64();
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result))
            return 1;
        printf("%llu\n", (unsigned long long)(GetTickCount64() - start));
        return 0;
    }
    if (strcmp(command, "send") == 0 && argc == 6) {
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(window, parse_message(argv[3]), (WPARAM)parse_param(argv[4]),
                                 parse_param(argv[5]), SMTO_NORMAL, 5000, &result))
            return 1;
        printf("%lld\n", (long long)result);
        return 0;
    }
    if (strcmp(command, "post") == 0 && argc == 6)
        return PostMessageA(window, parse_message(argv[3]), (WPARAM)parse_param(argv[4]),
                            parse_param(argv[5]))
                   ? 0
                   : 1;
    return usage();
}
