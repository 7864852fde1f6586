// The local-socket messages between the programs: a connection's bytes,
// arriving in pieces, decode into messages without fault, and the same
// messages come out whatever the pieces.
#include "platform/Ipc.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <vector>

using namespace nimbra::ipc;

namespace {

struct SDecoded {
    std::vector<Message> messages;
    bool bad = false;
};

SDecoded Decode(const QByteArray& bytes, const std::vector<qsizetype>& pieces)
{
    SDecoded out;
    QByteArray buffer;
    qsizetype at = 0;
    for (size_t i = 0; at < bytes.size(); ++i) {
        const qsizetype piece = i < pieces.size() ? pieces[i] : bytes.size() - at;
        buffer.append(bytes.mid(at, piece));
        at += piece;
        for (;;) {
            const SDecodedRequest request = DecodeRequest(buffer);
            if (request.state == SDecodedRequest::Bad) {
                out.bad = true;
                return out;
            }
            if (request.state == SDecodedRequest::Incomplete)
                break;
            if (request.message.data.size() > kMaxMessageData)
                std::abort();
            CopyDataText(request.message);
            out.messages.push_back(request.message);
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    std::vector<qsizetype> pieces;
    for (int n = in.ConsumeIntegralInRange(0, 8); n > 0; --n)
        pieces.push_back(in.ConsumeIntegralInRange<qsizetype>(1, 64));
    const std::string rest = in.ConsumeRemainingBytesAsString();
    const QByteArray bytes(rest.data(), qsizetype(rest.size()));

    const SDecoded whole = Decode(bytes, {});
    const SDecoded split = Decode(bytes, pieces);
    if (whole.bad != split.bad || whole.messages.size() != split.messages.size())
        std::abort();
    for (size_t i = 0; i < whole.messages.size(); ++i) {
        const Message& a = whole.messages[i];
        const Message& b = split.messages[i];
        if (a.id != b.id || a.tag != b.tag || a.data != b.data)
            std::abort();
    }
    return 0;
}
