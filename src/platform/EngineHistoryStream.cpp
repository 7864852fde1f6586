#include "platform/EngineHistoryStream.h"

#include "platform/Text.h"

#include <QDataStream>
#include <QIODevice>
#include <QUrl>

namespace nimbra {

namespace {

constexpr qint32 kLayout = 4;
// The stream's own counts are trusted no further than this.
constexpr qint32 kMaxPages = 10000;
// Values the engine writes for a page it restores on its own: a link, no
// form data sent, no referrer under the default policy, no user agent of
// its own, no time and no status known.
constexpr qint32 kTransitionLink = 0;
constexpr qint32 kReferrerPolicyDefault = 6;

} // namespace

std::optional<int> EngineHistoryLayout(const QByteArray& stream)
{
    QDataStream in(stream);
    qint32 layout = 0;
    in >> layout;
    if (in.status() != QDataStream::Ok)
        return std::nullopt;
    return layout;
}

std::optional<STabHistory> ReadEngineHistory(const QByteArray& stream)
{
    QDataStream in(stream);
    qint32 layout = 0;
    qint32 count = 0;
    qint32 current = 0;
    in >> layout >> count >> current;
    if (in.status() != QDataStream::Ok || layout != kLayout || count < 0 || count > kMaxPages)
        return std::nullopt;
    STabHistory history;
    for (qint32 i = 0; i < count; ++i) {
        QUrl url;
        QString title;
        QByteArray state;
        qint32 transition = 0;
        bool postData = false;
        QUrl referrer;
        qint32 policy = 0;
        QUrl original;
        bool userAgent = false;
        qint64 time = 0;
        int status = 0;
        QUrl icon;
        in >> url >> title >> state >> transition >> postData >> referrer >> policy >> original >> userAgent >> time
            >> status >> icon;
        if (in.status() != QDataStream::Ok)
            return std::nullopt;
        history.entries.push_back({FromQ(url.toString()), FromQ(title), state.toStdString()});
    }
    if (!in.atEnd())
        return std::nullopt;
    if (history.entries.empty())
        return history;
    if (current < 0 || current >= count)
        return std::nullopt;
    history.current = size_t(current);
    return history;
}

QByteArray WriteEngineHistory(const STabHistory& history)
{
    QByteArray stream;
    if (history.Empty() || history.current >= history.entries.size())
        return stream;
    QDataStream out(&stream, QIODevice::WriteOnly);
    out << kLayout << qint32(history.entries.size()) << qint32(history.current);
    for (const SHistoryPage& page : history.entries) {
        const QUrl url(ToQ(page.url));
        out << url << ToQ(page.title) << QByteArray::fromStdString(page.state) << kTransitionLink << false << QUrl()
            << kReferrerPolicyDefault << url << false << qint64(0) << int(0) << QUrl();
    }
    return stream;
}

} // namespace nimbra
