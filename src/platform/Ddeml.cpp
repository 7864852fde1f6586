#include "platform/Ddeml.h"

#include <optional>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <unistd.h>
#include <utility>
#include <vector>

#include "platform/Text.h"

namespace nimbra::ddeml {

// One (service, topic) answer of WildConnect.
struct SDdePair {
    QString service;
    QString topic;
};

} // namespace nimbra::ddeml

Q_DECLARE_METATYPE(nimbra::ddeml::SDdePair)

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

using SDdePairList = QList<SDdePair>;

// The object /dde of a server instance.
class CDdeBusObject : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.nimbra.dde")
public:
    CDdeBusObject(DWORD inst, const QString& connectionName);

    void SendAdvise(quint32 conv, const std::string& item, UINT format);
    // A signal of the interface, sent to one client only.
    void SendTo(const QString& client, const QString& signal, const QList<QVariant>& arguments);

public Q_SLOTS:
    uint Connect(const QString& topic);
    QList<nimbra::ddeml::SDdePair> WildConnect(const QString& service, const QString& topic);
    bool Request(uint conv, const QString& item, uint format, QByteArray& data);
    uint Poke(uint conv, const QString& item, uint format, const QByteArray& data);
    uint Execute(uint conv, const QByteArray& data);
    bool AdviseStart(uint conv, const QString& item, uint format);
    bool AdviseStop(uint conv, const QString& item, uint format);
    bool Disconnect(uint conv);
    // Connect, the transaction and Disconnect in one call, for callers that
    // cannot keep a conversation open (gdbus, dbus-send).
    bool RequestOnce(const QString& topic, const QString& item, uint format, QByteArray& data);
    uint PokeOnce(const QString& topic, const QString& item, uint format, const QByteArray& data);
    uint ExecuteOnce(const QString& topic, const QByteArray& data);

Q_SIGNALS:
    // Declared for introspection; SendTo() delivers them to their client.
    void AdviseData(uint conv, const QString& item, uint format, const QByteArray& data);
    void Disconnected(uint conv);

private:
    bool Admit(const QString& caller);
    void DropClient(const QString& name);
    uint Open(const QString& caller, const QString& topic);
    int ConversationsOf(const QString& caller) const;
    // The topic of the caller's own conversation; nullopt when it is not
    // the caller's or the format cannot be one.
    std::optional<std::string> ConvTopic(const QString& caller, uint conv, uint format) const;
    bool DoRequest(const QString& caller, uint conv, const QString& item, uint format, QByteArray& data);
    uint DoPoke(const QString& caller, uint conv, const QString& item, uint format, const QByteArray& data);
    uint DoExecute(const QString& caller, uint conv, const QByteArray& data);
    bool Close(const QString& caller, uint conv);

    DWORD m_inst;
    QDBusConnection m_connection;
    QDBusServiceWatcher m_watcher;
    QSet<QString> m_admitted;
};

