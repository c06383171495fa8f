// Shell library stand-in: registry notifications posted to a window.
// A watcher thread sleeps on the registry's own change notification and
// posts the message when the watched value has changed; it never polls.
// The value is a DWORD (the sensor's position) or a string (the app in
// front); either is told when it differs from the last one read, and the
// first one written after a deletion is told whatever it holds.
#include "../aygshell.h"
#include "../standin_log.h"

namespace {

// The longest string value the notification holds; a longer one is not
// told, as an unreadable value is not.
#define NOTIFY_TEXT_MAX 256

// One reading of the watched value: a DWORD or a string, as the phone's
// shell and drivers write them.
struct Reading {
    BOOL valid;  // a DWORD, or a string of up to NOTIFY_TEXT_MAX characters
    DWORD type;
    DWORD value;
    DWORD length;  // characters of text, the terminator left out
    WCHAR text[NOTIFY_TEXT_MAX + 2];
};

struct Watch {
    HKEY key;
    HANDLE changed;   // signalled by the registry
    HANDLE stop;      // signalled by RegistryCloseNotification
    HANDLE thread;
    HWND window;
    UINT message;
    DWORD userData;
    WCHAR valueName[256];
    Reading last;
};

void ReadValue(Watch *w, Reading *r)
{
    // One character is kept back for the terminator.
    DWORD size = sizeof(r->text) - sizeof(WCHAR);
    r->type = 0;
    r->value = 0;
    r->length = 0;
    LONG rc = RegQueryValueExW(w->key, w->valueName, NULL, &r->type, (BYTE *)r->text, &size);
    r->valid = FALSE;
    if (rc != ERROR_SUCCESS)
        return;
    if (r->type == REG_DWORD && size == sizeof(DWORD)) {
        memcpy(&r->value, r->text, sizeof(DWORD));
        r->valid = TRUE;
    } else if (r->type == REG_SZ) {
        // Stored with or without its terminator.
        DWORD n = size / sizeof(WCHAR);
        while (n && !r->text[n - 1])
            --n;
        r->length = n;
        r->text[n] = 0;
        r->valid = n <= NOTIFY_TEXT_MAX;
    }
}

BOOL SameReading(const Reading *a, const Reading *b)
{
    if (a->type != b->type)
        return FALSE;
    if (a->type == REG_DWORD)
        return a->value == b->value;
    return a->length == b->length &&
           memcmp(a->text, b->text, a->length * sizeof(WCHAR)) == 0;
}

// The text as the call log shows it: ESC, which the shell puts between the
// two apps' names, as \x1b.
void LogText(const Reading *r)
{
    WCHAR shown[NOTIFY_TEXT_MAX * 4 + 1];
    DWORD at = 0;
    for (DWORD i = 0; i < r->length; i++) {
        if (r->text[i] < 0x20) {
            at += wsprintfW(shown + at, L"\\x%02x", (unsigned)r->text[i]);
        } else {
            shown[at++] = r->text[i];
        }
    }
    shown[at] = 0;
    StandinLog(L"aygshell notify posted text=\"%ls\"", shown);
}

BOOL Arm(Watch *w)
{
    return RegNotifyChangeKeyValue(w->key, FALSE, REG_NOTIFY_CHANGE_LAST_SET, w->changed,
                                   TRUE) == ERROR_SUCCESS;
}

DWORD WINAPI WatchThread(void *param)
{
    Watch *w = (Watch *)param;
    HANDLE handles[2] = {w->stop, w->changed};
    for (;;) {
        DWORD which = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        if (which != WAIT_OBJECT_0 + 1)
            break;
        // Re-arm before reading, so that a write between the two is not lost.
        if (!Arm(w))
            break;
        Reading now;
        ReadValue(w, &now);
        if (now.valid && (!w->last.valid || !SameReading(&now, &w->last))) {
            // A string's text travels in no parameter: the receiver reads it.
            DWORD posted = now.type == REG_DWORD ? now.value : 0;
            PostMessageW(w->window, w->message, (WPARAM)posted, (LPARAM)w->userData);
            if (now.type == REG_DWORD)
                StandinLog(L"aygshell notify posted=%lu", (unsigned long)posted);
            else
                LogText(&now);
        } else {
            // A change of the key that tells nothing: another value, the
            // same value again, or one deleted or not held.
            StandinLog(now.valid ? L"aygshell notify unchanged" : L"aygshell notify unreadable");
        }
        w->last = now;
    }
    return 0;
}

void FreeWatch(Watch *w)
{
    if (w->changed)
        CloseHandle(w->changed);
    if (w->stop)
        CloseHandle(w->stop);
    if (w->key)
        RegCloseKey(w->key);
    HeapFree(GetProcessHeap(), 0, w);
}

} // namespace

