#pragma once

#include <string>

namespace nimbra {

// Where the data directory comes from.
enum class EDataDirSource {
    Environment, // $NIMBRA_HOME
    Program,     // the program's own folder (portable, and the build tree)
    User,        // $XDG_DATA_HOME/nimbra-browser
};

struct SDataDirectory {
    std::string path;
    EDataDirSource source = EDataDirSource::Program;
};

// The data directory for a program in `programDir` with these environment
// values (empty = unset): `nimbraHome`; else the program's folder when it
// holds a nimbrab.ini or is writable, unless it is an installation; else
// `xdgDataHome`/nimbra-browser, with ~/.local/share for a missing or
// relative `xdgDataHome`. Looks at the file system, changes nothing.
SDataDirectory ChooseDataDirectory(const std::string& programDir, const std::string& nimbraHome,
                                   const std::string& xdgDataHome, const std::string& home);

// ChooseDataDirectory for this process.
SDataDirectory LocateDataDirectory();

// The folder holding the settings and side files: LocateDataDirectory().path.
std::string DataDirectory();

// Makes the data directory ready: the per-user one is created with mode
// 0700. Empty when it can be used, else a message that names the path.
std::string PrepareDataDirectory();

// True for the bin folder of an installation: one below /usr, or one whose
// ../share/nimbra-browser exists. An installed program never writes there.
bool IsInstalledProgramDirectory(const std::string& dir);

// Whether a file can be made in `dir`. A real write: the superuser passes
// every permission check, yet not a read-only mount, nor a folder whose
// rights are taken from it.
bool CanWriteIn(const std::string& dir);

// The folder of the running program (where nimbrab and nbbe stand side by side).
std::string ProgramDirectory();

// Everything before the last "/" of a path; empty when there is none.
std::string FolderOf(const std::string& path);

// DataDirectory() + "/" + name.
std::string DataFile(const std::string& name);

// The resource file `name` (start page, images): the data directory's res/
// first, then res/ beside the program, then the installed
// share/nimbra-browser/res/. Empty when none has it: the built-in one applies.
std::string ResourceFile(const std::string& name);

bool FileExists(const std::string& path);
bool IsDirectory(const std::string& path);

// This and the next are defined with the software renderer's choice
// (SoftwareRendering.cpp), which only the programs with the engine link.
// The engine's flags with the process model of one renderer per site
// (tabs of one site share it, each other site has its own), unless `flags`
// already choose a model.
std::string WithProcessPerSite(const std::string& flags);

// Turns on what the web engine needs before the application object exists:
// shared GL contexts (or the software renderer where GL would be emulated),
// one renderer per site, and no sandbox when running as root (the engine's
// sandbox cannot start then; this is said once on stderr).
void PrepareWebEngineEnvironment();

} // namespace nimbra
