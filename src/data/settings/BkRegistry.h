#pragma once

#include <string>

namespace nimbra::editor {

// Removing the browser's registry key. The key HKCU\Software\Orvane\Nimbra
// Browser is the file "Orvane/Nimbra Browser.conf" of the user's config
// folder; "Software\Orvane" is that folder less system.conf, which holds
// the system's own keys and is never deleted.
enum class ERegistryCleanup {
    BrowserRuns, // refused: the browser's window answers
    NotFound,    // no config folder or no key: nothing to say
    Deleted,     // the key went and nothing else is left under Orvane
    Failed,      // something else is left (or could not be removed)
};

// `configDir` is the user's config folder (~/.config).
ERegistryCleanup CleanRegistry(const std::string& configDir, bool browserRuns);

// The config folder the programs use.
std::string UserConfigDirectory();

} // namespace nimbra::editor
