#include "widgets/tools/UrlExtractDialog.h"

#include "data/settings/Settings.h"
#include "ui/CommandRouter.h"
#include "ui/MenuResource.h"
#include "platform/AtomicFile.h"
#include "platform/BrowseDialog.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"
#include "data/session/ListFile.h"
#include "platform/Paths.h"
#include "data/tools/DownloadList.h"
#include "data/tools/UrlFilter.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace nimbra {

namespace {

constexpr int kMenuId = 179;
constexpr int kUrlColumnWidth = 1000;
constexpr char kNewFilter[] = "新しいフィルタ";
constexpr char kDownloadListName[] = "urllist";

QLabel* Buddy(const QString& text, QWidget* field, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setBuddy(field);
    return label;
}

} // namespace

CUrlExtractDialog::CUrlExtractDialog(CSettings& settings, std::string filterPath, OpenUrlFunc openUrl,
                                     QWidget* parent)
    : QDialog(parent), m_settings(settings), m_strFilterPath(std::move(filterPath)), m_openUrl(std::move(openUrl))
{
    setWindowTitle(QStringLiteral("URL抽出"));
    m_pRouter = new CCommandRouter(this);
    CreateControls();
    RegisterCommands();

    FillFilters(ReadUrlFilters(m_strFilterPath), m_settings.GetInt(EKey::DLFilterIndex));
    m_pFolder->setText(ToQ(m_settings.GetString(EKey::DLFolder)));
    m_bSaveClose = m_settings.GetInt(EKey::DLSaveClose) != 0;
    m_bNaviClose = m_settings.GetInt(EKey::DLNaviClose) != 0;
    m_bStartupFilter = m_settings.GetInt(EKey::DLStartupFilter) != 0;
    m_bImageTag = m_settings.GetInt(EKey::DLImageTag) != 0;
    ShowNote();
    resize(640, 480);
}

CUrlExtractDialog::~CUrlExtractDialog()
{
    // Closed with its owner: the state is still kept, silently.
    SaveState();
}

void CUrlExtractDialog::CreateControls()
{
    const SMenu* menu = CMenuResource::Builtin().FindMenu(kMenuId);
    QMenuBar* bar = menu ? BuildMenuBar(*menu, *m_pRouter, this) : new QMenuBar(this);

    m_pFrames = new QComboBox(this);
    m_pList = new QTreeView(this);
    m_pList->setModel(&m_model);
    m_pList->setRootIsDecorated(false);
    m_pList->setUniformRowHeights(true);
    m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pList->setAllColumnsShowFocus(true);
    m_pList->header()->setStretchLastSection(false);
    m_pList->header()->resizeSection(0, kUrlColumnWidth);
    m_pFilters = new QComboBox(this);
    m_pFilters->setEditable(true);
    m_pFilters->setInsertPolicy(QComboBox::NoInsert);
    m_pFilters->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_pFilterButton = new QPushButton(QStringLiteral("フィルタ(&E)"), this);
    m_pFilterButton->setDefault(true);
    m_pAddButton = new QPushButton(QStringLiteral("追加(&A)"), this);
    m_pResetButton = new QPushButton(QStringLiteral("初期化(&I)"), this);
    m_pReferer = new QLineEdit(this);
    m_pFolder = new QLineEdit(this);
    m_pBrowseButton = new QPushButton(QStringLiteral("..."), this);
    m_pBrowseButton->setMaximumWidth(m_pBrowseButton->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);
    m_pNote = new QLabel(this);
    m_pNote->setTextFormat(Qt::PlainText);
    m_pNote->setWordWrap(true);

    auto* frameRow = new QHBoxLayout;
    frameRow->addWidget(Buddy(QStringLiteral("フレーム(&T):"), m_pFrames, this));
    frameRow->addWidget(m_pFrames, 1);
    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(Buddy(QStringLiteral("フィルタ(&F):"), m_pFilters, this));
    filterRow->addWidget(m_pFilters, 1);
    filterRow->addWidget(m_pFilterButton);
    filterRow->addWidget(m_pAddButton);
    filterRow->addWidget(m_pResetButton);
    auto* group = new QGroupBox(QStringLiteral("ReGet Iria 用"), this);
    auto* grid = new QGridLayout(group);
    grid->addWidget(Buddy(QStringLiteral("&Referer :"), m_pReferer, group), 0, 0);
    grid->addWidget(m_pReferer, 0, 1, 1, 2);
    grid->addWidget(Buddy(QStringLiteral("&DL保存先 :"), m_pFolder, group), 1, 0);
    grid->addWidget(m_pFolder, 1, 1);
    grid->addWidget(m_pBrowseButton, 1, 2);

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(bar);
    layout->addLayout(frameRow);
    layout->addWidget(m_pList, 1);
    layout->addWidget(m_pNote);
    layout->addLayout(filterRow);
    layout->addWidget(group);

    connect(m_pFrames, &QComboBox::currentIndexChanged, this, &CUrlExtractDialog::ExtractFrame);
    connect(m_pFilterButton, &QPushButton::clicked, this, &CUrlExtractDialog::ApplyFilter);
    connect(m_pAddButton, &QPushButton::clicked, this, [this] {
        m_pFilters->addItem(QString::fromUtf8(kNewFilter));
        m_pFilters->setCurrentIndex(m_pFilters->count() - 1);
        m_pFilters->setFocus();
        m_pFilters->lineEdit()->selectAll();
    });
    connect(m_pResetButton, &QPushButton::clicked, this, [this] { FillFilters(DefaultUrlFilters(), 0); });
    connect(m_pFilters->lineEdit(), &QLineEdit::textEdited, this, &CUrlExtractDialog::OnFilterEdited);
    connect(m_pBrowseButton, &QPushButton::clicked, this, &CUrlExtractDialog::BrowseFolder);
}

