// SPDX-License-Identifier: MIT
// Hostile requests through the real server program: each is refused with its
// JSON-RPC error (or HTTP status) and writes nothing; texts that look like
// SQL are stored as they came.
#include "rpcclient.h"
#include "support/rawhttp.h"
#include "support/serverprocess.h"

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

enum class Engine { Sqlite, Postgres };

PgCluster& cluster()
{
    static std::unique_ptr<PgCluster> c = std::make_unique<PgCluster>();
    return *c;
}

// Every table and both series as text.
std::vector<std::string> snapshot(const std::string& url)
{
    auto db = server::openDatabase(url);
    std::vector<std::string> out;
    for (const char* sql : {"SELECT * FROM EMPRESA ORDER BY 1", "SELECT * FROM CONTCTBL ORDER BY 1", "SELECT * FROM ITEMESTRUDRE ORDER BY 1, 2",
                            "SELECT * FROM ALIQIRPJ ORDER BY 1", "SELECT * FROM APURPAI ORDER BY 1", "SELECT * FROM PARAMAPUIRPJ ORDER BY 1",
                            "SELECT * FROM RECDESPIRPJ ORDER BY 1", "SELECT * FROM INFCTBIRPJ ORDER BY 1",
                            "SELECT * FROM INFCTBIRPJREMOVIDA ORDER BY 1"}) {
        out.push_back(sql);
        for (const server::SqlRow& row : db->query(sql)) {
            std::string line;
            for (const QVariant& v : row)
                line += (v.isValid() ? v.toString().toStdString() : std::string("<null>")) + "|";
            out.push_back(line);
        }
    }
    out.push_back("param " + std::to_string(server::lastIssued(*db, server::Series::Param)));
    out.push_back("infctb " + std::to_string(server::lastIssued(*db, server::Series::InfCtb)));
    return out;
}

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

