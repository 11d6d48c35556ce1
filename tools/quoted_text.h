// The tools' way of printing a text so that a test can compare it byte for
// byte: in double quotes, with \\ \" \n \r \t and \xHH escapes for the
// other bytes below 0x20; bytes from 0x80 up as they are.
#ifndef VELVANE_TOOLS_QUOTED_TEXT_H
#define VELVANE_TOOLS_QUOTED_TEXT_H

#include <stdio.h>

void print_quoted(FILE *out, const char *text);

#endif
