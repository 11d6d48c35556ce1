// Running a command-line program from a test and reading its
// "name=value" lines.
#ifndef VELVANE_TESTS_SUPPORT_TOOL_OUTPUT_H
#define VELVANE_TESTS_SUPPORT_TOOL_OUTPUT_H

#include <string>

// The standard output of a shell command line (its standard error
// discarded); *status receives the exit code, -1 when it did not exit.
std::string run_command(const std::string &command, int *status);

// The first whole line of output that starts with "name=", or "(missing)".
std::string line_of(const std::string &output, const std::string &name);

#endif
