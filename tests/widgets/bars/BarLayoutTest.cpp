#include "widgets/bars/BarLayout.h"
#include "platform/Ini.h"

#include "TestEnv.h"

#include <QDir>
#include <algorithm>
#include <gtest/gtest.h>

using namespace nimbra;

namespace {

// A rebar in memory: bands in order, with their style and width.
class FakeBands : public IBandHost {
public:
    struct SEntry {
        int id;
        int style = kBandBreak;
        int width = 0;
    };
    explicit FakeBands(const std::vector<int>& ids)
    {
        for (int id : ids)
            m_bands.push_back({id});
    }

    std::vector<int> Order() const
    {
        std::vector<int> ids;
        for (const SEntry& band : m_bands)
            ids.push_back(band.id);
        return ids;
    }
    SEntry& At(int id) { return m_bands[size_t(Index(id))]; }

    int BandCount() const override { return int(m_bands.size()); }
    int RowCount() const override { return 3; }
    std::optional<SBand> GetBand(int id) const override
    {
        const int i = Index(id);
        return i < 0 ? std::nullopt : std::optional<SBand>({m_bands[size_t(i)].style, i, m_bands[size_t(i)].width});
    }
    void SetBand(int id, int style, int width) override { At(id) = {id, style, width}; }
    void MoveBand(int id, int index) override
    {
        const SEntry band = At(id);
        m_bands.erase(m_bands.begin() + Index(id));
        m_bands.insert(m_bands.begin() + index, band);
    }
    bool IsMoveButtonVisible() const override { return m_bMoveButton; }
    void ShowMoveButton(bool show) override { m_bMoveButton = show; }

    bool m_bMoveButton = true;

private:
    int Index(int id) const
    {
        const auto it = std::find_if(m_bands.begin(), m_bands.end(), [id](const SEntry& b) { return b.id == id; });
        return it == m_bands.end() ? -1 : int(it - m_bands.begin());
    }
    std::vector<SEntry> m_bands;
};

const std::vector<int> kAllBands = {kBandTabBar, kBandLinkBar, kBandAddressBar, kBandToolBar, kBandMenuBar};

class BarLayout : public ::testing::Test {
protected:
    void Write(const char* key, const std::string& value) { CIniFile(Path()).WriteString("Options", key, value); }
    std::string Read(const char* key) const { return CIniFile(Path()).GetString("Options", key, "-"); }
    std::string Path() const { return m_home.file("barstate.ini"); }

    testenv::ScopedHome m_home;
    CBarState m_state{Path()};
};

} // namespace

TEST_F(BarLayout, DefaultGivesMenuToolbarAddressLinksTabsARowEach)
{
    const std::vector<int> withToolbar = {kBandMenuBar, kBandToolBar, kBandAddressBar, kBandLinkBar, kBandTabBar};
    const std::vector<int> docked = {kBandMenuBar, kBandAddressBar, kBandLinkBar, kBandTabBar};
    for (const auto& [inserted, expected] : {std::pair{kAllBands, withToolbar},
                                            {std::vector<int>{kBandTabBar, kBandLinkBar, kBandAddressBar, kBandMenuBar}, docked}}) {
        FakeBands bands(inserted);
        m_state.LoadBarState(bands);
        EXPECT_EQ(bands.Order(), expected);
        EXPECT_EQ(bands.At(kBandMenuBar).style, 0);
        for (int id : expected) {
            if (id != kBandMenuBar) {
                EXPECT_EQ(bands.At(id).style & kBandBreak, kBandBreak) << id;
            }
        }
    }
}