namespace {

struct SInstance {
    PFNCALLBACK callback = nullptr;
    bool clientOnly = false;
    QString connectionName;
    QPointer<CDdeBusObject> object;
    std::string service; // registered service name, empty when none
    QString busName;
    UINT lastError = DMLERR_NO_ERROR;
};

struct SString {
    DWORD inst = 0;
    std::string text;
    int refs = 1;
};

struct SLink {
    std::string item;
    UINT format = 0;
};

struct SConv {
    DWORD inst = 0;
    bool client = false;
    QString peer;        // client: the server's bus name; server: the client's unique name
    quint32 remote = 0;  // client: the server's number for the conversation
    std::string topic;
    HSZ hszService = nullptr;
    HSZ hszTopic = nullptr;
    bool self = false;
    std::vector<SLink> links;
};

// Instances, handles and conversations of the process. Callbacks and bus
// calls are always made with the lock released.
std::recursive_mutex g_lock;
std::map<DWORD, SInstance> g_instances;
std::map<std::uintptr_t, SString> g_strings;
std::map<std::uintptr_t, std::pair<DWORD, QByteArray>> g_data;
std::map<std::uintptr_t, SConv> g_convs;
DWORD g_nextInstance = 0;
std::uintptr_t g_nextHandle = 0;

std::uintptr_t NewHandle()
{
    if (++g_nextHandle > 0xFFFFFFFFu) // conversation numbers travel as 32 bits
        g_nextHandle = 1;
    return g_nextHandle;
}

std::uintptr_t Key(const void* handle) { return reinterpret_cast<std::uintptr_t>(handle); }

SInstance* FindInstance(DWORD inst)
{
    auto it = g_instances.find(inst);
    return it == g_instances.end() ? nullptr : &it->second;
}

void SetError(DWORD inst, UINT error)
{
    std::lock_guard guard(g_lock);
    if (SInstance* instance = FindInstance(inst))
        instance->lastError = error;
}

SConv* FindConv(std::uintptr_t number)
{
    auto it = g_convs.find(number);
    return it == g_convs.end() ? nullptr : &it->second;
}

// A conversation of this server instance opened by `caller`.
SConv* FindServerConv(DWORD inst, uint number, const QString& caller)
{
    SConv* conv = FindConv(number);
    return conv && !conv->client && conv->inst == inst && conv->peer == caller ? conv : nullptr;
}

HCONV AddConv(SConv conv, std::string_view service)
{
    std::lock_guard guard(g_lock);
    conv.hszService = DdeCreateStringHandle(conv.inst, service, CP_WINANSI);
    conv.hszTopic = DdeCreateStringHandle(conv.inst, conv.topic, CP_WINANSI);
    const std::uintptr_t number = NewHandle();
    g_convs.emplace(number, std::move(conv));
    return reinterpret_cast<HCONV>(number);
}

std::optional<SConv> TakeConv(std::uintptr_t number)
{
    std::lock_guard guard(g_lock);
    auto it = g_convs.find(number);
    if (it == g_convs.end())
        return std::nullopt;
    SConv conv = std::move(it->second);
    g_convs.erase(it);
    DdeFreeStringHandle(conv.inst, conv.hszService);
    DdeFreeStringHandle(conv.inst, conv.hszTopic);
    return conv;
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

void RegisterTypes()
{
    static std::once_flag once;
    std::call_once(once, [] {
        qDBusRegisterMetaType<SDdePair>();
        qDBusRegisterMetaType<SDdePairList>();
    });
}

} // namespace

// ---- server object ----

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

// ---- instances ----

UINT DdeInitialize(DWORD* idInst, PFNCALLBACK callback, DWORD afCmd, DWORD)
{
    if (!idInst || !callback)
        return DMLERR_INVALIDPARAMETER;
    DWORD inst;
    {
        std::lock_guard guard(g_lock);
        inst = ++g_nextInstance;
    }
    const QString name = QStringLiteral("nimbra-dde-%1-%2").arg(getpid()).arg(inst);
    QDBusConnection connection = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
    if (!connection.isConnected()) {
        QDBusConnection::disconnectFromBus(name);
        return DMLERR_SYS_ERROR;
    }
    SInstance instance;
    instance.callback = callback;
    instance.clientOnly = (afCmd & APPCMD_CLIENTONLY) != 0;
    instance.connectionName = name;
    if (!instance.clientOnly) {
        RegisterTypes();
        instance.object = new CDdeBusObject(inst, name);
        if (!connection.registerObject(kDdeObjectPath, instance.object,
                                       QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals)) {
            delete instance.object;
            QDBusConnection::disconnectFromBus(name);
            return DMLERR_SYS_ERROR;
        }
    }
    {
        std::lock_guard guard(g_lock);
        g_instances.emplace(inst, std::move(instance));
    }
    *idInst = inst;
    return DMLERR_NO_ERROR;
}

BOOL DdeUninitialize(DWORD idInst)
{
    std::vector<std::uintptr_t> convs;
    {
        std::lock_guard guard(g_lock);
        if (!FindInstance(idInst))
            return 0;
        for (const auto& [number, conv] : g_convs)
            if (conv.inst == idInst)
                convs.push_back(number);
    }
    for (std::uintptr_t number : convs)
        DdeDisconnect(reinterpret_cast<HCONV>(number));

    SInstance instance;
    {
        std::lock_guard guard(g_lock);
        auto it = g_instances.find(idInst);
        instance = std::move(it->second);
        g_instances.erase(it);
        std::erase_if(g_strings, [&](const auto& entry) { return entry.second.inst == idInst; });
        std::erase_if(g_data, [&](const auto& entry) { return entry.second.first == idInst; });
    }
    QDBusConnection connection(instance.connectionName);
    if (!instance.busName.isEmpty())
        connection.unregisterService(instance.busName);
    if (instance.object) {
        connection.unregisterObject(kDdeObjectPath);
        instance.object->deleteLater(); // a transaction of it may still be on the stack
    }
    QDBusConnection::disconnectFromBus(instance.connectionName);
    return 1;
}

UINT DdeGetLastError(DWORD idInst)
{
    std::lock_guard guard(g_lock);
    SInstance* instance = FindInstance(idInst);
    if (!instance)
        return DMLERR_DLL_NOT_INITIALIZED;
    return std::exchange(instance->lastError, DMLERR_NO_ERROR);
}

HDDEDATA DdeNameService(DWORD idInst, HSZ service, HSZ, UINT afCmd)
{
    const std::optional<std::string> name = DdeQueryString(idInst, service);
    QString connectionName;
    QString busName;
    {
        std::lock_guard guard(g_lock);
        SInstance* instance = FindInstance(idInst);
        if (!instance)
            return nullptr;
        if (instance->clientOnly) {
            instance->lastError = DMLERR_DLL_USAGE;
            return nullptr;
        }
        if (!name || (afCmd & (DNS_REGISTER | DNS_UNREGISTER)) == 0) {
            instance->lastError = DMLERR_INVALIDPARAMETER;
            return nullptr;
        }
        connectionName = instance->connectionName;
        busName = instance->busName;
    }
    QDBusConnection connection(connectionName);
    if (afCmd & DNS_UNREGISTER) {
        if (busName.isEmpty() || busName != ToQ(kDdeBusPrefix + DdeBusNameElement(*name)))
            return nullptr;
        connection.unregisterService(busName);
        std::lock_guard guard(g_lock);
        if (SInstance* instance = FindInstance(idInst)) {
            instance->busName.clear();
            instance->service.clear();
        }
        return DdeResult(1);
    }
    // One service per instance: the bus does not tell which of several names a call was sent to.
    const QString wanted = ToQ(kDdeBusPrefix + DdeBusNameElement(*name));
    if (!busName.isEmpty() || name->empty() || !connection.registerService(wanted)) {
        SetError(idInst, DMLERR_SYS_ERROR);
        return nullptr;
    }
    std::lock_guard guard(g_lock);
    if (SInstance* instance = FindInstance(idInst)) {
        instance->busName = wanted;
        instance->service = *name;
    }
    return DdeResult(1);
}

// ---- string and data handles ----

HSZ DdeCreateStringHandle(DWORD idInst, std::string_view text, int codePage)
{
    std::lock_guard guard(g_lock);
    SInstance* instance = FindInstance(idInst);
    if (!instance)
        return nullptr;
    if (codePage != CP_WINANSI) {
        instance->lastError = DMLERR_INVALIDPARAMETER;
        return nullptr;
    }
    const std::uintptr_t handle = NewHandle();
    g_strings.emplace(handle, SString{idInst, std::string(text), 1});
    return reinterpret_cast<HSZ>(handle);
}

BOOL DdeKeepStringHandle(DWORD idInst, HSZ hsz)
{
    std::lock_guard guard(g_lock);
    auto it = g_strings.find(Key(hsz));
    if (it == g_strings.end() || it->second.inst != idInst)
        return 0;
    ++it->second.refs;
    return 1;
}

BOOL DdeFreeStringHandle(DWORD idInst, HSZ hsz)
{
    std::lock_guard guard(g_lock);
    auto it = g_strings.find(Key(hsz));
    if (it == g_strings.end() || it->second.inst != idInst)
        return 0;
    if (--it->second.refs == 0)
        g_strings.erase(it);
    return 1;
}

std::optional<std::string> DdeQueryString(DWORD idInst, HSZ hsz)
{
    std::lock_guard guard(g_lock);
    auto it = g_strings.find(Key(hsz));
    if (it == g_strings.end() || it->second.inst != idInst)
        return std::nullopt;
    return it->second.text;
}

HDDEDATA DdeCreateDataHandle(DWORD idInst, const void* source, DWORD size)
{
    std::lock_guard guard(g_lock);
    SInstance* instance = FindInstance(idInst);
    if (!instance)
        return nullptr;
    if (!source && size > 0) {
        instance->lastError = DMLERR_INVALIDPARAMETER;
        return nullptr;
    }
    const std::uintptr_t handle = NewHandle();
    g_data.emplace(handle, std::make_pair(idInst, QByteArray(static_cast<const char*>(source), qsizetype(size))));
    return reinterpret_cast<HDDEDATA>(handle);
}

const BYTE* DdeAccessData(HDDEDATA data, DWORD* size)
{
    std::lock_guard guard(g_lock);
    auto it = g_data.find(Key(data));
    if (it == g_data.end())
        return nullptr;
    if (size)
        *size = DWORD(it->second.second.size());
    return reinterpret_cast<const BYTE*>(it->second.second.constData());
}

BOOL DdeFreeDataHandle(HDDEDATA data)
{
    std::lock_guard guard(g_lock);
    return g_data.erase(Key(data)) ? 1 : 0;
}

// ---- conversations ----

BOOL DdePostAdvise(DWORD idInst, HSZ topic, HSZ item)
{
    const std::optional<std::string> topicName = DdeQueryString(idInst, topic);
    const std::optional<std::string> itemName = DdeQueryString(idInst, item);
    std::lock_guard guard(g_lock);
    SInstance* instance = FindInstance(idInst);
    if (!instance || !topicName || !itemName)
        return 0;
    // Sent from the event loop, so the advise does not re-enter a running transaction.
    for (const auto& [number, conv] : g_convs) {
        if (conv.client || conv.inst != idInst || !EqualsNoCase(conv.topic, *topicName))
            continue;
        for (const SLink& link : conv.links)
            if (EqualsNoCase(link.item, *itemName))
                QMetaObject::invokeMethod(instance->object.data(),
                                          [object = instance->object, n = quint32(number), link] {
                                              if (object)
                                                  object->SendAdvise(n, link.item, link.format);
                                          },
                                          Qt::QueuedConnection);
    }
    return 1;
}

BOOL DdeDisconnect(HCONV conv)
{
    std::optional<SConv> taken = TakeConv(Key(conv));
    if (!taken)
        return 0;
    QDBusConnection connection(QString{});
    QPointer<CDdeBusObject> object;
    {
        std::lock_guard guard(g_lock);
        if (SInstance* instance = FindInstance(taken->inst)) {
            connection = QDBusConnection(instance->connectionName);
            object = instance->object;
        }
    }
    if (taken->client) {
        // Not waited for: the conversation is over on this side either way.
        QDBusMessage call = QDBusMessage::createMethodCall(taken->peer, kDdeObjectPath, kDdeInterface,
                                                           QStringLiteral("Disconnect"));
        call << uint(taken->remote);
        connection.send(call);
    } else if (object) {
        object->SendTo(taken->peer, QStringLiteral("Disconnected"), {quint32(Key(conv))});
    }
    return 1;
}

UINT DdeQueryConvInfo(HCONV conv, DWORD, CONVINFO* info)
{
    std::lock_guard guard(g_lock);
    const SConv* found = FindConv(Key(conv));
    if (!found || !info || info->cb < sizeof(CONVINFO))
        return 0;
    info->hszServiceReq = found->hszService;
    info->hszTopic = found->hszTopic;
    info->wStatus = ST_CONNECTED | (found->client ? ST_CLIENT : 0) | (found->self ? ST_ISSELF : 0)
                    | (found->links.empty() ? 0 : ST_ADVISE);
    return sizeof(CONVINFO);
}

// ---- client side ----

namespace {

// A call to a server; an empty result with `error` set when it failed.
std::optional<QList<QVariant>> CallServer(DWORD inst, const QString& busName, const QString& method,
                                          const QList<QVariant>& arguments, int timeoutMs, UINT timeoutError)
{
    QString connectionName;
    {
        std::lock_guard guard(g_lock);
        SInstance* instance = FindInstance(inst);
        if (!instance)
            return std::nullopt;
        connectionName = instance->connectionName;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(busName, kDdeObjectPath, kDdeInterface, method);
    call.setArguments(arguments);
    // Events keep flowing while waiting, so a server on this thread still answers.
    const QDBusMessage reply = QDBusConnection(connectionName).call(call, QDBus::BlockWithGui, timeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return reply.arguments();
    const QDBusError::ErrorType error = QDBusError(reply).type();
    SetError(inst, error == QDBusError::NoReply || error == QDBusError::Timeout ? timeoutError : DMLERR_SERVER_DIED);
    return std::nullopt;
}

} // namespace

HCONV DdeConnect(DWORD idInst, HSZ service, HSZ topic, const void*)
{
    const std::optional<std::string> serviceName = DdeQueryString(idInst, service);
    const std::optional<std::string> topicName = DdeQueryString(idInst, topic);
    if (!serviceName || !topicName) {
        SetError(idInst, DMLERR_INVALIDPARAMETER);
        return nullptr;
    }
    const QString busName = ToQ(kDdeBusPrefix + DdeBusNameElement(*serviceName));
    const auto reply = CallServer(idInst, busName, QStringLiteral("Connect"), {ToQ(*topicName)}, 5000,
                                  DMLERR_NO_CONV_ESTABLISHED);
    if (!reply) {
        SetError(idInst, DMLERR_NO_CONV_ESTABLISHED);
        return nullptr;
    }
    const uint remote = reply->value(0).toUInt();
    if (remote == 0) {
        SetError(idInst, DMLERR_NOTPROCESSED);
        return nullptr;
    }
    SConv conv;
    conv.inst = idInst;
    conv.client = true;
    conv.peer = busName;
    conv.remote = remote;
    conv.topic = *topicName;
    return AddConv(std::move(conv), *serviceName);
}

HDDEDATA DdeClientTransaction(const BYTE* data, DWORD size, HCONV conv, HSZ item, UINT format, UINT type,
                              DWORD timeoutMs, DWORD* result)
{
    DWORD inst = 0;
    QString peer;
    uint remote = 0;
    {
        std::lock_guard guard(g_lock);
        const SConv* found = FindConv(Key(conv));
        if (!found || !found->client)
            return nullptr;
        inst = found->inst;
        peer = found->peer;
        remote = found->remote;
    }
    if (result)
        *result = 0;
    const std::optional<std::string> itemName = DdeQueryString(inst, item);
    const UINT kind = type & ~(XTYPF_NODATA | XTYPF_ACKREQ);
    if ((!data && size > 0) || (kind != XTYP_EXECUTE && !itemName) || timeoutMs > 0x7FFFFFFF) {
        SetError(inst, DMLERR_INVALIDPARAMETER);
        return nullptr;
    }
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const int timeout = int(timeoutMs);
    const QString itemQ = itemName ? ToQ(*itemName) : QString();
    switch (kind) {
    case XTYP_REQUEST: {
        const auto reply = CallServer(inst, peer, QStringLiteral("Request"), {remote, itemQ, format}, timeout,
                                      DMLERR_DATAACKTIMEOUT);
        if (!reply)
            return nullptr;
        if (!reply->value(0).toBool()) {
            SetError(inst, DMLERR_NOTPROCESSED);
            return nullptr;
        }
        const QByteArray answer = reply->value(1).toByteArray();
        return DdeCreateDataHandle(inst, answer.constData(), DWORD(answer.size()));
    }
    case XTYP_POKE:
    case XTYP_EXECUTE: {
        const auto reply = kind == XTYP_POKE
            ? CallServer(inst, peer, QStringLiteral("Poke"), {remote, itemQ, format, bytes}, timeout, DMLERR_POKEACKTIMEOUT)
            : CallServer(inst, peer, QStringLiteral("Execute"), {remote, bytes}, timeout, DMLERR_EXECACKTIMEOUT);
        if (!reply)
            return nullptr;
        const DWORD flags = reply->value(0).toUInt();
        if (result)
            *result = flags;
        if (!(flags & DDE_FACK)) {
            SetError(inst, DMLERR_NOTPROCESSED);
            return nullptr;
        }
        return DdeResult(1);
    }
    case XTYP_ADVSTART:
    case XTYP_ADVSTOP: {
        const auto reply = CallServer(inst, peer, kind == XTYP_ADVSTART ? QStringLiteral("AdviseStart") : QStringLiteral("AdviseStop"),
                                      {remote, itemQ, format}, timeout, DMLERR_ADVACKTIMEOUT);
        if (!reply)
            return nullptr;
        if (!reply->value(0).toBool()) {
            SetError(inst, DMLERR_NOTPROCESSED);
            return nullptr;
        }
        return DdeResult(1);
    }
    default:
        SetError(inst, DMLERR_INVALIDPARAMETER);
        return nullptr;
    }
}

std::string DdeBusNameElement(std::string_view service)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string element;
    for (size_t i = 0; i < service.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(service[i]);
        if (c >= 'a' && c <= 'z') {
            element += char(c - 'a' + 'A');
        } else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9' && i > 0)) {
            element += char(c);
        } else {
            element += '_';
            element += kHex[c >> 4];
            element += kHex[c & 15];
        }
    }
    return element;
}

} // namespace nimbra::ddeml

#include "Ddeml.moc"
