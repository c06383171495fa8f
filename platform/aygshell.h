// The phone's shell library: the entry points and records Vorn uses, as the
// platform declares them.
#pragma once
#include "wince.h"

#ifdef __cplusplus
extern "C" {
#endif

// SHInitDialog
#define SHIDIM_FLAGS 0x0001
#define SHIDIF_DONEBUTTON 0x0001
#define SHIDIF_SIZEDLG 0x0002
#define SHIDIF_SIZEDLGFULLSCREEN 0x0004
#define SHIDIF_SIPDOWN 0x0008
#define SHIDIF_FULLSCREENNOMENUBAR 0x0010
#define SHIDIF_EMPTYMENU 0x0020
#define SHIDIF_WANTSCROLLBAR 0x0040

typedef struct tagSHINITDLGINFO {
    DWORD dwMask;
    HWND hDlg;
    DWORD dwFlags;
} SHINITDLGINFO, *PSHINITDLGINFO;

// SHCreateMenuBar
#define SHCMBF_EMPTYBAR 0x0001
#define SHCMBF_HIDDEN 0x0002
#define SHCMBF_HIDESIPBUTTON 0x0004
#define SHCMBF_COLORBK 0x0008
#define SHCMBF_HMENU 0x0010

typedef struct tagSHMENUBARINFO {
    DWORD cbSize;
    HWND hwndParent;
    DWORD dwFlags;
    UINT nToolBarId;
    HINSTANCE hInstRes;
    int nBmpId;
    int cBmpImages;
    HWND hwndMB;
    COLORREF clrBk;
} SHMENUBARINFO, *PSHMENUBARINFO;

// SHHandleWMActivate and SHHandleWMSettingChange
typedef struct tagSHACTIVATEINFO {
    DWORD cbSize;
    HWND hwndLastFocus;
    UINT fSipUp : 1;
    UINT fSipOnDeactivation : 1;
    UINT fActive : 1;
    UINT fReserved : 29;
} SHACTIVATEINFO, *PSHACTIVATEINFO;

BOOL WINAPI SHInitDialog(PSHINITDLGINFO pshidi);
BOOL WINAPI SHCreateMenuBar(SHMENUBARINFO *pmbi);
BOOL WINAPI SHHandleWMActivate(HWND hwnd, WPARAM wParam, LPARAM lParam,
                               SHACTIVATEINFO *psai, DWORD dwFlags);
BOOL WINAPI SHHandleWMSettingChange(HWND hwnd, WPARAM wParam, LPARAM lParam,
                                    SHACTIVATEINFO *psai);

// Registry notifications (looked up by name at run time).
typedef HANDLE HREGNOTIFY;

typedef enum _REG_COMPARISONTYPE {
    REG_CT_EQUAL,
    REG_CT_NOT_EQUAL,
    REG_CT_GREATER,
    REG_CT_GREATER_OR_EQUAL,
    REG_CT_LESS,
    REG_CT_LESS_OR_EQUAL,
    REG_CT_CONTAINS,
    REG_CT_STARTS_WITH,
    REG_CT_ENDS_WITH,
    REG_CT_ANYCHANGE
} REG_COMPARISONTYPE;

typedef struct _NOTIFICATIONCONDITION {
    REG_COMPARISONTYPE ctComparisonType;
    DWORD dwMask;
    union {
        LPCTSTR psz;
        DWORD dw;
    } TargetValue;
} NOTIFICATIONCONDITION;

typedef HRESULT(WINAPI *PFN_RegistryNotifyWindow)(
    HKEY hKey, LPCTSTR pszSubKey, LPCTSTR pszValueName, HWND hWnd, UINT msg,
    DWORD dwUserData, NOTIFICATIONCONDITION *pCondition, HREGNOTIFY *phNotify);
typedef HRESULT(WINAPI *PFN_RegistryCloseNotification)(HREGNOTIFY hNotify);

// Start-up registration, export 12 (imported statically by ordinal).
// The record's words hold pointers, so they are pointer-wide.
HRESULT WINAPI RegisterWithShell(LPCWSTR name, DWORD flags,
                                 const UINT_PTR *record, LPCWSTR command);

// Display rotation, exports 298 (set) and 299 (query), looked up by ordinal.
#define AYG_ORDINAL_ROTATION_SET 298
#define AYG_ORDINAL_ROTATION_QUERY 299
typedef LONG(WINAPI *PFN_RotationSet)(DWORD code);
typedef LONG(WINAPI *PFN_RotationQuery)(DWORD *code);

#ifdef __cplusplus
}
#endif
