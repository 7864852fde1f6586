#pragma once

#include <QDialog>
#include <string>

namespace nimbra {

struct SPageDocument;

// What the properties dialog shows of a page.
struct SPageProperties {
    std::string title;
    std::string address;
    std::string protocol;
    std::string type;
    std::string zone;
    std::string security;
    std::string size; // empty when unknown
};

// The page's properties: title, address, protocol, type, zone, security
// and size when known.
class CPagePropertiesDlg : public QDialog {
    Q_OBJECT
public:
    CPagePropertiesDlg(const SPageProperties& properties, QWidget* parent);

    // Properties of the page at `url` from its document and the tab's
    // secure-lock state.
    static SPageProperties Describe(const std::string& url, const std::string& title, const SPageDocument& document,
                                    int secureLock);

    const SPageProperties& Properties() const { return m_properties; }

private:
    SPageProperties m_properties;
};

} // namespace nimbra
