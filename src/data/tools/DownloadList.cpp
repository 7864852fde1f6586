#include "data/tools/DownloadList.h"

#include "platform/Text.h"

namespace nimbra {

namespace {

void Line(std::string& out, std::string_view key, std::string_view value = {})
{
    out += key;
    out += OneLine(value);
    out += "\r\n";
}

std::string FolderField(std::string_view folder)
{
    return std::string(folder) + "\\";
}

} // namespace

std::string ReGetList(const std::vector<std::string>& urls, std::string_view referer, std::string_view folder)
{
    const std::string storeIn = FolderField(folder);
    std::string out;
    for (const std::string& url : urls) {
        Line(out, ";");
        Line(out, "Info=");
        Line(out, "RefererStr=", referer);
        Line(out, "StoreIn=", storeIn);
        for (const char* fixed : {"SaveAs=", "Advanced=0", "Login=0", "Password=", "UserName=", "_RemoteFileSize=-1",
                                  "_State=2"})
            Line(out, fixed);
        Line(out, "Url=", url);
    }
    return out;
}

std::string IriaList(const std::vector<std::string>& urls, std::string_view folder, std::string_view date)
{
    const std::string folderField = FolderField(folder);
    std::string out;
    for (const std::string& url : urls) {
        Line(out, "Url=", url);
        Line(out, "Folder=", folderField);
        Line(out, "Date=", date);
        Line(out, "ID=0");
        Line(out, "");
    }
    return out;
}

std::string ClipboardList(const std::vector<std::string>& urls)
{
    std::string out;
    for (const std::string& url : urls) {
        out += url;
        out += '\n';
    }
    return out;
}

} // namespace nimbra
