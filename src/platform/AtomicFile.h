#pragma once

#include <string>
#include <string_view>

namespace nimbra {

// Writes `bytes` to a temporary file beside `path` and renames it over
// `path`, so readers see the old file or the new one, never half of one.
// False when anything failed; the old file is then unchanged, no temporary
// file is left, and `error` (when given) says why in the user's words.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error = nullptr);

// The reason for an errno, in the user's words.
std::string ErrorText(int error);

} // namespace nimbra
