#pragma once

#include "app/ProgramStart.h"

#include <optional>
#include <string>

namespace nimbra {

// What `nimbrab --help` and `nimbrab --version` print: the text when the
// arguments are exactly one of these, else nothing (the arguments are pages).
std::optional<std::string> InfoArgumentText(int argc, char** argv);
std::string UsageText();
std::string VersionText();

} // namespace nimbra
