#include "tests/support/tool_output.h"

#include <stdio.h>
#include <sys/wait.h>

std::string run_command(const std::string &command, int *status)
{
    std::string output;
    *status = -1;
    FILE *pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr)
        return output;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0)
        output.append(chunk, n);
    int rc = pclose(pipe);
    *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return output;
}
