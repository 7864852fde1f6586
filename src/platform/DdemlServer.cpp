#include "platform/DdemlState.h"

#include "platform/Text.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusReply>
#include <unistd.h>

namespace nimbra::ddeml {

QDBusArgument& operator<<(QDBusArgument& argument, const SDdePair& pair)
{
    argument.beginStructure();
    argument << pair.service << pair.topic;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, SDdePair& pair)
{
    argument.beginStructure();
    argument >> pair.service >> pair.topic;
    argument.endStructure();
    return argument;
}

namespace {

// A conversation of this server instance opened by `caller`.
SConv* FindServerConv(DWORD inst, uint number, const QString& caller)
{
    SConv* conv = FindConv(number);
    return conv && !conv->client && conv->inst == inst && conv->peer == caller ? conv : nullptr;
}

HDDEDATA Deliver(DWORD inst, UINT type, UINT format, HCONV conv, HSZ hsz1, HSZ hsz2, HDDEDATA data,
                 ULONG_PTR data1, ULONG_PTR data2)
{
    PFNCALLBACK callback = nullptr;
    {
        std::lock_guard guard(g_lock);
        if (SInstance* instance = FindInstance(inst))
            callback = instance->callback;
    }
    return callback ? callback(type, format, conv, hsz1, hsz2, data, data1, data2) : nullptr;
}

// Copies the bytes of a data handle handed back by a callback and frees it.
// False when the result is not a data handle of the instance.
bool TakeData(DWORD inst, HDDEDATA handle, QByteArray& bytes)
{
    std::lock_guard guard(g_lock);
    auto it = g_data.find(Key(handle));
    if (it == g_data.end() || it->second.first != inst)
        return false;
    bytes = std::move(it->second.second);
    g_data.erase(it);
    return true;
}

// A string or data handle made for one transaction.
class CTempString {
public:
    CTempString(DWORD inst, const std::string& text) : m_inst(inst), m_hsz(DdeCreateStringHandle(inst, text, CP_WINANSI)) {}
    CTempString(DWORD inst, const QString& text) : CTempString(inst, FromQ(text)) {}
    // A null handle for an empty text ("any" in a wild connect).
    CTempString(DWORD inst, const QString& text, bool emptyIsNull)
        : m_inst(inst), m_hsz(emptyIsNull && text.isEmpty() ? nullptr : DdeCreateStringHandle(inst, FromQ(text), CP_WINANSI))
    {
    }
    ~CTempString() { DdeFreeStringHandle(m_inst, m_hsz); }
    CTempString(const CTempString&) = delete;
    CTempString& operator=(const CTempString&) = delete;
    operator HSZ() const { return m_hsz; }

private:
    DWORD m_inst;
    HSZ m_hsz = nullptr;
};

class CTempData {
public:
    CTempData(DWORD inst, const QByteArray& bytes)
        : m_handle(DdeCreateDataHandle(inst, bytes.constData(), DWORD(bytes.size())))
    {
    }
    ~CTempData() { DdeFreeDataHandle(m_handle); }
    CTempData(const CTempData&) = delete;
    CTempData& operator=(const CTempData&) = delete;
    operator HDDEDATA() const { return m_handle; }

private:
    HDDEDATA m_handle;
};

HCONV ConvHandle(quint32 number) { return reinterpret_cast<HCONV>(std::uintptr_t(number)); }

} // namespace

void RegisterTypes()
{
    static std::once_flag once;
    std::call_once(once, [] {
        qDBusRegisterMetaType<SDdePair>();
        qDBusRegisterMetaType<SDdePairList>();
    });
}


CDdeBusObject::CDdeBusObject(DWORD inst, const QString& connectionName)
    : m_inst(inst), m_connection(connectionName)
{
    m_watcher.setConnection(m_connection);
    m_watcher.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(&m_watcher, &QDBusServiceWatcher::serviceUnregistered, this, &CDdeBusObject::DropClient);
}

// Only connections of this user are served; each one is watched so that its
// conversations end when it leaves the bus.
bool CDdeBusObject::Admit(const QString& caller)
{
    if (m_admitted.contains(caller))
        return true;
    m_watcher.addWatchedService(caller);
    // Asked after the watch is in place, so a caller gone in between is seen.
    const QDBusReply<uint> uid = m_connection.interface()->serviceUid(caller);
    if (!uid.isValid() || uid.value() != uint(getuid())) {
        m_watcher.removeWatchedService(caller);
        return false;
    }
    m_admitted.insert(caller);
    return true;
}

void CDdeBusObject::DropClient(const QString& name)
{
    m_watcher.removeWatchedService(name);
    m_admitted.remove(name);
    std::vector<std::uintptr_t> numbers;
    {
        std::lock_guard guard(g_lock);
        for (const auto& [number, conv] : g_convs)
            if (!conv.client && conv.inst == m_inst && conv.peer == name)
                numbers.push_back(number);
    }
    for (std::uintptr_t number : numbers)
        if (std::optional<SConv> conv = TakeConv(number))
            Deliver(m_inst, XTYP_DISCONNECT, 0, ConvHandle(quint32(number)), nullptr, nullptr, nullptr, 0, conv->self);
}

uint CDdeBusObject::Connect(const QString& topic) { return Open(message().service(), topic); }

int CDdeBusObject::ConversationsOf(const QString& caller) const
{
    std::lock_guard guard(g_lock);
    return int(std::count_if(g_convs.begin(), g_convs.end(), [&](const auto& entry) {
        return !entry.second.client && entry.second.inst == m_inst && entry.second.peer == caller;
    }));
}

void CDdeBusObject::SendTo(const QString& client, const QString& signal, const QList<QVariant>& arguments)
{
    QDBusMessage message = QDBusMessage::createTargetedSignal(client, QString::fromLatin1(kDdeObjectPath),
                                                              QString::fromLatin1(kDdeInterface), signal);
    message.setArguments(arguments);
    m_connection.send(message);
}

uint CDdeBusObject::Open(const QString& caller, const QString& topic)
{
    std::string service;
    {
        std::lock_guard guard(g_lock);
        if (SInstance* instance = FindInstance(m_inst))
            service = instance->service;
    }
    if (service.empty() || !Admit(caller))
        return 0;
    if (ConversationsOf(caller) >= kMaxConversationsPerClient) {
        sendErrorReply(QString::fromLatin1(kDdeErrorTooMany),
                       QStringLiteral("this connection already keeps %1 conversations open; disconnect some first")
                           .arg(kMaxConversationsPerClient));
        return 0;
    }
    const bool self = caller == m_connection.baseService();
    CTempString hszTopic(m_inst, topic);
    CTempString hszService(m_inst, service);
    if (!DdeResultValue(Deliver(m_inst, XTYP_CONNECT, 0, nullptr, hszTopic, hszService, nullptr, 0, self)))
        return 0;
    SConv conv;
    conv.inst = m_inst;
    conv.peer = caller;
    conv.topic = FromQ(topic);
    conv.self = self;
    const HCONV handle = AddConv(std::move(conv), service);
    Deliver(m_inst, XTYP_CONNECT_CONFIRM, 0, handle, hszTopic, hszService, nullptr, 0, self);
    return uint(Key(handle));
}

SDdePairList CDdeBusObject::WildConnect(const QString& service, const QString& topic)
{
    const QString caller = message().service();
    SDdePairList pairs;
    if (!Admit(caller))
        return pairs;
    CTempString hszService(m_inst, service, true);
    CTempString hszTopic(m_inst, topic, true);
    QByteArray bytes;
    const HDDEDATA result = Deliver(m_inst, XTYP_WILDCONNECT, 0, nullptr, hszTopic, hszService, nullptr, 0,
                                    caller == m_connection.baseService());
    if (!TakeData(m_inst, result, bytes))
        return pairs;
    for (qsizetype at = 0; at + qsizetype(sizeof(HSZPAIR)) <= bytes.size(); at += sizeof(HSZPAIR)) {
        HSZPAIR pair;
        std::memcpy(&pair, bytes.constData() + at, sizeof pair);
        if (!pair.hszSvc && !pair.hszTopic)
            break;
        const std::optional<std::string> name = DdeQueryString(m_inst, pair.hszSvc);
        const std::optional<std::string> topicName = DdeQueryString(m_inst, pair.hszTopic);
        if (name && topicName)
            pairs.push_back({ToQ(*name), ToQ(*topicName)});
    }
    return pairs;
}

bool CDdeBusObject::Request(uint conv, const QString& item, uint format, QByteArray& data)
{
    return DoRequest(message().service(), conv, item, format, data);
}

std::optional<std::string> CDdeBusObject::ConvTopic(const QString& caller, uint conv, uint format) const
{
    std::lock_guard guard(g_lock);
    const SConv* found = FindServerConv(m_inst, conv, caller);
    if (!found || format > 0xFFFF)
        return std::nullopt;
    return found->topic;
}

bool CDdeBusObject::DoRequest(const QString& caller, uint conv, const QString& item, uint format, QByteArray& data)
{
    const std::optional<std::string> topic = ConvTopic(caller, conv, format);
    if (!topic)
        return false;
    CTempString hszTopic(m_inst, *topic);
    CTempString hszItem(m_inst, item);
    return TakeData(m_inst, Deliver(m_inst, XTYP_REQUEST, format, ConvHandle(conv), hszTopic, hszItem, nullptr, 0, 0), data);
}

uint CDdeBusObject::Poke(uint conv, const QString& item, uint format, const QByteArray& data)
{
    return DoPoke(message().service(), conv, item, format, data);
}

uint CDdeBusObject::DoPoke(const QString& caller, uint conv, const QString& item, uint format, const QByteArray& data)
{
    const std::optional<std::string> topic = ConvTopic(caller, conv, format);
    if (!topic)
        return DDE_FNOTPROCESSED;
    CTempString hszTopic(m_inst, *topic);
    CTempString hszItem(m_inst, item);
    CTempData hData(m_inst, data);
    return uint(DdeResultValue(Deliver(m_inst, XTYP_POKE, format, ConvHandle(conv), hszTopic, hszItem, hData, 0, 0)) & 0xFFFF);
}

uint CDdeBusObject::Execute(uint conv, const QByteArray& data) { return DoExecute(message().service(), conv, data); }

uint CDdeBusObject::DoExecute(const QString& caller, uint conv, const QByteArray& data)
{
    std::string topic;
    std::string service;
    {
        std::lock_guard guard(g_lock);
        const SConv* found = FindServerConv(m_inst, conv, caller);
        if (!found)
            return DDE_FNOTPROCESSED;
        topic = found->topic;
        service = FindInstance(m_inst)->service;
    }
    CTempString hszTopic(m_inst, topic);
    CTempString hszService(m_inst, service);
    CTempData hData(m_inst, data);
    return uint(DdeResultValue(Deliver(m_inst, XTYP_EXECUTE, 0, ConvHandle(conv), hszTopic, hszService, hData, 0, 0)) & 0xFFFF);
}

bool CDdeBusObject::AdviseStart(uint conv, const QString& item, uint format)
{
    std::string topic;
    const std::string itemName = FromQ(item);
    {
        std::lock_guard guard(g_lock);
        const SConv* found = FindServerConv(m_inst, conv, message().service());
        if (!found || format > 0xFFFF)
            return false;
        topic = found->topic;
    }
    CTempString hszTopic(m_inst, topic);
    CTempString hszItem(m_inst, itemName);
    if (!DdeResultValue(Deliver(m_inst, XTYP_ADVSTART, format, ConvHandle(conv), hszTopic, hszItem, nullptr, 0, 0)))
        return false;
    std::lock_guard guard(g_lock);
    SConv* found = FindServerConv(m_inst, conv, message().service());
    if (!found)
        return false;
    for (const SLink& link : found->links)
        if (link.format == format && EqualsNoCase(link.item, itemName))
            return true;
    found->links.push_back({itemName, format});
    return true;
}

bool CDdeBusObject::AdviseStop(uint conv, const QString& item, uint format)
{
    std::string topic;
    const std::string itemName = FromQ(item);
    {
        std::lock_guard guard(g_lock);
        SConv* found = FindServerConv(m_inst, conv, message().service());
        if (!found)
            return false;
        auto link = std::find_if(found->links.begin(), found->links.end(), [&](const SLink& l) {
            return l.format == format && EqualsNoCase(l.item, itemName);
        });
        if (link == found->links.end())
            return false;
        found->links.erase(link);
        topic = found->topic;
    }
    CTempString hszTopic(m_inst, topic);
    CTempString hszItem(m_inst, itemName);
    Deliver(m_inst, XTYP_ADVSTOP, format, ConvHandle(conv), hszTopic, hszItem, nullptr, 0, 0);
    return true;
}

bool CDdeBusObject::Disconnect(uint conv) { return Close(message().service(), conv); }

bool CDdeBusObject::Close(const QString& caller, uint conv)
{
    {
        std::lock_guard guard(g_lock);
        if (!FindServerConv(m_inst, conv, caller))
            return false;
    }
    const std::optional<SConv> taken = TakeConv(conv);
    Deliver(m_inst, XTYP_DISCONNECT, 0, ConvHandle(conv), nullptr, nullptr, nullptr, 0, taken && taken->self);
    return true;
}

bool CDdeBusObject::RequestOnce(const QString& topic, const QString& item, uint format, QByteArray& data)
{
    const QString caller = message().service();
    const uint conv = Open(caller, topic);
    const bool done = conv && DoRequest(caller, conv, item, format, data);
    Close(caller, conv);
    return done;
}

uint CDdeBusObject::PokeOnce(const QString& topic, const QString& item, uint format, const QByteArray& data)
{
    const QString caller = message().service();
    const uint conv = Open(caller, topic);
    const uint flags = conv ? DoPoke(caller, conv, item, format, data) : DDE_FNOTPROCESSED;
    Close(caller, conv);
    return flags;
}

uint CDdeBusObject::ExecuteOnce(const QString& topic, const QByteArray& data)
{
    const QString caller = message().service();
    const uint conv = Open(caller, topic);
    const uint flags = conv ? DoExecute(caller, conv, data) : DDE_FNOTPROCESSED;
    Close(caller, conv);
    return flags;
}

void CDdeBusObject::SendAdvise(quint32 conv, const std::string& item, UINT format)
{
    std::string topic;
    QString client;
    {
        std::lock_guard guard(g_lock);
        const SConv* found = FindConv(conv);
        if (!found || found->client || found->inst != m_inst)
            return;
        client = found->peer;
        const bool linked = std::any_of(found->links.begin(), found->links.end(), [&](const SLink& l) {
            return l.format == format && EqualsNoCase(l.item, item);
        });
        if (!linked)
            return;
        topic = found->topic;
    }
    CTempString hszTopic(m_inst, topic);
    CTempString hszItem(m_inst, item);
    QByteArray data;
    if (TakeData(m_inst, Deliver(m_inst, XTYP_ADVREQ, format, ConvHandle(conv), hszTopic, hszItem, nullptr, 0, 0), data))
        SendTo(client, QStringLiteral("AdviseData"), {conv, ToQ(item), format, data});
}

} // namespace nimbra::ddeml
