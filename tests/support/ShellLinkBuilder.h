#pragma once

// Shell link (.lnk) files built byte by byte for tests: a header, an ID
// list of one item and the link info with its local base path.
#include <cstdint>
#include <string>

namespace testenv::shelllink {

inline constexpr uint32_t kHasIdList = 0x1;
inline constexpr uint32_t kHasLinkInfo = 0x2;
inline constexpr uint32_t kForceNoLinkInfo = 0x100;

inline void Put16(std::string& out, uint32_t v)
{
    out += char(v & 0xFF);
    out += char((v >> 8) & 0xFF);
}

inline void Put32(std::string& out, uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

inline void PutUtf16(std::string& out, const std::u16string& text)
{
    for (char16_t c : text)
        Put16(out, c);
    Put16(out, 0);
}

struct LinkLayout {
    uint32_t flags = kHasIdList | kHasLinkInfo;
    uint32_t infoFlags = 1; // VolumeIDAndLocalBasePath
    std::string base;
    std::string suffix;
    std::u16string unicodeBase; // non-empty: a LinkInfo header of 0x24 bytes
};

// A shell link: header, an ID list of one item, and the link info.
inline std::string BuildLink(const LinkLayout& link)
{
    std::string out;
    Put32(out, 0x4C);
    out += std::string("\x01\x14\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16);
    Put32(out, link.flags);
    out.resize(0x4C, '\0');
    if (link.flags & kHasIdList) {
        Put16(out, 6);
        out += std::string("\x04\x00\xAB\xCD\x00\x00", 6);
    }

    const bool unicode = !link.unicodeBase.empty();
    const uint32_t headerSize = unicode ? 0x24 : 0x1C;
    std::string volume;
    Put32(volume, 0x11);
    Put32(volume, 3);
    Put32(volume, 0x1234);
    Put32(volume, 0x10);
    volume += '\0';
    const uint32_t volumeAt = headerSize;
    const uint32_t baseAt = volumeAt + uint32_t(volume.size());
    const uint32_t suffixAt = baseAt + uint32_t(link.base.size()) + 1;
    const uint32_t unicodeAt = suffixAt + uint32_t(link.suffix.size()) + 1;

    std::string body = volume + link.base + '\0' + link.suffix + '\0';
    if (unicode)
        PutUtf16(body, link.unicodeBase);

    std::string info;
    Put32(info, headerSize + uint32_t(body.size()));
    Put32(info, headerSize);
    Put32(info, link.infoFlags);
    Put32(info, volumeAt);
    Put32(info, baseAt);
    Put32(info, 0);
    Put32(info, suffixAt);
    if (unicode) {
        Put32(info, unicodeAt);
        Put32(info, 0);
    }
    return out + info + body;
}

} // namespace testenv::shelllink
