#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nimbra {

// Internet shortcut (.url): the key URL of section [InternetShortcut].
// nullopt when the file cannot be read or holds no URL.
std::optional<std::string> ReadInternetShortcut(const std::string& path);

// Writes a .url file holding `url` (through the INI writer: temporary file,
// then rename). False when it could not be written.
bool WriteInternetShortcut(const std::string& path, const std::string& url);
// The bytes of a new .url file holding `url`, as the writer above makes it.
std::string InternetShortcutText(std::string_view url);

// Shell link (.lnk): the local base path of its link info (plus the common
// path suffix when present). nullopt for a file that is not a well-formed
// shell link or has no local target. Never reads past the file's bytes.
std::optional<std::string> ReadShellLinkTarget(const std::string& path);

} // namespace nimbra