void CUrlExtractDialog::RegisterCommands()
{
    CCommandTable& t = m_pRouter->Table(CCommandRouter::ELevel::Frame);
    t.SetHandler(ID_DL_SAVE_LIST, [this] { SaveUrlList(); });
    t.SetHandler(ID_DL_SAVE_REGET, [this] { SaveDownloadList(true); });
    t.SetHandler(ID_DL_SAVE_IRIA, [this] { SaveDownloadList(false); });
    t.SetHandler(ID_DL_CLIPBOARD, [this] { CopyToClipboard(); });
    t.SetHandler(ID_DL_NAVI_SELECTED, [this] { NavigateSelected(); });
    t.SetHandler(ID_DL_NAVI_TICKED, [this] { NavigateTicked(); });
    auto option = [&t](int id, bool& flag, std::function<void()> after = {}) {
        t.SetHandler(id, [&flag, after] {
            flag = !flag;
            if (after)
                after();
        });
        t.SetUpdateHandler(id, [&flag](SCmdUI& ui) { ui.SetCheck(flag); });
    };
    option(ID_DL_IMAGE_TAG, m_bImageTag, [this] { ExtractFrame(m_pFrames->currentIndex()); });
    option(ID_DL_NAVI_CLOSE, m_bNaviClose);
    option(ID_DL_SAVE_CLOSE, m_bSaveClose);
    option(ID_DL_STARTUP_FILTER, m_bStartupFilter);
    m_pRouter->AttachShortcuts(this);
}

bool CUrlExtractDialog::ExecuteCommand(int id)
{
    return m_pRouter->Execute(id);
}

void CUrlExtractDialog::FillFilters(const std::vector<std::string>& filters, int select)
{
    QStringList items;
    items.reserve(int(filters.size()));
    for (const std::string& filter : filters)
        items.push_back(ToQ(filter));
    m_pFilters->clear();
    m_pFilters->addItems(items);
    m_pFilters->setCurrentIndex(select >= 0 && select < m_pFilters->count() ? select : 0);
}

