// The library's holders beside the context list, and the cached list of a
// medium, for the store's own modules.
#pragma once

#include <zephaltpavix/context.h>
#include <zephaltpavix/layout.h>

// The key-exchange record of the current exchange and the pending request
// (NULL when none); made and released by their Init/Delete functions.
extern VPL_Exchg_Info* g_EXCHG_CERT;
extern VPL_PKCS10_Certs* g_PPKI_PKCS10;

namespace zstore {

// The context's cached list of a medium (VPL_STORAGE_MEMORY, _HSM, _SCARD,
// _USBT, _PHONE), or null for any other storage type.
CertsInfo** cachedList(CTX& ctx, int storageType);

}  // namespace zstore
