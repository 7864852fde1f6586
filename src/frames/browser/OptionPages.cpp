#include "frames/browser/OptionPages.h"

#include "widgets/bars/AddressCombo.h"
#include "frames/browser/MainFrame.h"
#include "frames/browser/TrayHotKey.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"
#include "ui/EditableList.h"
#include "widgets/view/NimbraView.h"
#include "platform/WebBrowser.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace nimbra {

namespace {

constexpr char kDockingWarning[] = "この設定を変更してオプションを終了すると\nタブバーとツールバーの状態が初期化されます";
constexpr unsigned kMultimediaBits = DLCTL_DLIMAGES | DLCTL_BGSOUNDS | DLCTL_VIDEOS;
constexpr const char* kTabActions[] = {"なし", "閉じる", "再読み込み", "戻る", "ナビゲート ロック"};

// A browse button beside a path field: the chosen file goes into the field.
QPushButton* BrowseButton(QWidget* parent, QLineEdit* edit, QStringList filters)
{
    auto* button = new QPushButton(QStringLiteral("参照(&R)..."), parent);
    QObject::connect(button, &QPushButton::clicked, parent, [parent, edit, filters] {
        SFileRequest request;
        request.filters = filters;
        const std::string path = AskFileName(parent->window(), request);
        if (!path.empty())
            edit->setText(ToQ(path));
    });
    return button;
}

std::string ActiveUrl(CMainFrame* frame)
{
    CNimbraView* view = frame ? frame->ActiveView() : nullptr;
    return view ? view->GetLocationURL() : std::string();
}

} // namespace

// --- 全般 -------------------------------------------------------------------

CPropPageGeneral::CPropPageGeneral(CMainFrame* frame) : COptionPage(frame, "全般")
{
    Check(EKey::ExitSaveLog, "終了時にすべてのタブのURLをログに保存(&S)");
    Check(EKey::SetFocus, "ページをクリックするまでフォーカスを移さない (IE4.0系)(&F)");
    Check(EKey::PropChangeRefresh, "マルチメディア、セキュリティを変更しても再読み込みを行なわない(&R)");
    Check(EKey::RegisterAsBrowser, "リンクのターゲット名を解決(&T)");
    Text(EKey::UserAgent, "ユーザー エージェント(&G):");

    auto* home = new QGroupBox(QStringLiteral("ホーム ページ"), this);
    auto* homeLayout = new QVBoxLayout(home);
    m_pLayout->addWidget(home);
    m_pTarget = homeLayout;
    Check(EKey::MyHome, "指定したホーム ページを使う(&H)");
    QLineEdit* url = Text(EKey::MyHomeUrl, "アドレス(&U):");
    m_pTarget = m_pLayout;
    m_pCurrent = new QPushButton(QStringLiteral("現在のページを使用(&C)"), home);
    m_pBlank = new QPushButton(QStringLiteral("空白を使用(&B)"), home);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_pCurrent);
    buttons->addWidget(m_pBlank);
    homeLayout->addLayout(buttons);
    connect(m_pCurrent, &QPushButton::clicked, this, [this, url] {
        const std::string current = ActiveUrl(m_pFrame);
        if (!current.empty())
            url->setText(ToQ(current));
    });
    connect(m_pBlank, &QPushButton::clicked, this, [url] { url->setText(QStringLiteral("about:blank")); });

    // Its state comes from the desktop (the dialog asks, off this thread).
    m_pDefaultBrowser = new QCheckBox(QStringLiteral("標準ブラウザに設定(&S)"), this);
    m_pDefaultBrowser->setEnabled(false);
    m_pLayout->addWidget(m_pDefaultBrowser);
}

// --- 起動 -------------------------------------------------------------------

CPropPageStartup::CPropPageStartup(CMainFrame* frame) : COptionPage(frame, "起動")
{
    Check(EKey::StartupLogRestor, "起動時にログに保存してあるURLを復元(&R)");
    Check(EKey::StartupParamCheck, "起動時にパラメータが渡された場合、起動処理はすべて無効(&P)");
    Check(EKey::LogRepeatCheck, "ログ内の重複をチェックする(&C)");
    Check(EKey::HostUIFlags, "フラットスクロールバーを使う [要再起動] (&F)",
          [](int v) { return (v & 0x80) != 0; },
          [](bool on, int loaded) { return on ? loaded | 0x80 : loaded & ~0x80; });
    Check(EKey::HostUI, "ページへのドロップを受け付ける [IE4～5.01] [要再起動] (&F)");
    Check(EKey::OldInet, "Control.exeからインターネットオプションを呼ぶ [古いOS用] (&I)");
    Check(EKey::IEVersion, "クッキー切り替えをIE6用にする(&V)", [](int v) { return v == 6; },
          [](bool on, int loaded) { return on ? 6 : (loaded == 6 ? 5 : loaded); });
    m_pDDEName = Text(EKey::DDEServerName, "DDE サーバー名 [要再起動] (&D):");
}