void CUrlExtractDialog::OnFilterEdited(const QString& text)
{
    // Typing renames the selected filter.
    const int index = m_pFilters->currentIndex();
    if (index < 0) {
        m_pFilters->addItem(text);
        m_pFilters->setCurrentIndex(m_pFilters->count() - 1);
        return;
    }
    QLineEdit* edit = m_pFilters->lineEdit();
    const int cursor = edit->cursorPosition();
    const QString cut = ToQ(CutText(FromQ(text), kFilterTextWidth));
    m_pFilters->setItemText(index, cut);
    if (edit->text() != cut)
        edit->setText(cut);
    edit->setCursorPosition(std::min(cursor, int(cut.size())));
}

void CUrlExtractDialog::SetPage(SPageDocument page, size_t leftOut)
{
    m_page = std::move(page);
    m_nLeftOut = leftOut;
    m_bPageRead = true;
    m_frames = ListExtractFrames(m_page);
    if (m_pReferer->text().isEmpty())
        m_pReferer->setText(ToQ(m_page.url));
    {
        const QSignalBlocker block(m_pFrames);
        m_pFrames->clear();
        for (const SExtractFrame& frame : m_frames)
            m_pFrames->addItem(ToQ(frame.label));
        m_pFrames->setCurrentIndex(0);
    }
    ExtractFrame(0);
    if (m_bStartupFilter)
        ApplyFilter();
}

void CUrlExtractDialog::PageUnavailable()
{
    if (m_bPageRead)
        return;
    m_bPageRead = true;
    m_bPageMissing = true;
    ShowNote();
}

void CUrlExtractDialog::ExtractFrame(int index)
{
    if (index < 0 || size_t(index) >= m_frames.size())
        return;
    m_model.SetUrls(ExtractUrls(*m_frames[size_t(index)].document, m_bImageTag));
    ShowNote();
}

void CUrlExtractDialog::ShowNote()
{
    QStringList notes;
    if (!m_bPageRead)
        notes << QStringLiteral("ページを読み込んでいます...");
    if (m_bPageMissing)
        notes << QStringLiteral("ページを読み込めませんでした。");
    const int index = m_pFrames->currentIndex();
    if (index >= 0 && size_t(index) < m_frames.size() && !m_frames[size_t(index)].document->readable)
        notes << QStringLiteral("このフレームは別のサイトのページのため、URLを読み出せません。");
    if (m_nLeftOut > 0)
        notes << QStringLiteral("%1 件のURLは上限 (%2 件、1件 %3 文字まで) を超えたため省略しました。")
                     .arg(m_nLeftOut)
                     .arg(kMaxPageLinks)
                     .arg(kMaxLinkLength);
    m_pNote->setText(notes.join('\n'));
    m_pNote->setVisible(!notes.isEmpty());
}

void CUrlExtractDialog::ApplyFilter()
{
    m_model.ApplyFilter(CUrlFilter(FromQ(m_pFilters->currentText())));
}

QDialog* CUrlExtractDialog::BrowseFolder()
{
    SBrowseOptions options;
    options.title = QStringLiteral("DL保存先フォルダの参照");
    options.prompt = QStringLiteral("参照するフォルダを選択してください");
    options.okText = QStringLiteral("選択");
    options.cancelText = QStringLiteral("キャンセル");
    options.statusFormat = QStringLiteral("DL保存先 : %s");
    options.startFolder = m_pFolder->text();
    auto* dialog = new CBrowseDialog(options, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] { m_pFolder->setText(dialog->Path()); });
    dialog->open();
    return dialog;
}

void CUrlExtractDialog::SaveUrlList()
{
    if (!m_model.AnyTicked())
        return;
    const std::string path = AskFileName(this, ListFileRequest(true, m_settings.GetString(EKey::LastSavePath),
                                                               DefaultListFileName(QDateTime::currentDateTime())));
    if (path.empty())
        return;
    m_settings.WriteString(EKey::LastSavePath, FolderOf(path));
    if (!WriteListFile(kHeadingUrlList, path, m_model.TickedUrls())) {
        ShowMessage(this, QStringLiteral("リストファイルを保存できませんでした。\n%1").arg(ToQ(path)),
                    QMessageBox::Warning);
        return;
    }
    AfterSave();
}

