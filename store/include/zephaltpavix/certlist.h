/*
 * Certificate records, lists, filters, store walks and the certificate-list
 * record string.
 *
 * CA kinds: the CA folders of the public store ("CROSSCERT", "KICA", "KISA",
 * "NCASIGN", "SIGNKOREA", "TRADESIGN", "YESSIGN", "ZUNPASS") are kind 1,
 * "VERIDAN" and "VERIDAN_CA" kind 3, and one extra folder name may be
 * registered with a kind of its own (the agent registers ".veridanCACerts"
 * with 1). Names compare whole, letters without case.
 */
#ifndef ZEPHALTPAVIX_CERTLIST_H
#define ZEPHALTPAVIX_CERTLIST_H

#include <zephaltpavix/store_export.h>

VPL_BEGIN_DECLS

/* Registers caName (held whole) with caKind, replacing the name registered
 * before: 0; 1052011 for a NULL or empty name (nothing changes); 1052007
 * when memory runs out. */
VPL_API int VPL_ADD_User_CertType(const char* caName, int caKind);
/* The kind of a CA folder name: 1, 3, the registered kind, or -1. */
VPL_API int VPL_Delete_CertType(const char* caName);

VPL_END_DECLS

#endif
