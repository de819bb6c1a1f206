// SPDX-License-Identifier: MIT
// Dataset engine on a company-sized table: locate, mirror copy, packet decode
// (with the JSON parse alone beside it, so the decoder's own cost shows).
#include "contract/paramirpj.h"
#include "platform/dataset.h"
#include "wire/packet.h"

#include <QJsonDocument>

#include <benchmark/benchmark.h>

using namespace erp;

namespace {

constexpr int kRows = 10000;

DataPacket additions()
{
    DataPacket p{contract::paramApuLayout(), {}};
    const char* kinds[] = {"A", "E", "C"};
    for (int i = 0; i < kRows; ++i)
        p.rows.push_back({double(i + 1), QStringLiteral("01"), QStringLiteral("Adição número %1 — multa fiscal").arg(i),
                          QString::fromLatin1(kinds[i % 3]), QStringLiteral("I"), 0.5 + (i % 200) / 2.0});
    return p;
}

void BM_LocateThreeFieldsIgnoringCase(benchmark::State& state)
{
    DataSet ds(QStringLiteral("cdsAdicEspelho"));
    ds.setFieldDefs(contract::paramApuLayout());
    ds.loadPacket(additions());
    // The last row: a full scan, the worst case of a duplicate search.
    const QVariantList key{QStringLiteral("ADIÇÃO NÚMERO %1 — MULTA FISCAL").arg(kRows - 1), QStringLiteral("a"), QStringLiteral("i")};
    const QString fields = QStringLiteral("NMPARAMAPU;IDPARAMAPU;IDIMPOSTO");
    for (auto _ : state) {
        const bool found = ds.locate(fields, key);
        benchmark::DoNotOptimize(found);
    }
    if (ds.recNo() != kRows - 1)
        state.SkipWithError("locate missed the row");
}
BENCHMARK(BM_LocateThreeFieldsIgnoringCase)->Unit(benchmark::kMicrosecond);

void BM_CopyIntoMirror(benchmark::State& state)
{
    DataSet ds(QStringLiteral("cdsAdicIRPJ"));
    ds.setFieldDefs(contract::paramApuLayout());
    ds.loadPacket(additions());
    DataSet mirror(QStringLiteral("cdsAdicEspelho"));
    mirror.setFieldDefs(contract::paramApuLayout());
    for (auto _ : state)
        mirror.copyFrom(ds);
    // A check rather than a counter: the CSV report wants the same columns on every row.
    if (mirror.recordCount() != kRows)
        state.SkipWithError("the mirror missed rows");
}
BENCHMARK(BM_CopyIntoMirror)->Unit(benchmark::kMicrosecond);

void BM_CopyIntoReorderedMirror(benchmark::State& state)
{
    DataPacket p{contract::recDespLayout(), {}};
    for (int i = 0; i < kRows; ++i)
        p.rows.push_back({double(i), QStringLiteral("01"), QStringLiteral("Item %1").arg(i), QStringLiteral("R"), QStringLiteral("S"), 3.0,
                          8.0, 12.0, QStringLiteral("S")});
    DataSet ds(QStringLiteral("cdsRecDesp"));
    ds.setFieldDefs(contract::recDespLayout());
    ds.loadPacket(p);
    FieldDefs reordered = contract::recDespLayout();
    reordered.move(reordered.size() - 1, 0);
    DataSet mirror(QStringLiteral("cdsRecDespEspelho"));
    mirror.setFieldDefs(reordered);
    for (auto _ : state)
        mirror.copyFrom(ds);
}
BENCHMARK(BM_CopyIntoReorderedMirror)->Unit(benchmark::kMicrosecond);

const QByteArray& packetJson()
{
    static const QByteArray json = packet::encode(additions());
    return json;
}

void BM_ParseJsonAlone(benchmark::State& state)
{
    for (auto _ : state) {
        const QJsonDocument doc = QJsonDocument::fromJson(packetJson());
        benchmark::DoNotOptimize(doc.object().size());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * packetJson().size());
}
BENCHMARK(BM_ParseJsonAlone)->Unit(benchmark::kMillisecond);

void BM_DecodeDataPacket(benchmark::State& state)
{
    const FieldDefs layout = contract::paramApuLayout();
    for (auto _ : state) {
        const DataPacket p = packet::decodeData(packetJson(), &layout);
        benchmark::DoNotOptimize(p.rows.size());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * packetJson().size());
}
BENCHMARK(BM_DecodeDataPacket)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
