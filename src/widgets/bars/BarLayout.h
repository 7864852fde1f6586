#pragma once

#include <optional>
#include <string>

namespace nimbra {

// Band ids of the rebar, as the bar layout file knows them.
enum EBandId : int {
    kBandMenuBar = 128,
    kBandTabBar = 129,  // only while the tab bar is a band (rebar mode)
    kBandToolBar = 135, // absent while the toolbar is a docking bar
    kBandLinkBar = 256,
    kBandAddressBar = 512,
};

// Band style bits that act; the others are kept as they were read.
inline constexpr int kBandBreak = 0x1;  // the band starts a new row
inline constexpr int kBandHidden = 0x8; // the band is hidden

struct SBand {
    int style = 0;
    int index = 0; // position among all bands
    int width = 0;
};

// The bars at the top of the frame as the bar layout sees them.
class IBandHost {
public:
    virtual ~IBandHost() = default;

    virtual int BandCount() const = 0;
    virtual int RowCount() const = 0;
    // nullopt when the frame has no band with that id.
    virtual std::optional<SBand> GetBand(int id) const = 0;
    virtual void SetBand(int id, int style, int width) = 0;
    // Moves the band to `index`; the bands in between shift by one.
    virtual void MoveBand(int id, int index) = 0;

    // The move (go) button beside the address bar.
    virtual bool IsMoveButtonVisible() const = 0;
    virtual void ShowMoveButton(bool show) = 0;
};

// "barstate.ini" in the folder of the settings file `iniPath`.
std::string BarStatePath(const std::string& iniPath);

// The bar layout file: ReBarPos and MoveButton in its section Options.
// Other sections of the file are left alone.
class CBarState {
public:
    explicit CBarState(std::string path);

    // Applies the file to the bands; a ReBarPos of fewer than ten numbers
    // keeps the built-in layout.
    void LoadBarState(IBandHost& host) const;
    // Writes the bands and the move button, unless the file was reset.
    void SaveBarState(const IBandHost& host) const;
    // A docking mode changed: the file goes, and this run does not write it
    // again, so the next start has the built-in layout.
    void Reset();
    // True after Reset: nothing of the layout is written at this exit.
    bool IsReset() const { return m_bReset; }

private:
    std::string m_path;
    bool m_bReset = false;
};

} // namespace nimbra
