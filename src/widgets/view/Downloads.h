#pragma once

#include "platform/WebBrowser.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QVBoxLayout;

namespace nimbra {

class CNimbraView;
class IViewHost;

// A download's suggested name as a plain file name for the chosen folder:
// path separators and control characters become "_", leading dots go, the
// name before its extension is cut to 100 cells; "download" when nothing
// is left.
std::string DownloadFileName(const std::string& suggested);

// The name a download is written to until it is complete: `path` + ".part",
// numbered when that is taken.
std::string PartialPath(const std::string& path);

// "12.5 MB / 40.0 MB  1.2 MB/秒  残り 23 秒", shortened for what is unknown.
QString DownloadProgressText(long long received, long long total, double bytesPerSecond);

// The downloads window "ダウンロード": one row a download with its name,
// progress, speed and remaining time; a running one can be cancelled, a
// finished one opened or its folder shown, and the finished ones removed.
class CDownloadsWindow : public QWidget {
    Q_OBJECT
public:
    // `host` opens the finished files and their folders.
    CDownloadsWindow(IViewHost& host, QWidget* parent);
    // Downloads still running when the browser closes are cancelled and
    // their partial files removed.
    ~CDownloadsWindow() override;

    // A row for a started download written to `partPath`, renamed to
    // `path` when complete.
    void Add(std::shared_ptr<IDownload> download, const std::string& path, const std::string& partPath);
    // The text of the newest running download for the status bar; empty
    // when none runs.
    QString ActiveText() const;
    // Takes the rows of downloads that have ended off the list ("完了した
    // 項目を削除"); their files stay.
    void RemoveFinished();
    size_t RowCount() const { return m_rows.size(); }

Q_SIGNALS:
    void ActivityChanged();

private:
    struct SRow {
        std::shared_ptr<IDownload> download;
        std::string path;
        std::string partPath;
        QElapsedTimer started;
        QElapsedTimer shown; // the last progress shown
        bool updatePending = false;
        bool finished = false;
        QWidget* box;
        QLabel* name;
        QProgressBar* progress;
        QLabel* status;
        QPushButton* cancel;
        QPushButton* open;
        QPushButton* folder;
    };
    // Progress is shown at most every kUpdateMs (each showing repaints the
    // status bar, and with it the main window); an end at once.
    static constexpr int kUpdateMs = 1000;
    void Update(SRow& row);
    void Finish(SRow& row);

    IViewHost& m_host;
    QVBoxLayout* m_pRows;
    std::vector<std::unique_ptr<SRow>> m_rows;
};

// Downloads of the main window's tabs: asks where each is saved, one
// question at a time (requests that come meanwhile wait, and go with their
// tab), and shows them in the downloads window and the status bar.
class CDownloadManager : public QObject {
    Q_OBJECT
public:
    // The manager of the window of `host`'s tabs, whose status bar shows
    // the downloads; the host makes it when first needed.
    explicit CDownloadManager(IViewHost& host);
    // The manager of the tabs of `frame`; nullptr before it was needed.
    static CDownloadManager* Of(QWidget* frame);

    // A download that a page of `view` started. The engine drops it unless
    // it starts before this returns.
    // False when the request waits for an earlier question to end; the
    // view asks the engine for it again then.
    bool Request(CNimbraView* view, std::shared_ptr<IDownload> download);
    CDownloadsWindow* Window() const { return m_pWindow; }
    // Downloads waiting for their question.
    size_t Waiting() const { return m_queue.size(); }

private:
    // The path the user chose for `suggested`, asked over the tab `view`,
    // or empty.
    std::string AskPath(CNimbraView* view, const std::string& suggested);
    void Start(std::shared_ptr<IDownload> download, const std::string& path);
    void AskNext();
    void ShowActivity();

    struct SWaiting {
        QPointer<CNimbraView> view;
        std::string url;
        std::string name;
    };
    IViewHost& m_host;
    CDownloadsWindow* m_pWindow;
    bool m_bAsking = false;
    std::deque<SWaiting> m_queue;
    // URLs asked again after their question, with the chosen path.
    std::map<std::string, std::string> m_chosen;
};

} // namespace nimbra