extern "C" HRESULT WINAPI RegistryNotifyWindow(HKEY root, LPCTSTR subKey, LPCTSTR valueName,
                                               HWND window, UINT message, DWORD userData,
                                               NOTIFICATIONCONDITION *condition,
                                               HREGNOTIFY *handle)
{
    StandinLog(L"aygshell RegistryNotifyWindow root=0x%lx key=\"%ls\" value=\"%ls\" msg=%u "
               L"user=%lu condition=%ls",
               (unsigned long)(ULONG_PTR)root, subKey ? subKey : L"(null)",
               valueName ? valueName : L"(null)", message, (unsigned long)userData,
               condition ? L"set" : L"none");
    if (!subKey || !valueName || !window || !handle || condition)
        return E_INVALIDARG;
    *handle = NULL;
    Watch *w = (Watch *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Watch));
    if (!w)
        return E_OUTOFMEMORY;
    w->window = window;
    w->message = message;
    w->userData = userData;
    lstrcpynW(w->valueName, valueName, 256);
    // The platform watches keys that do not exist yet, too.
    if (RegCreateKeyExW(root, subKey, 0, NULL, 0, KEY_QUERY_VALUE | KEY_NOTIFY, NULL, &w->key,
                        NULL) != ERROR_SUCCESS) {
        while (*subKey == L'\\')
            ++subKey;
        if (RegCreateKeyExW(root, subKey, 0, NULL, 0, KEY_QUERY_VALUE | KEY_NOTIFY, NULL, &w->key,
                            NULL) != ERROR_SUCCESS) {
            w->key = NULL;
            FreeWatch(w);
            return E_FAIL;
        }
    }
    w->changed = CreateEventW(NULL, FALSE, FALSE, NULL);
    w->stop = CreateEventW(NULL, TRUE, FALSE, NULL);
    // Armed before returning: a change right after this call is seen.
    if (!w->changed || !w->stop || !Arm(w)) {
        FreeWatch(w);
        return E_FAIL;
    }
    ReadValue(w, &w->last);
    // The watcher runs code of this library: stay loaded even when the
    // caller frees its reference right after registering.
    HMODULE self;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       (LPCWSTR)(void *)WatchThread, &self);
    w->thread = CreateThread(NULL, 0, WatchThread, w, 0, NULL);
    if (!w->thread) {
        FreeWatch(w);
        return E_FAIL;
    }
    *handle = (HREGNOTIFY)w;
    StandinLog(L"aygshell RegistryNotifyWindow armed");
    return S_OK;
}

extern "C" HRESULT WINAPI RegistryCloseNotification(HREGNOTIFY handle)
{
    StandinLog(L"aygshell RegistryCloseNotification handle=%ls", handle ? L"set" : L"null");
    if (!handle)
        return E_INVALIDARG;
    Watch *w = (Watch *)handle;
    SetEvent(w->stop);
    WaitForSingleObject(w->thread, INFINITE);
    CloseHandle(w->thread);
    FreeWatch(w);
    return S_OK;
}
