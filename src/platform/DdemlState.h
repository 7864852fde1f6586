#pragma once

// The inside of the DDE stand-in, shared by its three parts: the process's
// instances, handles and conversations (Ddeml.cpp), the bus object that
// serves a server instance (DdemlServer.cpp) and the client calls
// (DdemlClient.cpp).

#include "platform/Ddeml.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusServiceWatcher>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace nimbra::ddeml {

// One (service, topic) answer of WildConnect.
struct SDdePair {
    QString service;
    QString topic;
};

} // namespace nimbra::ddeml

Q_DECLARE_METATYPE(nimbra::ddeml::SDdePair)

namespace nimbra::ddeml {

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
extern std::recursive_mutex g_lock;
extern std::map<DWORD, SInstance> g_instances;
extern std::map<std::uintptr_t, SString> g_strings;
extern std::map<std::uintptr_t, std::pair<DWORD, QByteArray>> g_data;
extern std::map<std::uintptr_t, SConv> g_convs;

std::uintptr_t NewHandle();
std::uintptr_t Key(const void* handle);
SInstance* FindInstance(DWORD inst);
void SetError(DWORD inst, UINT error);
SConv* FindConv(std::uintptr_t number);
HCONV AddConv(SConv conv, std::string_view service);
std::optional<SConv> TakeConv(std::uintptr_t number);
// Registers the bus types of the server object, once.
void RegisterTypes();

} // namespace nimbra::ddeml
