// Library start-up, run once by the program before anything else of the library.
#pragma once

#include "crypto/random.hpp"
#include "crypto/status.hpp"

// 1 on the first call when every step succeeds, 0 on any later call, else the failing step's
// status (earlier steps stay in effect; a later call never retries).
CryptoStatus CRYPTO_initLibrary();
