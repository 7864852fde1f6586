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