Row with(Row r, std::size_t i, const std::string& raw)
{
    r.at(i) = raw;
    return r;
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

class HostileTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override
    {
        if (GetParam() == Engine::Postgres) {
            if (!PgCluster::binDir())
                GTEST_SKIP() << "PostgreSQL is not installed (initdb/pg_ctl not found under /usr/lib/postgresql): its tests are skipped";
            static std::atomic<int> counter{0};
            url_ = cluster().createDatabase("h" + std::to_string(::getpid()) + "_" + std::to_string(++counter));
        } else {
            dir_ = std::make_unique<TempDir>();
            url_ = "sqlite:" + dir_->path() + "/erp.db";
        }
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

    std::unique_ptr<TempDir> dir_;
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
    const Row newInf{str("C"), adic0[0], infSeq, str("C"), str("111010001"), str("111010001"), "null"};
    const std::string goodAdic = packetOf(adicF, {ins(newAdic)});
    const std::string goodAdicRequest = request(m::SetParamIRPJ, "[" + goodAdic + "]");
    auto adicIns = [&](std::size_t i, const std::string& raw) { return request(m::SetParamIRPJ, "[" + packetOf(adicF, {ins(with(newAdic, i, raw))}) + "]"); };
    auto itemIns = [&](std::size_t i, const std::string& raw) { return request(m::setRecDesp, "[" + packetOf(rdF, {ins(with(newItem, i, raw))}) + "]"); };
    auto infIns = [&](std::size_t i, const std::string& raw) { return request(m::SetInfCtbIRPJ, "[" + packetOf(infF, {ins(with(newInf, i, raw))}) + "]"); };
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
        {"method named twice", R"({"jsonrpc":"2.0","id":1,"method":"getItensDRE","method":"SetParamIRPJ","params":[)" + goodAdic + "]}", -32600},
        {"params given twice", R"({"jsonrpc":"2.0","id":1,"method":"SetParamIRPJ","params":[],"params":[)" + goodAdic + "]}", -32600},
        {"member repeated through an escape", R"({"jsonrpc":"2.0","id":1,"method":"x","m\u0065thod":"SetParamIRPJ","params":[)" + goodAdic + "]}", -32600},
        {"packet fields given twice", request(m::SetParamIRPJ, R"([{"fields":)" + adicF + R"(,"fields":)" + adicF + R"(,"changes":[)" + ins(newAdic) + "]}]"),
         -32600},
        {"change values given twice", request(m::SetParamIRPJ, "[" + packetOf(adicF, {R"({"status":"inserted","new":)" + list(with(newAdic, 5, "0")) +
                                                                                       R"(,"new":)" + list(newAdic) + "}"}) + "]"),
         -32600},
        {"change status given twice", request(m::SetParamIRPJ, "[" + packetOf(adicF, {R"({"status":"deleted","status":"inserted","new":)" + list(newAdic) + "}"}) + "]"),
         -32600},

        // Nesting and malformed bodies.
        {"nesting 200000 levels deep", request(m::getItensDRE, std::string(200000, '[') + std::string(200000, ']')), -32600},
        {"nesting over the limit inside a packet", adicIns(2, deep(30)), -32600},
        {"nested lists as a packet value", adicIns(2, deep(20)), -32602},
        {"invalid UTF-8 in a text", adicIns(2, "\"Multa \xff\xfe\""), -32700},
        {"body starting with a UTF-8 byte-order mark", "\xEF\xBB\xBF" + goodAdicRequest, -32700},
        {"body in UTF-16", std::string("{\0\"\0}\0", 6), -32700},
        {"percentage ending in a point", adicIns(5, "50."), -32700},
        {"percentage starting with a point", adicIns(5, ".5e2"), -32700},
        {"raw tab in a name", adicIns(2, "\"Multa\tde mora\""), -32700},
        {"raw newline in a name", adicIns(2, "\"Multa\nde mora\""), -32700},
        {"escape \\x in a name", adicIns(2, R"("Multa \x41")"), -32700},
        {"UTF-8 encoding of a surrogate", adicIns(2, "\"Multa \xed\xa0\x80\""), -32700},
        {"bytes after the request", request(m::getItensDRE, "[]") + std::string("\0{}", 3), -32700},
        {"a text as the whole body", "\"SetParamIRPJ\"", -32600},
        {"null as the whole body", "null", -32600},
        {"number beyond the double range", request(m::getInfCtbIRPJ, "[1e400]"), -32700},

        // Wrong types in params.
        {"company null", request(m::GetParamIRPJ, "[null]"), -32602},
        {"company a boolean", request(m::GetParamCSLL, "[true]"), -32602},
        {"company inside a list", request(m::getRecDesp, R"([["01"]])"), -32602},
        {"company an object", request(m::GetParamIRPJ, R"([{"CDEMPRESA":"01"}])"), -32602},
        {"two companies", request(m::GetParamIRPJ, R"(["01","02"])"), -32602},
        {"params a text", request(m::GetParamIRPJ, R"("01")"), -32602},
        {"parent number null", request(m::getInfCtbIRPJ, "[null]"), -32602},
        {"delete accounting information given a boolean", request(m::setDeleteInfCtb, "[true]"), -32602},
        {"delete accounting information given a list", request(m::setDeleteInfCtb, "[[" + adic0[0] + "]]"), -32602},
        {"sequence given an argument", request(m::prxSeqParamIRPJ, R"(["x"])"), -32602},
        {"two packets", request(m::SetParamIRPJ, "[" + goodAdic + "," + goodAdic + "]"), -32602},
        {"packet inside a list", request(m::SetParamIRPJ, "[[" + goodAdic + "]]"), -32602},
        {"packet null", request(m::SetParamIRPJ, "[null]"), -32602},

        // Wrong types in packet values and a packet that does not fit its layout.
        {"company a number", adicIns(1, "1"), -32602},
        {"percentage a text", adicIns(5, str("50")), -32602},
        {"percentage a boolean", adicIns(5, "true"), -32602},
        {"name an object", adicIns(2, R"({"a":1})"), -32602},
        {"sequence a boolean", adicIns(0, "false"), -32602},
        {"parent number a text", infIns(1, str("15")), -32602},
        {"rate entry a text", itemIns(5, str("7")), -32602},
        {"row with a value too many", adicSave({R"({"status":"inserted","new":)" + list(newAdic).insert(1, "1,") + "}"}), -32602},
        {"row with a value missing", adicSave({R"({"status":"inserted","new":)" + list(Row(newAdic.begin(), newAdic.end() - 1)) + "}"}), -32602},
        {"row an object", adicSave({R"({"status":"inserted","new":{"NRSEQPARAMAPU":)" + seq + "}}"}), -32602},
        {"field of another type", request(m::SetParamIRPJ, "[" + packetOf(QString::fromStdString(adicF).replace(R"("VRPORCENTAGEM","type":"float")", R"("VRPORCENTAGEM","type":"string","size":5)").toStdString(), {ins(with(newAdic, 5, str("50")))}) + "]"), -32602},
        {"field unknown to the layout", request(m::SetParamIRPJ, "[" + packetOf(QString::fromStdString(adicF).replace("NMPARAMAPU", "NMPARAMAPU2").toStdString(), {ins(newAdic)}) + "]"), -32602},
        {"field named twice in other case", request(m::SetParamIRPJ, "[" + packetOf(QString::fromStdString(adicF).replace(R"("name":"IDPARAMAPU")", R"("name":"nmparamapu")").toStdString(), {ins(newAdic)}) + "]"), -32602},
        {"unknown change status", adicSave({R"({"status":"upserted","new":)" + list(newAdic) + "}"}), -32602},
        {"insert carrying old values", adicSave({R"({"status":"inserted","old":)" + list(newAdic) + R"(,"new":)" + list(newAdic) + "}"}), -32602},
        {"changes not a list", request(m::SetParamIRPJ, R"([{"fields":)" + adicF + R"(,"changes":{}}])"), -32602},
        {"field list missing", request(m::SetParamIRPJ, R"([{"changes":[)" + ins(newAdic) + "]}]"), -32602},

        // Texts outside Windows-1252, and the NUL that PostgreSQL would cut a text at.
        {"name with an emoji", adicIns(2, R"("Multa \ud83d\ude00")"), -32602},
        {"name with a lone surrogate", adicIns(2, R"("Multa \ud800")"), -32602},
        {"name with a letter outside the set", adicIns(2, str("Multa \u0100")), -32602},
        {"company outside the set", adicIns(1, str("\u4e2d1")), -32602},
        {"key outside the set", infIns(4, str("\u2028")), -32602},
        {"name with a NUL", adicIns(2, R"("Multa\u0000 escondida")"), -32602},
        {"company read with a NUL", request(m::GetParamIRPJ, R"(["01\u0000"])"), -32602},
        {"company that looks like SQL is longer than its field", adicIns(1, str("'; DROP TABLE EMPRESA; --")), -32602},

        // Forged company codes.
        {"company that does not exist", adicIns(1, str("'1")), 1004},
        {"company of one digit", adicIns(1, str("1")), 1004},
        {"company with a blank", itemIns(1, str(" 1")), 1004},
        {"company in the set but unknown", itemIns(1, str("\u20ac1")), 1004},
        {"modify moves a net-profit item to another company", itemSave({mod(item0, with(item0, 1, str("02")))}), 1001},
        {"modify empties the company", adicSave({mod(adic0, with(adic0, 1, "null"))}), 1001},
        {"modify with the company empty on both sides", adicSave({mod(with(adic0, 1, "null"), with(adic0, 1, "null"))}), 1001},
        {"delete claims another company", adicSave({del(with(adic0, 1, str("02")))}), 1002},
        {"delete of a net-profit item without its company", itemSave({del(with(item0, 1, "null"))}), 1002},

        // Numbers out of range, negative and fractional sequence numbers.
        {"sequence 2^31", adicIns(0, "2147483648"), 1001},
        {"sequence below -2^31", adicIns(0, "-2147483649"), 1001},
        {"sequence 1e300", adicIns(0, "1e300"), 1001},
        {"sequence above 2^53", adicIns(0, "9007199254740993"), 1001},
        {"sequence zero", itemIns(0, "0"), 1001},
        {"sequence negative zero", itemIns(0, "-0.0"), 1001},
        {"sequence fractional", itemIns(0, "1.5"), 1001},
        {"accounting sequence 2^32", infIns(2, "4294967296"), 1001},
        {"accounting sequence negative", infIns(2, "-1"), 1001},
        {"accounting sequence fractional", infIns(2, "2.5"), 1001},
        {"parent number 1e300", infIns(1, "1e300"), 1004},
        {"parent number negative", infIns(1, "-1"), 1004},
        {"parent number fractional", infIns(1, adic0[0] + ".5"), 1004},
        {"percentage 1e308", adicIns(5, "1e308"), 1001},
        {"percentage just over 100", adicIns(5, "100.00000000000001"), 1001},
        {"rate entry 1e20", itemIns(5, "1e20"), 1004},
        {"rate entry fractional", itemIns(5, "7.5"), 1004},
        {"rate entry negative", itemIns(5, "-7"), 1004},
        {"IRPJ rate not the entry's", itemIns(6, "80"), 1001},
        {"CSLL rate not the entry's", itemIns(7, "1e308"), 1001},
        {"rates left empty", itemIns(6, "null"), 1001},
        {"modify keeps the code but forges a rate", itemSave({mod(item0, with(item0, 7, "0.5"))}), 1001},
        {"modify moves the sequence by 2^32", adicSave({mod(adic0, with(adic0, 0, num(std::stod(adic0[0]) + 4294967296.0)))}), 1001},
        {"delete with a fractional old sequence", adicSave({del(with(adic0, 0, adic0[0] + ".5"))}), 1002},
        {"delete with an old sequence of 1e300", adicSave({del(with(adic0, 0, "1e300"))}), 1002},
        {"delete accounting information of -1", request(m::setDeleteInfCtb, "[-1]"), 1004},
        {"delete accounting information of a fraction", request(m::setDeleteInfCtb, "[" + adic0[0] + ".5]"), 1004},
        {"delete accounting information of 2^31", request(m::setDeleteInfCtb, "[2147483648]"), 1004},
        {"delete accounting information of 1e300", request(m::setDeleteInfCtb, "[1e300]"), 1004},

        // Many changes, one of them bad: none is written.
        {"last of 301 changes refused", manyWith(300, ins(with(newAdic, 5, "0"))), 1001},
        {"first of 301 changes refused", manyWith(0, ins(with(newAdic, 1, str("99")))), 1004},
        {"a change duplicating an earlier one of the packet", manyWith(150, ins({seq, str("02"), str("ADIÇÃO EM LOTE 7"), str("A"), str("I"), "10"})), 1003},
        {"a stale delete among the inserts", manyWith(200, del(with(adic0, 2, str("Outro nome")))), 1002},
        {"a malformed value among the inserts", manyWith(100, ins(with(newAdic, 0, str("x")))), -32602},
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
        const Row renamed = with(row, 2, str((std::string(name) + " 2").c_str()));
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

std::string engineName(const ::testing::TestParamInfo<Engine>& p)
{
    return p.param == Engine::Sqlite ? "SQLite" : "PostgreSQL";
}

INSTANTIATE_TEST_SUITE_P(Engines, HostileTest, ::testing::Values(Engine::Sqlite, Engine::Postgres), engineName);

} // namespace
