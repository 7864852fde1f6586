#pragma once

#include <string>

namespace nimbra {

// The folder holding the settings and side files: $NIMBRA_HOME when set,
// otherwise the folder of the running program.
std::string DataDirectory();

// The folder of the running program (where nimbrab and nbbe stand side by side).
std::string ProgramDirectory();

// DataDirectory() + "/" + name.
std::string DataFile(const std::string& name);

bool FileExists(const std::string& path);
bool IsDirectory(const std::string& path);

// Turns on what the web engine needs before the application object exists:
// shared GL contexts, and no sandbox when running as root (the engine's
// sandbox cannot start then; this is said once on stderr).
void PrepareWebEngineEnvironment();

} // namespace nimbra
