// The registry side of the settings store: narrow-character registry
// functions on HKEY_CURRENT_USER only, every opened key closed before return.
#include "settings/settings_store.h"

#include <windows.h>
#include <wincrypt.h>

#include <stdio.h>
#include <string.h>

enum { KEY_PATH_SIZE = 512, MODULE_PATH_SIZE = 768, READ_COPY_SIZE = 512 };

// parent + "\" + name into path; 0 when it does not fit.
static int join_path(char *path, size_t size, const char *parent, const char *name)
{
    int n = snprintf(path, size, "%s\\%s", parent, name);
    return n > 0 && (size_t)n < size;
}

int reg_create_key(const char *parent_path, const char *name)
{
    HKEY parent = NULL;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, parent_path, 0, KEY_WRITE, &parent) != ERROR_SUCCESS)
        return 0;
    HKEY key = NULL;
    LONG rc = RegCreateKeyExA(parent, name, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                              NULL, &key, NULL);
    if (rc == ERROR_SUCCESS)
        RegCloseKey(key);
    RegCloseKey(parent);
    return rc == ERROR_SUCCESS;
}

int reg_write_value(const char *parent_path, const char *key_name,
                    const char *value_name, const void *data, uint32_t size)
{
    char path[KEY_PATH_SIZE];
    if (!join_path(path, sizeof path, parent_path, key_name))
        return 0;
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_WRITE, &key) != ERROR_SUCCESS)
        return 0;
    LONG rc = RegSetValueExA(key, value_name, 0, REG_BINARY, (const BYTE *)data, size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

int reg_read_value(const char *parent_path, const char *key_name,
                   const char *value_name, void *buffer, uint32_t buffer_size)
{
    return reg_read_value_sized(parent_path, key_name, value_name, buffer, buffer_size, NULL);
}

int reg_read_value_sized(const char *parent_path, const char *key_name, const char *value_name,
                         void *buffer, uint32_t buffer_size, uint32_t *stored_size)
{
    char path[KEY_PATH_SIZE];
    if (!join_path(path, sizeof path, parent_path, key_name))
        return 0;
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;

    // The registry may write into the buffer before it reports another type
    // or a value that is too long, and leaves it undefined then: read into a
    // copy, and for a buffer larger than the copy, check type and size first.
    int ok = 0;
    DWORD type = 0;
    DWORD size = 0;
    if (buffer_size <= READ_COPY_SIZE) {
        BYTE copy[READ_COPY_SIZE];
        size = buffer_size;
        LONG rc = RegQueryValueExA(key, value_name, NULL, &type, copy, &size);
        if (rc == ERROR_SUCCESS && type == REG_BINARY && size <= buffer_size) {
            memcpy(buffer, copy, size);
            ok = 1;
        }
    } else {
        LONG rc = RegQueryValueExA(key, value_name, NULL, &type, NULL, &size);
        if (rc == ERROR_SUCCESS && type == REG_BINARY && size <= buffer_size) {
            size = buffer_size;
            rc = RegQueryValueExA(key, value_name, NULL, &type, (BYTE *)buffer, &size);
            ok = rc == ERROR_SUCCESS && type == REG_BINARY;
        }
    }
    RegCloseKey(key);
    if (ok && stored_size != NULL)
        *stored_size = size;
    return ok;
}

// Ties the protected bytes to this use: another program of the same user
// that calls CryptUnprotectData on them without it gets nothing.
static const char SECRET_ENTROPY[] = "Velvane proxy_password";

int secret_protect(const char *text, unsigned char *blob, uint32_t blob_size, uint32_t *size)
{
    DATA_BLOB in = {(DWORD)strlen(text), (BYTE *)text};
    DATA_BLOB entropy = {(DWORD)(sizeof SECRET_ENTROPY - 1), (BYTE *)SECRET_ENTROPY};
    DATA_BLOB out = {0, NULL};
    *size = 0;
    if (!CryptProtectData(&in, NULL, &entropy, NULL, NULL, CRYPTPROTECT_UI_FORBIDDEN, &out))
        return 0;
    int ok = out.cbData <= blob_size;
    if (ok) {
        memcpy(blob, out.pbData, out.cbData);
        *size = out.cbData;
    }
    LocalFree(out.pbData);
    return ok;
}

int secret_unprotect(const unsigned char *blob, uint32_t size, char *text, uint32_t text_size)
{
    DATA_BLOB in = {size, (BYTE *)blob};
    DATA_BLOB entropy = {(DWORD)(sizeof SECRET_ENTROPY - 1), (BYTE *)SECRET_ENTROPY};
    DATA_BLOB out = {0, NULL};
    if (text_size == 0)
        return 0;
    text[0] = '\0';
    if (!CryptUnprotectData(&in, NULL, &entropy, NULL, NULL, CRYPTPROTECT_UI_FORBIDDEN, &out))
        return 0;
    int ok = out.cbData < text_size;
    if (ok) {
        memcpy(text, out.pbData, out.cbData);
        text[out.cbData] = '\0';
    }
    SecureZeroMemory(out.pbData, out.cbData);
    LocalFree(out.pbData);
    return ok;
}

int autostart_enable(void)
{
    char module_path[MODULE_PATH_SIZE];
    DWORD n = GetModuleFileNameA(NULL, module_path, sizeof module_path);
    // A path cut at the buffer's end would start nothing at logon.
    if (n == 0 || n >= sizeof module_path)
        return 0;

    HKEY run = NULL;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, AUTOSTART_RUN_KEY, 0, KEY_WRITE, &run) != ERROR_SUCCESS) {
        HKEY parent = NULL;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\", 0,
                          KEY_WRITE, &parent) != ERROR_SUCCESS)
            return 0;
        LONG rc = RegCreateKeyExA(parent, "Run", 0, NULL, REG_OPTION_NON_VOLATILE,
                                  KEY_READ | KEY_WRITE, NULL, &run, NULL);
        RegCloseKey(parent);
        if (rc != ERROR_SUCCESS)
            return 0;
    }
    LONG rc = RegSetValueExA(run, AUTOSTART_VALUE_NAME, 0, REG_SZ, (const BYTE *)module_path,
                             n + 1);
    RegCloseKey(run);
    return rc == ERROR_SUCCESS;
}

int autostart_disable(void)
{
    HKEY run = NULL;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, AUTOSTART_RUN_KEY, 0, KEY_WRITE, &run) != ERROR_SUCCESS)
        return 0;
    LONG rc = RegDeleteValueA(run, AUTOSTART_VALUE_NAME);
    RegCloseKey(run);
    return rc == ERROR_SUCCESS;
}
