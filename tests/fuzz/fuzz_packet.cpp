// SPDX-License-Identifier: MIT
// The packet codec on arbitrary bytes: the text decoder and the tree
// decoders, data and change packets, with and without a layout. Decoding
// either succeeds or throws PacketError; what decodes encodes back to a
// packet that decodes to the same content.
#include "contract/paramirpj.h"
#include "wire/errors.h"
#include "wire/packet.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <cstdlib>

using namespace erp;

namespace {

// Runs one decoder; PacketError is the only failure it may report.
template <typename F>
void refusedOrDone(F&& decode)
{
    try {
        decode();
    } catch (const PacketError&) {
    }
}

[[noreturn]] void fault(const char* what)
{
    std::fprintf(stderr, "fuzz_packet: %s\n", what);
    std::abort();
}

void sameData(const DataPacket& a, const DataPacket& b)
{
    if (a.fields != b.fields || a.rows != b.rows)
        fault("a data packet does not survive encode and decode");
}

void sameChanges(const ChangePacket& a, const ChangePacket& b)
{
    if (a.fields != b.fields || a.changes.size() != b.changes.size())
        fault("a change packet does not survive encode and decode");
    for (std::size_t i = 0; i < a.changes.size(); ++i) {
        const Change &x = a.changes[i], &y = b.changes[i];
        if (x.status != y.status || x.oldValues != y.oldValues || x.newValues != y.newValues)
            fault("a change does not survive encode and decode");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const FieldDefs layouts[] = {contract::paramApuLayout(), contract::infCtbLayout(), contract::recDespLayout(), contract::itensDRELayout(),
                                        contract::aliquotasLayout()};
    const QByteArrayView text(reinterpret_cast<const char*>(data), qsizetype(size));

    refusedOrDone([&] {
        const DataPacket p = packet::decodeData(text);
        sameData(p, packet::decodeData(packet::encode(p)));
    });
    refusedOrDone([&] {
        const ChangePacket p = packet::decodeChanges(text);
        sameChanges(p, packet::decodeChanges(packet::encode(p)));
    });
    for (const FieldDefs& layout : layouts) {
        refusedOrDone([&] { packet::decodeData(text, &layout); });
        refusedOrDone([&] { packet::decodeChanges(text, &layout); });
    }

    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromRawData(text.data(), text.size()));
    if (!doc.isObject())
        return 0;
    const QJsonObject tree = doc.object();
    refusedOrDone([&] {
        const DataPacket p = packet::decodeData(tree);
        sameData(p, packet::decodeData(packet::toJson(p)));
    });
    refusedOrDone([&] { packet::decodeChanges(tree); });
    for (const FieldDefs& layout : layouts) {
        refusedOrDone([&] { packet::decodeData(tree, &layout); });
        refusedOrDone([&] { packet::decodeChanges(tree, &layout); });
    }
    return 0;
}
