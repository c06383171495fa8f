// The account of each sensor event: why the display turned or not, one line
// per event, in plain ANSI text with CR LF like the configuration file.
#include "account.h"
#include <stdlib.h>
#include <string.h>
#include "common/message.h"
#include "orientation.h"
#include "common/config.h"
#include "common/textsearch.h"

#define FRONT_CAPACITY (3 * WINDOW_NAME_CAPACITY + 8)
#define DECISION_CAPACITY (CONFIG_LINE_CAPACITY + 40)
#define DEED_CAPACITY 128

LPWSTR GetAccountPath(LPCWSTR configPath, LPWSTR logPath)
{
    logPath[0] = 0;
    if (!configPath || !configPath[0])
        return logPath;
    int length = lstrlenW(configPath);
    if (length >= 4 && CompareNoCaseN(configPath + length - 4, L".txt", 4) == 0)
        length -= 4;
    // Never the configuration file itself, nor a path cut short.
    if (length + 5 > CONFIG_PATH_CAPACITY)
        return logPath;
    memcpy(logPath, configPath, (size_t)length * sizeof(WCHAR));
    lstrcpyW(logPath + length, L".log");
    return logPath;
}

static LPCWSTR PositionMeaning(DWORD value)
{
    switch (value) {
    case SENSOR_TURNED_90:
        return L"on its side";
    case SENSOR_TURNED_270:
        return L"on its other side";
    case SENSOR_UPRIGHT:
        return L"upright";
    case SENSOR_UPSIDE_DOWN:
        return L"upside down";
    case SENSOR_FACE_DOWN:
        return L"face down";
    }
    return L"unknown value";
}

static LPCWSTR WhatMatched(int decided)
{
    switch (decided) {
    case DECIDED_BY_CLASS:
        return L"class";
    case DECIDED_BY_TITLE:
        return L"title";
    case DECIDED_BY_PROGRAM:
        return L"program name";
    }
    return L"";
}

// Field 2's opening for a line of no sensor event.
static LPCWSTR PointOf(int point)
{
    switch (point) {
    case POINT_FRONT_CHANGE:
        return L"front change, read ";
    case POINT_START:
        return L"start, read ";
    case POINT_CALL_ENDED:
        return L"call ended, read ";
    case POINT_KEYBOARD_IN:
        return L"keyboard in, read ";
    }
    return L"";
}

// "0x00010000": the sensor's values as its driver writes them.
static LPCWSTR HexValue(DWORD value, WCHAR text[11])
{
    static const WCHAR digits[] = L"0123456789ABCDEF";
    text[0] = L'0';
    text[1] = L'x';
    for (int i = 0; i < 8; ++i)
        text[2 + i] = digits[(value >> (28 - 4 * i)) & 0xF];
    text[10] = 0;
    return text;
}

static LPCWSTR TwoDigits(WORD value, WCHAR text[3])
{
    text[0] = (WCHAR)(L'0' + value / 10 % 10);
    text[1] = (WCHAR)(L'0' + value % 10);
    text[2] = 0;
    return text;
}

static LPCWSTR DirectiveOf(int hold)
{
    switch (hold) {
    case HOLD_PORTRAIT:
        return L"#portrait";
    case HOLD_LANDSCAPE:
        return L"#landscape";
    }
    return L"#window";
}

// Field 4: what decided.
static int FormatDecision(const EventAccount *account, LPWSTR text, int capacity)
{
    switch (account->decided) {
    case DECIDED_BY_CLASS:
    case DECIDED_BY_TITLE:
    case DECIDED_BY_PROGRAM:
        return FormatText(text, capacity, L"%s(%s) matched the %s%s", DirectiveOf(account->hold),
                          account->entry, account->byOwner ? L"owner's " : L"",
                          WhatMatched(account->decided));
    case DECIDED_FACE_DOWN:
        return FormatText(text, capacity, L"face down, fdscreenoff %d", account->setting);
    case DECIDED_CALL:
        return FormatText(text, capacity, L"a call is in progress");
    case DECIDED_KEYBOARD:
        return FormatText(text, capacity, L"the keyboard is out");
    }
    return FormatText(text, capacity, L"no entry matched, onlyfor %d", account->setting);
}

