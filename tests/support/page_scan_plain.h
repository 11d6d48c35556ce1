// The marker search as its rule reads, one compare at every start offset:
// the reference that the fast search in fetch/page_scan.cpp is held to.
#ifndef VELVANE_TESTS_SUPPORT_PAGE_SCAN_PLAIN_H
#define VELVANE_TESTS_SUPPORT_PAGE_SCAN_PLAIN_H

#include <stdint.h>

// Same contract as find_marker.
int32_t find_marker_plain(const char *buffer, int32_t length, const char *marker);

#endif
