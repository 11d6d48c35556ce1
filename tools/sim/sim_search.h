// The simulator's stand-in for the open data's place search:
// /v1/search?name=..&count=.. in the real API's shape, from the catalogue
// and a few places it lacks (villages near Moscow, places of each
// continent, one whose name code page 1251 cannot show).
#ifndef VELVANE_TOOLS_SIM_SIM_SEARCH_H
#define VELVANE_TOOLS_SIM_SIM_SEARCH_H

#include <stdint.h>

// Whether a request target asks for the search ("/v1/search?...", also in
// absolute form "http://host/v1/search?...").
int sim_search_route(const char *target);

// The whole response (HEAD without the body): 200 with the places whose
// name begins with the query (case set aside, Cyrillic too), at most
// count of them, and no "results" when none does; 400 with the API's error
// object when the name is missing or empty. A block of util/mem.h, or null.
char *sim_search_respond(const char *target, int head_only, int *status, int32_t *length);

#endif
