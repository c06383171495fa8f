#include "config.h"
#include <stdio.h>
#include <stdlib.h>
#include "message.h"
#include "textsearch.h"
#include "res/resource.h"

LPWSTR GetConfigPath(HMODULE module, LPWSTR path)
{
    DWORD length = GetModuleFileNameW(module, path, CONFIG_PATH_CAPACITY);
    // A path cut to fit the buffer names some other file: better none.
    if (length == 0 || length >= CONFIG_PATH_CAPACITY) {
        path[0] = 0;
        return path;
    }
    path[length] = 0;
    if (ReplaceFirst(path, CONFIG_PATH_CAPACITY, L".exe", L".txt"))
        return path;
    // No ".exe" in the module path. The configuration file must never be
    // the program itself, or the editor's Save would delete the program.
    if (length + 4 < CONFIG_PATH_CAPACITY)
        lstrcpyW(path + length, L".txt");
    else
        path[0] = 0;
    return path;
}

int GetPathKind(LPCWSTR path)
{
    if (!path)
        return PATH_MISSING;
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return PATH_MISSING;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return PATH_FILE;
    return (attributes & FILE_ATTRIBUTE_TEMPORARY) ? PATH_TEMP_DIRECTORY : PATH_DIRECTORY;
}

BYTE *ReadFileAll(LPCWSTR path, int *read)
{
    int readHere = 0;
    if (!read)
        read = &readHere;
    *read = 0;
    if (!path)
        return NULL;
    // Sharing reading only: while another process writes the file, this
    // read fails and the caller sees no lines rather than half a file.
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return NULL;
    DWORD size = GetFileSize(file, NULL);
    // An empty file gives no bytes, as a missing one does, but it was read.
    // An unknown size must not wrap round when the four closing zero bytes
    // are added.
    if (size == 0 || size > 0xFFFFFFFFu - 4) {
        *read = size == 0;
        CloseHandle(file);
        return NULL;
    }
    BYTE *block = (BYTE *)malloc((size_t)size + 4);
    if (!block) {
        CloseHandle(file);
        return NULL;
    }
    ZeroMemory(block, (size_t)size + 4);
    DWORD got = 0;
    if (!ReadFile(file, block, size, &got, NULL) || got != size) {
        free(block);
        CloseHandle(file);
        return NULL;
    }
    CloseHandle(file);
    *read = 1;
    return block;
}

LPWSTR AnsiToWide(const char *text)
{
    if (!text)
        return NULL;
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, NULL, 0);
    if (n <= 0)
        return NULL;
    LPWSTR wide = (LPWSTR)malloc(((size_t)n + 1) * sizeof(WCHAR));
    if (!wide)
        return NULL;
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide, n) != n) {
        free(wide);
        return NULL;
    }
    wide[n] = 0;
    return wide;
}

BYTE *LineReader::Load(LPCWSTR path, int *read)
{
    Free();
    buffer = cursor = ReadFileAll(path, read);
    return buffer;
}

LPWSTR LineReader::NextLine(LPWSTR output, int capacity)
{
    if (!buffer || !cursor || !*cursor || !output || capacity <= 0)
        return NULL;
    BYTE *start = cursor;
    while (*cursor && *cursor != '\n')
        ++cursor;
    // A CR before the LF stays in the line; a value ends at its closing
    // parenthesis, so it never reaches a value.
    if (*cursor == '\n')
        *cursor = 0;
    ++cursor;
    LPWSTR wide = AnsiToWide((const char *)start);
    if (!wide)
        return NULL;
    lstrcpynW(output, wide, capacity);
    free(wide);
    return output;
}

BYTE *LineReader::LoadText(LPCWSTR text)
{
    Free();
    if (!text)
        return NULL;
    int size = WideCharToMultiByte(CP_ACP, 0, text, -1, NULL, 0, NULL, NULL);
    if (size <= 0)
        return NULL;
    // Followed by zero bytes, as ReadFileAll leaves a file's bytes.
    BYTE *block = (BYTE *)malloc((size_t)size + 4);
    if (!block)
        return NULL;
    ZeroMemory(block, (size_t)size + 4);
    if (WideCharToMultiByte(CP_ACP, 0, text, -1, (char *)block, size, NULL, NULL) != size) {
        free(block);
        return NULL;
    }
    buffer = cursor = block;
    return buffer;
}

void LineReader::Free()
{
    if (buffer)
        free(buffer);
    buffer = NULL;
    cursor = NULL;
}

// Length of a value whose first level never closed. A name picked from a
// window with an unbalanced "(" is written with one closing ")" too few, so
// the value ends before the last closing character of the line; with none,
// it is the rest of the line without its line end.
static int UnclosedLength(LPCWSTR text, WCHAR close)
{
    int length = lstrlenW(text);
    for (int i = length - 1; i >= 0; --i) {
        if (text[i] == close)
            return i;
    }
    while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n'))
        --length;
    return length;
}

