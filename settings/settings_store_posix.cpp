// Native stand-in for the registry side of the settings store. It exists so
// that native tools and tests that link the store still link and run: a small
// in-memory table of keys and REG_BINARY values that lives for the process,
// and a run-at-logon value that is only a flag.
#include "settings/settings_store.h"

#include <stdio.h>
#include <string.h>

enum { MAX_KEYS = 16, MAX_VALUES = 32, PATH_SIZE = 256, NAME_SIZE = 64, DATA_SIZE = 2048 };

struct StandInValue {
    char key[PATH_SIZE];
    char name[NAME_SIZE];
    uint32_t size;
    unsigned char data[DATA_SIZE];
};

static char stand_in_keys[MAX_KEYS][PATH_SIZE];
static int stand_in_key_count = 0;
static StandInValue stand_in_values[MAX_VALUES];
static int stand_in_value_count = 0;
static int stand_in_autostart = 0;

static int join_path(char *path, const char *parent, const char *name)
{
    int n = snprintf(path, PATH_SIZE, "%s\\%s", parent, name);
    return n > 0 && n < PATH_SIZE;
}

static int key_exists(const char *path)
{
    for (int i = 0; i < stand_in_key_count; i++)
        if (strcmp(stand_in_keys[i], path) == 0)
            return 1;
    return 0;
}

static StandInValue *find_value(const char *key, const char *name)
{
    for (int i = 0; i < stand_in_value_count; i++)
        if (strcmp(stand_in_values[i].key, key) == 0 && strcmp(stand_in_values[i].name, name) == 0)
            return &stand_in_values[i];
    return NULL;
}

int reg_create_key(const char *parent_path, const char *name)
{
    char path[PATH_SIZE];
    if (!join_path(path, parent_path, name))
        return 0;
    if (key_exists(path))
        return 1;
    if (stand_in_key_count == MAX_KEYS)
        return 0;
    strcpy(stand_in_keys[stand_in_key_count++], path);
    return 1;
}

int reg_write_value(const char *parent_path, const char *key_name,
                    const char *value_name, const void *data, uint32_t size)
{
    char path[PATH_SIZE];
    if (!join_path(path, parent_path, key_name) || !key_exists(path))
        return 0;
    if (strlen(value_name) >= NAME_SIZE || size > DATA_SIZE)
        return 0;
    StandInValue *v = find_value(path, value_name);
    if (!v) {
        if (stand_in_value_count == MAX_VALUES)
            return 0;
        v = &stand_in_values[stand_in_value_count++];
        strcpy(v->key, path);
        strcpy(v->name, value_name);
    }
    v->size = size;
    if (size)
        memcpy(v->data, data, size);
    return 1;
}

int reg_read_value_sized(const char *parent_path, const char *key_name, const char *value_name,
                         void *buffer, uint32_t buffer_size, uint32_t *stored_size)
{
    char path[PATH_SIZE];
    if (!join_path(path, parent_path, key_name))
        return 0;
    const StandInValue *v = find_value(path, value_name);
    if (!v || v->size > buffer_size)
        return 0;
    if (v->size)
        memcpy(buffer, v->data, v->size);
    if (stored_size != NULL)
        *stored_size = v->size;
    return 1;
}

int reg_read_value(const char *parent_path, const char *key_name,
                   const char *value_name, void *buffer, uint32_t buffer_size)
{
    return reg_read_value_sized(parent_path, key_name, value_name, buffer, buffer_size, NULL);
}

// No protection for the current user exists here: a password is never
// stored natively rather than stored as text.
int secret_protect(const char *text, unsigned char *blob, uint32_t blob_size, uint32_t *size)
{
    (void)text;
    (void)blob;
    (void)blob_size;
    *size = 0;
    return 0;
}

int secret_unprotect(const unsigned char *blob, uint32_t size, char *text, uint32_t text_size)
{
    (void)blob;
    (void)size;
    if (text_size > 0)
        text[0] = '\0';
    return 0;
}

int autostart_enable(void)
{
    stand_in_autostart = 1;
    return 1;
}

int autostart_disable(void)
{
    int was = stand_in_autostart;
    stand_in_autostart = 0;
    return was;
}
