#pragma once

#include <string>
#include <string_view>

namespace nimbra {

// Writes `bytes` to a temporary file beside `path` and renames it over
// `path`, so readers see the old file or the new one, never half of one.
// False when anything failed; the old file is then unchanged.
bool WriteFileAtomically(const std::string& path, std::string_view bytes);

} // namespace nimbra
