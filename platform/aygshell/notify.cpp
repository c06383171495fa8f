// Shell library stand-in: registry notifications posted to a window.
// A watcher thread sleeps on the registry's own change notification and
// posts the message when the watched value has changed; it never polls.
#include "../aygshell.h"
#include "../standin_log.h"

namespace {

struct Watch {
    HKEY key;
    HANDLE changed;   // signalled by the registry
    HANDLE stop;      // signalled by RegistryCloseNotification
    HANDLE thread;
    HWND window;
    UINT message;
    DWORD userData;
    WCHAR valueName[256];
    DWORD lastValue;
    BOOL lastValid;
};

BOOL ReadDword(Watch *w, DWORD *value)
{
    DWORD type = 0, size = sizeof(*value);
    return RegQueryValueExW(w->key, w->valueName, NULL, &type, (BYTE *)value, &size) ==
               ERROR_SUCCESS &&
           type == REG_DWORD;
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
        DWORD value = 0;
        BOOL valid = ReadDword(w, &value);
        if (valid && (!w->lastValid || value != w->lastValue)) {
            PostMessageW(w->window, w->message, (WPARAM)value, (LPARAM)w->userData);
            StandinLog(L"aygshell notify posted=%lu", (unsigned long)value);
        }
        w->lastValue = value;
        w->lastValid = valid;
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
    w->lastValid = ReadDword(w, &w->lastValue);
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