// Field 5 when nothing was waited for: the value, if read at all, is in
// field 2.
static int FormatUnwaitedDeed(const EventAccount *account, LPWSTR text, int capacity)
{
    switch (account->did) {
    case DID_LEAVE_ALONE:
        return FormatText(text, capacity, L"left alone");
    case DID_TURN:
        return FormatText(text, capacity, L"turned to code %d", account->code);
    case DID_GIVE_BACK:
        return FormatText(text, capacity, L"gave back code %d", account->code);
    case DID_ALREADY_HELD:
        return FormatText(text, capacity, L"the display already held code %d", account->code);
    case DID_TURN_NOT_TAKEN:
        if (account->answered < 0)
            return FormatText(text, capacity, L"asked for code %d; the display does not answer",
                              account->code);
        return FormatText(text, capacity, L"asked for code %d; the display answers %d",
                          account->code, account->answered);
    }
    return FormatText(text, capacity, L"no rotation service, nothing done");
}

// Field 5: what Vorn did.
static int FormatDeed(const EventAccount *account, LPWSTR text, int capacity)
{
    if (account->unwaited)
        return FormatUnwaitedDeed(account, text, capacity);
    WCHAR read[11];
    HexValue(account->read, read);
    switch (account->did) {
    case DID_LEAVE_ALONE:
        return FormatText(text, capacity, L"left alone");
    case DID_TURN:
        return FormatText(text, capacity, L"waited %u ms, read %s: turned to code %d",
                          account->waitedMs, read, account->code);
    case DID_ALREADY_HELD:
        return FormatText(text, capacity, L"waited %u ms, read %s: the display already held code %d",
                          account->waitedMs, read, account->code);
    case DID_TURN_NOT_TAKEN:
        // What the codes mean is the platform's: the line says no more.
        if (account->answered < 0)
            return FormatText(text, capacity,
                              L"waited %u ms, read %s: asked for code %d; the display does not "
                              L"answer",
                              account->waitedMs, read, account->code);
        return FormatText(text, capacity,
                          L"waited %u ms, read %s: asked for code %d; the display answers %d",
                          account->waitedMs, read, account->code, account->answered);
    case DID_NOTHING_NO_POSITION:
        return FormatText(text, capacity, L"waited %u ms, read %s: no position, nothing done",
                          account->waitedMs, read);
    case DID_NOTHING_NO_SERVICE:
        return FormatText(text, capacity,
                          L"waited %u ms, read %s: no rotation service, nothing done",
                          account->waitedMs, read);
    case DID_PRESS_POWER_KEY:
        return FormatText(text, capacity, L"waited %u ms, still face down: pressed the power key",
                          account->waitedMs);
    case DID_SWITCH_DISPLAY_OFF:
        return FormatText(text, capacity,
                          L"waited %u ms, still face down: asked the display to switch off",
                          account->waitedMs);
    case DID_NOTHING_NO_POWER_CONTROL:
        return FormatText(text, capacity,
                          L"waited %u ms, still face down: the display has no power control, "
                          L"nothing done",
                          account->waitedMs);
    case DID_NOTHING_NOT_FACE_DOWN:
        return FormatText(text, capacity,
                          L"waited %u ms, read %s: no longer face down, nothing done",
                          account->waitedMs, read);
    }
    return FormatText(text, capacity, L"unloaded during the wait: event dropped");
}

