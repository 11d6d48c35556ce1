// The actual-weather page's walk: rows looked for in a fixed order from one
// forward cursor; only the temperature is required.
#include "fetch/actual_parser.h"

#include <stddef.h>

#include "fetch/page_scan.h"

// Picture numbers 1..98 in ascending order with their condition codes.
static const struct {
    uint8_t picture;
    uint8_t code;
} ACTUAL_PICTURES[98] = {
    {1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}, {6, 17}, {7, 17}, {8, 17}, {9, 17}, {10, 17},
    {11, 5}, {12, 5}, {13, 18}, {14, 5}, {15, 14}, {16, 15}, {17, 18}, {18, 17}, {19, 17}, {20, 15},
    {21, 11}, {22, 12}, {23, 14}, {24, 3}, {25, 1}, {26, 15}, {27, 3}, {28, 6}, {29, 17}, {30, 17},
    {31, 17}, {32, 17}, {33, 17}, {34, 17}, {35, 17}, {36, 17}, {37, 17}, {38, 17}, {39, 7}, {40, 7},
    {41, 6}, {42, 6}, {43, 6}, {44, 6}, {45, 6}, {46, 6}, {47, 6}, {48, 6}, {49, 6}, {50, 10},
    {51, 10}, {52, 10}, {53, 10}, {54, 9}, {55, 9}, {56, 10}, {57, 9}, {58, 10}, {59, 9}, {60, 11},
    {61, 11}, {62, 11}, {63, 11}, {64, 1}, {65, 1}, {66, 10}, {67, 9}, {68, 14}, {69, 15}, {70, 12},
    {71, 12}, {72, 12}, {73, 12}, {74, 2}, {75, 2}, {76, 2}, {77, 2}, {78, 2}, {79, 3}, {80, 11},
    {81, 9}, {82, 1}, {83, 14}, {84, 4}, {85, 14}, {86, 4}, {87, 14}, {88, 15}, {89, 3}, {90, 3},
    {91, 18}, {92, 19}, {93, 19}, {94, 8}, {95, 19}, {96, 19}, {97, 8}, {98, 8},
};

int16_t actual_condition_code(int32_t picture)
{
    for (size_t i = 0; i < sizeof ACTUAL_PICTURES / sizeof ACTUAL_PICTURES[0]; i++) {
        if (ACTUAL_PICTURES[i].picture == picture)
            return ACTUAL_PICTURES[i].code;
    }
    return 0;
}

// An optional number row: label, then its first "pogodacell>". A missing
// label sets no value (-1) and leaves the cursor; a label without a cell
// leaves the field unchanged and the cursor after the label.
static void read_number_row(PageCursor *cursor, const char *label, int32_t *field)
{
    if (!cursor_skip_past(cursor, label)) {
        *field = NO_VALUE;
        return;
    }
    if (cursor_skip_past(cursor, "pogodacell>"))
        *field = cursor_number(cursor);
}

// An optional text row whose cell, once the label is found, must follow and
// end with "</td>". Gives the cell's length (cursor on its first byte), -1
// for no label (cursor unmoved), -2 for a broken cell.
static int32_t find_text_cell(PageCursor *cursor, const char *label)
{
    if (!cursor_skip_past(cursor, label))
        return -1;
    if (!cursor_skip_past(cursor, "pogodacell>"))
        return -2;
    int32_t n = cursor_cell_length(cursor);
    return n < 0 ? -2 : n;
}

int parse_actual_page_into(WeatherRecord *record, const char *buffer, int32_t length)
{
    if (record == NULL)
        return 0;
    PageCursor cursor = {buffer, buffer != NULL && length > 0 ? length : 0};

    if (cursor_find(&cursor, "Фактические данные на этот срок отсутствуют") >= 0)
        return 0;

    read_number_row(&cursor, "Атмосферное давление", &record->pressure);

    if (!cursor_skip_past(&cursor, "pogodacell2>Температура воздуха") ||
        !cursor_skip_past(&cursor, "pogodacell><b>"))
        return 0;
    record->temperature = (int16_t)cursor_number(&cursor);

    read_number_row(&cursor, "pogodacell2>Относительная влажность", &record->humidity);

    if (cursor_skip_past(&cursor, "images/weather_images/"))
        record->condition = actual_condition_code(cursor_number(&cursor));

    int32_t n = find_text_cell(&cursor, "Комментарий к погоде");
    if (n == -2)
        return 0;
    // A block that cannot be allocated leaves the comment null.
    weather_comment_store(&record->comment, n >= 0 ? copy_cell_text(cursor.at, n) : NULL);

    n = find_text_cell(&cursor, "Направление ветра");
    if (n == -2)
        return 0;
    if (n >= 0)
        copy_wind_direction(record->wind_direction, cursor.at, n);
    else
        record->wind_direction[0] = 0;

    int32_t wind_speed = record->wind_speed;
    read_number_row(&cursor, "Скорость ветра", &wind_speed);
    record->wind_speed = (int16_t)wind_speed;

    read_number_row(&cursor, "Осадки за 6 часов", &record->precip_6h);
    read_number_row(&cursor, "Осадки за 12 часов", &record->precip_12h);
    read_number_row(&cursor, "Осадки за 24 часа", &record->precip_24h);
    return 1;
}

int parse_actual_page(const char *buffer, int32_t length)
{
    return parse_actual_page_into(weather_record, buffer, length);
}
