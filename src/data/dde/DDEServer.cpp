#include "data/dde/DDEServer.h"

#include <QLoggingCategory>
#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "platform/Text.h"

namespace nimbra {

using namespace ddeml;

namespace {

Q_LOGGING_CATEGORY(lcDde, "nimbra.dde", QtWarningMsg)

CDDEServer* g_server = nullptr; // the process's server, for the callback

constexpr std::uint16_t kTextFormats[] = {CF_TEXT, 0};

HDDEDATA Bool(bool value) { return DdeResult(value ? 1 : 0); }
HDDEDATA Flag(UINT value) { return DdeResult(value); }

std::string JoinNames(const std::vector<std::string>& names)
{
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            text += '\t';
        text += names[i];
    }
    return text;
}

std::string FormatName(std::uint16_t format)
{
    switch (format) {
    case 1: return "TEXT";
    case 2: return "BITMAP";
    case 3: return "METAFILEPICT";
    case 4: return "SYLK";
    case 5: return "DIF";
    case 6: return "TIFF";
    case 7: return "OEMTEXT";
    case 8: return "DIB";
    case 9: return "PALETTE";
    case 10: return "PENDATA";
    case 11: return "RIFF";
    case 12: return "WAVE";
    default: return {}; // no registered clipboard formats on this system
    }
}

} // namespace

// ---- CDDECountedObject ----

void CDDECountedObject::Release()
{
    if (--m_refs == 0)
        delete this;
}

// ---- CHSZ ----

CHSZ::CHSZ(DWORD inst, std::string_view text) { Assign(inst, text); }

CHSZ::~CHSZ() { Reset(); }

CHSZ::CHSZ(CHSZ&& other) noexcept
    : m_inst(other.m_inst), m_hsz(std::exchange(other.m_hsz, nullptr))
{
}

CHSZ& CHSZ::operator=(CHSZ&& other) noexcept
{
    if (this != &other) {
        Reset();
        m_inst = other.m_inst;
        m_hsz = std::exchange(other.m_hsz, nullptr);
    }
    return *this;
}

void CHSZ::Assign(DWORD inst, std::string_view text)
{
    Reset();
    m_inst = inst;
    m_hsz = DdeCreateStringHandle(inst, text, CP_WINANSI);
}

void CHSZ::Reset()
{
    if (m_hsz)
        DdeFreeStringHandle(m_inst, m_hsz);
    m_hsz = nullptr;
}

// ---- items ----

bool CDDEItem::Request(UINT, const void*&, DWORD&) { return false; }

bool CDDEItem::Poke(UINT, const void*, DWORD) { return false; }

bool CDDEItem::IsSupportedFormat(UINT format)
{
    const std::uint16_t* formats = FormatList();
    for (; formats && *formats; ++formats)
        if (*formats == format)
            return true;
    return false;
}

const std::uint16_t* CDDEItem::FormatList() { return nullptr; }

bool CDDEItem::CanAdvise(UINT format) { return IsSupportedFormat(format); }

void CDDEItem::PostAdvise()
{
    if (m_topic)
        m_topic->PostAdvise(this);
}

bool CDDEStringItem::Request(UINT, const void*& data, DWORD& size)
{
    data = m_value.c_str();
    size = DWORD(m_value.size() + 1);
    return true;
}

bool CDDEStringItem::Poke(UINT format, const void* data, DWORD size)
{
    // Text only: any other format would be stored as if it were text.
    if (!IsSupportedFormat(format))
        return false;
    const char* text = static_cast<const char*>(data);
    const std::string_view bytes = text ? std::string_view(text, size) : std::string_view();
    m_value = std::string(bytes.substr(0, bytes.find('\0')));
    OnValueChanged();
    return true;
}

const std::uint16_t* CDDEStringItem::FormatList() { return kTextFormats; }

void CDDEStringItem::OnValueChanged() {}

void CDDEStringItem::SetValue(std::string value)
{
    m_value = std::move(value);
    PostAdvise();
}

const std::string& CDDEStringItem::GetValue() const { return m_value; }

const std::uint16_t* CDDESystemItem::FormatList() { return kTextFormats; }

bool CDDESystemItem::Answer(std::string text, const void*& data, DWORD& size)
{
    m_text = std::move(text);
    data = m_text.c_str();
    size = DWORD(m_text.size() + 1);
    return true;
}

bool CDDESystemItem_TopicList::Request(UINT, const void*& data, DWORD& size)
{
    if (!Topic() || !Topic()->Server())
        return false;
    std::vector<std::string> names;
    for (const CDDETopic* topic : Topic()->Server()->Topics())
        names.push_back(topic->Name());
    return Answer(JoinNames(names), data, size);
}