int GetDirective(LPCWSTR name, LPCWSTR line, LPWSTR output, WCHAR open, WCHAR close)
{
    WCHAR key[DIRECTIVE_VALUE_CAPACITY];
    WCHAR value[DIRECTIVE_VALUE_CAPACITY];

    if (!output)
        return 0;
    output[0] = 0;
    if (!name || !line)
        return 0;
    int nameLength = lstrlenW(name);
    if (nameLength + 2 > DIRECTIVE_VALUE_CAPACITY)
        return 0;
    lstrcpyW(key, name);
    key[nameLength] = open;
    key[nameLength + 1] = 0;

    LPCWSTR match = FindNoCase(line, key);
    if (!match)
        return 0;
    ZeroMemory(value, sizeof(value));
    lstrcpynW(value, match + nameLength + 1, DIRECTIVE_VALUE_CAPACITY);

    int depth = 1;
    int i = 0;
    for (; value[i]; ++i) {
        if (value[i] == close) {
            if (--depth == 0)
                break;
        } else if (value[i] == open) {
            ++depth;
        }
    }
    value[depth == 0 ? i : UnclosedLength(value, close)] = 0;
    lstrcpyW(output, value);
    return 1;
}

// The bytes that a text-mode stream would write for length characters of
// text: ANSI code page, each LF as CR LF. An LF that already follows a CR
// gets no second CR, so the default text is stored exactly as it stands.
// Returns a heap block (the caller frees it), or NULL.
static char *ToFileBytes(LPCWSTR text, int length, size_t *size)
{
    *size = 0;
    int ansiLength = 0;
    if (length > 0) {
        ansiLength = WideCharToMultiByte(CP_ACP, 0, text, length, NULL, 0, NULL, NULL);
        if (ansiLength <= 0)
            return NULL;
    }
    char *ansi = (char *)malloc((size_t)ansiLength + 1);
    char *bytes = (char *)malloc((size_t)ansiLength * 2 + 1);
    if (!ansi || !bytes) {
        free(ansi);
        free(bytes);
        return NULL;
    }
    if (ansiLength > 0)
        WideCharToMultiByte(CP_ACP, 0, text, length, ansi, ansiLength, NULL, NULL);
    for (int i = 0; i < ansiLength; ++i) {
        if (ansi[i] == '\n' && (i == 0 || ansi[i - 1] != '\r'))
            bytes[(*size)++] = '\r';
        bytes[(*size)++] = ansi[i];
    }
    free(ansi);
    return bytes;
}

// The file bytes of a formatted text, or null. The arguments come twice,
// once to measure the text and once to write it, since a va_list is read
// only once.
static char *FormatFileBytesV(LPCWSTR format, va_list measure, va_list fill, size_t *size)
{
    int length = FormatTextV(NULL, 0, format, measure);
    if (length < 0)
        return NULL;
    LPWSTR text = (LPWSTR)malloc(((size_t)length + 1) * sizeof(WCHAR));
    if (!text)
        return NULL;
    FormatTextV(text, length + 1, format, fill);
    char *bytes = ToFileBytes(text, length, size);
    free(text);
    return bytes;
}

void AppendTextF(LPCWSTR path, LPCWSTR format, ...)
{
    if (!path)
        return;
    va_list measure, fill;
    va_start(measure, format);
    va_start(fill, format);
    size_t size;
    char *bytes = FormatFileBytesV(format, measure, fill, &size);
    va_end(fill);
    va_end(measure);
    if (!bytes)
        return;
    // Opened only now, so that a text that could not be prepared does not
    // leave an empty file behind.
    FILE *file = _wfopen(path, L"a+b");
    if (file) {
        if (size)
            fwrite(bytes, 1, size, file);
        fclose(file);
    }
    free(bytes);
}

int CreateTextFileF(LPCWSTR path, LPCWSTR format, ...)
{
    if (!path)
        return 0;
    va_list measure, fill;
    va_start(measure, format);
    va_start(fill, format);
    size_t size;
    char *bytes = FormatFileBytesV(format, measure, fill, &size);
    va_end(fill);
    va_end(measure);
    if (!bytes)
        return 0;
    // CREATE_NEW: the check for an existing file and the creation are one
    // step, so nothing is ever written into a file that someone else made.
    // No sharing: nobody reads the text before it is whole.
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                              NULL);
    if (file == INVALID_HANDLE_VALUE) {
        free(bytes);
        return 0;
    }
    DWORD written = 0;
    // The text came from an int length, so its bytes fit a DWORD.
    int whole = size == 0 || (WriteFile(file, bytes, (DWORD)size, &written, NULL) &&
                              written == size);
    if (!CloseHandle(file))
        whole = 0;
    free(bytes);
    // The file is this call's own: a part of the text is worse than none.
    if (!whole)
        DeleteFileW(path);
    return whole;
}

