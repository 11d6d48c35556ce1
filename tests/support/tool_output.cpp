#include "tests/support/tool_output.h"

std::string line_of(const std::string &output, const std::string &name)
{
    size_t at = output.find("\n" + name + "=");
    if (output.compare(0, name.size() + 1, name + "=") == 0)
        at = 0;
    else if (at != std::string::npos)
        at++;
    else
        return "(missing)";
    size_t end = output.find('\n', at);
    return output.substr(at, end - at);
}