QString CPropPageStartup::Refusal() const
{
    if (IsShown() && m_pDDEName->text().trimmed().isEmpty())
        return QStringLiteral("DDE サーバー名を入力してください。");
    return {};
}

// --- タブ 1 -----------------------------------------------------------------

CPropPageTab1::CPropPageTab1(CMainFrame* frame) : COptionPage(frame, "タブ 1")
{
    // Checked for every value but 1, which opens the home page.
    m_pNewBlank = Check(EKey::NewBlank, "新規タブは空白ページで開く(&N)", [](int v) { return v != 1; },
                        [](bool on, int loaded) { return on ? (loaded != 1 ? loaded : 0) : 1; });
    m_pBlankPageActive = Check(EKey::BlankPageActive, "空白ページはアクティブにする(&B)");
    m_pBlankPageActive->setContentsMargins(20, 0, 0, 0);
    connect(m_pNewBlank, &QCheckBox::toggled, m_pBlankPageActive, &QWidget::setEnabled);
    Check(EKey::ActiveNewTab, "新しいタブはアクティブにする(&A)");
    Check(EKey::NaviNewTabLock, "ナビゲートロックしたタブから新しいタブは開かない(&L)");
    Combo(EKey::NewTabPosition, "新しいタブの位置(&P):", {"最後", "最初", "アクティブなタブの左", "アクティブなタブの右"});
    Combo(EKey::TabPosToCls, "タブを閉じた後に選ぶタブ(&X):",
          {"前にアクティブだったタブ", "最初のタブ", "最後のタブ", "左のタブ", "右のタブ"});
    Combo(EKey::TabWheelClick, "タブのホイール クリック(&W):",
          {kTabActions[0], kTabActions[1], kTabActions[2], kTabActions[3], kTabActions[4]});
    Combo(EKey::TabRightClick, "タブの右クリック(&R):",
          {"メニュー", kTabActions[1], kTabActions[2], kTabActions[3], kTabActions[4], kTabActions[0]});
    Combo(EKey::TabLeftDblClick, "タブの左ダブルクリック(&D):",
          {kTabActions[0], kTabActions[1], kTabActions[2], kTabActions[3], kTabActions[4], kTabActions[0]});
}

void CPropPageTab1::OnLoad(const CSettings& settings)
{
    COptionPage::OnLoad(settings);
    m_pBlankPageActive->setEnabled(m_pNewBlank->isChecked());
}

// --- タブ 2 -----------------------------------------------------------------

