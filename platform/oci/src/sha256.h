// SHA-256 (FIPS 180-4), used for the password hashes of the user catalog.
#pragma once

#include <string>

namespace ocl {

// Lower-case hexadecimal digest of the bytes.
std::string sha256_hex(const std::string& data);

}  // namespace ocl
