// Shell links (.lnk) on arbitrary files: never a read past the bytes.
#include "FuzzSupport.h"

#include "platform/Shortcut.h"

using namespace nimbra;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path =
        fuzzsupport::WriteFile("target.lnk", std::string_view(reinterpret_cast<const char*>(data), size));
    ReadShellLinkTarget(path);
    return 0;
}