int FormatAccountLine(const SYSTEMTIME *time, const EventAccount *account, LPWSTR line,
                      int capacity)
{
    WCHAR hours[3], minutes[3], seconds[3], value[11];
    // Title, class and program of WINDOW_NAME_CAPACITY each; an entry of a
    // configuration line; the longest deed.
    WCHAR front[FRONT_CAPACITY];
    WCHAR decision[DECISION_CAPACITY];
    WCHAR deed[DEED_CAPACITY];
    if (account->front)
        FormatText(front, FRONT_CAPACITY, L"\"%s\" %s %s", account->title, account->className,
                   account->program);
    else
        FormatText(front, FRONT_CAPACITY, L"no window in front");
    FormatDecision(account, decision, DECISION_CAPACITY);
    FormatDeed(account, deed, DEED_CAPACITY);
    // Field 2: the value posted with a sensor event, or the one read at a
    // front change.
    DWORD shown = account->frontChange ? account->read : account->posted;
    int length = FormatText(line, capacity, L"%s:%s:%s | %s%s %s | %s | %s | %s",
                            TwoDigits(time->wHour, hours), TwoDigits(time->wMinute, minutes),
                            TwoDigits(time->wSecond, seconds),
                            PointOf(account->frontChange),
                            HexValue(shown, value), PositionMeaning(shown), front, decision,
                            deed);
    // A title may hold a line break; the account keeps one line per event.
    for (LPWSTR p = line; p && *p; ++p) {
        if (*p == L'\r' || *p == L'\n')
            *p = L' ';
    }
    return length;
}

PFN_AccountWrite g_accountWrite = WriteFile;
PFN_AccountRead g_accountRead = ReadFile;
PFN_AccountMove g_accountMove = MoveFileOver;

static int WriteAll(HANDLE file, const char *bytes, DWORD size)
{
    DWORD written = 0;
    return size == 0 || (g_accountWrite(file, bytes, size, &written, NULL) && written == size);
}