CPropPageTab2::CPropPageTab2(CMainFrame* frame) : COptionPage(frame, "タブ 2")
{
    CheckWithSpin(EKey::TabMax, "タブの数を制限する(&L)", EKey::TabMaxCount, 1, 256);
    CheckWithSpin(EKey::SetTabWidth, "タブの横幅を指定する(&W)", EKey::TabWidth, 20, 256);
    CheckWithSpin(EKey::SetTabCharMax, "タブの最大文字数 [再読み込み後に有効] (&M)", EKey::TabCharMax, 1, 100);

    auto* looks = new QGroupBox(QStringLiteral("タブの文字"), this);
    auto* grid = new QGridLayout(looks);
    m_pLayout->addWidget(looks);
    const struct {
        const char* label;
        EKey weight, italic, underline, text, background;
    } rows[] = {
        {"アクティブ", EKey::SelTabWeight, EKey::SelTabItalic, EKey::SelTabUnderline, EKey::SelTabClr, EKey::SelTabBkgClr},
        {"非アクティブ", EKey::UnSelTabWeight, EKey::UnSelTabItalic, EKey::UnSelTabUnderline, EKey::UnSelTabClr,
         EKey::UnSelTabBkgClr},
    };
    int r = 0;
    for (const auto& row : rows) {
        grid->addWidget(new QLabel(QString::fromUtf8(row.label), looks), r, 0);
        int c = 1;
        using Item = std::pair<EKey, const char*>;
        for (const auto& [key, label] : {Item{row.weight, "太字"}, Item{row.italic, "斜体"}, Item{row.underline, "下線"}}) {
            QCheckBox* box = Check(key, label);
            m_pTarget->removeWidget(box);
            grid->addWidget(box, r, c++);
        }
        for (const auto& [key, label] : {Item{row.text, "文字色..."}, Item{row.background, "背景色..."}}) {
            auto* button = new QPushButton(QString::fromUtf8(label), looks);
            grid->addWidget(button, r, c++);
            m_colors.push_back({key, button, {}, {}, false});
            connect(button, &QPushButton::clicked, this, [this, key] {
                const QColor picked = QColorDialog::getColor(ColorButton(key)->palette().color(QPalette::Button), window());
                if (picked.isValid())
                    SetColor(key, picked);
            });
        }
        ++r;
    }
    auto* reset = new QPushButton(QStringLiteral("標準に戻す(&D)"), looks);
    grid->addWidget(reset, r, 4, 1, 2);
    connect(reset, &QPushButton::clicked, this, &CPropPageTab2::ResetColors);

    Check(EKey::TabMode, "タブをボタン型にする (&B)");
    Check(EKey::TabMultiLine, "タブを複数行表示にする (&U)");
    m_pTabBarDocking = Check(EKey::TabBarDockingMode, "タブバーをドッキング バーにする [要再起動] (&T)");
    m_pToolBarDocking = Check(EKey::ToolBarDockingMode, "ツールバーをドッキング バーにする [要再起動] (&O)");
    Check(EKey::ToolBarBigButton, "ツールバーのボタンを大きくする [要再起動] (&G)");
    connect(m_pTabBarDocking, &QCheckBox::clicked, this, &CPropPageTab2::OnDockingToggled);
    connect(m_pToolBarDocking, &QCheckBox::clicked, this, &CPropPageTab2::OnDockingToggled);
}

void CPropPageTab2::OnLoad(const CSettings& settings)
{
    COptionPage::OnLoad(settings);
    for (SColor& color : m_colors) {
        color.shown = settings.GetColor(color.key);
        color.value = color.shown;
        color.changed = false;
        ShowColor(color);
    }
    m_bTabBarDocking = m_pTabBarDocking->isChecked();
    m_bToolBarDocking = m_pToolBarDocking->isChecked();
}

void CPropPageTab2::OnSave(std::vector<SIniEdit>& edits) const
{
    COptionPage::OnSave(edits);
    for (const SColor& color : m_colors) {
        if (!color.changed)
            continue;
        const SSettingKey& info = KeyInfo(color.key);
        edits.push_back({std::string(info.section), std::string(info.key),
                         color.value ? std::optional(std::to_string(ToColorRef(*color.value))) : std::nullopt});
    }
}

bool CPropPageTab2::DockingChanged() const
{
    return IsShown()
        && (m_pTabBarDocking->isChecked() != m_bTabBarDocking || m_pToolBarDocking->isChecked() != m_bToolBarDocking);
}

void CPropPageTab2::OnDockingToggled()
{
    if (DockingChanged())
        ShowMessage(this, QString::fromUtf8(kDockingWarning), QMessageBox::Warning);
}

QPushButton* CPropPageTab2::ColorButton(EKey key) const
{
    for (const SColor& color : m_colors)
        if (color.key == key)
            return color.button;
    return nullptr;
}

void CPropPageTab2::SetColor(EKey key, const QColor& value)
{
    for (SColor& color : m_colors) {
        if (color.key == key) {
            color.value = value;
            color.changed = true;
            ShowColor(color);
        }
    }
}

void CPropPageTab2::ResetColors()
{
    for (SColor& color : m_colors) {
        color.value.reset();
        color.changed = true;
        ShowColor(color);
    }
}

void CPropPageTab2::ShowColor(const SColor& color)
{
    const QColor shown = color.value ? *color.value
                                     : QGuiApplication::palette().color(QPalette::Active, KeyInfo(color.key).colorDefault);
    QPalette palette = color.button->palette();
    palette.setColor(QPalette::Button, shown);
    palette.setColor(QPalette::ButtonText, shown.lightness() < 128 ? Qt::white : Qt::black);
    color.button->setPalette(palette);
    color.button->setAutoFillBackground(true);
}

