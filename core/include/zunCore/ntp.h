/*
 * The network-time client: one SNTP query of a server (IPv4, UDP), the
 * server's time as a text or an instant, and the offset g_gap_with_ntp
 * (log.h) that the library adds to the clock.
 *
 * Replies are checked before they are used: 48 bytes or more, a server
 * (mode 4) of version 3 or 4, stratum 1-15, not unsynchronised, a transmit
 * time, and the random transmit time of our request as originate time.
 * Seconds whose top bit is clear are read as the era after 2036.
 */
#ifndef ZUNCORE_NTP_H
#define ZUNCORE_NTP_H

#include <stdint.h>
#include <time.h>

#include <zunCore/core_export.h>

VCL_BEGIN_DECLS

/* Descriptor of the lock file that guards g_gap_with_ntp across the
 * processes that share it; 0 when none. */
VCL_API extern int g_ntplock_fd;

/* The server's time as "YYYYMMDDhhmmss" in a new 16-byte buffer (VCL_Free):
 * local = 1 the host's local time, otherwise UTC. server: dotted IPv4, NULL
 * for a public default server; port 0 means 123. Codes: 0xd1010061 NULL
 * text, 0xd1010003 a server or port that does not read, 0xd10e6185 the
 * socket failed, 0xd101011a no answer (3 s) or none that passes the checks,
 * 0xd1010001 short memory. */
VCL_API int VCL_NTP_Get_Current_Time(const char* server, int port, int local, char** text);
VCL_API int VCL_NTP_Get_Current_GM_Time(const char* server, int port, char** text);
VCL_API int VCL_NTP_Get_Current_Local_Time(const char* server, int port, char** text);
/* The texts read back by VCL_Str_to_Time, which takes them as local time:
 * the local form gives the server's instant; the GM form is off by the
 * host's UTC offset. */
VCL_API int VCL_NTP_Get_Current_GM_Time_t(const char* server, int port, time_t* t);
VCL_API int VCL_NTP_Get_Current_Local_Time_t(const char* server, int port, time_t* t);

/* Sets g_gap_with_ntp to the server's time minus the clock (whole seconds,
 * taken at the middle of the exchange), under the lock of g_ntplock_fd
 * (made on first use). On failure the offset stays. */
VCL_API int VCL_NTP_Init(const char* server, int port);
/* The offset back to 0 and the lock file closed; VCL_LockClear's result. */
VCL_API int VCL_NTP_Close(void);

/* Milliseconds since 1900 of the timestamp at answer + offset (seconds and
 * fraction, big-endian); 0 for NULL or a negative offset. */
VCL_API uint64_t VCL_NTP_get_milliseconds(const unsigned char* answer, int offset);
/* The date of a day number (day 0 is 1900-01-01, proleptic Gregorian).
 * reserved is not read. 0, or -1 for a negative day or NULL outputs. */
VCL_API int VCL_NTP_get_gregorian_data(int day, int reserved, int* year, int* month, int* mday);

VCL_END_DECLS

#endif
