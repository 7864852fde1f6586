#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Ddeml.h"

// A DDE server over the DDEML stand-in: the server owns the instance, a list
// of topics (each with its items), the open conversations and the "System"
// topic. Names compare without regard to ASCII case.
namespace nimbra {

using ddeml::DWORD;
using ddeml::HCONV;
using ddeml::HDDEDATA;
using ddeml::HSZ;
using ddeml::UINT;
using ddeml::ULONG_PTR;

class CDDEConv;
class CDDEItem;
class CDDEServer;
class CDDETopic;

using CDDEItemList = std::vector<CDDEItem*>;   // not owned
using CDDETopicList = std::vector<CDDETopic*>; // not owned
using CDDEConvList = std::vector<CDDEConv*>;   // one reference each

class CDDECountedObject {
public:
    CDDECountedObject() = default;
    CDDECountedObject(const CDDECountedObject&) = delete;
    CDDECountedObject& operator=(const CDDECountedObject&) = delete;
    virtual ~CDDECountedObject() = default;

    void AddRef() { ++m_refs; }
    // Deletes the object when the count reaches zero.
    void Release();

private:
    std::int32_t m_refs = 0;
};

// A string handle and the instance it belongs to.
class CHSZ {
public:
    CHSZ() = default;
    CHSZ(DWORD inst, std::string_view text);
    ~CHSZ();
    CHSZ(CHSZ&& other) noexcept;
    CHSZ& operator=(CHSZ&& other) noexcept;
    CHSZ(const CHSZ&) = delete;
    CHSZ& operator=(const CHSZ&) = delete;

    // Frees the old handle first.
    void Assign(DWORD inst, std::string_view text);
    void Reset();
    HSZ Get() const { return m_hsz; }
    operator HSZ() const { return m_hsz; }

private:
    DWORD m_inst = 0;
    HSZ m_hsz = nullptr;
};

class CDDEItem {
public:
    explicit CDDEItem(std::string name = {}) : m_name(std::move(name)) {}
    CDDEItem(const CDDEItem&) = delete;
    CDDEItem& operator=(const CDDEItem&) = delete;
    virtual ~CDDEItem() = default;

    virtual bool Request(UINT format, const void*& data, DWORD& size);
    virtual bool Poke(UINT format, const void* data, DWORD size);
    virtual bool IsSupportedFormat(UINT format);
    // Zero-terminated list of clipboard formats, or nullptr.
    virtual const std::uint16_t* FormatList();
    virtual bool CanAdvise(UINT format);

    // Tells the clients with an advise link that this item changed.
    void PostAdvise();

    const std::string& Name() const { return m_name; }
    void SetName(std::string name) { m_name = std::move(name); }
    CDDETopic* Topic() const { return m_topic; }
    void SetTopic(CDDETopic* topic) { m_topic = topic; }

private:
    std::string m_name;
    CDDETopic* m_topic = nullptr;
};

class CDDEStringItem : public CDDEItem {
public:
    using CDDEItem::CDDEItem;

    // The value with its terminating zero.
    bool Request(UINT format, const void*& data, DWORD& size) override;
    // Takes the text before the first zero (or all the data), then calls OnValueChanged.
    bool Poke(UINT format, const void* data, DWORD size) override;
    const std::uint16_t* FormatList() override;

    virtual void OnValueChanged();
    // Sets the value and posts an advise.
    virtual void SetValue(std::string value);
    virtual const std::string& GetValue() const;

private:
    std::string m_value;
};

// Items of the "System" topic; each answers with names separated by tabs.
class CDDESystemItem : public CDDEItem {
public:
    using CDDEItem::CDDEItem;
    const std::uint16_t* FormatList() override;

protected:
    bool Answer(std::string text, const void*& data, DWORD& size);

private:
    std::string m_text; // the last answer, alive while the item is
};

// The server's topics, in its order.
class CDDESystemItem_TopicList : public CDDESystemItem {
public:
    using CDDESystemItem::CDDESystemItem;
    bool Request(UINT format, const void*& data, DWORD& size) override;
};

// The items of the item's topic.
class CDDESystemItem_ItemList : public CDDESystemItem {
public:
    using CDDESystemItem::CDDESystemItem;
    bool Request(UINT format, const void*& data, DWORD& size) override;
};

// The distinct formats of the topic's items, in order of first appearance.
class CDDESystemItem_FormatList : public CDDESystemItem {
public:
    using CDDESystemItem::CDDESystemItem;
    bool Request(UINT format, const void*& data, DWORD& size) override;
};

class CDDETopic {
public:
    explicit CDDETopic(std::string name = {}) : m_name(std::move(name)) {}
    CDDETopic(const CDDETopic&) = delete;
    CDDETopic& operator=(const CDDETopic&) = delete;
    virtual ~CDDETopic() = default;

    // Answers with the item of that name when it supports the format.
    virtual bool Request(UINT format, const std::string& item, const void*& data, DWORD& size);
    virtual bool Poke(UINT format, const std::string& item, const void* data, DWORD size);
    virtual bool Execute(const void* data, DWORD size);
    virtual CDDEItem* FindItem(const std::string& name);
    virtual bool CanAdvise(UINT format, const std::string& item);

