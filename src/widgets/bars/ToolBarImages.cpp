#include "widgets/bars/ToolBarImages.h"

#include "platform/ImageStrip.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <QImageReader>
#include <QPainter>
#include <algorithm>

namespace nimbra {

namespace {

// How an image is drawn when no strip gives it: a theme icon, the same
// twice (the "all" commands), a cookie with a mark, or a round arrow
// ("<" back, ">" forward).
enum class EGlyph { Theme, Double, Cookie, Arrow };

struct SBuiltin {
    EGlyph glyph;
    // Theme icon, or the cookie's mark. Names that themes give only in the
    // symbolic form are asked for so: a name a theme lacks is searched for
    // through every theme it inherits, and reading those costs more than
    // all the rest of the pictures.
    const char* name;
};

constexpr SBuiltin kBuiltins[CToolBarImages::kImageCount] = {
    // Back and forward are always ours: themes draw them pale, and a
    // pale arrow cannot be told from a disabled one.
    {EGlyph::Arrow, "<"},                    {EGlyph::Arrow, ">"},
    {EGlyph::Theme, "process-stop"},         {EGlyph::Double, "process-stop"},
    {EGlyph::Theme, "view-refresh"},         {EGlyph::Double, "view-refresh"},
    {EGlyph::Theme, "go-home"},              {EGlyph::Theme, "tab-new"},
    {EGlyph::Theme, "edit-paste"},           {EGlyph::Theme, "document-open"},
    {EGlyph::Theme, "media-skip-forward"},   {EGlyph::Theme, "media-skip-backward"},
    {EGlyph::Theme, "view-grid-symbolic"},   {EGlyph::Theme, "font-x-generic"},
    {EGlyph::Theme, "document-print"},       {EGlyph::Theme, "view-fullscreen"},
    {EGlyph::Theme, "window-close"},         {EGlyph::Double, "window-close"},
    {EGlyph::Theme, "document-save-as"},
    {EGlyph::Theme, "sidebar-show-symbolic"},
    {EGlyph::Theme, "preferences-system-network-proxy-symbolic"},
    {EGlyph::Theme, "insert-link"},          {EGlyph::Theme, "user-bookmarks"},
    {EGlyph::Theme, "image-x-generic"},      {EGlyph::Theme, "audio-x-generic"},
    {EGlyph::Theme, "video-x-generic"},      {EGlyph::Theme, "application-x-executable"},
    {EGlyph::Theme, "text-x-script"},        {EGlyph::Theme, "system-run"},
    {EGlyph::Theme, "folder-download"},      {EGlyph::Cookie, ""},
    {EGlyph::Cookie, "S"},                   {EGlyph::Theme, "starred"},
    {EGlyph::Theme, "document-open-recent"}, {EGlyph::Theme, "system-search"},
    {EGlyph::Theme, "web-browser"},          {EGlyph::Theme, "changes-prevent"},
    {EGlyph::Theme, "applications-multimedia-symbolic"},
    {EGlyph::Theme, "security-medium"},      {EGlyph::Cookie, "R"},
    {EGlyph::Theme, "text-html"},            {EGlyph::Theme, "security-high"},
    {EGlyph::Cookie, "3"},
};

QIcon ThemeIcon(const char* name)
{
    const QString full = QString::fromLatin1(name);
    const QString symbolic = QStringLiteral("-symbolic");
    // A theme without the symbolic form gives the plain one for it.
    if (full.endsWith(symbolic) || QIcon::hasThemeIcon(full))
        return QIcon::fromTheme(full);
    // The theme may have only the symbolic form.
    return QIcon::fromTheme(full + symbolic);
}

QPixmap DrawDouble(const QIcon& icon, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    const int part = size * 3 / 4;
    icon.paint(&painter, QRect(0, 0, part, part));
    icon.paint(&painter, QRect(size - part, size - part, part, part));
    return pixmap;
}

QPixmap DrawCookie(const QString& mark, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal r = size * 0.42;
    const QPointF centre(size * 0.45, size * 0.45);
    painter.setPen(QPen(QColor(120, 72, 24), 1));
    painter.setBrush(QColor(214, 160, 86));
    painter.drawEllipse(centre, r, r);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(90, 50, 20));
    const qreal dot = std::max<qreal>(1.0, size / 10.0);
    for (const QPointF& at : {QPointF(-0.4, -0.35), QPointF(0.3, -0.2), QPointF(-0.1, 0.35), QPointF(0.05, -0.05)})
        painter.drawEllipse(centre + at * r, dot, dot);
    if (!mark.isEmpty()) {
        QFont font = painter.font();
        font.setPixelSize(size / 2);
        font.setBold(true);
        painter.setFont(font);
        const QRectF badge(size * 0.5, size * 0.45, size * 0.5, size * 0.55);
        painter.setPen(Qt::white);
        for (const QPointF& shift : {QPointF(-1, 0), QPointF(1, 0), QPointF(0, -1), QPointF(0, 1)})
            painter.drawText(badge.translated(shift), Qt::AlignCenter, mark);
        painter.setPen(QColor(20, 20, 120));
        painter.drawText(badge, Qt::AlignCenter, mark);
    }
    return pixmap;
}

// A green disc with a white arrow pointing left (back) or right.
QPixmap DrawArrow(bool back, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF disc = QRectF(0, 0, size, size).adjusted(0.5, 0.5, -0.5, -0.5);
    QLinearGradient fill(disc.topLeft(), disc.bottomLeft());
    fill.setColorAt(0, QColor(96, 192, 88));
    fill.setColorAt(1, QColor(28, 120, 40));
    painter.setPen(QPen(QColor(16, 84, 28), 1));
    painter.setBrush(fill);
    painter.drawEllipse(disc);
    // The arrow pointing right, mirrored for back.
    const qreal u = size / 16.0;
    QPolygonF arrow({{3.5 * u, 6.5 * u}, {8 * u, 6.5 * u}, {8 * u, 3.5 * u}, {12.5 * u, 8 * u},
                     {8 * u, 12.5 * u}, {8 * u, 9.5 * u}, {3.5 * u, 9.5 * u}});
    if (back)
        arrow = QTransform(-1, 0, 0, 1, size, 0).map(arrow);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawPolygon(arrow);
    return pixmap;
}

// The strip's cells, or none when the file is missing or not `size` high.
std::vector<QPixmap> ReadStrip(const std::string& name, int size)
{
    const std::string path = ResourceFile(name);
    if (path.empty() || QImageReader(ToQ(path)).size().height() != size)
        return {};
    // No built-in strip: cells the file lacks stay null.
    return LoadImageStrip(path, QString(), CToolBarImages::kImageCount, size);
}

} // namespace

