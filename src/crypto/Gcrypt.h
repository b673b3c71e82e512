// The one start-up of libgcrypt for the process. Internal to this module.
#pragma once

namespace crypto {

// Checks the library version and finishes its initialisation, once per process and
// thread-safe. False when the library is older than the one built against.
bool GcryptReady();

}  // namespace crypto
