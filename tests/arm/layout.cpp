// The Win32 records the program hands the system, by address or by size,
// laid out as the phone lays them out. Compiled twice and never run: by the
// phone program's compiler with its flags (phone/flags.cmake), and by clang
// for 32-bit ARM Windows, whose layout is Microsoft's, as the reference. A
// row that does not hold fails the compile, naming the record.
//
// One difference is the phone compile's by design: its calling convention
// (apcs-gnu) gives every record an alignment of at least 4. A record whose
// size is a multiple of 4 is laid out the same then, field for field and
// in arrays; a record that embeds one is a row of its own and is held to
// its own offsets.
#include "wince.h"
#include "aygshell.h"

#ifdef PHONE_COMPILE
#define ALIGNED(type, align) \
    (__alignof__(type) == (align) || (sizeof(type) % 4 == 0 && __alignof__(type) == 4))
#else
#define ALIGNED(type, align) (__alignof__(type) == (align))
#endif

#define ROW(type, size, align)                                                        \
    typedef char size_of_##type[sizeof(type) == (size) ? 1 : -1] __attribute__((unused)); \
    typedef char alignment_of_##type[ALIGNED(type, align) ? 1 : -1] __attribute__((unused));

//  record                   size  alignment
ROW(MSG,                       28, 4)  // the message loop
ROW(WNDCLASSW,                 40, 4)
ROW(RECT,                      16, 4)
ROW(POINT,                      8, 4)
ROW(OSVERSIONINFOW,           276, 4)
ROW(PROCESSENTRY32,           564, 4)  // the phone's, by its documentation: 556 on the desktop
ROW(SYSTEMTIME,                16, 2)
ROW(TEXTMETRICW,               60, 4)
ROW(LOGFONTW,                  92, 4)
ROW(SHMENUBARINFO,             36, 4)
ROW(SHINITDLGINFO,             12, 4)
ROW(SHACTIVATEINFO,            12, 4)
ROW(NOTIFICATIONCONDITION,     12, 4)
ROW(VIDEO_POWER_MANAGEMENT,    12, 4)
