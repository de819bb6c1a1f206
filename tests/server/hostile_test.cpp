// SPDX-License-Identifier: MIT
// Hostile requests through the real server program: each is refused with its
// JSON-RPC error (or HTTP status) and writes nothing; texts that look like
// SQL are stored as they came.
#include "rpcclient.h"
#include "support/rawhttp.h"
#include "support/engines.h"
#include "support/packets.h"
#include "support/snapshot.h"

#include "contract/paramirpj.h"
#include "wire/packet.h"
#include "schema.h"
#include "storage.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <memory>

using namespace erp;
using namespace erp::testing;
namespace m = erp::contract::method;

namespace {

// Requests are written as raw text, so they can say what no JSON library
// would write: repeated members, odd escapes, invalid bytes.
using Row = std::vector<std::string>; // raw JSON values

std::string json(const QJsonValue& v)
{
    const QByteArray b = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
    return b.mid(1, b.size() - 2).toStdString();
}

std::string num(double d)
{
    return json(d);
}

std::string str(const char* utf8)
{
    return json(QString::fromUtf8(utf8));
}

Row rowOf(const QJsonArray& a)
{
    Row r;
    for (const QJsonValue v : a)
        r.push_back(json(v));
    return r;
}

std::string list(const Row& r)
{
    std::string out = "[";
    for (std::size_t i = 0; i < r.size(); ++i)
        out += (i ? "," : "") + r[i];
    return out + "]";
}

std::string fieldsOf(const FieldDefs& layout)
{
    ChangePacket p;
    p.fields = layout;
    return json(packet::toJson(p).value("fields"));
}

std::string ins(const Row& n)
{
    return R"({"status":"inserted","new":)" + list(n) + "}";
}
std::string mod(const Row& o, const Row& n)
{
    return R"({"status":"modified","old":)" + list(o) + R"(,"new":)" + list(n) + "}";
}
std::string del(const Row& o)
{
    return R"({"status":"deleted","old":)" + list(o) + "}";
}

std::string packetOf(const std::string& fields, const std::vector<std::string>& changes)
{
    std::string out = R"({"fields":)" + fields + R"(,"changes":[)";
    for (std::size_t i = 0; i < changes.size(); ++i)
        out += (i ? "," : "") + changes[i];
    return out + "]}";
}

std::string request(const char* method, const std::string& params)
{
    return R"({"jsonrpc":"2.0","id":1,"method":")" + std::string(method) + R"(","params":)" + params + "}";
}

// One raw HTTP exchange; answers the status of the response (-1 when none).
// The server may answer and close before the whole request is sent.
int rawHttpStatus(int port, const std::string& text)
{
    return rawExchange(port, text).status;
}

// The layouts of the packets, addressed by field name.
const Layout adicL(contract::paramApuLayout()), rdL(contract::recDespLayout()), infL(contract::infCtbLayout());

class HostileTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override
    {
        if (const std::string missing = engineMissing(GetParam()); !missing.empty())
            GTEST_SKIP() << missing;
        db_ = std::make_unique<TestDatabase>(GetParam(), "h");
        url_ = db_->url;
        server_ = std::make_unique<ServerProcess>(ERP_SERVER_BINARY, std::vector<std::string>{"--db", url_, "--listen", "127.0.0.1:0", "--demo"});
        client_ = std::make_unique<RpcClient>(server_->host(), server_->port());
    }

    QJsonValue ok(const QString& method, const QJsonArray& params = {})
    {
        const QJsonObject r = client_->call(method, params);
        EXPECT_TRUE(r.contains("result")) << method.toStdString() << ": " << QJsonDocument(r).toJson().toStdString();
        return r.value("result");
    }
    std::string nextParamSeq() { return num(ok(m::prxSeqParamIRPJ).toDouble()); }
    Row firstRow(const char* method, const QJsonArray& params) { return rowOf(ok(method, params).toObject().value("rows").toArray().at(0).toArray()); }