TEST_F(BarLayout, BadReBarPosKeepsWhatItCannotRead)
{
    struct Case {
        std::string value;
        std::vector<int> order;        // bands after loading
        std::vector<int> styled;       // bands whose style became 0x40
    };
    const std::vector<int> untouched = kAllBands;
    const std::string tail(10 * 1024, ' ');
    const Case cases[] = {
        {"2,64,0,0,64,1,0,64,2", untouched, {}},                               // 9 numbers
        {"2,x,0,0,64,1,0,64,2,0", untouched, {}},                              // a word
        {"2,64,0,0,64,4,0,64,1,0", {128, 512, 129, 135, 256}, {128, 256, 512}}, // 10
        {"2,64,0,0,64,4,0,64,1,0,64,1,0", {128, 135, 512, 129, 256}, {128, 256, 512, 135}}, // 13
        {"2,64,0,0,64,4,0,64,1,0,64,1,0,64,1", {128, 135, 512, 129, 256}, {128, 256, 512, 135}}, // 15
        // Read to 255 bytes: the toolbar's numbers lie beyond.
        {"2,64,0,0,64,4,0,64,1,0," + tail + "64,1,0,64,1,0", {128, 512, 129, 135, 256}, {128, 256, 512}},
        {"2,64,-7,0,64,99,0,64,1,0", {128, 512, 129, 135, 256}, {128, 256, 512}}, // indices clamped
    };
    for (const Case& c : cases) {
        Write("ReBarPos", c.value);
        FakeBands bands(kAllBands);
        m_state.LoadBarState(bands);
        EXPECT_EQ(bands.Order(), c.order) << c.value.substr(0, 40);
        for (int id : kAllBands) {
            const bool styled = std::find(c.styled.begin(), c.styled.end(), id) != c.styled.end();
            EXPECT_EQ(bands.At(id).style, styled ? 64 : kBandBreak) << c.value.substr(0, 40) << " band " << id;
        }
    }

    Write("ReBarPos", "2,0,0,99999,0,1,-5,0,2,50,0,3,0,0,4,0");
    FakeBands bands(kAllBands);
    m_state.LoadBarState(bands);
    EXPECT_EQ(bands.At(kBandMenuBar).width, 32767);
    EXPECT_EQ(bands.At(kBandLinkBar).width, 0);
    EXPECT_EQ(bands.At(kBandAddressBar).width, 50);
}

TEST_F(BarLayout, SaveAndLoadAreStableAndLeaveOtherSections)
{
    CIniFile(Path()).WriteInt("Nimbra-NimbraBar134", "szHorzCX", 240);
    Write("ReBarPos", "4,0,0,0,137,2,300,1,1,0,129,3,0,1,4,0");
    FakeBands first(kAllBands);
    m_state.LoadBarState(first);
    m_state.SaveBarState(first);
    const std::string saved = Read("ReBarPos");
    EXPECT_EQ(saved, "3,0,0,0,137,4,300,1,1,0,129,3,0,1,2,0");

    FakeBands second(kAllBands);
    m_state.LoadBarState(second);
    EXPECT_EQ(second.Order(), first.Order());
    m_state.SaveBarState(second);
    EXPECT_EQ(Read("ReBarPos"), saved);
    EXPECT_EQ(CIniFile(Path()).GetInt("Nimbra-NimbraBar134", "szHorzCX", 0), 240);

    // A missing band repeats the band before it.
    FakeBands docked({kBandMenuBar, kBandAddressBar, kBandLinkBar});
    m_state.SaveBarState(docked);
    EXPECT_EQ(Read("ReBarPos"), "3,1,0,0,1,2,0,1,1,0,1,1,0,1,1,0");
}

TEST_F(BarLayout, MoveButtonShowsOnlyWithExactlyItsVisibleStyle)
{
    // Unreadable values leave the button as it is (shown).
    const std::pair<const char*, bool> cases[] = {
        {"0", false},           {"268435456", true}, {"268435457", false}, {"805306368", false},
        {"-1", false},          {"1", false},        {"abc", true},        {"1 2", true},
    };
    for (const auto& [value, shown] : cases) {
        Write("MoveButton", value);
        FakeBands bands(kAllBands);
        m_state.LoadBarState(bands);
        EXPECT_EQ(bands.m_bMoveButton, shown) << value;
        m_state.SaveBarState(bands);
        EXPECT_EQ(Read("MoveButton"), shown ? "268435456" : "0") << value;
    }
}

TEST_F(BarLayout, UnreadableOrResetFileGivesTheBuiltInLayout)
{
    const std::vector<int> defaultOrder = {kBandMenuBar, kBandToolBar, kBandAddressBar, kBandLinkBar, kBandTabBar};
    testenv::WriteFile(Path(), std::string("\x00\xff\xfe[Options\x01ReBarPos\x00=9,9\n\x80", 24));
    FakeBands binary(kAllBands);
    m_state.LoadBarState(binary);
    EXPECT_EQ(binary.Order(), defaultOrder);

    // A docking mode changed: the file goes and the exit does not write it.
    m_state.Reset();
    m_state.SaveBarState(binary);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Path())));

    // A folder in its place can be neither read nor written.
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(Path())));
    CBarState folder(Path());
    FakeBands bands(kAllBands);
    folder.LoadBarState(bands);
    EXPECT_EQ(bands.Order(), defaultOrder);
    folder.SaveBarState(bands);
    EXPECT_TRUE(QFileInfo(QString::fromStdString(Path())).isDir());
}
