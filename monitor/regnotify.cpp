// The shell's registry notifications, bound only for the moment of use.
#include "regnotify.h"
#include "sensorlib.h"

void RegNotifyLib::Load()
{
    module = LoadLibraryW(TEXT("aygshell.dll"));
    if (!module)
        return;
    notifyWindow =
        BIND_ENTRY(PFN_RegistryNotifyWindow, module, TEXT("RegistryNotifyWindow"));
    closeNotification =
        BIND_ENTRY(PFN_RegistryCloseNotification, module, TEXT("RegistryCloseNotification"));
}

void RegNotifyLib::Release()
{
    notifyWindow = NULL;
    closeNotification = NULL;
    if (module)
        FreeLibrary(module);
    module = NULL;
}

HRESULT RegNotifyLib::NotifyWindow(HKEY root, LPCWSTR subKey, LPCWSTR valueName, HWND window,
                                   UINT message, DWORD userData,
                                   NOTIFICATIONCONDITION *condition, HREGNOTIFY *handle)
{
    if (!module || !notifyWindow || !closeNotification)
        return E_FAIL;
    return notifyWindow(root, subKey, valueName, window, message, userData, condition, handle);
}

HRESULT RegNotifyLib::CloseNotification(HREGNOTIFY handle)
{
    if (!module || !notifyWindow || !closeNotification)
        return E_FAIL;
    return closeNotification(handle);
}