    // Appends the item (once) and makes this its topic.
    bool AddItem(CDDEItem* item);
    void PostAdvise(CDDEItem* item);

    const std::string& Name() const { return m_name; }
    void SetName(std::string name) { m_name = std::move(name); }
    CDDEServer* Server() const { return m_server; }
    void SetServer(CDDEServer* server) { m_server = server; }
    const CDDEItemList& Items() const { return m_items; }

private:
    std::string m_name;
    CDDEServer* m_server = nullptr;
    CDDEItemList m_items;
};

class CDDEServerSystemTopic : public CDDETopic {
public:
    using CDDETopic::CDDETopic;
    bool Request(UINT format, const std::string& item, const void*& data, DWORD& size) override;
};

class CDDEConv : public CDDECountedObject {
public:
    static constexpr DWORD kTimeoutMs = 5000;

    // A conversation the server accepted; keeps the topic handle.
    CDDEConv(CDDEServer* server, HCONV conv, HSZ topic);
    // A conversation this program opens as a client of another server.
    explicit CDDEConv(DWORD inst);
    ~CDDEConv() override; // terminates

    // Disconnects, leaves the server's list and clears the handle.
    void Terminate();
    virtual bool AdviseData(UINT format, const std::string& topic, const std::string& item, const void* data,
                            DWORD size);

    // Client side.
    bool Connect(const std::string& service, const std::string& topic);
    bool Request(const std::string& item, UINT format, std::string& data);
    bool AdviseStart(const std::string& item, UINT format);
    bool Execute(std::string_view data);
    bool Poke(const std::string& item, UINT format, std::string_view data);

    HCONV Handle() const { return m_conv; }
    HSZ TopicHandle() const { return m_topic; }

private:
    CDDEServer* m_server = nullptr;
    DWORD m_inst = 0;
    HCONV m_conv = nullptr;
    HSZ m_topic = nullptr;
};

class CDDEServer {
public:
    CDDEServer();
    CDDEServer(const CDDEServer&) = delete;
    CDDEServer& operator=(const CDDEServer&) = delete;
    virtual ~CDDEServer(); // shuts down

    // False when the process already has a server or the library cannot start.
    bool Create(const std::string& service, DWORD commandFlags = 0, DWORD* inst = nullptr);

    virtual bool OnCreate();
    virtual UINT LastError();
    // Every transaction the dispatcher does not handle.
    virtual HDDEDATA CustomCallback(UINT type, UINT format, HCONV conv, HSZ hsz1, HSZ hsz2, HDDEDATA data,
                                    ULONG_PTR data1, ULONG_PTR data2);
    virtual bool Request(UINT format, const std::string& topic, const std::string& item, const void*& data,
                         DWORD& size);
    virtual bool Poke(UINT format, const std::string& topic, const std::string& item, const void* data, DWORD size);
    virtual bool AdviseData(UINT format, HCONV conv, const std::string& topic, const std::string& item,
                            const void* data, DWORD size);
    virtual bool Execute(const std::string& topic, const void* data, DWORD size);
    // Diagnostic reports; the base writes them to the "nimbra.dde" debug log.
    virtual void Status(const std::string& text);
    // Appends the topic (once), makes this its server and gives it the
    // "TopicItemList" and "Formats" items.
    virtual bool AddTopic(CDDETopic* topic);
    virtual bool CanAdvise(UINT format, const std::string& topic, const std::string& item);

    CDDETopic* FindTopic(const std::string& name);
    // Formats a report and hands it to Status.
    void Report(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // One transaction, as the library's callback delivers it.
    HDDEDATA Dispatch(UINT type, UINT format, HCONV conv, HSZ hsz1, HSZ hsz2, HDDEDATA data, ULONG_PTR data1,
                      ULONG_PTR data2);

    DWORD Instance() const { return m_inst; }
    const std::string& Service() const { return m_service; }
    bool IsInitialised() const { return m_initialised; }
    const CDDETopicList& Topics() const { return m_topics; }
    const CDDEConvList& Conversations() const { return m_convs; }

private:
    friend class CDDEConv;
    static HDDEDATA Callback(UINT type, UINT format, HCONV conv, HSZ hsz1, HSZ hsz2, HDDEDATA data,
                             ULONG_PTR data1, ULONG_PTR data2);
    std::string NameOf(HSZ hsz) const;
    CDDEConv* FindConv(HCONV conv) const;
    void RemoveConv(CDDEConv* conv);
    HDDEDATA WildConnect(HSZ topic, HSZ service, const std::string& topicName, const std::string& serviceName);

    DWORD m_inst = 0;
    CDDETopicList m_topics;
    std::string m_service;
    CHSZ m_hszService;
    CDDEConvList m_convs;
    CDDEServerSystemTopic m_systemTopic;
    CDDESystemItem_TopicList m_topicsItem;
    CDDESystemItem_ItemList m_sysItemsItem;
    CDDESystemItem_ItemList m_topicItemListItem;
    CDDESystemItem_FormatList m_formatsItem;
    std::vector<CHSZ> m_wildNames; // topic names of the last wild connect
    bool m_initialised = false;
};

} // namespace nimbra
