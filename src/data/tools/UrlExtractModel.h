#pragma once

#include "platform/WebBrowser.h"

#include <QAbstractListModel>
#include <string>
#include <vector>

namespace nimbra {

class CUrlFilter;

// A document of the page as the frame combo lists it.
struct SExtractFrame {
    std::string label;
    const SPageDocument* document;
};

// The page, then its frames depth first. A page without frames is the one
// entry "No Frame"; documents without a title are "Untitled Document"; a
// frame of another site is listed by its address.
std::vector<SExtractFrame> ListExtractFrames(const SPageDocument& page);

// The absolute URLs of a document in document order: anchors' links, and
// images' sources when `images` is on; only URLs with a scheme (":").
// Duplicates stay.
std::vector<std::string> ExtractUrls(const SPageDocument& document, bool images);

// The rows of the extraction list: one URL each, with a check box.
class CExtractListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    // New rows, all unticked.
    void SetUrls(std::vector<std::string> urls);
    const std::string& Url(int row) const { return m_urls[size_t(row)]; }
    int Count() const { return int(m_urls.size()); }

    // Unticks every row and ticks those the filter matches; an empty filter
    // changes nothing.
    void ApplyFilter(const CUrlFilter& filter);
    bool IsTicked(int row) const { return m_ticked[size_t(row)] != 0; }
    void SetTicked(int row, bool ticked);
    bool AnyTicked() const { return m_nTicked > 0; }
    std::vector<std::string> TickedUrls() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<std::string> m_urls;
    std::vector<char> m_ticked;
    size_t m_nTicked = 0;
};

} // namespace nimbra
