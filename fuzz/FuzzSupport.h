#pragma once

// Shared by the fuzz targets: every file a target writes lies in one
// private temporary folder, removed when the process ends, and the data
// directory and configuration point there too, so no input reaches a
// user's files.
#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

namespace fuzzsupport {

inline QTemporaryDir& Folder()
{
    static QTemporaryDir* folder = [] {
        auto* dir = new QTemporaryDir(QDir::tempPath() + "/nimbra-fuzz-XXXXXX");
        const QByteArray path = dir->path().toUtf8();
        setenv("NIMBRA_HOME", path.constData(), 1);
        setenv("XDG_CONFIG_HOME", path.constData(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        // libFuzzer leaves through exit(), which runs this.
        std::atexit([] { Folder().remove(); });
        return dir;
    }();
    return *folder;
}

// The path of `name` in the private folder.
inline std::string PathOf(std::string_view name)
{
    return Folder().path().toStdString() + "/" + std::string(name);
}

// Writes `bytes` to `name` in the private folder and returns its path.
inline std::string WriteFile(std::string_view name, std::string_view bytes)
{
    const std::string path = PathOf(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return path;
}

} // namespace fuzzsupport