// Optional blanks, an optional sign, then decimal digits up to the first
// other character; no digits give 0. Values beyond the 32-bit range stop at
// its ends instead of wrapping.
static int ParseInteger(LPCWSTR text)
{
    while (*text == L' ' || (*text >= L'\t' && *text <= L'\r'))
        ++text;
    int negative = 0;
    if (*text == L'+' || *text == L'-')
        negative = *text++ == L'-';
    __int64 magnitude = 0;
    for (; *text >= L'0' && *text <= L'9'; ++text) {
        magnitude = magnitude * 10 + (*text - L'0');
        if (magnitude > 0x80000000LL)
            magnitude = 0x80000000LL;
    }
    __int64 value = negative ? -magnitude : magnitude;
    if (value > 0x7FFFFFFFLL)
        value = 0x7FFFFFFFLL;
    return (int)value;
}

int (*g_configPathKind)(LPCWSTR path) = GetPathKind;

WCHAR HoldKind(const CStrList *holds, UINT index)
{
    return holds->At(index)[0];
}

LPCWSTR HoldName(const CStrList *holds, UINT index)
{
    return holds->At(index) + 1;
}

// Adds a hold of the kind to the list, unless the value is empty or only
// blanks: such a hold would name every window whose title holds a blank.
static void AddHold(CStrList *holds, WCHAR kind, LPCWSTR value)
{
    WCHAR entry[CONFIG_LINE_CAPACITY + 1];
    LPCWSTR rest = value;
    while (*rest == L' ' || *rest == L'\t')
        rest++;
    if (!*rest)
        return;
    entry[0] = kind;
    lstrcpynW(entry + 1, value, CONFIG_LINE_CAPACITY);
    holds->Add(entry);
}

void ReadMonitorSettings(LPCWSTR path, MonitorSettings *settings, int missing)
{
    WCHAR line[CONFIG_LINE_CAPACITY];
    WCHAR value[CONFIG_LINE_CAPACITY];
    LineReader reader;

    settings->windows.Clear();
    settings->holds.Clear();
    settings->fdscreenoff = 0;
    // A call and a slid-out keyboard keep the display unless the file says no.
    settings->call = 1;
    settings->keyboard = 1;
    int ownDefaults = 0;
    if (g_configPathKind(path) == PATH_MISSING) {
        // Only into a file of its own: the editor's Save may land between
        // the check and the write, or the check may fail for a moment on a
        // file that exists, and the user's settings must win. A file that
        // cannot be created simply gives no lines.
        LPCWSTR defaults = LoadResString(IDS_DEFAULT_CONFIG);
        if (missing == SETTINGS_LEAVE_MISSING)
            reader.LoadText(defaults);
        else if (defaults)
            ownDefaults = CreateTextFileF(path, L"%s", defaults);
    }

    int read = 0;
    if (!reader.buffer)
        reader.Load(path, &read);
    // "#log" is not in the default text: a file read without it keeps no
    // account from this event on. A file that was not read (held by Save,
    // or gone for a moment on a card, where Save deletes it before its move,
    // and the default text written in its place, or read in its place at a
    // front change) says nothing about it: the account goes on as it was.
    if (read && !ownDefaults)
        settings->log = 0;
    while (reader.NextLine(line, CONFIG_LINE_CAPACITY)) {
        if (GetDirective(L"#timeout", line, value, L'(', L')') && value[0]) {
            // A negative wait would be an endless one for the platform.
            int timeout = ParseInteger(value);
            settings->timeout = timeout < 0 ? 0 : timeout;
        }
        if (GetDirective(L"#onlyfor", line, value, L'(', L')') && value[0])
            settings->onlyfor = ParseInteger(value);
        if (GetDirective(L"#fdscreenoff", line, value, L'(', L')') && value[0])
            settings->fdscreenoff = ParseInteger(value);
        if (GetDirective(L"#log", line, value, L'(', L')') && value[0])
            settings->log = ParseInteger(value);
        if (GetDirective(L"#call", line, value, L'(', L')') && value[0])
            settings->call = ParseInteger(value);
        if (GetDirective(L"#keyboard", line, value, L'(', L')') && value[0])
            settings->keyboard = ParseInteger(value);
        if (GetDirective(L"#window", line, value, L'(', L')') && value[0])
            settings->windows.Add(value);
        if (GetDirective(L"#portrait", line, value, L'(', L')'))
            AddHold(&settings->holds, HOLD_PORTRAIT, value);
        if (GetDirective(L"#landscape", line, value, L'(', L')'))
            AddHold(&settings->holds, HOLD_LANDSCAPE, value);
    }
    reader.Free();
}

int ReadSavedLogSetting(LPCWSTR path, int *read)
{
    WCHAR line[CONFIG_LINE_CAPACITY];
    WCHAR value[CONFIG_LINE_CAPACITY];
    LineReader reader;
    int log = 0;
    reader.Load(path, read);
    while (reader.NextLine(line, CONFIG_LINE_CAPACITY)) {
        if (GetDirective(L"#log", line, value, L'(', L')') && value[0])
            log = ParseInteger(value);
    }
    reader.Free();
    return log;
}
