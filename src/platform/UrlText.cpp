#include "platform/UrlText.h"

#include "platform/Text.h"

#include <QUrl>
#include <algorithm>
#include <array>
#include <cctype>

namespace nimbra {

namespace {

constexpr std::string_view kViewSource = "view-source:";

// Schemes the engine loads or hands on by itself.
constexpr std::array<std::string_view, 13> kKnownSchemes = {
    "http", "https", "ftp", "file", "about", "data", "javascript", "mailto", "blob", "ws", "wss", "chrome", "qrc"};

bool IsSchemeName(std::string_view text)
{
    if (text.empty() || !std::isalpha((unsigned char)text.front()))
        return false;
    for (char c : text)
        if (!std::isalnum((unsigned char)c) && c != '+' && c != '-' && c != '.')
            return false;
    return true;
}

// Hosts of the engine's "chrome:" addresses that crash, hang or kill one of
// its processes, make it believe memory is short, or end or restart the
// program.
constexpr std::string_view kDebugHosts[] = {
    "badcastcrash", "checkcrash", "crash", "crashdump", "delayeduithreadhang", "gpuclean", "gpucrash", "gpuhang",
    "hang", "heapcorruptioncrash", "inducebrowsercrashforrealz", "inducebrowserdcheckforrealz", "kill",
    "memory-exhaust", "memory-pressure-critical", "memory-pressure-moderate", "ppapiflashcrash", "ppapiflashhang",
    "quit", "restart", "shorthang", "uithreadhang", "webuijserror",
};

} // namespace

std::string UrlFromText(std::string_view input)
{
    const std::string text = Trim(input);
    if (text.empty())
        return {};
    if (text.front() == '/')
        return FromQ(QUrl::fromLocalFile(ToQ(text)).toString());
    if (StartsWithNoCase(text, kViewSource) && text.size() > kViewSource.size())
        return std::string(kViewSource) + UrlFromText(std::string_view(text).substr(kViewSource.size()));
    const size_t colon = text.find(':');
    if (colon != std::string::npos && IsSchemeName(std::string_view(text).substr(0, colon))) {
        const std::string scheme = ToLowerAscii(std::string_view(text).substr(0, colon));
        // "scheme://" names its scheme plainly; "host:port" does not.
        const bool known = std::find(kKnownSchemes.begin(), kKnownSchemes.end(), scheme) != kKnownSchemes.end();
        if (known || text.compare(colon + 1, 2, "//") == 0)
            return text;
    }
    return "http://" + text;
}

bool IsScriptUrl(std::string_view url)
{
    return StartsWithNoCase(TrimLeft(url), "javascript:");
}

bool IsEngineDebugUrl(std::string_view text)
{
    // Tabs and line breaks anywhere are dropped, blanks and controls at
    // both ends, as the engine does.
    std::string url;
    for (char c : text)
        if (c != '\t' && c != '\n' && c != '\r')
            url += char(std::tolower((unsigned char)c));
    auto trim = [&url] {
        const auto keep = [](char c) { return (unsigned char)c > 0x20; };
        url.erase(url.begin(), std::find_if(url.begin(), url.end(), keep));
        url.erase(std::find_if(url.rbegin(), url.rend(), keep).base(), url.end());
    };
    trim();
    constexpr std::string_view kChrome = "chrome:";
    while (url.compare(0, kViewSource.size(), kViewSource) == 0) {
        url.erase(0, kViewSource.size());
        trim();
    }
    if (url.compare(0, kChrome.size(), kChrome) != 0)
        return false;
    // "chrome:hang" and "chrome:///hang" name the host "hang" as well.
    size_t begin = url.find_first_not_of("/\\", kChrome.size());
    if (begin == std::string::npos)
        return false;
    std::string authority = url.substr(begin, url.find_first_of("/\\?#", begin) - begin);
    if (const size_t at = authority.rfind('@'); at != std::string::npos)
        authority.erase(0, at + 1);
    authority = authority.substr(0, authority.find(':'));
    const std::string host = FromQ(QUrl::fromPercentEncoding(QByteArray::fromStdString(authority)).toLower());
    const std::string_view name = std::string_view(host).substr(0, host.find_last_not_of('.') + 1);
    return std::find(std::begin(kDebugHosts), std::end(kDebugHosts), name) != std::end(kDebugHosts);
}

} // namespace nimbra

namespace nimbra {

EMediaKind MediaKindOfUrl(std::string_view url)
{
    static constexpr std::array<std::string_view, 13> kSounds = {
        "mp3", "wav", "ogg", "oga", "opus", "m4a", "aac", "flac", "mid", "midi", "wma", "weba", "aif"};
    static constexpr std::array<std::string_view, 14> kVideos = {
        "mp4", "m4v", "webm", "ogv", "mov", "avi", "mkv", "wmv", "mpg", "mpeg", "3gp", "flv", "m3u8", "mpd"};
    const QString path = QUrl(QString::fromUtf8(url.data(), qsizetype(url.size()))).path();
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot < path.lastIndexOf(QLatin1Char('/')))
        return EMediaKind::Unknown;
    const std::string extension = ToLowerAscii(path.mid(dot + 1).toStdString());
    if (std::find(kSounds.begin(), kSounds.end(), extension) != kSounds.end())
        return EMediaKind::Sound;
    if (std::find(kVideos.begin(), kVideos.end(), extension) != kVideos.end())
        return EMediaKind::Video;
    return EMediaKind::Unknown;
}

} // namespace nimbra
