// The simulator's weather model. Everything follows from a hash of the seed,
// the location path and the day, so that a page asked for twice reads the
// same; the seasons come from the climate table, so that Cairo has no frost
// in July and Yakutsk no thaw in January.
#include "tools/sim/sim_weather.h"

#include <math.h>
#include <string.h>

#include "panel/day_number.h"

namespace {

// Countries, by their catalogue keys. Southern places have the warm January.
const SimClimate COUNTRY_CLIMATES[] = {
    {"australia", 26, 13, 11, 25, 4},
    {"austria", -1, 19, 8, 40, 3},
    {"bahamas", 22, 28, 6, 30, 4},
    {"barbados", 26, 28, 5, 40, 5},
    {"belarus", -6, 18, 8, 45, 3},
    {"islands-bermudskie", 18, 27, 5, 40, 5},
    {"bulgaria", 0, 22, 10, 35, 3},
    {"brazil", 27, 22, 8, 45, 3},
    {"the-hawaiian-islands", 23, 26, 6, 35, 5},
    {"haiti", 25, 29, 8, 35, 3},
    {"germany", 1, 18, 8, 45, 4},
    {"greece", 10, 27, 8, 25, 4},
    {"denmark", 1, 17, 6, 50, 6},
    {"egypt", 14, 28, 12, 3, 4},
    {"israel", 13, 27, 10, 15, 3},
    {"india", 18, 29, 10, 40, 3},
    {"indonesia", 27, 27, 7, 60, 2},
    {"spain", 9, 25, 11, 25, 3},
    {"italy", 6, 24, 9, 30, 3},
    {"kazakhstan", -11, 22, 12, 25, 4},
    {"canada", -12, 18, 10, 40, 5},
    {"cyprus", 12, 28, 10, 15, 3},
    {"china", -2, 26, 9, 35, 3},
    {"cuba", 22, 28, 8, 35, 3},
    {"madagascar", 25, 19, 9, 45, 3},
    {"maldives", 28, 28, 4, 45, 4},
    {"mexico", 16, 23, 12, 35, 3},
    {"moldova", -3, 21, 9, 35, 3},
    {"mongolia", -22, 18, 13, 15, 4},
    {"new-zealand", 18, 9, 8, 50, 5},
    {"norway", -4, 14, 6, 55, 5},
    {"arab-emirates", 19, 35, 10, 3, 4},
    {"romania", -2, 21, 10, 35, 3},
    {"usa", 2, 24, 10, 35, 4},
    {"saudi-arabia", 15, 34, 13, 3, 4},
    {"tajland", 26, 29, 8, 45, 2},
    {"turkey", 4, 24, 11, 25, 3},
    {"ukraine", -4, 20, 9, 40, 4},
    {"fidji", 27, 23, 6, 50, 4},
    {"finland", -8, 16, 7, 45, 4},
    {"france", 5, 20, 9, 40, 4},
    {"czechia", -1, 19, 9, 40, 4},
    {"switzerland", -1, 18, 9, 45, 3},
    {"sweden", -4, 16, 7, 45, 4},
    {"yugoslavia", 1, 22, 10, 35, 3},
    {"the-republic-of-south-africa", 22, 11, 13, 25, 4},
    {"jamaica", 25, 28, 8, 35, 4},
    {"japan", 4, 25, 7, 45, 4},
};

// Cities of the large countries whose climate is far from their country's
// row: Florida has no frost in January, Anchorage no heat in July, Harbin
// a Siberian winter and Darwin a tropical July.
const SimClimate FLORIDA_SOUTH = {"florida-south", 20, 29, 7, 40, 4};
const SimClimate FLORIDA = {"florida", 15, 28, 9, 40, 4};
const SimClimate GULF = {"gulf", 12, 29, 9, 35, 4};
const SimClimate DESERT = {"desert", 11, 33, 14, 5, 3};
const SimClimate CALIFORNIA = {"california", 13, 21, 9, 15, 3};
const SimClimate ALASKA = {"alaska", -9, 15, 7, 40, 4};
const SimClimate PACIFIC_CANADA = {"pacific-canada", 4, 18, 7, 50, 4};
const SimClimate NORTH_CANADA = {"north-canada", -26, 14, 7, 30, 4};
const SimClimate TROPICAL_AUSTRALIA = {"tropical-australia", 28, 23, 8, 40, 4};
const SimClimate TASMANIA = {"tasmania", 17, 9, 9, 45, 5};
const SimClimate NORTH_EAST_CHINA = {"north-east-china", -18, 22, 11, 25, 3};
const SimClimate SOUTH_CHINA = {"south-china", 14, 29, 7, 45, 3};
const SimClimate YUNNAN = {"yunnan", 9, 20, 10, 40, 3};
const SimClimate KASHMIR = {"kashmir", 2, 24, 12, 25, 3};

struct CityClimate {
    const char *country_key;
    const char *city_key;
    const SimClimate *climate;
};

const CityClimate CITY_CLIMATES[] = {
    {"usa", "miami", &FLORIDA_SOUTH}, {"usa", "hialeah", &FLORIDA_SOUTH},
    {"usa", "fort-lauderdale", &FLORIDA_SOUTH}, {"usa", "pembroke-pines", &FLORIDA_SOUTH},
    {"usa", "cape-coral", &FLORIDA_SOUTH}, {"usa", "orlando", &FLORIDA}, {"usa", "tampa", &FLORIDA},
    {"usa", "saint-petersburg", &FLORIDA}, {"usa", "jacksonville", &FLORIDA}, {"usa", "tallahassee", &FLORIDA},
    {"usa", "houston", &GULF}, {"usa", "san-antonio", &GULF}, {"usa", "austin", &GULF},
    {"usa", "corpus-christi", &GULF}, {"usa", "brownsville", &GULF}, {"usa", "laredo", &GULF},
    {"usa", "new-orleans", &GULF}, {"usa", "baton-rouge", &GULF},
    {"usa", "phoenix", &DESERT}, {"usa", "mesa", &DESERT}, {"usa", "tempe", &DESERT},
    {"usa", "scottsdale", &DESERT}, {"usa", "chandler", &DESERT}, {"usa", "gilbert", &DESERT},
    {"usa", "tucson", &DESERT}, {"usa", "las-vegas", &DESERT}, {"usa", "north-las-vegas", &DESERT},
    {"usa", "henderson", &DESERT}, {"usa", "paradise", &DESERT},
    {"usa", "los-angeles", &CALIFORNIA}, {"usa", "san-diego", &CALIFORNIA}, {"usa", "long-beach", &CALIFORNIA},
    {"usa", "anaheim", &CALIFORNIA}, {"usa", "santa-ana", &CALIFORNIA}, {"usa", "irvine", &CALIFORNIA},
    {"usa", "huntington-beach", &CALIFORNIA}, {"usa", "oxnard", &CALIFORNIA}, {"usa", "oceanside", &CALIFORNIA},
    {"usa", "chula-vista", &CALIFORNIA}, {"usa", "torrance", &CALIFORNIA}, {"usa", "san-francisco", &CALIFORNIA},
    {"usa", "oakland", &CALIFORNIA}, {"usa", "san-jose", &CALIFORNIA}, {"usa", "fremont", &CALIFORNIA},
    {"usa", "anchorage", &ALASKA},
    {"canada", "vancouver", &PACIFIC_CANADA}, {"canada", "burnaby", &PACIFIC_CANADA},
    {"canada", "victoria", &PACIFIC_CANADA}, {"canada", "abbotsford", &PACIFIC_CANADA},
    {"canada", "delta", &PACIFIC_CANADA}, {"canada", "colwood", &PACIFIC_CANADA},
    {"canada", "duncan", &PACIFIC_CANADA}, {"canada", "ladysmith", &PACIFIC_CANADA},
    {"canada", "courtenay", &PACIFIC_CANADA}, {"canada", "campbell-river", &PACIFIC_CANADA},
    {"canada", "iqaluit", &NORTH_CANADA}, {"canada", "yellowknife", &NORTH_CANADA},
    {"australia", "darwin", &TROPICAL_AUSTRALIA}, {"australia", "cairns", &TROPICAL_AUSTRALIA},
    {"australia", "townsville", &TROPICAL_AUSTRALIA}, {"australia", "hobart", &TASMANIA},
    {"australia", "launceston", &TASMANIA},
    {"china", "harbin", &NORTH_EAST_CHINA}, {"china", "qiqihar", &NORTH_EAST_CHINA},
    {"china", "daqing", &NORTH_EAST_CHINA}, {"china", "jiamusi", &NORTH_EAST_CHINA},
    {"china", "mudanjiang", &NORTH_EAST_CHINA}, {"china", "hegang", &NORTH_EAST_CHINA},
    {"china", "jixi", &NORTH_EAST_CHINA}, {"china", "hailar", &NORTH_EAST_CHINA},
    {"china", "jilin", &NORTH_EAST_CHINA}, {"china", "anda", &NORTH_EAST_CHINA},
    {"china", "guangzhou", &SOUTH_CHINA}, {"china", "dongguan", &SOUTH_CHINA}, {"china", "foshan", &SOUTH_CHINA},
    {"china", "humen", &SOUTH_CHINA}, {"china", "huizhou", &SOUTH_CHINA}, {"china", "jiangmen", &SOUTH_CHINA},
    {"china", "haikou", &SOUTH_CHINA}, {"china", "nanning", &SOUTH_CHINA}, {"china", "beihai", &SOUTH_CHINA},
    {"china", "xiamen", &SOUTH_CHINA}, {"china", "quanzhou", &SOUTH_CHINA}, {"china", "putian", &SOUTH_CHINA},
    {"china", "kunming", &YUNNAN},
    {"india", "srinagar", &KASHMIR},
};

// Russia's climate zones.
enum RussianZone {
    ZONE_CENTRAL, ZONE_NORTH_WEST, ZONE_ARCTIC, ZONE_SOUTH, ZONE_BLACK_EARTH, ZONE_VOLGA,
    ZONE_URAL, ZONE_WEST_SIBERIA, ZONE_EAST_SIBERIA, ZONE_YAKUTIA, ZONE_FAR_EAST,
    ZONE_KALININGRAD, ZONE_COUNT
};

const SimClimate ZONE_CLIMATES[ZONE_COUNT] = {
    {"central", -8, 18, 8, 45, 3},
    {"north-west", -7, 17, 7, 50, 4},
    {"arctic", -16, 11, 6, 45, 6},
    {"south", -2, 24, 10, 30, 4},
    {"black-earth", -7, 20, 9, 40, 4},
    {"volga", -12, 20, 9, 35, 4},
    {"ural", -15, 18, 9, 40, 3},
    {"west-siberia", -17, 19, 10, 35, 3},
    {"east-siberia", -22, 18, 12, 30, 3},
    {"yakutia", -35, 17, 11, 25, 3},
    {"far-east", -15, 19, 8, 40, 5},
    {"kaliningrad", -2, 18, 7, 50, 5},
};

struct RegionZone {
    const char *region_key;
    RussianZone zone;
};

// Every region key of the catalogue's Russian rows; a key not here counts
// as central Russia. Magadan lies on the sea: a January of -16, not the
// interior's -35.
const RegionZone REGION_ZONES[] = {
    {"aginsky-burjatskij-ar", ZONE_EAST_SIBERIA}, {"altai-territory", ZONE_WEST_SIBERIA},
    {"amur-area", ZONE_FAR_EAST}, {"arkhangelsk-area", ZONE_ARCTIC},
    {"astrakhan-area", ZONE_SOUTH}, {"belgorod-area", ZONE_BLACK_EARTH},
    {"bryansk-area", ZONE_BLACK_EARTH}, {"chechen-republic", ZONE_SOUTH},
    {"chelyabinsk-area", ZONE_URAL}, {"chita-area", ZONE_EAST_SIBERIA},
    {"chukotskij-ar", ZONE_ARCTIC}, {"chuvash-republic", ZONE_VOLGA},
    {"evenkijskij-ar", ZONE_YAKUTIA}, {"hanty-mansijskij-ar", ZONE_URAL},
    {"irkutsk-area", ZONE_EAST_SIBERIA}, {"ivanovo-area", ZONE_CENTRAL},
    {"jamalo-nenetskij-ar", ZONE_ARCTIC}, {"kaliningrad-area", ZONE_KALININGRAD},
    {"kaluga-area", ZONE_CENTRAL}, {"kamchatka-area", ZONE_FAR_EAST},
    {"kemerovo-area", ZONE_WEST_SIBERIA}, {"khabarovsk-territory", ZONE_FAR_EAST},
    {"kirov-area", ZONE_VOLGA}, {"korjakskij-ar", ZONE_ARCTIC},
    {"kostroma-area", ZONE_CENTRAL}, {"krasnodar-territory", ZONE_SOUTH},
    {"krasnoyarsk-territory", ZONE_EAST_SIBERIA}, {"kurgan-area", ZONE_URAL},
    {"kursk-area", ZONE_BLACK_EARTH}, {"leningrad-region", ZONE_NORTH_WEST},
    {"lipetsk-area", ZONE_BLACK_EARTH}, {"magadan-area", ZONE_ARCTIC},
    {"moscow-area", ZONE_CENTRAL}, {"murmansk-area", ZONE_ARCTIC},
    {"nenetskij-ar", ZONE_ARCTIC}, {"nizhegorodskaya-area", ZONE_VOLGA},
    {"novgorod-area", ZONE_NORTH_WEST}, {"novosibirsk-area", ZONE_WEST_SIBERIA},
    {"omsk-area", ZONE_WEST_SIBERIA}, {"orenburg-area", ZONE_VOLGA},
    {"oryol-area", ZONE_BLACK_EARTH}, {"penza-area", ZONE_VOLGA},
    {"perm-area", ZONE_URAL}, {"primorski-krai", ZONE_FAR_EAST},
    {"pskov-area", ZONE_NORTH_WEST}, {"republic-adygea", ZONE_SOUTH},
    {"republic-altai", ZONE_WEST_SIBERIA}, {"republic-bashkortostan", ZONE_VOLGA},
    {"republic-buryatiya", ZONE_EAST_SIBERIA}, {"republic-dagestan", ZONE_SOUTH},
    {"republic-ingushetia", ZONE_SOUTH}, {"republic-kabardino-balkaria", ZONE_SOUTH},
    {"republic-kalmykia", ZONE_SOUTH}, {"republic-karachaevo-circassia", ZONE_SOUTH},
    {"republic-karelia", ZONE_NORTH_WEST}, {"republic-khakassia", ZONE_EAST_SIBERIA},
    {"republic-komi", ZONE_ARCTIC}, {"republic-mary-el", ZONE_VOLGA},
    {"republic-mordovia", ZONE_VOLGA}, {"republic-northern-ossetia", ZONE_SOUTH},
    {"republic-saha-yakutia", ZONE_YAKUTIA}, {"republic-tatarstan", ZONE_VOLGA},
    {"republic-tyva", ZONE_EAST_SIBERIA}, {"republic-udmurtia", ZONE_VOLGA},
    {"rostov-area", ZONE_SOUTH}, {"ryazan-area", ZONE_CENTRAL},
    {"sakhalin-area", ZONE_FAR_EAST}, {"samara-area", ZONE_VOLGA},
    {"saratov-area", ZONE_VOLGA}, {"smolensk-area", ZONE_CENTRAL},
    {"stavropol-territory", ZONE_SOUTH}, {"sverdlovsk-area", ZONE_URAL},
    {"tajmyrsky-dolgano-nenets", ZONE_ARCTIC}, {"tambov-area", ZONE_BLACK_EARTH},
    {"tomsk-area", ZONE_WEST_SIBERIA}, {"tula-area", ZONE_CENTRAL},
    {"tver-area", ZONE_CENTRAL}, {"tyumen-area", ZONE_URAL},
    {"ulyanovsk-area", ZONE_VOLGA}, {"ust-ordynsky-burjatskij-ar", ZONE_EAST_SIBERIA},
    {"vladimir-area", ZONE_CENTRAL}, {"volgograd-area", ZONE_SOUTH},
    {"vologda-area", ZONE_NORTH_WEST}, {"voronezh-area", ZONE_BLACK_EARTH},
    {"yaroslavl-area", ZONE_CENTRAL},
};

const char *const DIRECTIONS[8] = {"С", "С-В", "В", "Ю-В", "Ю", "Ю-З", "З", "С-З"};
const char CALM[] = "Штиль";

// Per kind: the forecast page's pictures, the actual page's pictures, and
// the comments of each page (two of each, picked by the hash).
struct KindTexts {
    int forecast_pictures[2];
    int actual_pictures[2];
    const char *forecast_comments[2];
    const char *actual_comments[2];
    int precip_min, precip_max;        // mm over the day
    int probability_min, probability_max;
};

const KindTexts KINDS[SIM_KIND_COUNT] = {
    {{7, 7}, {39, 40}, {"Ясно", "Ясно, без осадков"},
     {"Ясно, без осадков", "Безоблачно"}, 0, 0, 0, 10},
    {{6, 61}, {41, 44}, {"Переменная облачность", "Малооблачно"},
     {"Переменная облачность, без осадков", "Малооблачно, без осадков"}, 0, 0, 5, 20},
    {{5, 5}, {1, 3}, {"Облачно с прояснениями", "Облачно, без существенных осадков"},
     {"Облачно с прояснениями, без осадков", "Облачно, без осадков"}, 0, 0, 15, 35},
    {{16, 16}, {2, 4}, {"Пасмурно", "Пасмурно, без осадков"},
     {"Пасмурно, без осадков", "Сплошная облачность, без осадков"}, 0, 0, 20, 40},
    {{17, 17}, {7, 8}, {"Ветрено, без осадков", "Сильный ветер"},
     {"Сильный ветер, без осадков", "Порывистый ветер"}, 0, 0, 5, 25},
    {{11, 11}, {60, 61}, {"Небольшой дождь", "Облачно, небольшой дождь"},
     {"Небольшой дождь", "Слабый дождь"}, 1, 3, 55, 80},
    {{9, 10}, {54, 81}, {"Кратковременный дождь", "Переменная облачность, ливневый дождь"},
     {"Кратковременный ливневый дождь", "Ливневый дождь с прояснениями"}, 2, 7, 50, 75},
    {{1, 1}, {64, 65}, {"Сильный дождь", "Пасмурно, сильный дождь"},
     {"Сильный дождь", "Продолжительный сильный дождь"}, 8, 20, 80, 95},
    {{8, 8}, {97, 95}, {"Гроза, ливневый дождь", "Облачно, гроза"},
     {"Гроза с ливневым дождём", "Гроза, сильный ливень"}, 5, 15, 60, 90},
    {{4, 14}, {84, 68}, {"Мокрый снег", "Снег с дождём"},
     {"Мокрый снег", "Снег с дождём"}, 2, 6, 60, 85},
    {{3, 3}, {79, 89}, {"Снежная крупа", "Облачно, снежная крупа"},
     {"Снежная крупа", "Ливневая снежная крупа"}, 1, 3, 50, 70},
    {{12, 13}, {70, 71}, {"Небольшой снег", "Облачно, небольшой снег"},
     {"Небольшой снег", "Слабый снег"}, 1, 3, 55, 80},
    {{2, 2}, {75, 74}, {"Сильный снег", "Снегопад, метель"},
     {"Сильный снег", "Снегопад"}, 5, 12, 80, 95},
};

const int MONTH_STARTS[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

int day_of_year(int32_t day)
{
    CalendarDate date;
    day_number_to_date((double)day, &date);
    int month = (int)date.month;
    if (month < 1 || month > 12)
        month = 1;
    return MONTH_STARTS[month - 1] + (int)date.day;
}

// A value in [0, 1) from the hash.
double unit(uint32_t h)
{
    return (double)(h >> 8) / 16777216.0;
}

// A smooth wander in [-1, 1] over the days: hashed values of every third
// day, blended between them, so that neighbouring days resemble each other.
double wander(uint32_t seed, const char *path, int32_t day, int32_t channel)
{
    int32_t base = day >= 0 ? day / 3 : (day - 2) / 3;
    double t = (double)(day - base * 3) / 3.0;
    double a = unit(sim_hash(seed, path, base, channel)) * 2 - 1;
    double b = unit(sim_hash(seed, path, base + 1, channel)) * 2 - 1;
    double s = t * t * (3 - 2 * t);
    return a + (b - a) * s;
}

int pick(int low, int high, uint32_t h)
{
    if (high <= low)
        return low;
    return low + (int)(h % (uint32_t)(high - low + 1));
}

int round_to_int(double x)
{
    return (int)floor(x + 0.5);
}

const char *region_of(const char *path, char *region, size_t size)
{
    region[0] = 0;
    const char *first = strchr(path, '/');
    if (first == NULL)
        return region;
    const char *second = strchr(first + 1, '/');
    size_t n = second != NULL ? (size_t)(second - first - 1) : strlen(first + 1);
    if (n >= size)
        n = size - 1;
    memcpy(region, first + 1, n);
    region[n] = 0;
    return region;
}

} // namespace

uint32_t sim_hash(uint32_t seed, const char *text, int32_t a, int32_t b)
{
    // FNV-1a over the seed, the text and the two numbers, then a final mix.
    uint32_t h = 2166136261u;
    unsigned char bytes[12];
    for (int i = 0; i < 4; i++) {
        bytes[i] = (unsigned char)(seed >> (8 * i));
        bytes[4 + i] = (unsigned char)((uint32_t)a >> (8 * i));
        bytes[8 + i] = (unsigned char)((uint32_t)b >> (8 * i));
    }
    for (int i = 0; i < 12; i++) {
        h ^= bytes[i];
        h *= 16777619u;
    }
    for (const unsigned char *p = (const unsigned char *)(text != NULL ? text : ""); *p != 0; p++) {
        h ^= *p;
        h *= 16777619u;
    }
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    return h;
}

const SimClimate *sim_climate_of(const char *location_path)
{
    static const SimClimate TEMPERATE = {"temperate", -3, 19, 9, 40, 4};
    if (location_path == NULL)
        return &TEMPERATE;
    if (strncmp(location_path, "russia/", 7) == 0) {
        char region[64];
        region_of(location_path, region, sizeof region);
        for (const RegionZone &entry : REGION_ZONES) {
            if (strcmp(entry.region_key, region) == 0)
                return &ZONE_CLIMATES[entry.zone];
        }
        return &ZONE_CLIMATES[ZONE_CENTRAL];
    }
    size_t n = strcspn(location_path, "/");
    const char *city = strrchr(location_path, '/');
    if (city != NULL) {
        for (const CityClimate &entry : CITY_CLIMATES) {
            if (strlen(entry.country_key) == n && strncmp(entry.country_key, location_path, n) == 0 &&
                strcmp(entry.city_key, city + 1) == 0)
                return entry.climate;
        }
    }
    for (const SimClimate &climate : COUNTRY_CLIMATES) {
        if (strlen(climate.key) == n && strncmp(climate.key, location_path, n) == 0)
            return &climate;
    }
    return &TEMPERATE;
}

double sim_seasonal_mean(const SimClimate *climate, int day_of_year)
{
    const double PI = 3.14159265358979323846;
    double middle = (climate->january + climate->july) / 2.0;
    double half = (climate->january - climate->july) / 2.0;
    return middle + half * cos(2 * PI * (day_of_year - 16) / 365.25);
}

void sim_weather_day(uint32_t seed, const char *location_path, int32_t day, SimDay *out)
{
    sim_weather_day_in(sim_climate_of(location_path), seed, location_path, day, out);
}

void sim_climate_at(double latitude, SimClimate *out)
{
    // Warm and steady near the equator, colder and with wider seasons
    // toward the poles; the south has its summer in January.
    double a = fabs(latitude);
    double mean = 27.0 - 0.007 * a * a;
    double half = 0.3 * a;
    int warm = round_to_int(mean + half);
    int cold = round_to_int(mean - half);
    out->key = "coordinates";
    out->january = latitude >= 0 ? cold : warm;
    out->july = latitude >= 0 ? warm : cold;
    out->day_range = 9;
    out->wet_percent = 40;
    out->wind = 4;
}

void sim_weather_day_in(const SimClimate *climate, uint32_t seed, const char *location_path, int32_t day, SimDay *out)
{
    memset(out, 0, sizeof *out);

    // Temperature: the season, a wander of a few days, a little day noise.
    // Places with a wide yearly swing also swing more from week to week.
    double swing = 2.0 + fabs((double)(climate->january - climate->july)) / 6.0;
    if (swing > 7.0)
        swing = 7.0;
    double mean = sim_seasonal_mean(climate, day_of_year(day)) + swing * wander(seed, location_path, day, 1) +
                  (unit(sim_hash(seed, location_path, day, 2)) - 0.5) * 2.0;

    // Precipitation: the climate's share of wet days, more often when the
    // pressure wander is low.
    double low = wander(seed, location_path, day, 3);
    double wet_chance = climate->wet_percent / 100.0 * (1.0 + 0.6 * low);
    int wet = unit(sim_hash(seed, location_path, day, 4)) < wet_chance;
    uint32_t h = sim_hash(seed, location_path, day, 5);

    double wind = climate->wind * (0.4 + 1.2 * unit(sim_hash(seed, location_path, day, 6))) + 2.0 * (low > 0 ? low : 0);
    int wind_speed = round_to_int(wind);

    int kind;
    if (wet) {
        int heavy = h % 5 == 0;
        if (mean <= -1.5)
            kind = heavy ? SIM_HEAVY_SNOW : (h % 7 == 1 ? SIM_SNOW_GRAINS : SIM_LIGHT_SNOW);
        else if (mean <= 2.0)
            kind = SIM_SLEET;
        else if (mean >= 17.0 && h % 3 == 0)
            kind = SIM_THUNDERSTORM;
        else
            kind = heavy ? SIM_HEAVY_RAIN : (h % 2 ? SIM_SHOWERS : SIM_LIGHT_RAIN);
    } else {
        double dryness = 1.0 - climate->wet_percent / 100.0;
        double u = unit(h);
        if (wind_speed >= 11)
            kind = SIM_WINDY;
        else if (u < 0.15 + 0.45 * dryness)
            kind = SIM_CLEAR;
        else if (u < 0.35 + 0.4 * dryness)
            kind = SIM_PARTLY_CLOUDY;
        else if (u < 0.8)
            kind = SIM_CLOUDY;
        else
            kind = SIM_OVERCAST;
    }

    // Clouds narrow the difference between day and night.
    double range = climate->day_range;
    if (kind >= SIM_CLOUDY && kind != SIM_WINDY)
        range *= 0.6;
    out->kind = kind;
    out->day_temperature = round_to_int(mean + range / 2);
    out->night_temperature = round_to_int(mean - range / 2);

    const KindTexts *texts = &KINDS[kind];
    uint32_t h2 = sim_hash(seed, location_path, day, 7);
    out->precip = pick(texts->precip_min, texts->precip_max, h2);
    out->precip_probability = pick(texts->probability_min, texts->probability_max, h2 >> 8);
    out->forecast_picture = texts->forecast_pictures[(h2 >> 16) & 1];
    out->forecast_comment = texts->forecast_comments[(h2 >> 17) & 1];
    out->wind_speed = wind_speed;
    out->wind_direction = wind_speed == 0 ? CALM : DIRECTIONS[(h2 >> 20) & 7];
}

void sim_weather_observation(uint32_t seed, const char *location_path, int32_t day, SimObservation *out)
{
    SimDay today;
    sim_weather_day(seed, location_path, day, &today);
    const SimClimate *climate = sim_climate_of(location_path);
    const KindTexts *texts = &KINDS[today.kind];
    uint32_t h = sim_hash(seed, location_path, day, 11);
    memset(out, 0, sizeof *out);

    // The observation lies between the night and the day temperature.
    double share = 0.3 + 0.6 * unit(h);
    out->temperature = round_to_int(today.night_temperature + (today.day_temperature - today.night_temperature) * share);
    int wet = today.precip > 0;
    out->pressure = wet ? pick(738, 752, h >> 4) : pick(752, 772, h >> 4);
    if (climate->wet_percent < 10)
        out->humidity = pick(15, 40, h >> 10);
    else
        out->humidity = wet ? pick(82, 98, h >> 10) : pick(45, 80, h >> 10);
    out->picture = texts->actual_pictures[(h >> 16) & 1];
    out->comment = texts->actual_comments[(h >> 17) & 1];
    out->wind_speed = today.wind_speed;
    out->wind_direction = today.wind_direction;
    // The totals grow with their span: what fell in 6 hours also fell in 12.
    out->precip_24h = today.precip;
    out->precip_12h = today.precip * pick(40, 80, h >> 20) / 100;
    out->precip_6h = out->precip_12h * pick(30, 70, h >> 24) / 100;
}
