#pragma once

struct MosquittoLibrary;
struct ssl_ctx_st;

// Makes `context` trust the certificate authorities this system trusts: the system's certificate folder, or
// on Windows the Trusted Root Certification Authorities that Windows keeps for the user.
void trustSystemAuthorities(const MosquittoLibrary &library, ssl_ctx_st *context);
