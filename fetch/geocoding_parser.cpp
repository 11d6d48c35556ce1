// The place search's request and the reader of its answer, parsed by
// rapidjson as the forecast's answer is (fetch/open_data_parser.cpp).
#include "fetch/geocoding_parser.h"

#include <math.h>
#include <string.h>

#include "fetch/http_client.h"
#include "fetch/json_reader.h"
#include "util/mem.h"

namespace {

enum { PARSER_CHUNK = 4096 };

const char PATH_START[] = "v1/search?name=";
const char PATH_END[] = "&count=10&language=ru&format=json";

// The length of the valid UTF-8 character at text (at most left bytes),
// or 0 for a byte that starts none: a broken sequence, an overlong form, a
// surrogate (rapidjson writes a lone "\udc00" escape as one), a zero byte.
uint32_t utf8_character_length(const unsigned char *text, uint32_t left)
{
    unsigned lead = text[0];
    uint32_t length;
    uint32_t value;
    if (lead >= 0x01 && lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
    } else {
        return 0;
    }
    if (length > left)
        return 0;
    for (uint32_t i = 1; i < length; i++) {
        if ((text[i] & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (text[i] & 0x3Fu);
    }
    if ((length == 3 && (value < 0x800 || (value >= 0xD800 && value <= 0xDFFF))) ||
        (length == 4 && (value < 0x10000 || value > 0x10FFFF)))
        return 0;
    return length;
}

// A text member into room of FOUND_TEXT_SIZE: whole characters while they
// fit, up to the first byte that is not one; empty when it is no text.
void copy_text(const JsonValue *value, char *room)
{
    room[0] = 0;
    if (value == NULL || !value->IsString())
        return;
    const unsigned char *text = (const unsigned char *)value->GetString();
    uint32_t left = value->GetStringLength();
    uint32_t used = 0;
    while (used < left) {
        uint32_t n = utf8_character_length(text + used, left - used);
        if (n == 0 || used + n > FOUND_TEXT_SIZE - 1)
            break;
        used += n;
    }
    memcpy(room, text, used);
    room[used] = 0;
}

// Degrees to degrees times 10000, half away from zero; 0 when no number
// or beyond limit_e4 either way. The answer's decimals are the figure: a
// half that the double's product falls a hair short of is still a half.
int read_degrees(const JsonValue *value, int32_t limit_e4, int32_t *out)
{
    if (value == NULL || !value->IsNumber())
        return 0;
    double product = value->GetDouble() * 10000.0;
    double whole = trunc(product);
    double scaled = whole;
    if (fabs(product - whole) >= 0.5 - 1e-7)
        scaled += product < 0 ? -1.0 : 1.0;
    if (!(scaled >= -(double)limit_e4 && scaled <= (double)limit_e4))
        return 0;
    *out = (int32_t)scaled;
    return 1;
}

int32_t read_population(const JsonValue *value)
{
    if (value == NULL || !value->IsNumber())
        return -1;
    double v = value->GetDouble();
    return v >= 0 && v <= 2147483647.0 ? (int32_t)v : -1;
}

void read_country_code(const JsonValue *value, char *code)
{
    code[0] = 0;
    if (value == NULL || !value->IsString() || value->GetStringLength() != 2)
        return;
    const char *text = value->GetString();
    for (int i = 0; i < 2; i++) {
        char c = text[i];
        if (c >= 'a' && c <= 'z')
            c = (char)(c - 'a' + 'A');
        if (c < 'A' || c > 'Z') {
            code[0] = 0;
            return;
        }
        code[i] = c;
    }
    code[2] = 0;
}

// One entry of "results"; 0 when it is to be skipped.
int read_place(const JsonValue *entry, FoundPlace *place)
{
    memset(place, 0, sizeof *place);
    copy_text(json_member(entry, "name"), place->name);
    if (place->name[0] == 0 || !read_degrees(json_member(entry, "latitude"), 900000, &place->latitude_e4) ||
        !read_degrees(json_member(entry, "longitude"), 1800000, &place->longitude_e4))
        return 0;
    copy_text(json_member(entry, "admin1"), place->region);
    copy_text(json_member(entry, "country"), place->country);
    read_country_code(json_member(entry, "country_code"), place->country_code);
    place->population = read_population(json_member(entry, "population"));
    return 1;
}

int is_unreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

} // namespace

char *geocoding_path(const char *query_utf8)
{
    if (query_utf8 == NULL)
        return NULL;
    size_t length = strlen(query_utf8);
    size_t size = sizeof PATH_START - 1 + length * 3 + sizeof PATH_END;
    if (length > 0x7FFFFFFFu / 4)
        return NULL;
    char *path = (char *)mem_alloc((uint32_t)size);
    if (path == NULL)
        return NULL;
    static const char HEX[] = "0123456789ABCDEF";
    char *out = path;
    memcpy(out, PATH_START, sizeof PATH_START - 1);
    out += sizeof PATH_START - 1;
    for (const unsigned char *p = (const unsigned char *)query_utf8; *p; p++) {
        if (is_unreserved(*p)) {
            *out++ = (char)*p;
        } else {
            *out++ = '%';
            *out++ = HEX[*p >> 4];
            *out++ = HEX[*p & 15];
        }
    }
    memcpy(out, PATH_END, sizeof PATH_END);
    return path;
}

int32_t parse_found_places(const char *bytes, int32_t length, FoundPlace *places, int32_t capacity)
{
    if (bytes == NULL || length <= 0)
        return -1;
    int32_t body_length = 0;
    const char *body = http_body_of_200(bytes, length, &body_length);
    if (body == NULL)
        return -1;

    JsonAllocator base;
    JsonPool pool(PARSER_CHUNK, &base);
    JsonDocument document(&pool, 1024, &base);
    document.Parse<JSON_PARSE_FLAGS>(body, (size_t)body_length);
    if (document.HasParseError() || !document.IsObject())
        return -1;
    const JsonValue *error = json_member(&document, "error");
    if (error != NULL && error->IsTrue())
        return -1;
    const JsonValue *results = json_member(&document, "results");
    if (results == NULL || results->IsNull())
        return 0;
    if (!results->IsArray())
        return -1;
    if (places == NULL)
        capacity = 0;
    int32_t count = 0;
    for (rapidjson::SizeType i = 0; i < results->Size() && count < capacity; i++) {
        FoundPlace place;
        if (read_place(&(*results)[i], &place))
            places[count++] = place;
    }
    return count;
}
