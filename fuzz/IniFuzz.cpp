// The INI reader on arbitrary files: look-ups of sections and keys named
// by the input, the one-pass snapshot, and the settings store with its
// defaults and limits.
#include "FuzzSupport.h"

#include "data/settings/Settings.h"
#include "platform/Ini.h"

#include <QGuiApplication>
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

using namespace nimbra;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int argc = 1;
    static char arg0[] = "fuzz_ini";
    static char* argv[] = {arg0, nullptr};
    fuzzsupport::Folder();
    static QGuiApplication* app = new QGuiApplication(argc, argv); // the settings' system colours
    (void)app;

    FuzzedDataProvider in(data, size);
    const std::string section = in.ConsumeRandomLengthString(64);
    const std::string key = in.ConsumeRandomLengthString(64);
    const std::string path = fuzzsupport::WriteFile("nimbrab.ini", in.ConsumeRemainingBytesAsString());

    const CIniFile ini(path);
    const std::optional<std::string> found = ini.Find(section, key);
    const std::string value = ini.GetString(section, key, "\x01");
    if (value != found.value_or("\x01"))
        std::abort();
    ini.GetInt(section, key, -7);
    // Each call reads the file: a few sections are enough.
    const std::vector<std::string> sections = ini.SectionNames();
    for (size_t i = 0; i < sections.size() && i < 4; ++i) {
        const std::vector<std::string> keys = ini.KeyNames(sections[i]);
        if (ini.SectionValues(sections[i]).size() < keys.size())
            std::abort();
    }

    // The snapshot answers as the file does.
    const CIniSnapshot snapshot(path);
    if (snapshot.Find(section, key) != found)
        std::abort();
    if (snapshot.GetInt(section, key, -7) != ini.GetInt(section, key, -7))
        std::abort();

    // The settings read the file once per key: one input in eight.
    if (size == 0 || data[0] % 8 != 0)
        return 0;
    const CSettings settings(path);
    CFrameSettings frame;
    frame.LoadConstructorGroup(settings);
    frame.LoadCreationGroup(settings);
    frame.Reload(settings);
    auto within = [](int value, int low, int high) { return value >= low && value <= high; };
    if (!within(frame.TabMaxCount, 1, 256) || !within(frame.NewTabPosition, 0, 3) ||
        !within(frame.TabWidth, 20, 256) || !within(frame.TabCharMax, 1, 100) ||
        !within(frame.MenuTitleLength, 5, 255) || !within(frame.TabWheelClick, 0, 4) ||
        !within(frame.TabPosToCls, 0, 4) || !within(frame.TabRightClick, 0, 5) ||
        !within(frame.TabLeftDblClick, 0, 5) || frame.MyHomeUrl.empty() || frame.TaskToolTip.empty())
        std::abort();
    return 0;
}
