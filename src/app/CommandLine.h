#pragma once

#include <optional>
#include <string>

namespace nimbra {

// What `nimbrab --help` and `nimbrab --version` print: the text when the
// arguments are exactly one of these, else nothing (the arguments are pages).
std::optional<std::string> InfoArgumentText(int argc, char** argv);
std::string UsageText();
std::string VersionText();

// Makes the data directory ready before anything is written. When it cannot
// be used, says why on stderr (and in a message box where there is a
// screen) and returns false: the program then ends with status 1.
bool OpenDataDirectory(const char* program);

} // namespace nimbra
