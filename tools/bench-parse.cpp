// bench-parse: the speed of the two page parsers over a 64 KB page of the
// service's shape (status line and headers, a long head of markup with
// Russian menus, styles and scripts, then the data table), against libxml2
// merely building a tree of the same bytes with htmlReadMemory.
//
//   bench-parse [--seconds S] [--save-pages DIR]
//
// Prints each parser's and libxml2's throughput in MB/s (10^6 bytes per
// second; the median of several timed rounds) and the ratio of each parser
// to libxml2 on its page. Exits 1 when a parser does not read the page whole.
#include <algorithm>
#include <chrono>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

#include <libxml/HTMLparser.h>

#include "fetch/actual_parser.h"
#include "fetch/forecast_parser.h"
#include "fetch/weather_record.h"
#include "tests/support/page_builder.h"
#include "util/mem.h"

namespace {

const size_t PAGE_SIZE = 65536;

// A site's head before the data: styles, a script, a menu of regions and
// cities with their Russian names, news teasers; Cyrillic text makes the
// bytes 0xD0 and 0xD1 as common as on the real pages.
std::string site_head(size_t size)
{
    static const char *const CITIES[] = {
        "Москва", "Санкт-Петербург", "Новосибирск", "Екатеринбург", "Казань", "Нижний Новгород",
        "Челябинск", "Самара", "Омск", "Ростов-на-Дону", "Уфа", "Красноярск", "Воронеж",
        "Пермь", "Волгоград", "Краснодар", "Саратов", "Тюмень", "Тольятти", "Ижевск",
    };
    static const char *const KEYS[] = {
        "moscow", "saint-petersburg", "novosibirsk", "yekaterinburg", "kazan", "nizhny-novgorod",
        "chelyabinsk", "samara", "omsk", "rostov-on-don", "ufa", "krasnoyarsk", "voronezh",
        "perm", "volgograd", "krasnodar", "saratov", "tyumen", "tolyatti", "izhevsk",
    };
    const size_t n = sizeof CITIES / sizeof CITIES[0];
    std::string head =
        "<div class=\"site\">\n<style>\n"
        ".menu{margin:0;padding:0 8px;list-style:none}.menu li{display:inline-block}\n"
        ".news h3{font:bold 13px/1.3 Arial,sans-serif;color:#1d4f91}\n</style>\n"
        "<script type=\"text/javascript\">\n"
        "var counters = []; function track(id) { counters.push({ id: id, at: Date.now() }); }\n"
        "window.addEventListener('load', function () { track('page'); });\n</script>\n"
        "<div class=\"header\"><a href=\"/\"><img src=\"/i/logo.png\" alt=\"Погода\" width=\"180\""
        " height=\"40\"></a><form action=\"/search\" method=\"get\"><input type=\"text\" name=\"q\""
        " placeholder=\"Найти город\"><input type=\"submit\" value=\"Найти\"></form></div>\n";
    char line[512];
    for (size_t i = 0; head.size() < size; i++) {
        size_t c = i % n;
        if (i % 25 == 0)
            head += "<ul class=\"menu\">\n";
        if (i % 7 == 3) {
            snprintf(line, sizeof line,
                     "<div class=\"news\"><h3><a href=\"/news/%zu\">В городе %s ожидается"
                     " похолодание</a></h3><p>Синоптики обещают снег и усиление ветра до %zu м/с"
                     " в ближайшие дни.</p></div>\n",
                     1000 + i, CITIES[c], 5 + i % 12);
        } else {
            snprintf(line, sizeof line,
                     "<li><a href=\"/pogoda/russia/%s-area/%s\" title=\"Погода в городе %s\""
                     " onclick=\"track(%zu)\">%s</a></li>\n",
                     KEYS[c], KEYS[c], CITIES[c], i, CITIES[c]);
        }
        head += line;
        if (i % 25 == 24)
            head += "</ul>\n";
    }
    head += "</ul></div>\n";
    return head;
}

// The builder's page with the site's head standing before the data table,
// headers in front, grown to exactly PAGE_SIZE bytes.
std::string service_page(char *(*build)(const void *, int32_t *), const void *spec)
{
    int32_t length = 0;
    char *built = build(spec, &length);
    std::string body(built, (size_t)length);
    mem_free(built);
    size_t table = body.find("<table class=pogodatable>");
    if (table == std::string::npos)
        table = 0;
    const char *head_format = "HTTP/1.1 200 OK\r\nServer: nginx\r\nContent-Type: text/html; charset=utf-8\r\n"
                              "Content-Length: %zu\r\nConnection: close\r\n\r\n";
    char headers[256];
    snprintf(headers, sizeof headers, head_format, PAGE_SIZE);
    size_t room = PAGE_SIZE - strlen(headers) - body.size();
    std::string head = site_head(room);
    head.resize(room, ' ');
    body.insert(table, head);
    return headers + body;
}

char *build_forecast(const void *spec, int32_t *length)
{
    ForecastPageSpec page = *(const ForecastPageSpec *)spec;
    page.with_headers = 0;
    return page_build_forecast(&page, length);
}

char *build_actual(const void *spec, int32_t *length)
{
    ActualPageSpec page = *(const ActualPageSpec *)spec;
    page.with_headers = 0;
    return page_build_actual(&page, length);
}

typedef int (*Work)(const std::string &page, WeatherRecord *record);

int run_forecast(const std::string &page, WeatherRecord *record)
{
    weather_record_reset(record);
    return parse_forecast_page_into(record, page.data(), (int32_t)page.size());
}

int run_actual(const std::string &page, WeatherRecord *record)
{
    weather_record_reset(record);
    return parse_actual_page_into(record, page.data(), (int32_t)page.size());
}

int run_libxml2(const std::string &page, WeatherRecord *)
{
    htmlDocPtr doc = htmlReadMemory(page.data(), (int)page.size(), "page.html", "UTF-8",
                                    HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                                        HTML_PARSE_NONET);
    int ok = doc != NULL;
    xmlFreeDoc(doc);
    return ok;
}

// MB/s over the page: rounds of as many runs as take about a tenth of the
// time given, the median round.
double throughput(Work work, const std::string &page, WeatherRecord *record, double seconds)
{
    typedef std::chrono::steady_clock Clock;
    int per_round = 1;
    for (;;) {
        Clock::time_point start = Clock::now();
        for (int i = 0; i < per_round; i++)
            work(page, record);
        double took = std::chrono::duration<double>(Clock::now() - start).count();
        if (took >= seconds / 10 || per_round >= (1 << 24))
            break;
        per_round *= 2;
    }
    std::vector<double> rates;
    for (int round = 0; round < 9; round++) {
        Clock::time_point start = Clock::now();
        for (int i = 0; i < per_round; i++)
            work(page, record);
        double took = std::chrono::duration<double>(Clock::now() - start).count();
        rates.push_back((double)page.size() * per_round / took / 1e6);
    }
    std::sort(rates.begin(), rates.end());
    return rates[rates.size() / 2];
}

int save(const char *dir, const char *name, const std::string &page)
{
    std::string path = std::string(dir) + "/" + name;
    FILE *file = fopen(path.c_str(), "wb");
    if (file == NULL)
        return 0;
    size_t wrote = fwrite(page.data(), 1, page.size(), file);
    return (fclose(file) == 0) & (wrote == page.size());
}

} // namespace

