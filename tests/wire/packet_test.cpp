// SPDX-License-Identifier: MIT
#include "wire/errors.h"
#include "wire/packet.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace erp;

namespace {

const FieldDefs kLayout{{"NRSEQ", FieldType::Float, 0}, {"NOME", FieldType::String, 10}, {"QTD", FieldType::Integer, 0}};

TEST(Packet, DataPacketRoundTripKeepsTypesNullsAndAccents)
{
    DataPacket p{kLayout, {{15.0, "Adição", qint64(3)}, {0.1 + 0.2, QVariant(), QVariant()}}};
    const QByteArray json = packet::encode(p);
    EXPECT_TRUE(json.contains("\"rows\":[[15,\"Adição\",3],[0.30000000000000004,null,null]]")) << json.toStdString();
    const DataPacket back = packet::decodeData(json, &kLayout);
    EXPECT_EQ(back.fields, kLayout);
    ASSERT_EQ(back.rows.size(), 2u);
    EXPECT_EQ(back.rows[0], p.rows[0]);
    EXPECT_EQ(back.rows[1][0].toDouble(), 0.1 + 0.2);
    EXPECT_FALSE(back.rows[1][1].isValid());
}

TEST(Packet, ChangePacketRoundTrip)
{
    ChangePacket c{kLayout,
                   {{ChangeStatus::Inserted, {}, {1.0, "a", qint64(1)}},
                    {ChangeStatus::Modified, {2.0, "b", qint64(2)}, {2.0, "B", qint64(2)}},
                    {ChangeStatus::Deleted, {3.0, "c", QVariant()}, {}}}};
    const ChangePacket back = packet::decodeChanges(packet::encode(c), &kLayout);
    ASSERT_EQ(back.changes.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(back.changes[i].status, c.changes[i].status);
        EXPECT_EQ(back.changes[i].oldValues, c.changes[i].oldValues);
        EXPECT_EQ(back.changes[i].newValues, c.changes[i].newValues);
    }
}

TEST(Packet, BadPacketsAreRefusedWithAClearMessage)
{
    const QByteArray fields = R"("fields":[{"name":"NRSEQ","type":"float"},{"name":"NOME","type":"string","size":10},{"name":"QTD","type":"integer"}])";
    struct Case {
        const char* what;
        QByteArray json;
        const char* message; // part of the Portuguese message
    };
    const Case data[] = {
        {"malformed", "{\"fields\":[", "JSON malformado"},
        {"not an object", "[1,2]", "objeto JSON"},
        {"no rows", "{" + fields + "}", "rows"},
        {"wrong width", "{" + fields + R"(,"rows":[[1,"a"]]})", "2 valores para 3 campos"},
        {"text in a number", "{" + fields + R"(,"rows":[["1","a",1]]})", "esperava um número"},
        {"number in a text", "{" + fields + R"(,"rows":[[1,5,1]]})", "esperava um texto"},
        {"fraction in an integer", "{" + fields + R"(,"rows":[[1,"a",1.5]]})", "número inteiro"},
        {"unknown field", R"({"fields":[{"name":"XPTO","type":"float"}],"rows":[]})", "XPTO não é conhecido"},
        {"wrong type", R"({"fields":[{"name":"NOME","type":"float"}],"rows":[]})", "deveria ser string"},
        {"unknown type", R"({"fields":[{"name":"NOME","type":"blob"}],"rows":[]})", "tipo desconhecido"},
        {"text too long", "{" + fields + R"(,"rows":[[1,"abcdefghijk",1]]})", "11 caracteres e o máximo é 10"},
        {"outside Windows-1252", "{" + fields + R"(,"rows":[[1,"\u2713",1]]})", "Windows-1252"},
        {"duplicate field", R"({"fields":[{"name":"NOME","type":"string"},{"name":"nome","type":"string"}],"rows":[]})", "duas vezes"},
        {"extra value", "{" + fields + R"(,"rows":[[1,"a",1,2]]})", "4 valores para 3 campos"},
        {"row not a list", "{" + fields + R"(,"rows":[{"a":1}]})", "não é uma lista"},
        {"trailing text", "{" + fields + R"(,"rows":[]} x)", "JSON malformado"},
        {"leading zero", "{" + fields + R"(,"rows":[[01,"a",1]]})", "JSON malformado"},
        {"invalid UTF-8", "{" + fields + ",\"rows\":[[1,\"\xff\",1]]}", "JSON malformado"},
        {"escaped character outside Windows-1252", "{" + fields + R"(,"rows":[[1,"\u0100",1]]})", "Windows-1252"},
    };
    // The text decoder and the tree decoder (the server's, for packets inside
    // a request) must refuse the same packets with the same words.
    for (const Case& c : data) {
        try {
            packet::decodeData(c.json, &kLayout);
            ADD_FAILURE() << c.what << ": accepted";
        } catch (const PacketError& e) {
            EXPECT_TRUE(e.message().contains(QString::fromUtf8(c.message))) << c.what << ": " << e.message().toStdString();
        }
        const QJsonDocument doc = QJsonDocument::fromJson(c.json);
        if (!doc.isObject())
            continue;
        try {
            packet::decodeData(doc.object(), &kLayout);
            ADD_FAILURE() << c.what << ": accepted as a tree";
        } catch (const PacketError& e) {
            EXPECT_TRUE(e.message().contains(QString::fromUtf8(c.message))) << c.what << " (tree): " << e.message().toStdString();
        }
    }
}

TEST(Packet, TextDecoderReadsEscapesAndRowsBeforeFields)
{
    const QByteArray json = R"({"rows":[[2.5e1,"A\"\u00e7\n\/",-3]],"extra":{"x":[1,{}]},)"
                            R"("fields":[{"name":"NRSEQ","type":"float"},{"name":"NOME","type":"string","size":10},{"name":"QTD","type":"integer"}]})";
    const DataPacket p = packet::decodeData(json, &kLayout);
    ASSERT_EQ(p.rows.size(), 1u);
    EXPECT_EQ(p.rows[0][0].toDouble(), 25.0);
    EXPECT_EQ(p.rows[0][1].toString(), QString::fromUtf8("A\"ç\n/"));
    EXPECT_EQ(p.rows[0][2].toLongLong(), -3);
}

TEST(Packet, BadChangesAreRefused)
{
    const QByteArray fields = R"({"fields":[{"name":"NOME","type":"string","size":10}],"changes":)";
    const std::pair<QByteArray, const char*> data[] = {
        {fields + R"([{"status":"updated","new":["a"]}]})", "situação desconhecida 'updated'"},
        {fields + R"([{"status":"modified","new":["a"]}]})", "exatamente os valores"},
        {fields + R"([{"status":"inserted","old":["a"],"new":["a"]}]})", "exatamente os valores"},
        {fields + R"([{"status":"deleted","old":[1]}]})", "esperava um texto"},
        {fields + R"(7})", "changes"},
    };
    for (const auto& [json, message] : data) {
        try {
            packet::decodeChanges(json, &kLayout);
            ADD_FAILURE() << json.toStdString() << ": accepted";
        } catch (const PacketError& e) {
            EXPECT_TRUE(e.message().contains(QString::fromUtf8(message))) << e.message().toStdString();
        }
    }
}

} // namespace
