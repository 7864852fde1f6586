#pragma once

#include <string>

namespace nimbra {

// Start-up pieces that both programs share; none of them needs the web
// engine.

enum class EInfoArgument { None, Help, Version };
// `--help` or `--version` as the only argument; None otherwise (the
// arguments are the program's own).
EInfoArgument InfoArgument(int argc, char** argv);

// The usage texts' lines on `--help` and `--version`, and their closing
// paragraph: how the data directory is chosen and which one is in use.
std::string InfoOptionsHelp();
std::string DataDirectoryHelp();

// Before the application object: when Qt will run on an X display that
// cannot be reached, says so and why on stderr and returns false; the
// program then ends with status 1 (Qt would abort).
bool ReachDisplay(const char* program, int argc, char** argv);

// Makes the data directory ready before anything is written. When it cannot
// be used, says why on stderr (and in a message box where there is a
// screen) and returns false: the program then ends with status 1.
bool OpenDataDirectory(const char* program);

} // namespace nimbra