// --- list pages -------------------------------------------------------------

CListPage::CListPage(CMainFrame* frame, const char* title, std::string path, const char* heading)
    : COptionPage(frame, title), m_path(std::move(path)), m_heading(heading), m_pList(new CEditableList(this)),
      m_pNote(new QLabel(this))
{
    m_pNote->setWordWrap(true);
    m_pNote->hide();
}

void CListPage::AddList()
{
    m_pLayout->addWidget(m_pNote);
    m_pLayout->addWidget(m_pList, 1);
}

void CListPage::OnLoad(const CSettings& settings)
{
    COptionPage::OnLoad(settings);
    m_loaded.clear();
    m_bUnreadable = !ReadListFile(m_path, m_loaded);
    if (m_bUnreadable) {
        // Writing the list back would lose what the file holds.
        m_pNote->setText(QStringLiteral("%1 を読み込めません。このリストは変更できません。").arg(ToQ(m_path)));
        m_pNote->show();
        m_pList->setEnabled(false);
        return;
    }
    m_pList->Model().SetRows(m_loaded);
}

QString CListPage::WriteFiles()
{
    if (!IsShown() || m_bUnreadable)
        return {};
    m_pList->CommitEdit();
    const UrlList& rows = m_pList->Model().Rows();
    if (rows == m_loaded)
        return {};
    if (!WriteListFile(m_heading, m_path, rows))
        return QStringLiteral("%1 を保存できませんでした。").arg(ToQ(m_path));
    m_loaded = rows;
    return {};
}

CPropPageCloseUrl::CPropPageCloseUrl(CMainFrame* frame)
    : CListPage(frame, "制止URL", frame->Host().CloseUrlPath(), kHeadingCloseUrl)
{
    Check(EKey::CloseUrl, "登録した文字と一致したURLは開かない [ワイルドカード(*)有効] (&C)");
    Check(EKey::NewWindowClose, "新しいタブで開こうとした場合のみ閉じる(&U)");
    Check(EKey::RLCCloseTab, "制止URL登録成功時にタブも閉じる(&C)");
    List()->SetHomeText([frame] { return ActiveUrl(frame); });
    AddList();
}

CPropPageCloseTitle::CPropPageCloseTitle(CMainFrame* frame)
    : CListPage(frame, "制止タイトル", frame->Host().CloseTitlePath(), kHeadingCloseTitle)
{
    Check(EKey::CloseTitle, "以下のタイトルを閉じる(&C)");
    List()->SetHomeText([frame] {
        CNimbraView* view = frame ? frame->ActiveView() : nullptr;
        return view ? view->GetLocationName() : std::string();
    });
    AddList();
}

CPropPageStartupUrl::CPropPageStartupUrl(CMainFrame* frame)
    : CListPage(frame, "スタートアップURL", frame->Host().StartupPath(), kHeadingStartup)
{
    Check(EKey::StartOpenUrl, "起動時に以下のURLを開く(&S)");
    Check(EKey::SURepeatCheck, "ログ内容と重複チェックする(&R)");
    List()->SetHomeText([frame] { return ActiveUrl(frame); });
    AddList();
}

// --- 電子メール -------------------------------------------------------------

CPropPageMail::CPropPageMail(CMainFrame* frame) : COptionPage(frame, "電子メール")
{
    Check(EKey::NoEmail, "mailto:でのメーラー起動はしない(ブラウザクラッシュ対策)(&N)");
    Check(EKey::UseMailer, "下記で指定したメーラーを使う(&M)");
    QLineEdit* path = Text(EKey::MailerPath, "メーラー(&P):");
    // Programs here have no extension: all files come first.
    LastRow()->addWidget(BrowseButton(this, path, {QStringLiteral("すべてのファイル (*)"), QStringLiteral("実行 ファイル (*.exe)")}));
    auto* note = new QLabel(QStringLiteral("パラメータは \"...\" で囲んで後ろに書きます (%M = URL 全体、%m = アドレス)。"), this);
    note->setWordWrap(true);
    m_pLayout->addWidget(note);
}

// --- タスク トレイ ----------------------------------------------------------