bool CDDESystemItem_ItemList::Request(UINT, const void*& data, DWORD& size)
{
    if (!Topic())
        return false;
    std::vector<std::string> names;
    for (const CDDEItem* item : Topic()->Items())
        names.push_back(item->Name());
    return Answer(JoinNames(names), data, size);
}

bool CDDESystemItem_FormatList::Request(UINT, const void*& data, DWORD& size)
{
    if (!Topic())
        return false;
    std::vector<std::uint16_t> seen;
    std::vector<std::string> names;
    for (CDDEItem* item : Topic()->Items()) {
        for (const std::uint16_t* format = item->FormatList(); format && *format; ++format) {
            if (std::find(seen.begin(), seen.end(), *format) != seen.end())
                continue;
            seen.push_back(*format);
            names.push_back(FormatName(*format));
        }
    }
    return Answer(JoinNames(names), data, size);
}

// ---- topics ----

bool CDDETopic::Request(UINT format, const std::string& item, const void*& data, DWORD& size)
{
    CDDEItem* found = FindItem(item);
    if (!found || !found->IsSupportedFormat(format))
        return false;
    // "TopicItemList" and "Formats" belong to every topic: they answer for the one asked.
    found->SetTopic(this);
    return found->Request(format, data, size);
}

bool CDDETopic::Poke(UINT format, const std::string& item, const void* data, DWORD size)
{
    CDDEItem* found = FindItem(item);
    return found && found->Poke(format, data, size);
}

bool CDDETopic::Execute(const void*, DWORD) { return false; }

CDDEItem* CDDETopic::FindItem(const std::string& name)
{
    for (CDDEItem* item : m_items)
        if (EqualsNoCase(item->Name(), name))
            return item;
    return nullptr;
}

bool CDDETopic::CanAdvise(UINT format, const std::string& item)
{
    CDDEItem* found = FindItem(item);
    return found && found->CanAdvise(format);
}

bool CDDETopic::AddItem(CDDEItem* item)
{
    if (std::find(m_items.begin(), m_items.end(), item) != m_items.end())
        return true;
    m_items.push_back(item);
    item->SetTopic(this);
    return true;
}

void CDDETopic::PostAdvise(CDDEItem* item)
{
    if (!m_server || !m_server->IsInitialised())
        return;
    const CHSZ topic(m_server->Instance(), m_name);
    const CHSZ name(m_server->Instance(), item->Name());
    DdePostAdvise(m_server->Instance(), topic, name);
}

bool CDDEServerSystemTopic::Request(UINT format, const std::string& item, const void*& data, DWORD& size)
{
    if (Server())
        Server()->Report("System topic request: %s", item.c_str());
    return CDDETopic::Request(format, item, data, size);
}

// ---- conversations ----

CDDEConv::CDDEConv(CDDEServer* server, HCONV conv, HSZ topic)
    : m_server(server), m_inst(server->Instance()), m_conv(conv)
{
    // The library frees its handles after the callback; keep ours.
    if (topic && DdeKeepStringHandle(m_inst, topic))
        m_topic = topic;
}

CDDEConv::CDDEConv(DWORD inst) : m_inst(inst) {}

CDDEConv::~CDDEConv()
{
    Terminate();
    if (m_topic)
        DdeFreeStringHandle(m_inst, m_topic);
}

void CDDEConv::Terminate()
{
    if (!m_conv)
        return;
    DdeDisconnect(m_conv);
    if (m_server)
        m_server->RemoveConv(this);
    m_conv = nullptr;
}

bool CDDEConv::AdviseData(UINT, const std::string&, const std::string&, const void*, DWORD) { return false; }

bool CDDEConv::Connect(const std::string& service, const std::string& topic)
{
    Terminate();
    const CHSZ hszService(m_inst, service);
    const CHSZ hszTopic(m_inst, topic);
    m_conv = DdeConnect(m_inst, hszService, hszTopic, nullptr);
    return m_conv != nullptr;
}

bool CDDEConv::Request(const std::string& item, UINT format, std::string& data)
{
    const CHSZ hszItem(m_inst, item);
    const HDDEDATA reply = DdeClientTransaction(nullptr, 0, m_conv, hszItem, format, XTYP_REQUEST, kTimeoutMs, nullptr);
    DWORD size = 0;
    const BYTE* bytes = DdeAccessData(reply, &size);
    if (!bytes)
        return false;
    data.assign(reinterpret_cast<const char*>(bytes), size);
    DdeFreeDataHandle(reply);
    return true;
}

bool CDDEConv::AdviseStart(const std::string& item, UINT format)
{
    const CHSZ hszItem(m_inst, item);
    return DdeClientTransaction(nullptr, 0, m_conv, hszItem, format, XTYP_ADVSTART, kTimeoutMs, nullptr) != nullptr;
}

