// The settings as a test starts from: the built-in defaults in the
// variables, and values written to the registry as the program stores them.
#ifndef VELVANE_TESTS_SUPPORT_SETTINGS_TESTING_H
#define VELVANE_TESTS_SUPPORT_SETTINGS_TESTING_H

#include <stdint.h>

// Puts every settings variable back to its built-in default.
void restore_defaults(void);

// Stores a 4-byte value under the settings key; the test fails when it
// cannot be written.
void store_int(const char *name, int32_t value);

#endif
