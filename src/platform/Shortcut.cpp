#include "platform/Shortcut.h"

#include "platform/Ini.h"
#include "platform/InputFile.h"
#include "platform/Text.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace nimbra {

namespace {

constexpr std::string_view kUrlSection = "InternetShortcut";
constexpr std::string_view kUrlKey = "URL";

// Shell link layout (published shell-link binary format).
constexpr uint32_t kHeaderSize = 0x4C;
constexpr unsigned char kLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                          0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr size_t kFlagsOffset = 20;
constexpr uint32_t kHasLinkTargetIdList = 0x1;
constexpr uint32_t kHasLinkInfo = 0x2;
constexpr uint32_t kForceNoLinkInfo = 0x100;
constexpr uint32_t kVolumeIdAndLocalBasePath = 0x1;
constexpr uint32_t kLinkInfoMinHeader = 0x1C;
constexpr uint32_t kLinkInfoUnicodeHeader = 0x24;

// Little-endian reads that fail instead of running past the end.
class CByteReader {
public:
    explicit CByteReader(std::string_view bytes) : m_bytes(bytes) {}

    std::optional<uint32_t> U16(size_t at) const { return Read(at, 2); }
    std::optional<uint32_t> U32(size_t at) const { return Read(at, 4); }

    std::string_view Slice(size_t at, size_t length) const
    {
        if (at > m_bytes.size() || length > m_bytes.size() - at)
            return {};
        return m_bytes.substr(at, length);
    }

private:
    std::optional<uint32_t> Read(size_t at, size_t width) const
    {
        if (at > m_bytes.size() || width > m_bytes.size() - at)
            return std::nullopt;
        uint32_t value = 0;
        for (size_t i = 0; i < width; ++i)
            value |= uint32_t(static_cast<unsigned char>(m_bytes[at + i])) << (8 * i);
        return value;
    }

    std::string_view m_bytes;
};

// A NUL-terminated ANSI string starting at `at` inside `block`; nullopt when
// it runs off the block's end.
std::optional<std::string> AnsiString(std::string_view block, size_t at)
{
    if (at >= block.size())
        return std::nullopt;
    const size_t nul = block.find('\0', at);
    if (nul == std::string_view::npos)
        return std::nullopt;
    return DecodeLine(block.substr(at, nul - at));
}

std::optional<std::string> UnicodeString(std::string_view block, size_t at)
{
    std::u16string text;
    for (size_t i = at; i + 1 < block.size(); i += 2) {
        const char16_t unit = char16_t(static_cast<unsigned char>(block[i]) |
                                       (static_cast<unsigned char>(block[i + 1]) << 8));
        if (unit == 0)
            return FromQ(QString::fromUtf16(text.data(), qsizetype(text.size())));
        text.push_back(unit);
    }
    return std::nullopt;
}

std::optional<std::string> ParseShellLink(std::string_view bytes)
{
    if (bytes.size() < kHeaderSize)
        return std::nullopt;
    const CByteReader file(bytes);
    if (file.U32(0) != kHeaderSize || file.Slice(4, 16) != std::string_view(reinterpret_cast<const char*>(kLinkClsid), 16))
        return std::nullopt;
    const uint32_t flags = *file.U32(kFlagsOffset);
    if (!(flags & kHasLinkInfo) || (flags & kForceNoLinkInfo))
        return std::nullopt;

    size_t pos = kHeaderSize;
    if (flags & kHasLinkTargetIdList) {
        const auto idListSize = file.U16(pos);
        if (!idListSize)
            return std::nullopt;
        pos += 2 + *idListSize;
    }

    const auto infoSize = file.U32(pos);
    if (!infoSize)
        return std::nullopt;
    const std::string_view info = file.Slice(pos, *infoSize);
    if (info.empty())
        return std::nullopt;
    const CByteReader reader(info);
    const auto headerSize = reader.U32(4);
    const auto infoFlags = reader.U32(8);
    const auto baseOffset = reader.U32(16);
    const auto suffixOffset = reader.U32(24);
    if (!headerSize || !infoFlags || !baseOffset || !suffixOffset || *headerSize < kLinkInfoMinHeader
        || *headerSize > info.size())
        return std::nullopt;
    if (!(*infoFlags & kVolumeIdAndLocalBasePath))
        return std::nullopt;

    std::optional<std::string> base;
    std::optional<std::string> suffix;
    if (*headerSize >= kLinkInfoUnicodeHeader) {
        const auto baseUnicode = reader.U32(28);
        const auto suffixUnicode = reader.U32(32);
        if (baseUnicode && *baseUnicode != 0)
            base = UnicodeString(info, *baseUnicode);
        if (suffixUnicode && *suffixUnicode != 0)
            suffix = UnicodeString(info, *suffixUnicode);
    }
    if (!base)
        base = AnsiString(info, *baseOffset);
    if (!suffix)
        suffix = *suffixOffset != 0 ? AnsiString(info, *suffixOffset) : std::string();
    if (!base || !suffix)
        return std::nullopt;

    std::string target = *base + *suffix;
    if (target.empty())
        return std::nullopt;
    std::replace(target.begin(), target.end(), '\\', '/');
    return target;
}

} // namespace

std::optional<std::string> ReadInternetShortcut(const std::string& path)
{
    return CIniFile(path).Find(kUrlSection, kUrlKey);
}

bool WriteInternetShortcut(const std::string& path, const std::string& url)
{
    return CIniFile(path).WriteString(kUrlSection, kUrlKey, url);
}

std::string InternetShortcutText(std::string_view url)
{
    return "[" + std::string(kUrlSection) + "]\r\n" + std::string(kUrlKey) + "=" + std::string(url) + "\r\n";
}

std::optional<std::string> ReadShellLinkTarget(const std::string& path)
{
    const SInputFile file = ReadInputFile(path);
    if (!file.Ok())
        return std::nullopt;
    return ParseShellLink(file.bytes);
}

} // namespace nimbra
