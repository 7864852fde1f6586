#include "platform/BrowseDialog.h"
#include "platform/WindowPlacement.h"

#include "TestEnv.h"

#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <gtest/gtest.h>

using namespace nimbra;

TEST(WindowPlacement, OnlyTenThirtyTwoBitNumbersAreAPlacement)
{
    const char* const refused[] = {
        "",
        "0,1,-1,-1,-1,-1,10,20,410,320,5", // eleven
        "0,1,-1,-1,-1,-1,10,20,410",       // nine
        "0,1,-1,-1,-1,-1,10,20,410,x",
        "0,1,-1,-1,-1,-1,10,20,410,",
        "-1,1,-1,-1,-1,-1,10,20,410,320",
        "0,1,-1,-1,-1,-1,10,20,410,4294967296",
    };
    for (const char* text : refused)
        EXPECT_FALSE(ParseWindowPlacement(text)) << text;

    const auto placement = ParseWindowPlacement(" 2, 3,-1,-1,-8,-8,10,20,410,320");
    ASSERT_TRUE(placement);
    EXPECT_EQ(placement->flags, 2u);
    EXPECT_EQ(placement->showCmd, 3u);
    EXPECT_EQ(placement->maxPosition, QPoint(-8, -8));
    EXPECT_EQ(placement->normal, QRect(10, 20, 400, 300));
    EXPECT_EQ(FormatWindowPlacement(*placement), "2,3,-1,-1,-8,-8,10,20,410,320");
}

TEST(WindowPlacement, AWindowOffEveryScreenMovesOntoTheNearest)
{
    const std::vector<QRect> screens{QRect(0, 0, 1280, 900), QRect(1280, 0, 1024, 768)};
    struct Case {
        QRect rect;
        QRect expected;
    } const cases[] = {
        {QRect(100, 100, 400, 300), QRect(100, 100, 400, 300)},      // on the first
        {QRect(1500, 100, 400, 300), QRect(1500, 100, 400, 300)},    // on the second
        {QRect(-390, 100, 400, 300), QRect(0, 100, 400, 300)},       // ten pixels showing
        {QRect(5000, 5000, 400, 300), QRect(1904, 468, 400, 300)},   // far right, below
        {QRect(-900, -900, 3000, 2000), QRect(-900, -900, 3000, 2000)}, // covers a screen
        {QRect(-5000, 100, 3000, 2000), QRect(0, 0, 1280, 900)},     // too large: shrunk
    };
    for (const Case& c : cases)
        EXPECT_EQ(RectOntoScreens(c.rect, screens), c.expected) << c.rect.x() << "," << c.rect.y();
}

TEST(BrowseDialog, ShowsTheCallersTextsAndFollowsTheSelection)
{
    testenv::ScopedHome home;
    QDir(home.path()).mkpath("downloads");
    const QString folder = home.path() + "/downloads";
    CBrowseDialog dialog({"DL保存先フォルダの参照", "参照するフォルダを選択してください", "選択", "キャンセル",
                          "DL保存先 : %s", home.path()});
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("DL保存先フォルダの参照"));
    EXPECT_EQ(dialog.PromptLabel()->text(), QStringLiteral("参照するフォルダを選択してください"));
    EXPECT_EQ(dialog.Chooser()->labelText(QFileDialog::Accept), QStringLiteral("選択"));
    EXPECT_EQ(dialog.Chooser()->labelText(QFileDialog::Reject), QStringLiteral("キャンセル"));
    EXPECT_EQ(dialog.StatusLabel()->text(), "DL保存先 : " + home.path());

    dialog.SelectFolder(folder);
    EXPECT_EQ(dialog.StatusLabel()->text(), "DL保存先 : " + folder);
    static_cast<QDialog*>(dialog.Chooser())->accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Path(), folder);
    EXPECT_EQ(dialog.DisplayName(), QStringLiteral("downloads"));
}
