#include "platform/BrowseDialog.h"

#include "TestEnv.h"

#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <gtest/gtest.h>

using namespace nimbra;

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
