// The native conversion's code page table against the code page file that
// the Windows conversion under Wine uses: every one of the 65536 UTF-16 units
// must give the same byte. When this fails, run scripts/gen-cp1251-table.
#include <doctest/doctest.h>

#include <stdio.h>
#include <string>
#include <vector>

#include "fetch/encoding.h"
#include "util/mem.h"

TEST_CASE("the committed table is the code page file's")
{
    const char *path = "/usr/share/wine/nls/c_1251.nls";
    FILE *file = fopen(path, "rb");
    REQUIRE_MESSAGE(file != nullptr, "missing " << path << " (Debian's libwine)");
    std::vector<unsigned char> data;
    unsigned char block[4096];
    size_t n;
    while ((n = fread(block, 1, sizeof block, file)) > 0)
        data.insert(data.end(), block, block + n);
    fclose(file);
    REQUIRE(data.size() > 65536);
    const unsigned char *table = data.data() + data.size() - 65536;

    int differing = 0;
    for (unsigned unit = 1; unit < 0x10000; unit++) {
        Utf16Unit text[2] = {(Utf16Unit)unit, 0};
        char *narrow = utf16_to_cp1251(text);
        REQUIRE(narrow != nullptr);
        if ((unsigned char)narrow[0] != table[unit] || narrow[1] != 0) {
            if (differing++ < 10)
                FAIL_CHECK("unit " << unit << " gives " << (int)(unsigned char)narrow[0] << ", the file "
                                   << (int)table[unit]);
        }
        mem_free(narrow);
    }
    CHECK(differing == 0);
}
