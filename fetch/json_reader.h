// rapidjson (a header-only Debian package) as the open data's readers use
// it: every block, its own few objects included, from the program's
// allocator, and an iterative parse.
//
// Include this header instead of rapidjson's: it must define RAPIDJSON_NEW
// and RAPIDJSON_DELETE before rapidjson is read.
#ifndef VELVANE_FETCH_JSON_READER_H
#define VELVANE_FETCH_JSON_READER_H

#include <stddef.h>

#include <new>

#include "util/mem.h"

// rapidjson's own objects (its allocators, the parser's stack) come from
// the program's allocator, not from operator new, which would bring the
// C++ runtime's throwing allocation into the exe. A null from this
// noexcept placement form skips the constructor.
struct JsonHeap {};
static const JsonHeap JSON_HEAP = {};
inline void *operator new(size_t size, JsonHeap) noexcept
{
    return size <= 0x7FFFFFFFu ? mem_alloc((uint32_t)size) : NULL;
}
inline void operator delete(void *block, JsonHeap) noexcept
{
    mem_free(block);
}
template <typename T> inline void json_delete(T *object)
{
    if (object != NULL) {
        object->~T();
        mem_free(object);
    }
}
#define RAPIDJSON_NEW(TypeName) new (JSON_HEAP) TypeName
#define RAPIDJSON_DELETE(x) json_delete(x)

#include <rapidjson/document.h>

// rapidjson's blocks come from the program's own allocator (util/mem.h).
class JsonAllocator {
public:
    static const bool kNeedFree = true;
    void *Malloc(size_t size)
    {
        return size > 0 && size <= 0x7FFFFFFFu ? mem_alloc((uint32_t)size) : NULL;
    }
    void *Realloc(void *block, size_t, size_t size)
    {
        if (size == 0) {
            mem_free(block);
            return NULL;
        }
        return size <= 0x7FFFFFFFu ? mem_realloc(block, (uint32_t)size) : NULL;
    }
    static void Free(void *block)
    {
        mem_free(block);
    }
};

typedef rapidjson::MemoryPoolAllocator<JsonAllocator> JsonPool;
typedef rapidjson::GenericDocument<rapidjson::UTF8<>, JsonPool, JsonAllocator> JsonDocument;
typedef rapidjson::GenericValue<rapidjson::UTF8<>, JsonPool> JsonValue;

// Iterative: a deeply nested answer costs heap, not stack. Not rapidjson's
// full-precision mode: its big-number path reads past its tables and
// crashes on a long mantissa with a far exponent, and misreads some
// 20-digit decimals. The plain path gives the nearest double for every
// decimal of up to 15 digits (2.5, 55.74205), which is all the answers
// carry; a longer one comes within an ulp, which the readers' rounding
// allows for.
static const unsigned JSON_PARSE_FLAGS = rapidjson::kParseIterativeFlag;

// The member of that name of an object; null when object is null or not an
// object, or has no such member.
inline const JsonValue *json_member(const JsonValue *object, const char *name)
{
    if (object == NULL || !object->IsObject())
        return NULL;
    JsonValue::ConstMemberIterator found = object->FindMember(name);
    return found != object->MemberEnd() ? &found->value : NULL;
}

#endif
