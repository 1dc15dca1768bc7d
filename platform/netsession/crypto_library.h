#pragma once

// OpenSSL's libcrypto (the random source and the hash of the machines'
// proofs), loaded when a program first makes a game's session.
#include <openssl/rand.h>
#include <openssl/sha.h>

#include "platform/dynlib/system_library.h"

namespace zv::platform {

#define ZV_CRYPTO_FUNCTIONS(X) X(RAND_bytes) X(SHA256)
ZV_SYSTEM_LIBRARY(CryptoLibrary, Crypto, "libcrypto.so." ZV_VERSION_TEXT(OPENSSL_SHLIB_VERSION), ZV_CRYPTO_FUNCTIONS)

}  // namespace zv::platform
