#pragma once

#include <string>

namespace nimbra {

// The document of one tab: its title, owned by the tab's child frame.
class CNimbraDoc {
public:
    const std::string& GetTitle() const { return m_strTitle; }
    void SetTitle(const std::string& title) { m_strTitle = title; }

private:
    std::string m_strTitle;
};

} // namespace nimbra
