// Taken in before every source of the phone program: what MinGW-w64's
// headers expect of a Windows compiler, given to the ELF compiler that makes
// the phone's ARM code. The phone's calling convention has no keywords of
// its own: every function is called alike.
#pragma once
#define _WIN32 1
#define WIN32 1
#define __cdecl
#define __stdcall
#define __fastcall
#define __thiscall
#define __declspec(x) __attribute__((x))