    std::unique_ptr<TestDatabase> db_;
    std::string url_;
    std::unique_ptr<ServerProcess> server_;
    std::unique_ptr<RpcClient> client_;
};

TEST_P(HostileTest, HostileRequestsAreRefusedAndWriteNothing)
{
    const std::string adicF = fieldsOf(contract::paramApuLayout()), rdF = fieldsOf(contract::recDespLayout()), infF = fieldsOf(contract::infCtbLayout());
    const Row adic0 = firstRow(m::GetParamIRPJ, {"01"});
    const Row item0 = firstRow(m::getRecDesp, {"01"});
    const std::string seq = nextParamSeq(), infSeq = num(ok(m::prxInfCtbIRPJ).toDouble());
    const Row newAdic{seq, str("01"), str("Nova adição"), str("A"), str("I"), "50"};
    const Row newItem{seq, str("01"), str("Novo item"), str("R"), str("S"), "2", "8", "12", str("S")};
    const Row newInf{str("C"), adic0[adicL[f::NRSEQPARAMAPU]], infSeq, str("C"), str("111010001"), str("111010001"), "null"};
    const std::string goodAdic = packetOf(adicF, {ins(newAdic)});
    const std::string goodAdicRequest = request(m::SetParamIRPJ, "[" + goodAdic + "]");
    auto adicIns = [&](const char* field, const std::string& raw) { return request(m::SetParamIRPJ, "[" + packetOf(adicF, {ins(adicL.with(newAdic, field, raw))}) + "]"); };
    auto itemIns = [&](const char* field, const std::string& raw) { return request(m::setRecDesp, "[" + packetOf(rdF, {ins(rdL.with(newItem, field, raw))}) + "]"); };
    auto infIns = [&](const char* field, const std::string& raw) { return request(m::SetInfCtbIRPJ, "[" + packetOf(infF, {ins(infL.with(newInf, field, raw))}) + "]"); };
    auto adicSave = [&](const std::vector<std::string>& changes) { return request(m::SetParamIRPJ, "[" + packetOf(adicF, changes) + "]"); };
    auto itemSave = [&](const std::vector<std::string>& changes) { return request(m::setRecDesp, "[" + packetOf(rdF, changes) + "]"); };
    auto deep = [](int levels) { return std::string(std::size_t(levels), '[') + "1" + std::string(std::size_t(levels), ']'); };

    // A packet of many good inserts with one bad change somewhere in it.
    std::vector<std::string> many;
    for (int i = 0; i < 300; ++i)
        many.push_back(ins({nextParamSeq(), str("02"), json(QStringLiteral("Adição em lote %1").arg(i)), str("A"), str("I"), "10"}));
    auto manyWith = [&](std::size_t at, const std::string& bad) {
        std::vector<std::string> changes = many;
        changes.insert(changes.begin() + std::ptrdiff_t(at), bad);
        return adicSave(changes);
    };

    struct Case {
        const char* what;
        std::string body;
        int code;
    };
    const std::vector<Case> cases{
        // Repeated members: the parser would keep the last one silently.
        {"method named twice", R"({"jsonrpc":"2.0","id":1,"method":"getItensDRE","method":"SetParamIRPJ","params":[)" + goodAdic + "]}", code::InvalidRequest},
        {"params given twice", R"({"jsonrpc":"2.0","id":1,"method":"SetParamIRPJ","params":[],"params":[)" + goodAdic + "]}", code::InvalidRequest},
        {"member repeated through an escape", R"({"jsonrpc":"2.0","id":1,"method":"x","m\u0065thod":"SetParamIRPJ","params":[)" + goodAdic + "]}", code::InvalidRequest},
        {"packet fields given twice", request(m::SetParamIRPJ, R"([{"fields":)" + adicF + R"(,"fields":)" + adicF + R"(,"changes":[)" + ins(newAdic) + "]}]"),
         code::InvalidRequest},
        {"change values given twice", request(m::SetParamIRPJ, "[" + packetOf(adicF, {R"({"status":"inserted","new":)" + list(adicL.with(newAdic, f::VRPORCENTAGEM, "0")) +
                                                                                       R"(,"new":)" + list(newAdic) + "}"}) + "]"),
         code::InvalidRequest},
        {"change status given twice", request(m::SetParamIRPJ, "[" + packetOf(adicF, {R"({"status":"deleted","status":"inserted","new":)" + list(newAdic) + "}"}) + "]"),
         code::InvalidRequest},

        // Nesting and malformed bodies.
        {"nesting 200000 levels deep", request(m::getItensDRE, std::string(200000, '[') + std::string(200000, ']')), code::InvalidRequest},
        {"nesting over the limit inside a packet", adicIns(f::NMPARAMAPU, deep(30)), code::InvalidRequest},
        {"nested lists as a packet value", adicIns(f::NMPARAMAPU, deep(20)), code::InvalidParams},
        {"invalid UTF-8 in a text", adicIns(f::NMPARAMAPU, "\"Multa \xff\xfe\""), code::ParseError},
        {"body starting with a UTF-8 byte-order mark", "\xEF\xBB\xBF" + goodAdicRequest, code::ParseError},
        {"body in UTF-16", std::string("{\0\"\0}\0", 6), code::ParseError},
        {"percentage ending in a point", adicIns(f::VRPORCENTAGEM, "50."), code::ParseError},
        {"percentage starting with a point", adicIns(f::VRPORCENTAGEM, ".5e2"), code::ParseError},
        {"raw tab in a name", adicIns(f::NMPARAMAPU, "\"Multa\tde mora\""), code::ParseError},
        {"raw newline in a name", adicIns(f::NMPARAMAPU, "\"Multa\nde mora\""), code::ParseError},
        {"escape \\x in a name", adicIns(f::NMPARAMAPU, R"("Multa \x41")"), code::ParseError},
        {"UTF-8 encoding of a surrogate", adicIns(f::NMPARAMAPU, "\"Multa \xed\xa0\x80\""), code::ParseError},
        {"bytes after the request", request(m::getItensDRE, "[]") + std::string("\0{}", 3), code::ParseError},
        {"a text as the whole body", "\"SetParamIRPJ\"", code::InvalidRequest},
        {"null as the whole body", "null", code::InvalidRequest},
        {"number beyond the double range", request(m::getInfCtbIRPJ, "[1e400]"), code::ParseError},

        // Wrong types in params.
        {"company null", request(m::GetParamIRPJ, "[null]"), code::InvalidParams},
        {"company a boolean", request(m::GetParamCSLL, "[true]"), code::InvalidParams},
        {"company inside a list", request(m::getRecDesp, R"([["01"]])"), code::InvalidParams},
        {"company an object", request(m::GetParamIRPJ, R"([{"CDEMPRESA":"01"}])"), code::InvalidParams},
        {"two companies", request(m::GetParamIRPJ, R"(["01","02"])"), code::InvalidParams},
        {"params a text", request(m::GetParamIRPJ, R"("01")"), code::InvalidParams},
        {"parent number null", request(m::getInfCtbIRPJ, "[null]"), code::InvalidParams},
        {"delete accounting information given a boolean", request(m::setDeleteInfCtb, "[true]"), code::InvalidParams},
        {"delete accounting information given a list", request(m::setDeleteInfCtb, "[[" + adic0[adicL[f::NRSEQPARAMAPU]] + "]]"), code::InvalidParams},
        {"sequence given an argument", request(m::prxSeqParamIRPJ, R"(["x"])"), code::InvalidParams},
        {"two packets", request(m::SetParamIRPJ, "[" + goodAdic + "," + goodAdic + "]"), code::InvalidParams},
        {"packet inside a list", request(m::SetParamIRPJ, "[[" + goodAdic + "]]"), code::InvalidParams},
        {"packet null", request(m::SetParamIRPJ, "[null]"), code::InvalidParams},

        // Wrong types in packet values and a packet that does not fit its layout.
        {"company a number", adicIns(f::CDEMPRESA, "1"), code::InvalidParams},
        {"percentage a text", adicIns(f::VRPORCENTAGEM, str("50")), code::InvalidParams},
        {"percentage a boolean", adicIns(f::VRPORCENTAGEM, "true"), code::InvalidParams},
        {"name an object", adicIns(f::NMPARAMAPU, R"({"a":1})"), code::InvalidParams},
        {"sequence a boolean", adicIns(f::NRSEQPARAMAPU, "false"), code::InvalidParams},
        {"parent number a text", infIns(f::NRSEQPARAMAPU, str("15")), code::InvalidParams},
        {"rate entry a text", itemIns(f::NRSEQALIQIRPJ, str("7")), code::InvalidParams},
        {"row with a value too many", adicSave({R"({"status":"inserted","new":)" + list(newAdic).insert(1, "1,") + "}"}), code::InvalidParams},
        {"row with a value missing", adicSave({R"({"status":"inserted","new":)" + list(Row(newAdic.begin(), newAdic.end() - 1)) + "}"}), code::InvalidParams},
        {"row an object", adicSave({R"({"status":"inserted","new":{"NRSEQPARAMAPU":)" + seq + "}}"}), code::InvalidParams},
        {"field of another type", request(m::SetParamIRPJ, "[" + packetOf(QString::fromStdString(adicF).replace(R"("VRPORCENTAGEM","type":"float")", R"("VRPORCENTAGEM","type":"string","size":5)").toStdString(), {ins(adicL.with(newAdic, f::VRPORCENTAGEM, str("50")))}) + "]"), code::InvalidParams},
        {"field unknown to the layout", request(m::SetParamIRPJ, "[" + packetOf(QString::fromStdString(adicF).replace("NMPARAMAPU", "NMPARAMAPU2").toStdString(), {ins(newAdic)}) + "]"), code::InvalidParams},
        {"field named twice in other case", request(m::SetParamIRPJ, "[" + packetOf(QString::fromStdString(adicF).replace(R"("name":"IDPARAMAPU")", R"("name":"nmparamapu")").toStdString(), {ins(newAdic)}) + "]"), code::InvalidParams},
        {"unknown change status", adicSave({R"({"status":"upserted","new":)" + list(newAdic) + "}"}), code::InvalidParams},
        {"insert carrying old values", adicSave({R"({"status":"inserted","old":)" + list(newAdic) + R"(,"new":)" + list(newAdic) + "}"}), code::InvalidParams},
        {"changes not a list", request(m::SetParamIRPJ, R"([{"fields":)" + adicF + R"(,"changes":{}}])"), code::InvalidParams},
        {"field list missing", request(m::SetParamIRPJ, R"([{"changes":[)" + ins(newAdic) + "]}]"), code::InvalidParams},

        // Texts outside Windows-1252, and the NUL that PostgreSQL would cut a text at.
        {"name with an emoji", adicIns(f::NMPARAMAPU, R"("Multa \ud83d\ude00")"), code::InvalidParams},
        {"name with a lone surrogate", adicIns(f::NMPARAMAPU, R"("Multa \ud800")"), code::InvalidParams},
        {"name with a letter outside the set", adicIns(f::NMPARAMAPU, str("Multa \u0100")), code::InvalidParams},
        {"company outside the set", adicIns(f::CDEMPRESA, str("\u4e2d1")), code::InvalidParams},
        {"key outside the set", infIns(f::CHAVE, str("\u2028")), code::InvalidParams},
        {"name with a NUL", adicIns(f::NMPARAMAPU, R"("Multa\u0000 escondida")"), code::InvalidParams},
        {"company read with a NUL", request(m::GetParamIRPJ, R"(["01\u0000"])"), code::InvalidParams},
        {"company that looks like SQL is longer than its field", adicIns(f::CDEMPRESA, str("'; DROP TABLE EMPRESA; --")), code::InvalidParams},

        // Forged company codes.
        {"company that does not exist", adicIns(f::CDEMPRESA, str("'1")), code::MissingReference},
        {"company of one digit", adicIns(f::CDEMPRESA, str("1")), code::MissingReference},
        {"company with a blank", itemIns(f::CDEMPRESA, str(" 1")), code::MissingReference},
        {"company in the set but unknown", itemIns(f::CDEMPRESA, str("\u20ac1")), code::MissingReference},
        {"modify moves a net-profit item to another company", itemSave({mod(item0, rdL.with(item0, f::CDEMPRESA, str("02")))}), code::Validation},
        {"modify empties the company", adicSave({mod(adic0, adicL.with(adic0, f::CDEMPRESA, "null"))}), code::Validation},
        {"modify with the company empty on both sides", adicSave({mod(adicL.with(adic0, f::CDEMPRESA, "null"), adicL.with(adic0, f::CDEMPRESA, "null"))}), code::Validation},
        {"delete claims another company", adicSave({del(adicL.with(adic0, f::CDEMPRESA, str("02")))}), code::Conflict},
        {"delete of a net-profit item without its company", itemSave({del(rdL.with(item0, f::CDEMPRESA, "null"))}), code::Conflict},

        // Numbers out of range, negative and fractional sequence numbers.
        {"sequence 2^31", adicIns(f::NRSEQPARAMAPU, "2147483648"), code::Validation},
        {"sequence below -2^31", adicIns(f::NRSEQPARAMAPU, "-2147483649"), code::Validation},
        {"sequence 1e300", adicIns(f::NRSEQPARAMAPU, "1e300"), code::Validation},
        {"sequence above 2^53", adicIns(f::NRSEQPARAMAPU, "9007199254740993"), code::Validation},
        {"sequence zero", itemIns(f::NRSEQRECDESPIRPJ, "0"), code::Validation},
        {"sequence negative zero", itemIns(f::NRSEQRECDESPIRPJ, "-0.0"), code::Validation},
        {"sequence fractional", itemIns(f::NRSEQRECDESPIRPJ, "1.5"), code::Validation},
        {"accounting sequence 2^32", infIns(f::NRSEQINFCTBIRPJ, "4294967296"), code::Validation},
        {"accounting sequence negative", infIns(f::NRSEQINFCTBIRPJ, "-1"), code::Validation},
        {"accounting sequence fractional", infIns(f::NRSEQINFCTBIRPJ, "2.5"), code::Validation},
        {"parent number 1e300", infIns(f::NRSEQPARAMAPU, "1e300"), code::MissingReference},
        {"parent number negative", infIns(f::NRSEQPARAMAPU, "-1"), code::MissingReference},
        {"parent number fractional", infIns(f::NRSEQPARAMAPU, adic0[adicL[f::NRSEQPARAMAPU]] + ".5"), code::MissingReference},
        {"percentage 1e308", adicIns(f::VRPORCENTAGEM, "1e308"), code::Validation},
        {"percentage just over 100", adicIns(f::VRPORCENTAGEM, "100.00000000000001"), code::Validation},
        {"rate entry 1e20", itemIns(f::NRSEQALIQIRPJ, "1e20"), code::MissingReference},
        {"rate entry fractional", itemIns(f::NRSEQALIQIRPJ, "7.5"), code::MissingReference},
        {"rate entry negative", itemIns(f::NRSEQALIQIRPJ, "-7"), code::MissingReference},
        {"IRPJ rate not the entry's", itemIns(f::VRALIQPRESIRPJ, "80"), code::Validation},
        {"CSLL rate not the entry's", itemIns(f::VRALIQPRESCSLL, "1e308"), code::Validation},
        {"rates left empty", itemIns(f::VRALIQPRESIRPJ, "null"), code::Validation},
        {"modify keeps the code but forges a rate", itemSave({mod(item0, rdL.with(item0, f::VRALIQPRESCSLL, "0.5"))}), code::Validation},
        {"modify moves the sequence by 2^32", adicSave({mod(adic0, adicL.with(adic0, f::NRSEQPARAMAPU, num(std::stod(adic0[adicL[f::NRSEQPARAMAPU]]) + 4294967296.0)))}), code::Validation},
        {"delete with a fractional old sequence", adicSave({del(adicL.with(adic0, f::NRSEQPARAMAPU, adic0[adicL[f::NRSEQPARAMAPU]] + ".5"))}), code::Conflict},
        {"delete with an old sequence of 1e300", adicSave({del(adicL.with(adic0, f::NRSEQPARAMAPU, "1e300"))}), code::Conflict},
        {"delete accounting information of -1", request(m::setDeleteInfCtb, "[-1]"), code::MissingReference},
        {"delete accounting information of a fraction", request(m::setDeleteInfCtb, "[" + adic0[adicL[f::NRSEQPARAMAPU]] + ".5]"), code::MissingReference},
        {"delete accounting information of 2^31", request(m::setDeleteInfCtb, "[2147483648]"), code::MissingReference},
        {"delete accounting information of 1e300", request(m::setDeleteInfCtb, "[1e300]"), code::MissingReference},

        // Many changes, one of them bad: none is written.
        {"last of 301 changes refused", manyWith(300, ins(adicL.with(newAdic, f::VRPORCENTAGEM, "0"))), code::Validation},
        {"first of 301 changes refused", manyWith(0, ins(adicL.with(newAdic, f::CDEMPRESA, str("99")))), code::MissingReference},
        {"a change duplicating an earlier one of the packet", manyWith(150, ins({seq, str("02"), str("ADIÇÃO EM LOTE 7"), str("A"), str("I"), "10"})), code::Duplicate},
        {"a stale delete among the inserts", manyWith(200, del(adicL.with(adic0, f::NMPARAMAPU, str("Outro nome")))), code::Conflict},
        {"a malformed value among the inserts", manyWith(100, ins(adicL.with(newAdic, f::NRSEQPARAMAPU, str("x")))), code::InvalidParams},
    };

    const std::vector<std::string> before = snapshot(url_);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QJsonObject r = client_->post(c.body);
        EXPECT_EQ(client_->lastStatus(), 200);
        EXPECT_FALSE(r.contains("result"));
        EXPECT_EQ(errorCode(r), c.code) << QJsonDocument(r).toJson().toStdString();
        const QString message = errorMessage(r);
        EXPECT_TRUE(message.endsWith('.') && message.size() > 10) << message.toStdString();
    }

    // An escaped U+FFFD is a character like any other, not broken UTF-8.
    const QJsonObject replacement = client_->post(R"({"jsonrpc":"2.0","id":"\ufffd","method":"getItensDRE","params":[]})");
    EXPECT_TRUE(replacement.contains("result")) << QJsonDocument(replacement).toJson().toStdString();
    EXPECT_EQ(replacement.value("id"), QString(QChar::ReplacementCharacter));

    // Bodies over the limit (1 MiB by default) are refused and never parsed.
    const std::string huge = manyWith(0, ins({seq, str("02"), json(QString(2 << 20, QLatin1Char('x'))), str("A"), str("I"), "10"}));
    struct HttpCase {
        const char* what;
        std::string text;
        int status;
    };
    const std::string head = "POST /rpc/PAR47300.rdmParamIRPJ HTTP/1.1\r\nHost: localhost\r\nContent-Type: application/json\r\n";
    const std::vector<HttpCase> http{
        {"body of 2 MiB", head + "Content-Length: " + std::to_string(huge.size()) + "\r\n\r\n" + huge, 413},
        {"body at the limit is answered", head + "Content-Length: 1048576\r\n\r\n" + huge.substr(0, 1048576), 200},
        {"body one byte over the limit", head + "Content-Length: 1048577\r\n\r\n" + huge.substr(0, 1048577), 413},
        // A chunked body has no length to hold against the limit before it is read.
        {"chunked body over the limit", head + "Transfer-Encoding: chunked\r\n\r\n200000\r\n" + huge.substr(0, 0x200000) + "\r\n0\r\n\r\n", 411},
        {"small chunked body", head + "Transfer-Encoding: chunked\r\n\r\n2\r\n{}\r\n0\r\n\r\n", 411},
    };
    for (const HttpCase& c : http) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(rawHttpStatus(server_->port(), c.text), c.status);
    }

    EXPECT_EQ(snapshot(url_), before);
    auto health = client_->http().Get("/health");
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 200) << "the server survived every request";
}

