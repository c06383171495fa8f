#include "registry.h"
#include <stdlib.h>
#include <string.h>

BYTE *RegReadValue(HKEY root, LPCWSTR path, LPCWSTR name, DWORD *size, DWORD *type)
{
    HKEY key;
    if (RegOpenKeyExW(root, path, 0, 0, &key) != ERROR_SUCCESS)
        return NULL;

    // Any value the phone keeps here fits on the stack, so the size never
    // has to be asked for first.
    BYTE data[REG_READ_CAPACITY];
    DWORD length = REG_READ_CAPACITY;
    LONG rc = RegQueryValueExW(key, name, NULL, type, data, &length);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || length > REG_READ_CAPACITY) {
        if (size)
            *size = 0;
        return NULL;
    }
    if (size)
        *size = length;

    // An empty value still gives a block, so null always means failure.
    BYTE *block = (BYTE *)malloc(length ? length : 1);
    if (block)
        memcpy(block, data, length);
    return block;
}

int RegReadDword(HKEY root, LPCWSTR path, LPCWSTR name, DWORD *output)
{
    DWORD dummy;
    if (!output)
        output = &dummy;
    *output = 0;

    DWORD size = 0, type = 0;
    BYTE *data = RegReadValue(root, path, name, &size, &type);
    if (!data)
        return 0;
    int ok = 0;
    if (type == REG_DWORD && size >= sizeof(DWORD)) {
        memcpy(output, data, sizeof(DWORD));
        ok = 1;
    }
    free(data);
    return ok;
}