int main(int argc, char **argv)
{
    double seconds = 2.0;
    const char *save_dir = NULL;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = atof(argv[++i]);
        } else if (strcmp(argv[i], "--save-pages") == 0 && i + 1 < argc) {
            save_dir = argv[++i];
        } else {
            fprintf(stderr, "usage: bench-parse [--seconds S] [--save-pages DIR]\n");
            return 2;
        }
    }
    if (seconds <= 0)
        seconds = 2.0;

    ForecastPageSpec forecast_spec;
    page_forecast_defaults(&forecast_spec);
    ActualPageSpec actual_spec;
    page_actual_defaults(&actual_spec);
    std::string forecast = service_page(build_forecast, &forecast_spec);
    std::string actual = service_page(build_actual, &actual_spec);
    if (save_dir != NULL && !(save(save_dir, "forecast.html", forecast) && save(save_dir, "actual.html", actual))) {
        fprintf(stderr, "bench-parse: cannot write the pages to %s\n", save_dir);
        return 1;
    }

    WeatherRecord *record = weather_record_create();
    if (record == NULL)
        return 1;
    // The figures mean something only if the parsers read the pages whole.
    if (!run_forecast(forecast, record) || record->days[PAGE_DAYS - 1].wind_speed != forecast_spec.days[PAGE_DAYS - 1].wind_speed ||
        !run_actual(actual, record) || record->precip_24h != actual_spec.precip_24h) {
        fprintf(stderr, "bench-parse: a parser did not read its page whole\n");
        return 1;
    }
    xmlInitParser();

    printf("pages: forecast %zu bytes, actual %zu bytes; %.1f s per figure\n", forecast.size(), actual.size(),
           seconds);
    double f = throughput(run_forecast, forecast, record, seconds / 2);
    double a = throughput(run_actual, actual, record, seconds / 2);
    double xf = throughput(run_libxml2, forecast, record, seconds / 2);
    double xa = throughput(run_libxml2, actual, record, seconds / 2);
    printf("forecast parser          %9.0f MB/s\n", f);
    printf("actual parser            %9.0f MB/s\n", a);
    printf("libxml2 htmlReadMemory   %9.0f MB/s (forecast page), %.0f MB/s (actual page)\n", xf, xa);
    printf("ratio to libxml2         forecast %.1fx, actual %.1fx\n", f / xf, a / xa);
    weather_record_destroy(record);
    xmlCleanupParser();
    return 0;
}
