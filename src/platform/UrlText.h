#pragma once

#include <string>
#include <string_view>

namespace nimbra {

// The address that typed, dropped or handed-over text stands for. Text with
// a scheme the engine knows keeps it, an absolute local path becomes a file
// URL, and everything else ("www.example.com", "127.0.0.1:8765/p.html",
// "localhost:8765/x") is read as a web address. Nothing is resolved against
// the current directory.
std::string UrlFromText(std::string_view text);

// A "javascript:" URL: it runs in a page and loads nothing.
bool IsScriptUrl(std::string_view url);

// The engine's debug addresses ("chrome://hang", "chrome://gpucrash", ...,
// also behind "view-source:"), read as the engine reads an address: they
// hang or end the engine's processes for good.
bool IsEngineDebugUrl(std::string_view url);

} // namespace nimbra

namespace nimbra {

// What a media request fetches, told by the file extension of its path.
enum class EMediaKind { Sound, Video, Unknown };
EMediaKind MediaKindOfUrl(std::string_view url);

} // namespace nimbra
