#include "widgets/bars/BarLayout.h"

#include "platform/Ini.h"
#include "platform/Text.h"

#include <QFile>
#include <algorithm>
#include <array>
#include <vector>

namespace nimbra {

namespace {

constexpr char kSection[] = "Options";
constexpr char kReBarPos[] = "ReBarPos";
constexpr char kMoveButton[] = "MoveButton";
constexpr char kReBarPosDefault[] = "2,0,0,0,129,1,0,129,1,0,129,1,0,129,1,0";
constexpr int kMoveButtonVisible = 0x10000000; // the window's visible style bit
constexpr size_t kReBarPosMax = 255;
constexpr int kMaxBandWidth = 32767;

// The bands in the order of ReBarPos, and the bands moved to their saved
// places, in this order.
constexpr std::array<int, 5> kSavedBands = {kBandMenuBar, kBandLinkBar, kBandAddressBar, kBandToolBar, kBandTabBar};
constexpr std::array<int, 4> kMovedBands = {kBandMenuBar, kBandLinkBar, kBandAddressBar, kBandToolBar};

} // namespace

std::string BarStatePath(const std::string& iniPath)
{
    return iniPath.substr(0, iniPath.rfind('/')) + "/barstate.ini";
}

CBarState::CBarState(std::string path) : m_path(std::move(path)) {}

void CBarState::LoadBarState(IBandHost& host) const
{
    const CIniFile file(m_path);
    bool whole = false;
    const std::vector<int> moveButton = ParseIntList(file.GetString(kSection, kMoveButton, "268435456"), &whole);
    if (whole && moveButton.size() == 1)
        host.ShowMoveButton(moveButton[0] == kMoveButtonVisible);

    std::string text = file.GetString(kSection, kReBarPos, kReBarPosDefault);
    text.resize(std::min(text.size(), kReBarPosMax));
    const std::vector<int> numbers = ParseIntList(text);
    if (numbers.size() < 10)
        return;
    // Bands whose three numbers are all there.
    std::vector<std::pair<int, SBand>> bands;
    for (size_t i = 0; i < kSavedBands.size() && 1 + 3 * i + 2 < numbers.size(); ++i) {
        const int* n = &numbers[1 + 3 * i];
        bands.push_back({kSavedBands[i], {n[0], n[1], std::clamp(n[2], 0, kMaxBandWidth)}});
    }
    for (const auto& [id, band] : bands)
        if (host.GetBand(id))
            host.SetBand(id, band.style, band.width);
    for (const int id : kMovedBands) {
        const auto saved = std::find_if(bands.begin(), bands.end(), [id](const auto& b) { return b.first == id; });
        if (saved != bands.end() && host.GetBand(id))
            host.MoveBand(id, std::clamp(saved->second.index, 0, std::max(host.BandCount() - 1, 0)));
    }
}

void CBarState::SaveBarState(const IBandHost& host) const
{
    if (m_bReset)
        return;
    std::string text = std::to_string(host.RowCount());
    SBand band; // a missing band repeats the values of the band before it
    for (const int id : kSavedBands) {
        if (const std::optional<SBand> found = host.GetBand(id))
            band = *found;
        text += "," + std::to_string(band.style) + "," + std::to_string(band.index) + "," + std::to_string(band.width);
    }
    CIniFile file(m_path);
    file.WriteString(kSection, kReBarPos, text);
    file.WriteInt(kSection, kMoveButton, host.IsMoveButtonVisible() ? kMoveButtonVisible : 0);
}

void CBarState::Reset()
{
    QFile::remove(QString::fromStdString(m_path));
    m_bReset = true;
}

} // namespace nimbra
