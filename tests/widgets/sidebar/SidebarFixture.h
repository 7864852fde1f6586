#pragma once

// A browser with scripted engines, and what the side bar tests reach in it.
#include "widgets/bookmarks/BookmarkCommands.h"
#include "data/bookmarks/BookmarkFile.h"
#include "ui/CommandRouter.h"
#include "platform/Ini.h"
#include "widgets/sidebar/NimbraBar.h"
#include "widgets/sidebar/SidebarCommands.h"

#include "TestBrowser.h"

#include <QTreeWidgetItem>

namespace testenv {

class SidebarTest : public BrowserTest {
protected:
    nimbra::CSidebarCommands* Sidebar() const { return nimbra::SidebarCommandsOf(*m_frame); }
    nimbra::CNimbraBar* Bar() const { return Sidebar()->Bar(); }
    nimbra::CBookmarkTree* Tree() const { return Sidebar()->Tree(); }

    // Starts with one tab and waits until the bar is laid out.
    void StartWithTab()
    {
        Start();
        m_app->OpenUrl("http://start/");
        ASSERT_TRUE(SpinUntil([&] { return !Bar()->isVisible() || Tree()->viewport()->width() > 10; }, 5000));
    }

    // The frame closes (saving what it saves at exit) and a new one starts;
    // `whileClosed` runs in between.
    void Restart(const std::function<void()>& whileClosed = [] {})
    {
        m_frame->close();
        whileClosed();
        m_app.reset();
        m_app = std::make_unique<nimbra::CNimbraApp>();
        m_app->SetShell(std::make_unique<RecordingShell>(&m_shell));
        m_app->InitPaths();
        StartWithTab();
    }

    // The bookmark file, loaded as the frame loads it.
    void Bookmarks(std::vector<nimbra::BookmarkItem> items)
    {
        ASSERT_TRUE(nimbra::WriteBookmarkFile(m_app->BookmarkPath(), nimbra::BookmarkItem::Folder({}, std::move(items))));
        nimbra::BookmarkCommandsOf(*m_frame)->Reload();
    }

    void BarState(const std::string& key, const std::string& value)
    {
        nimbra::CIniFile(File("barstate.ini")).WriteString("Nimbra-NimbraBar134", key, value);
    }
    std::string SavedBarState(const std::string& key) const
    {
        return nimbra::CIniFile(File("barstate.ini")).GetString("Nimbra-NimbraBar134", key, "(missing)");
    }

    QTreeWidgetItem* Item(const std::string& text) const
    {
        return Tree()->findItems(QString::fromStdString(text), Qt::MatchExactly | Qt::MatchRecursive).value(0);
    }
    QWidget* ViewWidget() const { return m_frame->ActiveView()->Browser()->Widget(); }
    std::string ActiveUrl() const { return m_frame->ActiveView()->GetLocationURL(); }
    bool Checked(int id) const { return m_frame->Router().Query(id).checked.value_or(false); }
};

} // namespace testenv
