// The account as the editor shows it (see logview.h).
#include "logview.h"
#include "common/config.h"
#include "common/message.h"
#include "monitor/account.h"
#include "res/resource.h"
#include <stdlib.h>

LPWSTR ReadLogTail(LPCWSTR logPath)
{
    if (!logPath || !logPath[0])
        return NULL;
    // The monitor may hold the log open for writing, or put a new file in
    // its place, at any moment: take every share and let go at once. On the
    // phone, which has no delete sharing, a reader still holds up that move
    // for as long as it has the log open (the monitor tries again).
    HANDLE file = CreateFileW(logPath, GENERIC_READ, CE_FILE_SHARE_ALL, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    // After a move that failed once the old log was gone (a storage card),
    // the new file holds the latest lines until the next event puts it in
    // the log's place; with no new file either, the temporary file that
    // was to become it.
    if (file == INVALID_HANDLE_VALUE && GetFileAttributesW(logPath) == INVALID_FILE_ATTRIBUTES) {
        WCHAR other[CONFIG_PATH_CAPACITY];
        file = CreateFileW(GetAccountNextPath(logPath, other), GENERIC_READ, CE_FILE_SHARE_ALL,
                           NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file == INVALID_HANDLE_VALUE && GetFileAttributesW(other) == INVALID_FILE_ATTRIBUTES)
            file = CreateFileW(GetAccountTempPath(logPath, other), GENERIC_READ,
                               CE_FILE_SHARE_ALL, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                               NULL);
    }
    if (file == INVALID_HANDLE_VALUE)
        return NULL;
    DWORD size = GetFileSize(file, NULL);
    DWORD from = 0, got = 0;
    char *bytes = NULL;
    if (size != INVALID_FILE_SIZE && size > 0) {
        from = size > LOG_VIEW_BYTES ? size - LOG_VIEW_BYTES : 0;
        bytes = (char *)malloc(size - from + 1);
        if (bytes && (SetFilePointer(file, (LONG)from, NULL, FILE_BEGIN) ==
                          INVALID_SET_FILE_POINTER ||
                      !ReadFile(file, bytes, size - from, &got, NULL)))
            got = 0;
    }
    CloseHandle(file);
    if (!bytes)
        return NULL;

    // Whole lines only: the first, when the read began inside the file, may
    // be the end of one; the last may still be being written.
    DWORD start = 0, end = got;
    if (from > 0) {
        while (start < got && bytes[start] != '\n')
            ++start;
        ++start;
    }
    while (end > start && bytes[end - 1] != '\n')
        --end;
    LPWSTR tail = NULL;
    if (end > start) {
        // After a battery pull a card's file may hold zeros where its end
        // was, and the lines written since lie after them.
        DWORD kept = start;
        for (DWORD i = start; i < end; ++i) {
            if (bytes[i])
                bytes[kept++] = bytes[i];
        }
        bytes[kept] = 0;
        tail = AnsiToWide(bytes + start);
    }
    free(bytes);
    return tail;
}

LPCWSTR LogViewSentence(LPCWSTR configPath, int lines)
{
    int read = 0;
    int log = ReadSavedLogSetting(configPath, &read);
    // A file that was not read says nothing of the account: the running
    // monitor keeps it as it was until it reads the file again.
    if (!read)
        return LoadResString(GetPathKind(configPath) == PATH_MISSING ? IDS_CONFIG_MISSING
                                                                     : IDS_CONFIG_UNREAD);
    if (!log)
        return LoadResString(IDS_LOG_OFF);
    // So that an empty view is never mistaken for a fault.
    return lines ? NULL : LoadResString(IDS_LOG_EMPTY);
}

PFN_LogViewAlloc g_logViewAlloc = malloc;

// Only measures while text is NULL.
static void Append(LPWSTR text, int *length, LPCWSTR part, int partLength)
{
    if (text) {
        CopyMemory(text + *length, part, partLength * sizeof(WCHAR));
        text[*length + partLength] = 0;
    }
    *length += partLength;
}

// The view's text written into text, or only measured while text is NULL:
// the one walk does both, so the block is sized by what is written. Its
// length without the terminator.
static int WriteLogView(LPWSTR text, LPCWSTR sentence, int sentenceLength, LPCWSTR tail,
                        int tailLength, int *ends, int maxEvents, int *events)
{
    *events = 0;
    int length = 0;
    Append(text, &length, sentence, sentenceLength);

    // From the last line to the first.
    int lineEnd = tailLength;
    while (lineEnd > 0 && *events < maxEvents) {
        // Line ends, and empty lines with them, go.
        int shown = lineEnd;
        while (shown > 0 && (tail[shown - 1] == L'\n' || tail[shown - 1] == L'\r'))
            --shown;
        int lineStart = shown;
        while (lineStart > 0 && tail[lineStart - 1] != L'\n')
            --lineStart;
        if (shown > lineStart) {
            if (length > 0)
                Append(text, &length, L"\r\n\r\n", 4);
            Append(text, &length, tail + lineStart, shown - lineStart);
            ends[(*events)++] = length;
        }
        lineEnd = lineStart;
    }
    return length;
}

LPWSTR ComposeLogView(LPCWSTR sentence, LPCWSTR tail, int *ends, int maxEvents, int *events)
{
    int sentenceLength = sentence ? lstrlenW(sentence) : 0;
    int tailLength = tail ? lstrlenW(tail) : 0;
    // Measured first: a short line grows more than twice over ("x" and LF
    // in, "x" and a blank line out).
    int length = WriteLogView(NULL, sentence ? sentence : L"", sentenceLength, tail, tailLength,
                              ends, maxEvents, events);
    LPWSTR text = NULL;
    if (length > 0)
        text = (LPWSTR)g_logViewAlloc(((size_t)length + 1) * sizeof(WCHAR));
    if (!text) {
        *events = 0;
        return NULL;
    }
    WriteLogView(text, sentence ? sentence : L"", sentenceLength, tail, tailLength, ends,
                 maxEvents, events);
    return text;
}

int LogViewRows(HWND view)
{
    HDC dc = GetDC(view);
    HGDIOBJ old = SelectObject(dc, (HGDIOBJ)SendMessageW(view, WM_GETFONT, 0, 0));
    TEXTMETRICW metrics;
    int height = GetTextMetricsW(dc, &metrics) ? metrics.tmHeight : 0;
    SelectObject(dc, old);
    ReleaseDC(view, dc);
    RECT client;
    GetClientRect(view, &client);
    int rows = height > 0 ? (client.bottom - client.top) / height : 1;
    return rows > 0 ? rows : 1;
}

int LogEventsThatFit(HWND view, const int *ends, int events, int rows)
{
    int fit = 0;
    while (fit < events &&
           (int)SendMessageW(view, EM_LINEFROMCHAR, (WPARAM)(ends[fit] - 1), 0) < rows)
        ++fit;
    return fit > 0 || events == 0 ? fit : 1;
}
