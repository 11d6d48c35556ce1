// The committed fuzz seeds are the page builder's pages. With the
// environment variable VELVANE_WRITE_SEEDS set, writes them instead
// (scripts/gen-fuzz-seeds does that).
#include <doctest/doctest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <string>

#include "tests/support/page_seeds.h"

namespace {

struct Tally {
    int seeds = 0;
    int differing = 0;
    bool write = false;
};

std::string read_all(const std::string &path, bool *ok)
{
    std::string data;
    FILE *file = fopen(path.c_str(), "rb");
    *ok = file != NULL;
    if (file == NULL)
        return data;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, file)) > 0)
        data.append(chunk, n);
    fclose(file);
    return data;
}

void visit(const char *target, const char *name, const char *bytes, int32_t length, void *context)
{
    Tally *tally = (Tally *)context;
    tally->seeds++;
    std::string dir = std::string(VELVANE_SOURCE_DIR) + "/tests/fuzz/seeds/" + target;
    std::string path = dir + "/" + name;
    std::string want(bytes, (size_t)length);
    if (tally->write) {
        mkdir((std::string(VELVANE_SOURCE_DIR) + "/tests/fuzz/seeds").c_str(), 0755);
        mkdir(dir.c_str(), 0755);
        FILE *file = fopen(path.c_str(), "wb");
        REQUIRE_MESSAGE(file != nullptr, "cannot write " << path);
        fwrite(want.data(), 1, want.size(), file);
        fclose(file);
        return;
    }
    bool ok;
    std::string have = read_all(path, &ok);
    if (!ok || have != want) {
        tally->differing++;
        FAIL_CHECK(path << (ok ? " differs" : " is missing") << ": run scripts/gen-fuzz-seeds");
    }
}

} // namespace

TEST_CASE("the committed fuzz seeds are the page builder's pages")
{
    Tally tally;
    tally.write = getenv("VELVANE_WRITE_SEEDS") != NULL;
    page_seeds_each(visit, &tally);
    CHECK(tally.seeds > 20);
    CHECK(tally.differing == 0);
}