static int Exists(LPCWSTR path)
{
    return path[0] && GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

// logPath with ending added, or, when that would pass MAX_PATH - 1
// characters, a sibling name as long as the log's own whose last character
// is mark (other when it is mark already). Judged by length, not by a
// failed create: some file systems take a longer path.
static LPWSTR BesideTheLog(LPCWSTR logPath, LPCWSTR ending, WCHAR mark, WCHAR other,
                           LPWSTR path)
{
    path[0] = 0;
    int length = logPath ? lstrlenW(logPath) : 0;
    if (length == 0 || length >= CONFIG_PATH_CAPACITY)
        return path;
    lstrcpyW(path, logPath);
    if (length + lstrlenW(ending) <= MAX_PATH - 1)
        lstrcpyW(path + length, ending);
    else
        path[length - 1] = logPath[length - 1] == mark ? other : mark;
    return path;
}

LPWSTR GetAccountNextPath(LPCWSTR logPath, LPWSTR nextPath)
{
    // ".next" is a name Save never uses for a file of its own.
    return BesideTheLog(logPath, L".next", L'~', L'_', nextPath);
}

LPWSTR GetAccountTempPath(LPCWSTR logPath, LPWSTR tempPath)
{
    // Neither Save's names ("~vorn1.tmp") nor the new file's.
    return BesideTheLog(logPath, L".tmp", L'-', L'=', tempPath);
}

// The lines to keep of the open file of size bytes, in a block the caller
// frees; null when they cannot be read. All of them while the line of
// lineSize bytes still fits after them; else those of the last half.
static char *ReadKeptLines(HANDLE file, DWORD size, DWORD lineSize, DWORD *keptSize)
{
    int all = size <= ACCOUNT_FILE_LIMIT - lineSize;
    // One byte before the kept half is read too: when it ends a line, the
    // half begins with a whole line; else its first, partial line goes.
    DWORD from = all ? 0 : size - ACCOUNT_FILE_LIMIT / 2 - 1;
    DWORD length = size - from;
    char *kept = (char *)malloc(length + 1);
    if (!kept)
        return NULL;
    DWORD got = 0;
    if (SetFilePointer(file, (LONG)from, NULL, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
        (length > 0 && (!g_accountRead(file, kept, length, &got, NULL) || got != length))) {
        free(kept);
        return NULL;
    }
    DWORD start = 0;
    if (!all) {
        while (start < length && kept[start] != '\n')
            ++start;
        if (start < length)
            ++start;
    }
    memmove(kept, kept + start, length - start);
    *keptSize = length - start;
    return kept;
}

// Writes the file anew, whole: first, then the line. 1 when all of it is
// on disk.
static int WriteWholeFile(LPCWSTR path, const char *first, DWORD firstSize, const char *line,
                          DWORD lineSize)
{
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    int ok = WriteAll(file, first, firstSize) && WriteAll(file, line, lineSize);
    if (!CloseHandle(file))
        ok = 0;
    return ok;
}

// Puts the file from in the place of the file to, trying again for a
// moment while a reader holds that one: the phone has no delete sharing, so
// a reader's open handle makes the move fail. *oldGone as MoveFileOver
// sets it.
static int MoveIntoPlace(LPCWSTR from, LPCWSTR to, int *oldGone)
{
    for (int attempt = 1;; ++attempt) {
        if (g_accountMove(from, to, oldGone))
            return 1;
        DWORD error = GetLastError();
        if (attempt >= REPLACE_ATTEMPTS ||
            (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED))
            return 0;
        Sleep(REPLACE_RETRY_MS);
    }
}

// "09:41:07 | older lines dropped: ...", with CR LF, at the time now: the
// kept lines found no room, or (unread) could not be read.
static DWORD FormatDropNote(char *note, int unread)
{
    static const char noRoom[] =
        "00:00:00 | older lines dropped: no room to begin the log anew\r\n";
    static const char notRead[] =
        "00:00:00 | older lines dropped: the log could not be read\r\n";
    DWORD length = unread ? sizeof(notRead) - 1 : sizeof(noRoom) - 1;
    memcpy(note, unread ? notRead : noRoom, length);
    SYSTEMTIME now;
    GetLocalTime(&now);
    WORD parts[3] = {now.wHour, now.wMinute, now.wSecond};
    for (int i = 0; i < 3; ++i) {
        note[3 * i] = (char)('0' + parts[i] / 10 % 10);
        note[3 * i + 1] = (char)('0' + parts[i] % 10);
    }
    return length;
}

// Writes the kept lines and the new one whole to the temporary file, which
// is closed before any move: a new file is always whole. When the kept
// lines could not be read, or find no room (a card nearly full), a line
// that says which stands in their place. 1 when the temporary file is
// whole; else it is gone.
static int WriteTempFile(LPCWSTR temp, const char *kept, DWORD keptSize, const char *line,
                         DWORD lineSize)
{
    if (!temp[0])
        return 0;
    int ok = kept && WriteWholeFile(temp, kept, keptSize, line, lineSize);
    if (!ok) {
        char note[80];
        DWORD noteSize = FormatDropNote(note, !kept);
        ok = WriteWholeFile(temp, note, noteSize, line, lineSize);
    }
    if (!ok)
        DeleteFileW(temp);
    return ok;
}

// Begins the log anew with the kept lines and the new one. The temporary
// file, whole, is renamed to the new file (no new file is there: one left
// behind took the log's place first; the rename is not the seam's, which
// is the move into the log's place), which then takes the log's place. So
// the log holds its old lines or its new ones, never a part of either,
// whenever the program stops or the card fills. 1 when the line is in the
// log.
static int StartAnew(LPCWSTR path, LPCWSTR next, LPCWSTR temp, const char *kept,
                     DWORD keptSize, const char *line, DWORD lineSize)
{
    if (!next[0] || !WriteTempFile(temp, kept, keptSize, line, lineSize))
        return 0;
    int oldGone = 0, nextGone = 0;
    if (MoveFileOver(temp, next, &nextGone)) {
        // A new file that cannot take the log's place stays, whole: it
        // takes the log's place before the next line is written. Once the
        // old log is gone (a storage card of the phone), it is the only copy
        // of its lines.
        return MoveIntoPlace(next, path, &oldGone);
    }
    // A card that takes no rename just now: the temporary file, whole,
    // takes the log's place itself. Once the old log is gone it is all
    // there is, and the next event makes it the new file.
    if (MoveIntoPlace(temp, path, &oldGone))
        return 1;
    if (!oldGone)
        DeleteFileW(temp);
    return 0;
}

// Begins the new file anew, while the lines go on in it, as the log would
// be: the temporary file, whole, takes its place.
static void StartNextAnew(LPCWSTR next, LPCWSTR temp, const char *kept, DWORD keptSize,
                          const char *line, DWORD lineSize)
{
    if (!WriteTempFile(temp, kept, keptSize, line, lineSize))
        return;
    int oldGone = 0;
    // Until the move, the new file holds its lines whole; once a card has
    // deleted it, the temporary file holds them.
    if (!MoveIntoPlace(temp, next, &oldGone) && !oldGone)
        DeleteFileW(temp);
}

// A temporary file left from a stop goes: the log, or the new file, holds
// the lines whole. With neither there, a move on a card deleted the file
// it was to replace, after it was closed whole: it is all there is, and
// becomes the new file. 0 when it is still all there is.
static int ClearTempFile(LPCWSTR path, LPCWSTR next, LPCWSTR temp)
{
    if (!Exists(temp))
        return 1;
    if (Exists(path) || Exists(next)) {
        DeleteFileW(temp);
        return 1;
    }
    int gone = 0;
    return next[0] && MoveFileOver(temp, next, &gone);
}

// 1 when the file ends in a line end. The new file ends in one whenever it
// was written whole: one that does not was cut short (a card after a
// battery pull may end in zeros where its data did not reach it).
static int EndsWithLineEnd(LPCWSTR path)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    char end[2] = {0, 0};
    DWORD got = 0;
    int whole = SetFilePointer(file, -2, NULL, FILE_END) != INVALID_SET_FILE_POINTER &&
                ReadFile(file, end, 2, &got, NULL) && got == 2 && end[0] == '\r' &&
                end[1] == '\n';
    CloseHandle(file);
    return whole;
}

// A new file left from an earlier event (its move failed) holds the latest
// lines: it takes the log's place before a line is added. 1 when the line
// goes to the log; 0 when the new file is still not in place and the line
// goes on in it.
static int TakeUpNewFile(LPCWSTR path, LPCWSTR next)
{
    if (!Exists(next))
        return 1;
    // Beside the log, a new file cut short is worth less than the log,
    // which is whole: it goes. Without the log, it is all there is.
    if (Exists(path) && !EndsWithLineEnd(next)) {
        DeleteFileW(next);
        return 1;
    }
    int oldGone = 0;
    return MoveIntoPlace(next, path, &oldGone);
}

// Adds the line at the end of the open file of size bytes. A write that
// stops short (a full card) is cut off again, so that no part of a line
// stays for the next one to join.
static int AppendAtEnd(HANDLE file, DWORD size, const char *line, DWORD lineSize)
{
    if (SetFilePointer(file, 0, NULL, FILE_END) == INVALID_SET_FILE_POINTER)
        return 0;
    if (WriteAll(file, line, lineSize))
        return 1;
    if (SetFilePointer(file, (LONG)size, NULL, FILE_BEGIN) != INVALID_SET_FILE_POINTER)
        SetEndOfFile(file);
    return 0;
}

// The log opened for a line, tried again for a moment while a reader holds
// it without sharing writing. Others may read the account while it is
// kept, never write it.
static HANDLE OpenLogForLine(LPCWSTR path)
{
    for (int attempt = 1;; ++attempt) {
        HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, NULL,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE)
            return file;
        DWORD error = GetLastError();
        if (attempt >= REPLACE_ATTEMPTS ||
            (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED))
            return INVALID_HANDLE_VALUE;
        Sleep(REPLACE_RETRY_MS);
    }
}