bool CDDEConv::Execute(std::string_view data)
{
    return DdeClientTransaction(reinterpret_cast<const BYTE*>(data.data()), DWORD(data.size()), m_conv, nullptr, 0,
                                XTYP_EXECUTE, kTimeoutMs, nullptr) != nullptr;
}

bool CDDEConv::Poke(const std::string& item, UINT format, std::string_view data)
{
    const CHSZ hszItem(m_inst, item);
    return DdeClientTransaction(reinterpret_cast<const BYTE*>(data.data()), DWORD(data.size()), m_conv, hszItem,
                                format, XTYP_POKE, kTimeoutMs, nullptr) != nullptr;
}

// ---- server ----

CDDEServer::CDDEServer()
    : m_topicsItem("Topics"), m_sysItemsItem("SysItems"), m_topicItemListItem("TopicItemList"),
      m_formatsItem("Formats")
{
}

CDDEServer::~CDDEServer()
{
    if (m_initialised) {
        while (!m_convs.empty()) {
            CDDEConv* conv = m_convs.front();
            conv->Terminate(); // leaves the list
            conv->Release();
        }
        DdeNameService(m_inst, m_hszService, nullptr, DNS_UNREGISTER);
        m_hszService.Reset();
        m_wildNames.clear();
        DdeUninitialize(m_inst);
        m_initialised = false;
    }
    if (g_server == this)
        g_server = nullptr;
}

bool CDDEServer::Create(const std::string& service, DWORD commandFlags, DWORD* inst)
{
    if (g_server)
        return false;
    g_server = this;
    if (DdeInitialize(&m_inst, &CDDEServer::Callback, commandFlags, 0) != DMLERR_NO_ERROR)
        return false;
    if (inst)
        *inst = m_inst;
    m_service = service;
    m_hszService.Assign(m_inst, service);
    m_systemTopic.SetName("System");
    AddTopic(&m_systemTopic);
    m_systemTopic.AddItem(&m_topicsItem);
    m_systemTopic.AddItem(&m_sysItemsItem);
    m_systemTopic.AddItem(&m_topicItemListItem);
    m_systemTopic.AddItem(&m_formatsItem);
    if (!DdeNameService(m_inst, m_hszService, nullptr, DNS_REGISTER))
        Report("Register %s failed", service.c_str());
    m_initialised = true;
    return OnCreate();
}

bool CDDEServer::OnCreate() { return true; }

UINT CDDEServer::LastError() { return DdeGetLastError(m_inst); }

HDDEDATA CDDEServer::CustomCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) { return nullptr; }

bool CDDEServer::Request(UINT format, const std::string& topic, const std::string& item, const void*& data,
                         DWORD& size)
{
    CDDETopic* found = FindTopic(topic);
    return found && found->Request(format, item, data, size);
}

bool CDDEServer::Poke(UINT format, const std::string& topic, const std::string& item, const void* data, DWORD size)
{
    CDDETopic* found = FindTopic(topic);
    return found && found->Poke(format, item, data, size);
}

bool CDDEServer::AdviseData(UINT format, HCONV conv, const std::string& topic, const std::string& item,
                            const void* data, DWORD size)
{
    CDDEConv* found = FindConv(conv);
    return found && found->AdviseData(format, topic, item, data, size);
}

bool CDDEServer::Execute(const std::string& topic, const void* data, DWORD size)
{
    CDDETopic* found = FindTopic(topic);
    return found && found->Execute(data, size);
}

void CDDEServer::Status(const std::string& text) { qCDebug(lcDde, "%s", text.c_str()); }

bool CDDEServer::AddTopic(CDDETopic* topic)
{
    if (std::find(m_topics.begin(), m_topics.end(), topic) != m_topics.end())
        return true;
    m_topics.push_back(topic);
    topic->SetServer(this);
    topic->AddItem(&m_topicItemListItem);
    topic->AddItem(&m_formatsItem);
    return true;
}

bool CDDEServer::CanAdvise(UINT format, const std::string& topic, const std::string& item)
{
    CDDETopic* found = FindTopic(topic);
    return found && found->CanAdvise(format, item);
}

CDDETopic* CDDEServer::FindTopic(const std::string& name)
{
    for (CDDETopic* topic : m_topics)
        if (EqualsNoCase(topic->Name(), name))
            return topic;
    return nullptr;
}

void CDDEServer::Report(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(length > 0 ? size_t(length) : 0, '\0');
    if (length > 0)
        std::vsnprintf(text.data(), text.size() + 1, format, args);
    va_end(args);
    Status(text);
}

std::string CDDEServer::NameOf(HSZ hsz) const
{
    if (!hsz)
        return "<null>";
    return DdeQueryString(m_inst, hsz).value_or("<error>");
}

