#include "platform/DdemlState.h"

#include "platform/Text.h"

#include <QDBusMessage>
#include <algorithm>
#include <unistd.h>
#include <utility>

namespace nimbra::ddeml {

std::recursive_mutex g_lock;
std::map<DWORD, SInstance> g_instances;
std::map<std::uintptr_t, SString> g_strings;
std::map<std::uintptr_t, std::pair<DWORD, QByteArray>> g_data;
std::map<std::uintptr_t, SConv> g_convs;

namespace {

DWORD g_nextInstance = 0;
std::uintptr_t g_nextHandle = 0;

} // namespace

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

} // namespace nimbra::ddeml