CPropPageTaskTray::CPropPageTaskTray(CMainFrame* frame) : COptionPage(frame, "タスク トレイ")
{
    Check(EKey::TaskMinimizeIn, "最小化時にタスク トレイに隠れる(&M)");
    Check(EKey::TaskIcon, "指定したアイコンとツールチップを使う(&I)");
    QLineEdit* path = Text(EKey::TaskIconPath, "アイコン ファイル(&F):");
    LastRow()->addWidget(BrowseButton(this, path, {QStringLiteral("アイコン ファイル (*.ico *.exe *.dll *.png *.svg)"),
                                              QStringLiteral("すべてのファイル (*)")}));
    QSpinBox* index = Spin(EKey::TaskIconIndex, 0, 9999);
    Row("アイコンの番号(&X):", {index});
    Text(EKey::TaskToolTip, "ツールチップ(&T):")->setMaxLength(40);

    m_pHotKey = new QKeySequenceEdit(this);
    m_pHotKey->setClearButtonEnabled(true);
    Row("ホット キー(&K):", {m_pHotKey});
    // One key with its modifiers.
    connect(m_pHotKey, &QKeySequenceEdit::editingFinished, this, [this] {
        const QKeySequence sequence = m_pHotKey->keySequence();
        if (sequence.count() > 1)
            m_pHotKey->setKeySequence(QKeySequence(sequence[0]));
    });
    Bind(EKey::HotKey, std::make_unique<CIntBinding>(
                           KeyRef(EKey::HotKey),
                           [this](int v) {
                               const QKeyCombination key = KeyCombinationOf(SHotKey::FromSetting(v));
                               m_pHotKey->setKeySequence(key.key() != Qt::Key_unknown ? QKeySequence(key) : QKeySequence());
                           },
                           [this](int) {
                               const QKeySequence sequence = m_pHotKey->keySequence();
                               return sequence.isEmpty() ? 0 : HotKeyOf(sequence[0]).ToSetting();
                           }),
         m_pHotKey);
}

// --- アドレス バー ----------------------------------------------------------

CPropPageAddressBar::CPropPageAddressBar(CMainFrame* frame) : COptionPage(frame, "アドレス バー")
{
    QSpinBox* count = Spin(EKey::AddressLogMax, 1, 256);
    Row("履歴の最大数(&L):", {count});
    Check(EKey::AutoComplete, "アドレス バーでオートコンプリートを使う [要再起動] (&A)");
    Check(EKey::OpDlgAutoComplete, "「開く」ダイアログでオートコンプリートを使う [要再起動] (&O)");
    Text(EKey::AddressAddF, "Ctrl+Enter で前に付ける文字(&F):");
    Text(EKey::AddressAddB, "Ctrl+Enter で後ろに付ける文字(&B):");
    m_pClear = new QPushButton(QStringLiteral("アドレス バーの履歴を消す(&D)"), this);
    auto* row = new QHBoxLayout;
    row->addWidget(m_pClear);
    row->addStretch(1);
    m_pLayout->addLayout(row);
    connect(m_pClear, &QPushButton::clicked, this, [this] {
        CAddressCombo* combo = m_pFrame ? m_pFrame->AddressCombo() : nullptr;
        if (!combo)
            return;
        combo->clear();
        combo->SaveHistory();
    });
}

// --- ブックマーク -----------------------------------------------------------

CPropPageBookmark::CPropPageBookmark(CMainFrame* frame) : COptionPage(frame, "ブックマーク")
{
    Check(EKey::BookmarkNewTab, "ブックマークは新規タブで開く(&N)");
    Check(EKey::BKSetFocusView, "ナビゲート時はページにフォーカスを移す(&F)");
    Check(EKey::BookmarkAddRoot, "ブックマーク追加時にはルートフォルダに追加(&R)");
    Check(EKey::MainExitEditClose, "Nimbra Browserが終了したらBookmark Editorも終了する(&C)");
    CheckWithSpin(EKey::MenuTitle, "ブックマークメニューのタイトル最大文字数(&L)", EKey::MenuTitleLength, 5, 255);
    QLineEdit* path = Text(EKey::BookmarkPath, "ブックマーク ファイル(&P):");
    LastRow()->addWidget(BrowseButton(this, path, {QStringLiteral("ブックマーク ファイル (*.html)"), QStringLiteral("すべてのファイル (*)")}));
}

// --- リンク バー ------------------------------------------------------------

CPropPageLinkBar::CPropPageLinkBar(CMainFrame* frame) : COptionPage(frame, "リンク バー")
{
    Check(EKey::LinkBarDrawImg, "アイコンを表示する(&I)");
    CheckWithSpin(EKey::LinkBarSetBtnWidth, "ボタンのサイズを指定する(&S)", EKey::LinkBarBtnWidth, 1, 1000);
}

