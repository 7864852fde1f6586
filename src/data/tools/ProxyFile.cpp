#include "data/tools/ProxyFile.h"

#include "platform/AtomicFile.h"
#include "platform/Text.h"

#include <utility>

namespace nimbra {

namespace {

constexpr char kOptions[] = "ProxyOptions";
constexpr char kIndex[] = "ProxyIndex";
constexpr char kEnable[] = "ProxyEnable";
constexpr char kName[] = "ProxyName";
constexpr char kServer[] = "ProxyServer";
constexpr char kOverride[] = "ProxyOverride";
constexpr char kNewProxy[] = "新しいプロキシ";

std::string Section(int index)
{
    return "Proxy_" + std::to_string(index);
}

} // namespace

CProxyFile::CProxyFile(const std::string& path) : m_ini(path) {}

int CProxyFile::Index() const
{
    return m_ini.GetInt(kOptions, kIndex, -1);
}

int CProxyFile::Mode() const
{
    const int mode = m_ini.GetInt(kOptions, kEnable, PROXY_SYSTEM);
    return mode == PROXY_DIRECT || mode == PROXY_NAMED ? mode : PROXY_SYSTEM;
}

int CProxyFile::Count(int max) const
{
    int count = 0;
    while (count < max && m_ini.HasSection(Section(count)))
        ++count;
    return count;
}

std::string CProxyFile::Name(int index) const
{
    return m_ini.GetString(Section(index), kName, "");
}

std::string CProxyFile::Server(int index) const
{
    return m_ini.GetString(Section(index), kServer, "");
}

std::string CProxyFile::Override(int index) const
{
    return m_ini.GetString(Section(index), kOverride, "");
}

std::vector<CProxyRecord> CProxyFile::Records() const
{
    std::vector<CProxyRecord> records;
    for (int i = 0; m_ini.HasSection(Section(i)); ++i) {
        CProxyRecord& record = records.emplace_back();
        record.name = Name(i);
        record.SetServerText(Server(i));
        record.SetOverrideText(Override(i));
    }
    return records;
}

bool CProxyFile::Write(const std::string& path, int index, int mode, const std::vector<CProxyRecord>& records)
{
    std::string text = "[" + std::string(kOptions) + "]\r\n";
    text += std::string(kIndex) + "=" + std::to_string(index) + "\r\n";
    text += std::string(kEnable) + "=" + std::to_string(mode) + "\r\n\r\n";
    for (size_t i = 0; i < records.size(); ++i) {
        const CProxyRecord& record = records[i];
        text += "[" + Section(int(i)) + "]\r\n";
        text += std::string(kName) + "=" + OneLine(record.name) + "\r\n";
        text += std::string(kServer) + "=" + OneLine(record.ServerText()) + "\r\n";
        text += std::string(kOverride) + "=" + OneLine(record.OverrideText()) + "\r\n";
    }
    return WriteFileAtomically(path, text);
}

bool CProxyFile::WriteOptions(const std::string& path, int index, int mode)
{
    CIniFile ini(path);
    return ini.WriteInt(kOptions, kIndex, index) && ini.WriteInt(kOptions, kEnable, mode);
}

void CProxyList::Load(const CProxyFile& file, int current)
{
    m_records = file.Records();
    m_nCurrent = current;
    if (m_records.empty())
        m_records.emplace_back().name = kNewProxy;
}

bool CProxyList::Tracks() const
{
    return m_nCurrent >= 0 && size_t(m_nCurrent) < m_records.size();
}

int CProxyList::Add(int selected)
{
    const bool copy = selected >= 0 && size_t(selected) < m_records.size();
    CProxyRecord record;
    if (copy)
        record = m_records[size_t(selected)];
    else
        record.name = kNewProxy;
    const int at = copy ? selected : 0;
    if (Tracks() && m_nCurrent >= at)
        ++m_nCurrent;
    m_records.insert(m_records.begin() + at, std::move(record));
    return at;
}

int CProxyList::Remove(int selected)
{
    if (selected < 0 || size_t(selected) >= m_records.size())
        return selected;
    if (m_nCurrent == selected)
        m_nCurrent = -1;
    else if (Tracks() && m_nCurrent > selected)
        --m_nCurrent;
    m_records.erase(m_records.begin() + selected);
    return std::min(selected, int(m_records.size()) - 1);
}

int CProxyList::Move(int selected, int step)
{
    const int other = selected + step;
    if (selected < 0 || other < 0 || size_t(selected) >= m_records.size() || size_t(other) >= m_records.size())
        return selected;
    std::swap(m_records[size_t(selected)], m_records[size_t(other)]);
    if (m_nCurrent == selected)
        m_nCurrent = other;
    else if (m_nCurrent == other)
        m_nCurrent = selected;
    return other;
}

} // namespace nimbra