// Adds the line to the log, or begins the log anew for it. A log that a
// reader holds through every try is read, and its lines and the line go to
// the new file, which takes the log's place once it can. 1 when the line
// is in the log.
static int AddToLog(LPCWSTR path, LPCWSTR next, LPCWSTR temp, const char *line, DWORD lineSize)
{
    HANDLE file = OpenLogForLine(path);
    int anew = 0, ok = 0;
    if (file == INVALID_HANDLE_VALUE) {
        if (!Exists(path))
            return 0;
        file = CreateFileW(path, GENERIC_READ, CE_FILE_SHARE_ALL, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
        if (file == INVALID_HANDLE_VALUE)
            return 0;
        anew = 1;
    }
    DWORD size = GetFileSize(file, NULL);
    char *kept = NULL;
    DWORD keptSize = 0;
    if (size == INVALID_FILE_SIZE)
        anew = 0;
    else if (!anew && size <= ACCOUNT_FILE_LIMIT - lineSize)
        ok = AppendAtEnd(file, size, line, lineSize);
    else
        anew = 1;
    if (anew)
        kept = ReadKeptLines(file, size, lineSize, &keptSize);
    if (!CloseHandle(file))
        ok = 0;
    // The log is closed before another file takes its place.
    if (anew)
        ok = StartAnew(path, next, temp, kept, keptSize, line, lineSize);
    free(kept);
    return ok;
}

// Adds the line to the new file while it cannot take the log's place; past
// the limit, the new file begins anew as the log would.
static void AddToNewFile(LPCWSTR next, LPCWSTR temp, const char *line, DWORD lineSize)
{
    HANDLE file = CreateFileW(next, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD size = GetFileSize(file, NULL);
    char *kept = NULL;
    DWORD keptSize = 0;
    int anew = 0;
    if (size != INVALID_FILE_SIZE && size <= ACCOUNT_FILE_LIMIT - lineSize)
        AppendAtEnd(file, size, line, lineSize);
    else if (size != INVALID_FILE_SIZE) {
        anew = 1;
        kept = ReadKeptLines(file, size, lineSize, &keptSize);
    }
    CloseHandle(file);
    if (anew)
        StartNextAnew(next, temp, kept, keptSize, line, lineSize);
    free(kept);
}

int AppendAccountLine(LPCWSTR path, LPCWSTR line)
{
    if (!path || !path[0] || !line)
        return 0;
    int length = lstrlenW(line);
    int ansiLength = length > 0
                         ? WideCharToMultiByte(CP_ACP, 0, line, length, NULL, 0, NULL, NULL)
                         : 0;
    if (ansiLength < 0 || (length > 0 && ansiLength == 0) ||
        ansiLength + 2 > ACCOUNT_FILE_LIMIT / 2)
        return 0;
    char *bytes = (char *)malloc((size_t)ansiLength + 2);
    if (!bytes)
        return 0;
    if (length > 0)
        WideCharToMultiByte(CP_ACP, 0, line, length, bytes, ansiLength, NULL, NULL);
    bytes[ansiLength] = '\r';
    bytes[ansiLength + 1] = '\n';
    DWORD lineSize = (DWORD)ansiLength + 2;

    WCHAR next[CONFIG_PATH_CAPACITY];
    WCHAR temp[CONFIG_PATH_CAPACITY];
    GetAccountNextPath(path, next);
    GetAccountTempPath(path, temp);
    int ok = 0;
    // A log begun here would make the temporary file, all there is, look
    // left from a stop.
    if (ClearTempFile(path, next, temp)) {
        if (TakeUpNewFile(path, next))
            ok = AddToLog(path, next, temp, bytes, lineSize);
        else
            AddToNewFile(next, temp, bytes, lineSize);
    }
    free(bytes);
    return ok;
}

void KeepAccount(LPCWSTR configPath, const EventAccount *account)
{
    WCHAR path[CONFIG_PATH_CAPACITY];
    WCHAR line[ACCOUNT_LINE_CAPACITY];
    SYSTEMTIME now;
    GetLocalTime(&now);
    FormatAccountLine(&now, account, line, ACCOUNT_LINE_CAPACITY);
    AppendAccountLine(GetAccountPath(configPath, path), line);
}