// --- ニンブラ バー ----------------------------------------------------------

CPropPageNimbraBar::CPropPageNimbraBar(CMainFrame* frame) : COptionPage(frame, "ニンブラ バー")
{
    Check(EKey::NBTabStyleTop, "ニンブラバーのタブは上に表示する(&T)");
    Check(EKey::NBTabText, "タブにタイトルを表示する(&D)");
    Check(EKey::NBSetFocusView, "ナビゲート時はページにフォーカスを移す(&F)");
    Check(EKey::NBLClickOpenNew, "ブックマークを新しいタブで開く(&B)");
    Check(EKey::NBLClickHistOpenNew, "履歴を新しいタブで開く(&H)");
    Check(EKey::NBLClickFHistOpenNew, "履歴の検索結果を新しいタブで開く(&S)");
    Check(EKey::InfoTip, "インフォチップを使う(&I)");
    Check(EKey::FindWebDlg, "Ctrl+Shift+Fで簡易Web検索ダイアログを開く(&E)");
}

// --- セキュリティ -----------------------------------------------------------

CPropPageSecure::CPropPageSecure(CMainFrame* frame) : COptionPage(frame, "セキュリティ")
{
    m_pSet = new QComboBox(this);
    for (const char* name : {"初期値", "お気に入り", "設定 低", "設定 中", "設定 高"})
        m_pSet->addItem(QString::fromUtf8(name));
    Row("設定(&L):", {m_pSet});
    const std::pair<unsigned, const char*> flags[] = {
        {DLCTL_DLIMAGES, "画像の表示(&I)"},           {DLCTL_BGSOUNDS, "サウンドの再生(&S)"},
        {DLCTL_VIDEOS, "ビデオの再生(&V)"},           {DLCTL_NO_JAVA, "Javaの実行(&J)"},
        {DLCTL_NO_SCRIPTS, "Scriptの実行(&C)"},       {DLCTL_NO_RUNACTIVEXCTLS, "ActiveXの実行(&A)"},
        {DLCTL_NO_DLACTIVEXCTLS, "ActiveXのダウンロード(&D)"},
    };
    auto* group = new QGroupBox(QStringLiteral("ページの内容"), this);
    auto* layout = new QVBoxLayout(group);
    m_pLayout->addWidget(group);
    for (const auto& [bit, label] : flags) {
        auto* box = new QCheckBox(QString::fromUtf8(label), group);
        layout->addWidget(box);
        m_boxes.emplace_back(bit, box);
        connect(box, &QCheckBox::toggled, this, &CPropPageSecure::OnBoxToggled);
    }
    for (int n = 0; n < int(m_sets.size()); ++n) {
        const SKeyRef key = n == 0 ? KeyRef(EKey::DownloadCtrl) : DownloadCtrlKey(n);
        Bind(key.info.id, std::make_unique<CIntBinding>(
                              key,
                              [this, n](int v) {
                                  m_sets[n] = v;
                                  if (n == m_pSet->currentIndex())
                                      ShowSet();
                              },
                              [this, n](int) { return m_sets[n]; }));
    }
    connect(m_pSet, &QComboBox::currentIndexChanged, this, &CPropPageSecure::ShowSet);
}

QCheckBox* CPropPageSecure::FlagBox(unsigned bit) const
{
    for (const auto& [b, box] : m_boxes)
        if (b == bit)
            return box;
    return nullptr;
}

// Multimedia boxes are checked when their bit is set, security boxes when
// it is clear (the feature is allowed).
void CPropPageSecure::ShowSet()
{
    m_bShowing = true;
    const unsigned value = unsigned(m_sets[m_pSet->currentIndex()]);
    for (const auto& [bit, box] : m_boxes)
        box->setChecked((bit & kMultimediaBits) ? (value & bit) != 0 : (value & bit) == 0);
    m_bShowing = false;
}

void CPropPageSecure::OnBoxToggled()
{
    if (m_bShowing)
        return;
    unsigned value = unsigned(m_sets[m_pSet->currentIndex()]);
    for (const auto& [bit, box] : m_boxes) {
        const bool set = (bit & kMultimediaBits) ? box->isChecked() : !box->isChecked();
        value = set ? value | bit : value & ~bit;
    }
    m_sets[m_pSet->currentIndex()] = int(value);
}

} // namespace nimbra
