#pragma once

// The page of the extraction benchmarks: LINKS anchors and IMAGES images,
// interleaved, written as index.html into a folder.
#include <QFile>
#include <QString>
#include <QUrl>
#include <algorithm>
#include <cstdlib>

namespace benchutil {

struct LinkPageSize {
    int links = 20000;
    int images = 5000;
};

inline LinkPageSize LinkPageArguments(int argc, char** argv)
{
    LinkPageSize size;
    if (argc > 1)
        size.links = std::atoi(argv[1]);
    if (argc > 2)
        size.images = std::atoi(argv[2]);
    return size;
}

inline QUrl WriteLinkPage(const QString& folder, LinkPageSize size)
{
    QByteArray html = "<html><head><title>Links</title></head><body>\n";
    for (int i = 0; i < std::max(size.links, size.images); ++i) {
        const QByteArray n = QByteArray::number(i);
        if (i < size.links)
            html += "<a href=\"files/file" + n + (i % 4 ? ".html" : ".zip") + "\">link " + n + "</a>\n";
        if (i < size.images)
            html += "<img src=\"img/" + n + ".gif\" width=1 height=1>\n";
    }
    html += "</body></html>\n";
    QFile file(folder + "/index.html");
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(html);
    return QUrl::fromLocalFile(file.fileName());
}

} // namespace benchutil
