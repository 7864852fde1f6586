#pragma once

#include <string>
#include <string_view>

namespace nimbra {

// Writes `bytes` to a temporary file beside `path` and renames it over
// `path`, so readers see the old file or the new one, never half of one.
// False when anything failed; the old file is then unchanged, and `error`
// (when given) says why.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error = nullptr);

} // namespace nimbra
