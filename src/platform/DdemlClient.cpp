#include "platform/DdemlState.h"

#include "platform/Text.h"

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QEventLoop>
#include <QTimer>

#include <chrono>

namespace nimbra::ddeml {

namespace {

// How long past a call's time limit its wait may go before it counts as
// timed out without a word from the bus.
constexpr int kReplyGraceMs = 1000;

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
    // Events keep flowing while waiting, so a server on this thread still
    // answers. The wait ends by the call's watcher, which also reports a
    // reply that came before it was made (a blocking call "with GUI" can
    // miss a reply that comes at that moment, and then waits for good),
    // and at the latest a little after the call's own time limit.
    QDBusPendingCall pending = QDBusConnection(connectionName).asyncCall(call, timeoutMs);
    if (!pending.isFinished()) {
        QEventLoop loop;
        QDBusPendingCallWatcher watcher(pending);
        QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
        // No limit given is the bus's own default of 25 s.
        const qint64 limit = timeoutMs > 0 ? timeoutMs : 25000;
        QTimer::singleShot(std::chrono::milliseconds(limit + kReplyGraceMs), &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    const QDBusMessage reply = pending.reply();
    if (pending.isFinished() && reply.type() == QDBusMessage::ReplyMessage)
        return reply.arguments();
    const QDBusError::ErrorType error = pending.isFinished() ? QDBusError(reply).type() : QDBusError::Timeout;
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
