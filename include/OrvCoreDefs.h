// OrvCoreDefs.h - export macro and the few base definitions every OrvCore header shares.
#ifndef ORVCORE_DEFS_H
#define ORVCORE_DEFS_H

// ORVCORE_API marks what OrvCore_Rudaru20.dll exports. Clients import it;
// ORVCORE_STATIC (or a non-Windows host build of the XML module) drops it.
#if defined(ORVCORE_STATIC) || !defined(_WIN32)
#  define ORVCORE_API
#elif defined(ORVCORE_BUILDING_DLL)
#  define ORVCORE_API __declspec(dllexport)
#else
#  define ORVCORE_API __declspec(dllimport)
#endif

// printf-style checking for our formatting entry points; they format with the
// Microsoft C run-time, so %I64d and friends are valid there.
#if defined(__GNUC__) && defined(_WIN32)
#  define ORV_MS_PRINTF(fmt, first) __attribute__((format(ms_printf, fmt, first)))
#elif defined(__GNUC__)
#  define ORV_MS_PRINTF(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#  define ORV_MS_PRINTF(fmt, first)
#endif

#endif