QIcon CToolBarImages::BuiltinIcon(int index, int size)
{
    if (index < 0 || index >= kImageCount)
        return {};
    const SBuiltin& builtin = kBuiltins[index];
    switch (builtin.glyph) {
    case EGlyph::Theme:
        return ThemeIcon(builtin.name);
    case EGlyph::Double:
        return QIcon(DrawDouble(ThemeIcon(builtin.name), size));
    case EGlyph::Cookie:
        return QIcon(DrawCookie(QString::fromLatin1(builtin.name), size));
    case EGlyph::Arrow:
        return QIcon(DrawArrow(builtin.name[0] == '<', size));
    }
    return {};
}

CToolBarImages::CToolBarImages(bool big) : m_nSize(big ? kBig : kSmall)
{
    const std::vector<QPixmap> hot = ReadStrip(big ? "tbb.bmp" : "tbs.bmp", m_nSize);
    // The normal pictures count only beside hot ones.
    const std::vector<QPixmap> normal = hot.empty() ? hot : ReadStrip(big ? "tbbn.bmp" : "tbsn.bmp", m_nSize);
    m_icons.resize(kImageCount);
    for (int i = 0; i < kImageCount; ++i) {
        const QPixmap* hotImage = size_t(i) < hot.size() && !hot[size_t(i)].isNull() ? &hot[size_t(i)] : nullptr;
        m_fromFile.push_back(hotImage != nullptr);
        if (!hotImage)
            continue;
        const bool hasNormal = size_t(i) < normal.size() && !normal[size_t(i)].isNull();
        QIcon icon;
        icon.addPixmap(hasNormal ? normal[size_t(i)] : *hotImage, QIcon::Normal);
        icon.addPixmap(*hotImage, QIcon::Active);
        m_icons[size_t(i)] = icon;
    }
}

QIcon CToolBarImages::Icon(int index) const
{
    if (index < 0 || index >= kImageCount)
        return {};
    std::optional<QIcon>& icon = m_icons[size_t(index)];
    if (!icon)
        icon = BuiltinIcon(index, m_nSize);
    return *icon;
}

bool CToolBarImages::FromFile(int index) const
{
    return index >= 0 && index < kImageCount && m_fromFile[size_t(index)];
}

} // namespace nimbra
