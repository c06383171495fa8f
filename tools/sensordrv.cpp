// The emulated phone's sensor driver: it writes the phone's position into
// the registry value the monitor watches, once or as a timed trace, the way
// the driver does when the phone is turned.
//
//   sensordrv set <value>        write one value (decimal or 0x hex)
//   sensordrv play <tracefile>   lines "<delay-ms> <value>"; blank lines and
//                                lines starting with ';' are skipped
//   sensordrv get                print the current value
//
// Exit code 0 on success, 1 when the registry cannot be written or the value
// is not set, 2 on a usage or trace error (nothing is written then).
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include "standin_log.h"

static const WCHAR kSensorKey[] = L"Software\\HTC\\HTCSensor\\GSensor";
static const WCHAR kSensorValue[] = L"EventChanged";

#define MAX_TRACE_STEPS 4096

struct TraceStep {
    DWORD delay;
    DWORD value;
};

// A whole 32-bit number: decimal, or hexadecimal after "0x". Nothing may
// follow it. Returns 1 when text held one.
static int ParseNumber(const char *text, size_t length, DWORD *out)
{
    int base = 10;
    size_t i = 0;
    if (length > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        i = 2;
    }
    if (i >= length)
        return 0;
    unsigned long long value = 0;
    for (; i < length; i++) {
        char c = text[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return 0;
        value = value * base + digit;
        if (value > 0xFFFFFFFFULL)
            return 0;
    }
    *out = (DWORD)value;
    return 1;
}

static int ParseWideNumber(const WCHAR *text, DWORD *out)
{
    char narrow[64];
    size_t n = 0;
    for (; text[n]; n++) {
        if (n + 1 >= sizeof(narrow) || text[n] > 0x7F)
            return 0;
        narrow[n] = (char)text[n];
    }
    return ParseNumber(narrow, n, out);
}

static int WriteSensor(DWORD value)
{
    HKEY key;
    LONG rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSensorKey, 0, NULL, 0, KEY_SET_VALUE, NULL,
                              &key, NULL);
    if (rc == ERROR_SUCCESS) {
        rc = RegSetValueExW(key, kSensorValue, 0, REG_DWORD, (const BYTE *)&value,
                            sizeof(value));
        RegCloseKey(key);
    }
    if (rc != ERROR_SUCCESS) {
        fprintf(stderr, "sensordrv: cannot write EventChanged (error %ld)\n", (long)rc);
        return 0;
    }
    StandinLog(L"sensordrv EventChanged=%lu", (unsigned long)value);
    return 1;
}

static int Set(const WCHAR *text)
{
    DWORD value;
    if (!ParseWideNumber(text, &value)) {
        fprintf(stderr, "sensordrv: not a 32-bit number: %ls\n", text);
        return 2;
    }
    if (!WriteSensor(value))
        return 1;
    printf("EventChanged=%lu (0x%08lX)\n", (unsigned long)value, (unsigned long)value);
    return 0;
}

static int Get()
{
    HKEY key;
    DWORD value = 0, size = sizeof(value), type = 0;
    LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSensorKey, 0, KEY_QUERY_VALUE, &key);
    if (rc == ERROR_SUCCESS) {
        rc = RegQueryValueExW(key, kSensorValue, NULL, &type, (BYTE *)&value, &size);
        RegCloseKey(key);
    }
    if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(value)) {
        printf("EventChanged is not set\n");
        return 1;
    }
    printf("EventChanged=%lu (0x%08lX)\n", (unsigned long)value, (unsigned long)value);
    return 0;
}

// Splits one trace line into its two fields. Returns 1 for a step, 0 for a
// line to skip, -1 for a malformed line.
static int ParseTraceLine(const char *line, size_t length, TraceStep *step)
{
    size_t i = 0;
    while (i < length && (line[i] == ' ' || line[i] == '\t'))
        i++;
    if (i == length || line[i] == ';')
        return 0;
    size_t start = i;
    while (i < length && line[i] != ' ' && line[i] != '\t')
        i++;
    if (!ParseNumber(line + start, i - start, &step->delay))
        return -1;
    while (i < length && (line[i] == ' ' || line[i] == '\t'))
        i++;
    start = i;
    while (i < length && line[i] != ' ' && line[i] != '\t')
        i++;
    if (!ParseNumber(line + start, i - start, &step->value))
        return -1;
    while (i < length && (line[i] == ' ' || line[i] == '\t'))
        i++;
    return i == length ? 1 : -1;
}

static int Play(const WCHAR *path)
{
    FILE *file = _wfopen(path, L"rb");
    if (!file) {
        fprintf(stderr, "sensordrv: cannot open trace %ls\n", path);
        return 2;
    }
    static TraceStep steps[MAX_TRACE_STEPS];
    int count = 0, lineNo = 0, bad = 0;
    char line[512];
    while (!bad && fgets(line, sizeof(line), file)) {
        lineNo++;
        size_t length = strlen(line);
        if (length == sizeof(line) - 1 && line[length - 1] != '\n') {
            bad = 1;  // longer than any sensible trace line
            break;
        }
        while (length && (line[length - 1] == '\n' || line[length - 1] == '\r'))
            length--;
        TraceStep step;
        int kind = ParseTraceLine(line, length, &step);
        if (kind < 0 || (kind > 0 && count == MAX_TRACE_STEPS))
            bad = 1;
        else if (kind > 0)
            steps[count++] = step;
    }
    fclose(file);
    // The whole trace is checked before the first write: a bad trace moves
    // nothing.
    if (bad) {
        fprintf(stderr, "sensordrv: %ls line %d: expected \"<delay-ms> <value>\"\n", path,
                lineNo);
        return 2;
    }
    for (int i = 0; i < count; i++) {
        if (steps[i].delay)
            Sleep(steps[i].delay);
        if (!WriteSensor(steps[i].value))
            return 1;
        printf("after %lu ms: EventChanged=%lu (0x%08lX)\n", (unsigned long)steps[i].delay,
               (unsigned long)steps[i].value, (unsigned long)steps[i].value);
        fflush(stdout);
    }
    return 0;
}

static int Usage()
{
    fprintf(stderr,
            "usage: sensordrv set <value>\n"
            "       sensordrv play <tracefile>\n"
            "       sensordrv get\n");
    return 2;
}

int wmain(int argc, wchar_t **argv)
{
    if (argc == 3 && lstrcmpiW(argv[1], L"set") == 0)
        return Set(argv[2]);
    if (argc == 3 && lstrcmpiW(argv[1], L"play") == 0)
        return Play(argv[2]);
    if (argc == 2 && lstrcmpiW(argv[1], L"get") == 0)
        return Get();
    return Usage();
}