// Texts that look like SQL are values: stored, read back and compared as sent.
TEST_P(HostileTest, TextsThatLookLikeSqlAreStoredLiterally)
{
    const std::string adicF = fieldsOf(contract::paramApuLayout());
    auto db = server::openDatabase(url_);
    const auto companies = db->query("SELECT COUNT(*) FROM EMPRESA").at(0).at(0).toLongLong();
    ASSERT_GT(companies, 0);
    const char* names[] = {
        "'); DROP TABLE EMPRESA; --",
        "Robert\"; DELETE FROM PARAMAPUIRPJ; --",
        "x' OR '1'='1",
        "? {EQ} $1 %s %n \\ ;",
        "50%_ de multa /* */",
    };
    for (const char* name : names) {
        SCOPED_TRACE(name);
        const std::string seq = nextParamSeq();
        const Row row{seq, str("03"), str(name), str("A"), str("I"), "10"};
        QJsonObject r = client_->post(request(m::SetParamIRPJ, "[" + packetOf(adicF, {ins(row)}) + "]"));
        ASSERT_EQ(r.value("result").toObject().value("applied"), 1) << QJsonDocument(r).toJson().toStdString();
        const auto stored = db->query("SELECT NMPARAMAPU FROM PARAMAPUIRPJ WHERE NRSEQPARAMAPU = ?", {qlonglong(std::stoll(seq))});
        ASSERT_EQ(stored.size(), 1u);
        EXPECT_EQ(stored.at(0).at(0).toString(), QString::fromUtf8(name));
        // The literal text is also what the conflict check compares with.
        const Row renamed = adicL.with(row, f::NMPARAMAPU, str((std::string(name) + " 2").c_str()));
        r = client_->post(request(m::SetParamIRPJ, "[" + packetOf(adicF, {mod(row, renamed)}) + "]"));
        EXPECT_EQ(r.value("result").toObject().value("applied"), 1) << QJsonDocument(r).toJson().toStdString();
    }
    // A read given SQL for a company finds nothing rather than everything.
    for (const char* company : {"' OR '1'='1", "01' --", "%", "_1"})
        EXPECT_TRUE(ok(m::GetParamIRPJ, {QString::fromUtf8(company)}).toObject().value("rows").toArray().isEmpty()) << company;
    EXPECT_EQ(db->query("SELECT COUNT(*) FROM EMPRESA").at(0).at(0).toLongLong(), companies);
    EXPECT_EQ(db->query("SELECT COUNT(*) FROM PARAMAPUIRPJ WHERE CDEMPRESA = '03'").at(0).at(0).toLongLong(), qlonglong(std::size(names)));
    EXPECT_FALSE(db->query("SELECT 1 FROM PARAMAPUIRPJ WHERE CDEMPRESA = '01'").empty());
}

INSTANTIATE_TEST_SUITE_P(Engines, HostileTest, ::testing::Values(Engine::Sqlite, Engine::Postgres), engineName);

} // namespace
