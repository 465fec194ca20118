#include "system_authorities.h"

#include "publish/mosquitto_library.h"

#include <openssl/ssl.h>

void trustSystemAuthorities(const MosquittoLibrary &library, ssl_ctx_st *context)
{
    using SetDefaultPaths = decltype(&SSL_CTX_set_default_verify_paths);
    if (const auto setDefaultPaths =
            reinterpret_cast<SetDefaultPaths>(library.tlsFunction("SSL_CTX_set_default_verify_paths")))
        setDefaultPaths(context);
}