void CUrlExtractDialog::SaveDownloadList(bool reget)
{
    if (!m_model.AnyTicked())
        return;
    SFileRequest request;
    request.save = true;
    request.filters = {reget ? QStringLiteral("ReGet ファイル (*.wrg)") : QStringLiteral("Iria ファイル (*.iri)"),
                       QStringLiteral("すべてのファイル (*)")};
    request.defaultSuffix = reget ? QStringLiteral("wrg") : QStringLiteral("iri");
    request.folder = m_settings.GetString(EKey::LastSavePath);
    request.name = kDownloadListName;
    // Iria's date is taken once, when saving starts.
    const std::string date = DefaultListFileName(QDateTime::currentDateTime());
    const std::string path = AskFileName(this, request);
    if (path.empty())
        return;
    m_settings.WriteString(EKey::LastSavePath, FolderOf(path));
    const std::string folder = FromQ(m_pFolder->text());
    const std::vector<std::string> urls = m_model.TickedUrls();
    const std::string bytes =
        reget ? ReGetList(urls, FromQ(m_pReferer->text()), folder) : IriaList(urls, folder, date);
    if (!WriteFileAtomically(path, bytes)) {
        ShowMessage(this, QStringLiteral("ファイルを保存できませんでした。\n%1").arg(ToQ(path)), QMessageBox::Warning);
        return;
    }
    AfterSave();
}

void CUrlExtractDialog::CopyToClipboard()
{
    if (!m_model.AnyTicked())
        return;
    QApplication::clipboard()->setText(ToQ(ClipboardList(m_model.TickedUrls())));
    AfterSave();
}

void CUrlExtractDialog::AfterSave()
{
    if (m_bSaveClose)
        reject();
}

void CUrlExtractDialog::NavigateSelected()
{
    const QModelIndex current = m_pList->currentIndex();
    if (!current.isValid() || !m_pList->selectionModel()->isSelected(current))
        return;
    m_openUrl(m_model.Url(current.row()));
    if (m_bNaviClose)
        reject();
}

void CUrlExtractDialog::NavigateTicked()
{
    const std::vector<std::string> urls = m_model.TickedUrls();
    if (urls.size() > kNavigateWithoutAsking
        && !AskYesNo(this, QStringLiteral("チェックが付いている %1 件のURLをすべて新しいタブで開きます。よろしいですか?")
                               .arg(urls.size())))
        return;
    for (const std::string& url : urls)
        m_openUrl(url);
    if (m_bNaviClose)
        reject();
}

void CUrlExtractDialog::done(int result)
{
    if (!SaveState())
        ShowMessage(this, QStringLiteral("フィルタを保存できませんでした。\n%1").arg(ToQ(m_strFilterPath)),
                    QMessageBox::Warning);
    QDialog::done(result);
}

bool CUrlExtractDialog::SaveState()
{
    if (m_bStateSaved)
        return true;
    m_bStateSaved = true;
    m_settings.WriteInt(EKey::DLFilterIndex, m_pFilters->currentIndex());
    m_settings.WriteString(EKey::DLFolder, FromQ(m_pFolder->text()));
    m_settings.WriteInt(EKey::DLSaveClose, m_bSaveClose ? 1 : 0);
    m_settings.WriteInt(EKey::DLNaviClose, m_bNaviClose ? 1 : 0);
    m_settings.WriteInt(EKey::DLStartupFilter, m_bStartupFilter ? 1 : 0);
    m_settings.WriteInt(EKey::DLImageTag, m_bImageTag ? 1 : 0);
    std::vector<std::string> filters;
    filters.reserve(size_t(m_pFilters->count()));
    for (int i = 0; i < m_pFilters->count(); ++i)
        filters.push_back(FromQ(m_pFilters->itemText(i)));
    return WriteUrlFilters(m_strFilterPath, filters);
}

} // namespace nimbra
