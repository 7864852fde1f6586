#pragma once

#include <string>
#include <vector>

namespace nimbra {

// What the shell does for the browser: open a target with the desktop's
// default handler, or start a program with parameters. Tests put a recording
// subclass in place of the real one.
class CShell {
public:
    virtual ~CShell() = default;

    // Opens a URL or file with its default handler (mail links go to the
    // desktop's mail program).
    virtual bool OpenDefault(const std::string& target);

    // Starts `program` with these arguments, each passed as it is.
    virtual bool Execute(const std::string& program, const std::vector<std::string>& arguments);
};

} // namespace nimbra
