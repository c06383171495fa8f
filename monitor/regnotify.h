// Binding of the shell's registry notifications. Made afresh on the stack
// for each use and released at once; only the notification handle is kept.
#pragma once
#include "wince.h"
#include "aygshell.h"

struct RegNotifyLib {
    HMODULE module;
    PFN_RegistryCloseNotification closeNotification;
    PFN_RegistryNotifyWindow notifyWindow;

    RegNotifyLib() : module(NULL), closeNotification(NULL), notifyWindow(NULL) {}

    void Load();
    void Release();
    // The platform's result, or E_FAIL when the library is not fully bound.
    HRESULT NotifyWindow(HKEY root, LPCWSTR subKey, LPCWSTR valueName, HWND window,
                         UINT message, DWORD userData, NOTIFICATIONCONDITION *condition,
                         HREGNOTIFY *handle);
    HRESULT CloseNotification(HREGNOTIFY handle);

private:
    RegNotifyLib(const RegNotifyLib &);
    RegNotifyLib &operator=(const RegNotifyLib &);
};
