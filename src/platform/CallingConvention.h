/* Calling conventions of the product's external libraries: stdcall and cdecl on 32-bit
   Windows, the platform's one convention elsewhere. Plain C so C libraries can use it. */
#ifndef ORBELLE_PLATFORM_CALLINGCONVENTION_H
#define ORBELLE_PLATFORM_CALLINGCONVENTION_H

#if defined(_WIN32) && !defined(_WIN64)
#define ORBELLE_STDCALL __stdcall
#define ORBELLE_CDECL __cdecl
#else
#define ORBELLE_STDCALL
#define ORBELLE_CDECL
#endif

#endif
