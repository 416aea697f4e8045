/*
 * The core log: one file a day, "<dir>/<prefix>_YYYYMMDD.log", shared by the
 * processes that inherit the lock descriptor of VCL_Log_Init, or standard
 * output. Records carry the local time plus the network-time offset
 * g_gap_with_ntp. Logging never reports failures: a record that cannot be
 * written is dropped.
 */
#ifndef ZUNCORE_LOG_H
#define ZUNCORE_LOG_H

#include <stdio.h>

#include <zunCore/core_export.h>

/* Record levels; a record is written when the configured level is at least
 * its own. */
#define VCL_LOG_OFF 0
#define VCL_LOG_ALERT 1
#define VCL_LOG_FATAL 2
#define VCL_LOG_ERROR 3
#define VCL_LOG_WARN 4
#define VCL_LOG_NORMAL 5
#define VCL_LOG_NOTICE 6
#define VCL_LOG_INFO 7 /* hex dumps */
#define VCL_LOG_DEBUG 8

/* Output modes. */
#define VCL_LOG_MODE_FILE 'F'
#define VCL_LOG_MODE_STDOUT 'S'

/* Longest dir, prefix and date together. */
#define VCL_LOG_MAX_PATH 240

typedef struct {
    char dir[256];
    char prefix[256];
    int level;
    char mode; /* 'F' file, 'S' standard output, anything else no output */
} VCL_LOG_CONFIG;

VCL_BEGIN_DECLS

VCL_API extern VCL_LOG_CONFIG g_loginfo;
VCL_API extern FILE* g_corelogfp;        /* the open stream, NULL when none */
VCL_API extern char g_log_open_date[20]; /* YYYYMMDD of the open file */
VCL_API extern int g_lock_fd;            /* lock-file descriptor (3 or above), 0 when none */
/* Seconds added to time() for every timestamp and validity test; written by
 * the network-time client. A plain int for old callers, read atomically. */
VCL_API extern int g_gap_with_ntp;

/* 0, or -1 for a bad argument, a path longer than VCL_LOG_MAX_PATH, or a lock
 * or log file that cannot be made. On failure the earlier configuration
 * stays. Level 0 turns logging off. In mode 'F' a new file is created 0600
 * and starts with the three version lines. */
VCL_API int VCL_Log_Init(const char* dir, const char* prefix, int level, int mode);
VCL_API int VCL_LogInit(const char* dir, const char* prefix, int level);
/* One record: "[date time] [pid:tid] [LEVEL] [message](file-line)". */
VCL_API int VCL_Log(int level, const char* src_file, int src_line, const char* fmt, ...)
    __attribute__((format(printf, 4, 5)));
/* The same without a source position; the message is cut at 2047 characters. */
VCL_API int VCL_log(int level, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
/* A head line with the title, then a hex dump of the data, 16 bytes a line. */
VCL_API int VCL_Log_HEXA(int level, const char* src_file, int src_line, const char* title, const unsigned char* data,
                         int data_len);
/* Logs the change at level 8, sets the level and returns &g_loginfo. */
VCL_API VCL_LOG_CONFIG* VCL_setLogLevel(int level);
VCL_API void VCL_LogClose(void);

/* The process lock of the log: an anonymous temporary file whose descriptor
 * is 3 or above and closed on exec; -1 on failure. */
VCL_API int VCL_LockInit(void);
/* Waits for the exclusive lock of the whole file (retried only when a signal
 * interrupts the wait); 0, or -1 (a bad descriptor never blocks). */
VCL_API int VCL_LockWait(int fd);
VCL_API int VCL_LockRelease(int fd);
/* Closes fd when it is above 0; returns close's result, 0 otherwise. */
VCL_API int VCL_LockClear(int fd);

/* free(p) for a non-NULL p (no zeroing). */
VCL_API void VCL_String_free(void* p);

VCL_END_DECLS

#endif
