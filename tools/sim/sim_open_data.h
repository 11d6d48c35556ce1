// The simulator's stand-in for the open-data forecast API: /v1/forecast for
// any coordinates, in the real API's shape (units objects, a 15-minute
// current time with its interval, hourly and daily arrays), with weather
// made from the seed, the coordinates and the place's own date.
#ifndef VELVANE_TOOLS_SIM_SIM_OPEN_DATA_H
#define VELVANE_TOOLS_SIM_SIM_OPEN_DATA_H

#include <stddef.h>
#include <stdint.h>

// Whether a request target asks for the forecast ("/v1/forecast?...", also
// in absolute form "http://host/v1/forecast?...").
int sim_open_data_route(const char *target);

// The whole response (status line, headers, JSON body; HEAD without the
// body) for a target at a moment (seconds since 1970, UTC): 200 with the
// forecast, 400 with the API's error object for missing or out-of-range
// coordinates. A block of util/mem.h, or null.
// With storm set, every place's tomorrow is a thunderstorm (codes 95 and 96
// in its wet hours and for the day) with a wind of 17 m/s and more.
void sim_open_data_set_storm(int storm);

char *sim_open_data_respond(const char *target, int head_only, uint32_t seed, int64_t now, int *status,
                            int32_t *length);

// Shared with the place search's stand-in (tools/sim/sim_search.h): the
// value of a query parameter of a target, copied into value (cut to fit);
// 0 when absent. And a whole JSON response, as sim_open_data_respond's.
int sim_query_value(const char *target, const char *name, char *value, size_t size);
char *sim_json_response(int status, const char *reason, const char *body, size_t body_length, int head_only,
                        int32_t *length);

#endif
