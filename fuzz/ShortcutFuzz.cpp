// Internet shortcuts (.url) on arbitrary files.
#include "FuzzSupport.h"

#include "platform/Shortcut.h"

using namespace nimbra;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path =
        fuzzsupport::WriteFile("page.url", std::string_view(reinterpret_cast<const char*>(data), size));
    ReadInternetShortcut(path);
    return 0;
}
