#include "data/tools/UrlExtractModel.h"

#include "platform/Text.h"
#include "data/tools/UrlFilter.h"

namespace nimbra {

namespace {

void AddFrames(const SPageDocument& document, std::vector<SExtractFrame>& out)
{
    for (const SPageDocument& frame : document.frames) {
        std::string label = frame.readable ? frame.title : frame.url;
        out.push_back({label.empty() ? "Untitled Document" : std::move(label), &frame});
        AddFrames(frame, out);
    }
}

} // namespace

std::vector<SExtractFrame> ListExtractFrames(const SPageDocument& page)
{
    if (page.frames.empty())
        return {{"No Frame", &page}};
    std::vector<SExtractFrame> frames{{page.title.empty() ? "Untitled Document" : page.title, &page}};
    AddFrames(page, frames);
    return frames;
}

std::vector<std::string> ExtractUrls(const SPageDocument& document, bool images)
{
    std::vector<std::string> urls;
    auto add = [&urls](const std::string& url) {
        if (url.find(':') != std::string::npos)
            urls.push_back(url);
    };
    for (const SPageElement& element : document.elements) {
        if (images && !element.imageUrl.empty())
            add(element.imageUrl);
        if (!element.linkUrl.empty())
            add(element.linkUrl);
    }
    return urls;
}

void CExtractListModel::SetUrls(std::vector<std::string> urls)
{
    beginResetModel();
    m_urls = std::move(urls);
    m_ticked.assign(m_urls.size(), 0);
    m_nTicked = 0;
    endResetModel();
}

void CExtractListModel::ApplyFilter(const CUrlFilter& filter)
{
    if (filter.IsEmpty() || m_urls.empty())
        return;
    m_nTicked = 0;
    for (size_t i = 0; i < m_urls.size(); ++i) {
        m_ticked[i] = filter.Matches(m_urls[i]) ? 1 : 0;
        m_nTicked += size_t(m_ticked[i]);
    }
    Q_EMIT dataChanged(index(0), index(Count() - 1), {Qt::CheckStateRole});
}

void CExtractListModel::SetTicked(int row, bool ticked)
{
    if (row < 0 || row >= Count() || IsTicked(row) == ticked)
        return;
    m_ticked[size_t(row)] = ticked ? 1 : 0;
    ticked ? ++m_nTicked : --m_nTicked;
    Q_EMIT dataChanged(index(row), index(row), {Qt::CheckStateRole});
}

std::vector<std::string> CExtractListModel::TickedUrls() const
{
    std::vector<std::string> urls;
    for (size_t i = 0; i < m_urls.size(); ++i) {
        if (m_ticked[i])
            urls.push_back(m_urls[i]);
    }
    return urls;
}

int CExtractListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Count();
}

QVariant CExtractListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= Count())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return ToQ(m_urls[size_t(index.row())]);
    if (role == Qt::CheckStateRole)
        return IsTicked(index.row()) ? Qt::Checked : Qt::Unchecked;
    return {};
}

bool CExtractListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid())
        return false;
    SetTicked(index.row(), value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags CExtractListModel::flags(const QModelIndex& index) const
{
    return QAbstractListModel::flags(index) | Qt::ItemIsUserCheckable | Qt::ItemNeverHasChildren;
}

QVariant CExtractListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role == Qt::DisplayRole && orientation == Qt::Horizontal && section == 0)
        return QStringLiteral("URL");
    return QAbstractListModel::headerData(section, orientation, role);
}

} // namespace nimbra