CDDEConv* CDDEServer::FindConv(HCONV conv) const
{
    for (CDDEConv* found : m_convs)
        if (found->Handle() == conv)
            return found;
    return nullptr;
}

void CDDEServer::RemoveConv(CDDEConv* conv) { std::erase(m_convs, conv); }

HDDEDATA CDDEServer::Callback(UINT type, UINT format, HCONV conv, HSZ hsz1, HSZ hsz2, HDDEDATA data,
                              ULONG_PTR data1, ULONG_PTR data2)
{
    return g_server ? g_server->Dispatch(type, format, conv, hsz1, hsz2, data, data1, data2) : nullptr;
}

HDDEDATA CDDEServer::WildConnect(HSZ topic, HSZ service, const std::string& topicName, const std::string& serviceName)
{
    if (service && !EqualsNoCase(serviceName, m_service))
        return nullptr;
    Report("Wild connect to %s", topicName.c_str());
    std::vector<HSZPAIR> pairs;
    if (topic) {
        if (!FindTopic(topicName)) {
            Report("Wild connect to %s refused", topicName.c_str());
            return nullptr;
        }
        pairs.push_back({m_hszService, topic});
    } else {
        if (m_topics.empty())
            return nullptr;
        m_wildNames.clear();
        m_wildNames.reserve(m_topics.size());
        for (const CDDETopic* each : m_topics) {
            m_wildNames.emplace_back(m_inst, each->Name());
            pairs.push_back({m_hszService, m_wildNames.back()});
        }
    }
    pairs.push_back({nullptr, nullptr});
    return DdeCreateDataHandle(m_inst, pairs.data(), DWORD(pairs.size() * sizeof(HSZPAIR)));
}

HDDEDATA CDDEServer::Dispatch(UINT type, UINT format, HCONV conv, HSZ hsz1, HSZ hsz2, HDDEDATA data,
                              ULONG_PTR data1, ULONG_PTR data2)
{
    Report("Callback %4.4XH", type & 0xFFFF);
    const std::string name1 = NameOf(hsz1);
    const std::string name2 = NameOf(hsz2);
    DWORD size = 0;
    const BYTE* bytes = nullptr;
    switch (type) {
    case XTYP_CONNECT:
        return Bool(FindTopic(name1) != nullptr);

    case XTYP_WILDCONNECT:
        return WildConnect(hsz1, hsz2, name1, name2);

    case XTYP_CONNECT_CONFIRM: {
        Report("Connect to %s", name1.c_str());
        auto* created = new CDDEConv(this, conv, hsz1);
        created->AddRef();
        m_convs.push_back(created);
        return nullptr;
    }

    case XTYP_DISCONNECT:
        Report("Disconnect");
        if (CDDEConv* found = FindConv(conv)) {
            RemoveConv(found);
            found->Release();
        }
        return nullptr;

    case XTYP_REQUEST:
    case XTYP_ADVREQ: {
        Report("Request %s|%s", name1.c_str(), name2.c_str());
        const void* reply = nullptr;
        if (Request(format, name1, name2, reply, size))
            return DdeCreateDataHandle(m_inst, reply, reply ? size : 0);
        Report("Request %s|%s failed", name1.c_str(), name2.c_str());
        return nullptr;
    }

    case XTYP_POKE: {
        bytes = DdeAccessData(data, &size);
        if (!Poke(format, name1, name2, bytes, bytes ? size : 0)) {
            Report("Poke %s|%s failed", name1.c_str(), name2.c_str());
            return Flag(DDE_FNOTPROCESSED);
        }
        CONVINFO info;
        if (!DdeQueryConvInfo(conv, QID_SYNC, &info) || !(info.wStatus & ST_ISSELF))
            DdePostAdvise(m_inst, hsz1, hsz2);
        return Flag(DDE_FACK);
    }

    case XTYP_EXECUTE:
        Report("Exec");
        bytes = DdeAccessData(data, &size);
        if (Execute(name1, bytes, bytes ? size : 0))
            return Flag(DDE_FACK);
        Report("Exec failed");
        return Flag(DDE_FNOTPROCESSED);

    case XTYP_ADVSTART:
        if (CanAdvise(format, name1, name2))
            return Bool(true);
        Report("Can't advise on %s|%s", name1.c_str(), name2.c_str());
        return Bool(false);

    case XTYP_ADVDATA:
        bytes = DdeAccessData(data, &size);
        if (AdviseData(format, conv, name1, name2, bytes, bytes ? size : 0))
            return Flag(DDE_FACK);
        Report("AdviseData %s|%s failed", name1.c_str(), name2.c_str());
        return Flag(DDE_FNOTPROCESSED);

    default:
        return CustomCallback(type, format, conv, hsz1, hsz2, data, data1, data2);
    }
}

} // namespace nimbra
