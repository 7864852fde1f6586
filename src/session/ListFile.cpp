#include "session/ListFile.h"

#include "platform/AtomicFile.h"
#include "platform/Text.h"

#include <QFile>

namespace nimbra {

bool ReadListFile(const std::string& path, UrlList& list)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return !file.exists();
    while (!file.atEnd()) {
        const QByteArray raw = file.readLine();
        if (raw.isEmpty() && file.error() != QFileDevice::NoError)
            return false;
        if (!raw.contains("<LI>"))
            continue;
        const std::string line = Trim(DecodeLine(std::string_view(raw.constData(), size_t(raw.size()))));
        if (line.size() > 4)
            list.push_back(line.substr(4));
    }
    return file.error() == QFileDevice::NoError;
}

bool WriteListFile(std::string_view heading, const std::string& path, const UrlList& list)
{
    std::string text;
    text.reserve(64 + list.size() * 48);
    text += "<HTML>\r\n<H1>";
    text += heading;
    text += "</H1>\r\n<H2>URL</H2>\r\n<UL>\r\n";
    for (const std::string& entry : list) {
        text += "\t<LI>";
        text += OneLine(entry);
        text += "\r\n";
    }
    text += "</UL>\r\n</HTML>\r\n";
    return WriteFileAtomically(path, text);
}

} // namespace nimbra
