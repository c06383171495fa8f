#include "message.h"
#include "globals.h"
#include "res/resource.h"

#define MESSAGE_CAPACITY 1024

VornGlobals g_vorn;

int(WINAPI *g_messageBox)(HWND, LPCWSTR, LPCWSTR, UINT) = MessageBoxW;

LPCWSTR LoadResString(UINT id)
{
    // A pointer into the stored table, never a copy.
    LPCWSTR text = LoadStringPointer(g_vorn.resModule, id);
    return text ? text : LoadStringPointer(g_vorn.ownModule, id);
}

// Writes c when there is room; counts it either way.
static void PutChar(LPWSTR buffer, int capacity, int *len, int *needed, WCHAR c)
{
    if (*len < capacity - 1)
        buffer[(*len)++] = c;
    ++*needed;
}

int FormatTextV(LPWSTR buffer, int capacity, LPCWSTR format, va_list args)
{
    WCHAR none[1];
    if (!buffer || capacity <= 0) {
        buffer = none;
        capacity = 1;
    }
    int len = 0, needed = 0;
    for (LPCWSTR p = format; p && *p; ++p) {
        if (*p != L'%') {
            PutChar(buffer, capacity, &len, &needed, *p);
            continue;
        }
        WCHAR conversion = p[1];
        WCHAR digits[16];
        LPCWSTR insert = NULL;
        if (conversion == L's') {
            insert = va_arg(args, LPCWSTR);
        } else if (conversion == L'd' || conversion == L'u') {
            unsigned int magnitude;
            int negative = 0;
            if (conversion == L'd') {
                int value = va_arg(args, int);
                negative = value < 0;
                magnitude = negative ? 0u - (unsigned int)value : (unsigned int)value;
            } else {
                magnitude = va_arg(args, unsigned int);
            }
            int i = 15;
            digits[i] = 0;
            do {
                digits[--i] = (WCHAR)(L'0' + magnitude % 10);
                magnitude /= 10;
            } while (magnitude);
            if (negative)
                digits[--i] = L'-';
            insert = digits + i;
        } else if (conversion == L'%') {
            insert = L"%";
        } else {
            // Unknown or dangling conversion: shown as it stands.
            PutChar(buffer, capacity, &len, &needed, L'%');
            continue;
        }
        ++p;
        for (; insert && *insert; ++insert)
            PutChar(buffer, capacity, &len, &needed, *insert);
    }
    buffer[len] = 0;
    return needed;
}

int FormatText(LPWSTR buffer, int capacity, LPCWSTR format, ...)
{
    va_list args;
    va_start(args, format);
    int len = FormatTextV(buffer, capacity, format, args);
    va_end(args);
    return len;
}

static int ShowMessageV(HWND owner, LPCWSTR caption, UINT flags, LPCWSTR format, va_list args)
{
    WCHAR text[MESSAGE_CAPACITY];
    text[0] = 0;
    if (format && *format)
        FormatTextV(text, MESSAGE_CAPACITY, format, args);
    return g_messageBox(owner, text, caption ? caption : L"", flags ? flags : MB_SETFOREGROUND);
}

int ShowMessageF(HWND owner, LPCWSTR caption, UINT flags, LPCWSTR format, ...)
{
    va_list args;
    va_start(args, format);
    int result = ShowMessageV(owner, caption, flags, format, args);
    va_end(args);
    return result;
}

int ShowErrorF(LPCWSTR format, ...)
{
    va_list args;
    va_start(args, format);
    int result = ShowMessageV(NULL, L"", MB_SETFOREGROUND, format, args);
    va_end(args);
    return result;
}

void ShowAboutBox(void)
{
    LPCWSTR status = LoadResString(g_vorn.runningInstance ? IDS_STATUS_ON : IDS_STATUS_OFF);
    ShowMessageF(NULL, LoadResString(IDS_CAPTION), MB_TOPMOST, LoadResString(IDS_ABOUT),
                 VERSION_MAJOR, VERSION_MINOR, status);
}
