// SPDX-License-Identifier: MIT
#include "platform/datalink.h"
#include "platform/dataset.h"
#include "platform/datasource.h"
#include "wire/errors.h"

#include <QLocale>

#include <gtest/gtest.h>

using namespace erp;

namespace {

FieldDefs layout()
{
    return {{"SEQ", FieldType::Float, 0}, {"NAME", FieldType::String, 20}, {"KIND", FieldType::String, 1}, {"PCT", FieldType::Float, 0}};
}

// A dataset with three saved rows and nothing pending.
class DataSetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
        ds.setFieldDefs(layout());
        DataPacket p{layout(), {{1.0, "Multa", "A", 100.0}, {2.0, "Brindes", "E", 50.0}, {3.0, "Doações", "C", 12.5}}};
        ds.loadPacket(p);
    }
    QStringList names()
    {
        QStringList out;
        for (int r = 0; r < ds.recordCount(); ++r)
            out << ds.rowValues(r).at(1).toString();
        return out;
    }
    void insertRow(double seq, const QString& name)
    {
        ds.append();
        ds.fieldByName("SEQ").setAsFloat(seq);
        ds.fieldByName("NAME").setAsString(name);
        ds.fieldByName("KIND").setAsString("A");
        ds.post();
    }
    DataSet ds{"cdsTest"};
};

TEST_F(DataSetTest, PostsLogOneChangeOfEachKindAndMergeEmptiesTheLog)
{
    insertRow(4, "Juros");
    ASSERT_EQ(ds.changeCount(), 1);
    ChangePacket d = ds.delta();
    ASSERT_EQ(d.changes.size(), 1u);
    EXPECT_EQ(d.changes[0].status, ChangeStatus::Inserted);
    EXPECT_EQ(d.changes[0].newValues.at(1).toString(), "Juros");
    ds.mergeChangeLog();
    EXPECT_EQ(ds.changeCount(), 0);

    ASSERT_TRUE(ds.locate("NAME", {"brindes"}));
    ds.edit();
    ds.fieldByName("PCT").setAsFloat(60);
    ds.post();
    d = ds.delta();
    ASSERT_EQ(d.changes.size(), 1u);
    EXPECT_EQ(d.changes[0].status, ChangeStatus::Modified);
    EXPECT_EQ(d.changes[0].oldValues.at(3).toDouble(), 50.0);
    EXPECT_EQ(d.changes[0].newValues.at(3).toDouble(), 60.0);
    ds.mergeChangeLog();

    ds.remove();
    d = ds.delta();
    ASSERT_EQ(d.changes.size(), 1u);
    EXPECT_EQ(d.changes[0].status, ChangeStatus::Deleted);
    EXPECT_EQ(d.changes[0].oldValues.at(1).toString(), "Brindes");
    EXPECT_EQ(d.changes[0].oldValues.at(3).toDouble(), 60.0);
    ds.mergeChangeLog();
    EXPECT_EQ(names(), (QStringList{"Multa", "Doações", "Juros"}));
}

TEST_F(DataSetTest, EditPostedWithoutAnyDifferenceLogsNothing)
{
    ds.edit();
    ds.fieldByName("NAME").setAsString("Multa");
    ds.post();
    EXPECT_EQ(ds.state(), DataSet::State::Browse);
    EXPECT_EQ(ds.changeCount(), 0);
}

TEST_F(DataSetTest, CancelUpdatesRestoresInsertedModifiedAndDeletedRows)
{
    insertRow(4, "Juros");
    ASSERT_TRUE(ds.locate("NAME", {"Multa"}));
    ds.edit();
    ds.fieldByName("NAME").setAsString("Multa fiscal");
    ds.post();
    ASSERT_TRUE(ds.locate("NAME", {"Brindes"}));
    ds.remove();
    ASSERT_EQ(ds.changeCount(), 3);

    ds.cancelUpdates();
    EXPECT_EQ(ds.changeCount(), 0);
    EXPECT_EQ(names(), (QStringList{"Multa", "Brindes", "Doações"}));
    // The row that came back is current again.
    EXPECT_EQ(ds.fieldByName("NAME").asString(), "Brindes");
}

TEST_F(DataSetTest, CancelUpdatesOfAModifiedThenDeletedRowBringsBackItsOriginal)
{
    ds.edit();
    ds.fieldByName("PCT").setAsFloat(1);
    ds.post();
    ds.remove();
    EXPECT_EQ(ds.delta().changes.size(), 1u);
    EXPECT_EQ(ds.delta().changes[0].oldValues.at(3).toDouble(), 100.0);
    ds.cancelUpdates();
    EXPECT_EQ(ds.recordCount(), 3);
    EXPECT_EQ(ds.fieldByName("PCT").asFloat(), 100.0);
}

TEST_F(DataSetTest, RefusedPostLeavesStateAndTypedValues)
{
    ds.beforePost = [](DataSet&) { throw Abort(); };
    ds.edit();
    ds.fieldByName("NAME").setAsString("Outra");
    EXPECT_THROW(ds.post(), Abort);
    EXPECT_EQ(ds.state(), DataSet::State::Edit);
    EXPECT_EQ(ds.fieldByName("NAME").asString(), "Outra");
    EXPECT_EQ(ds.changeCount(), 0);

    ds.cancel();
    ds.append();
    ds.fieldByName("NAME").setAsString("Nova");
    EXPECT_THROW(ds.post(), Abort);
    EXPECT_EQ(ds.state(), DataSet::State::Insert);
    EXPECT_EQ(ds.fieldByName("NAME").asString(), "Nova");
    EXPECT_EQ(ds.recordCount(), 3);
}

TEST_F(DataSetTest, RefusedDeleteKeepsTheRow)
{
    ds.beforeDelete = [](DataSet&) { throw Abort(); };
    EXPECT_THROW(ds.remove(), Abort);
    EXPECT_EQ(ds.recordCount(), 3);
    EXPECT_EQ(ds.changeCount(), 0);
    EXPECT_EQ(ds.fieldByName("NAME").asString(), "Multa");
}

TEST_F(DataSetTest, FailingNewRecordRuleAbandonsTheRowAndReturnsToThePreviousOne)
{
    ds.last();
    ds.onNewRecord = [](DataSet& d) {
        d.fieldByName("KIND").setAsString("A");
        throw Error("sem número");
    };
    EXPECT_THROW(ds.insert(), Error);
    EXPECT_EQ(ds.state(), DataSet::State::Browse);
    EXPECT_EQ(ds.recordCount(), 3);
    EXPECT_EQ(ds.fieldByName("NAME").asString(), "Doações");
}

TEST_F(DataSetTest, EditOnAnEmptyDatasetStartsAnInsertWithItsDefaults)
{
    DataSet empty("cdsEmpty");
    empty.setFieldDefs(layout());
    empty.createDataSet();
    int newRecords = 0;
    empty.onNewRecord = [&](DataSet& d) {
        ++newRecords;
        d.fieldByName("PCT").setAsFloat(100);
    };
    empty.edit();
    EXPECT_EQ(empty.state(), DataSet::State::Insert);
    EXPECT_EQ(newRecords, 1);
    EXPECT_EQ(empty.fieldByName("PCT").asFloat(), 100.0);
    // Defaults alone do not make the row modified: leaving it cancels it.
    EXPECT_FALSE(empty.modified());
    empty.checkBrowseMode();
    EXPECT_EQ(empty.state(), DataSet::State::Browse);
    EXPECT_TRUE(empty.isEmpty());
}

TEST_F(DataSetTest, NavigationPostsAModifiedEdit)
{
    ds.edit();
    ds.fieldByName("NAME").setAsString("Multa mudada");
    ds.next();
    EXPECT_EQ(ds.state(), DataSet::State::Browse);
    EXPECT_EQ(ds.changeCount(), 1);
    EXPECT_EQ(ds.fieldByName("NAME").asString(), "Brindes");
}

TEST_F(DataSetTest, LocateIgnoresCaseOnWholeValuesOfSeveralFields)
{
    struct Case {
        const char* fields;
        QVariantList values;
        bool found;
        const char* current;
    };
    const Case cases[] = {
        {"NAME", {"DOAÇÕES"}, true, "Doações"},
        {"NAME;KIND", {"brindes", "e"}, true, "Brindes"},
        {"NAME;KIND", {"brindes", "A"}, false, nullptr},
        {"NAME", {"Mult"}, false, nullptr},
        {"SEQ", {3.0}, true, "Doações"},
        {"NAME;KIND;SEQ", {"multa", "a", 1}, true, "Multa"},
    };
    for (const Case& c : cases) {
        ds.first();
        EXPECT_EQ(ds.locate(c.fields, c.values), c.found) << c.fields;
        if (c.current) {
            EXPECT_EQ(ds.fieldByName("NAME").asString(), c.current) << c.fields;
        }
    }
    EXPECT_THROW(ds.locate("NAME;KIND", {"x"}), DataSetError);
}

TEST_F(DataSetTest, LoadPacketMapsFieldsByNameAndRefusesUnknownFieldsWithoutChanges)
{
    DataPacket reordered{{{"NAME", FieldType::String, 20}, {"SEQ", FieldType::Float, 0}}, {{"Única", 9.0}}};
    ds.loadPacket(reordered);
    ASSERT_EQ(ds.recordCount(), 1);
    EXPECT_EQ(ds.fieldByName("SEQ").asFloat(), 9.0);
    EXPECT_TRUE(ds.fieldByName("KIND").isNull());

    DataPacket unknown{{{"OTHER", FieldType::String, 5}}, {{"x"}}};
    EXPECT_THROW(ds.loadPacket(unknown), PacketError);
    DataPacket tooLong{{{"KIND", FieldType::String, 5}}, {{"xx"}}};
    EXPECT_THROW(ds.loadPacket(tooLong), ConversionError);
    EXPECT_EQ(ds.recordCount(), 1);
    EXPECT_EQ(ds.fieldByName("NAME").asString(), "Única");
}

TEST_F(DataSetTest, CopyIntoAMirrorWithAnotherFieldOrder)
{
    DataSet mirror("cdsMirror");
    mirror.setFieldDefs({{"PCT", FieldType::Float, 0}, {"NAME", FieldType::String, 20}, {"SEQ", FieldType::Float, 0}});
    mirror.copyFrom(ds);
    ASSERT_EQ(mirror.recordCount(), 3);
    mirror.last();
    EXPECT_EQ(mirror.fieldByName("NAME").asString(), "Doações");
    EXPECT_EQ(mirror.fieldByName("PCT").asFloat(), 12.5);
    EXPECT_EQ(mirror.changeCount(), 0);
}

TEST_F(DataSetTest, EventsRunInTheirOrder)
{
    QStringList log;
    DataSource src("dtsTest");
    src.setDataSet(&ds);
    src.onStateChange = [&](DataSource& s) { log << QStringLiteral("state%1").arg(int(s.state())); };
    ds.onNewRecord = [&](DataSet&) { log << "new"; };
    ds.afterEdit = [&](DataSet&) { log << "afterEdit"; };
    ds.beforePost = [&](DataSet&) { log << "beforePost"; };
    ds.afterPost = [&](DataSet&) { log << "afterPost"; };
    ds.afterCancel = [&](DataSet&) { log << "afterCancel"; };
    ds.afterScroll = [&](DataSet&) { log << "scroll"; };
    ds.beforeDelete = [&](DataSet&) { log << "beforeDelete"; };
    ds.afterDelete = [&](DataSet&) { log << "afterDelete"; };

    ds.insert();
    ds.cancel();
    ds.edit();
    ds.fieldByName("NAME").setAsString("X");
    ds.post();
    ds.next();
    ds.remove();
    EXPECT_EQ(log, (QStringList{"state3", "new", "scroll", "state1", "afterCancel", "scroll", "state2", "afterEdit", "beforePost",
                                "state1", "afterPost", "scroll", "beforeDelete", "afterDelete", "scroll"}))
        << log.join(' ').toStdString();
}

TEST_F(DataSetTest, FieldTextsGoThroughRulesFormatsAndTheLocale)
{
    Field& pct = ds.fieldByName("PCT");
    pct.setDisplayFormat("#,##0.00");
    ds.last();
    EXPECT_EQ(pct.displayText(), "12,50");
    EXPECT_EQ(pct.asString(), "12,5");

    ds.edit();
    pct.setText("1.234,5");
    EXPECT_DOUBLE_EQ(pct.asFloat(), 1234.5);
    EXPECT_THROW(pct.setText("doze"), ConversionError);
    EXPECT_DOUBLE_EQ(pct.asFloat(), 1234.5);
    EXPECT_THROW(ds.fieldByName("KIND").setAsString("AB"), ConversionError);
    EXPECT_THROW(ds.fieldByName("NAME").setAsString(QString::fromUtf8("✓")), ConversionError);
    ds.cancel();

    Field& kind = ds.fieldByName("KIND");
    kind.onGetText = [](Field& f, QString& text, bool) { text = f.asString() == "C" ? "Compensação" : QString(); };
    kind.onSetText = [](Field& f, const QString& text) {
        if (text == "Compensação")
            f.setAsString("C");
    };
    EXPECT_EQ(kind.displayText(), "Compensação");
    ds.edit();
    kind.setText("Outro");
    EXPECT_EQ(kind.asString(), "C");
    ds.cancel();
    EXPECT_THROW(ds.fieldByName("NAME").setAsString("x"), DataSetError);
}

class Recorder : public DataLink {
public:
    void dataSetChanged() override { events << "changed"; }
    void editingChanged() override { events << "editing"; }
    void dataSetScrolled() override { events << "scrolled"; }
    bool focusControl(Field& f) override
    {
        events << "focus " + f.fieldName();
        return true;
    }
    QStringList events;
};

TEST_F(DataSetTest, DisabledControlsHearNothingUntilEnabled)
{
    DataSource src("dtsTest");
    src.setDataSet(&ds);
    Recorder link;
    link.setDataSource(&src);
    int stateChanges = 0;
    src.onStateChange = [&](DataSource&) { ++stateChanges; };

    ds.disableControls();
    ds.next();
    ds.edit();
    ds.fieldByName("NAME").focusControl();
    EXPECT_TRUE(link.events.isEmpty());
    EXPECT_EQ(stateChanges, 0);
    ds.enableControls();
    EXPECT_EQ(link.events, (QStringList{"editing", "changed"}));
    EXPECT_EQ(stateChanges, 1);

    link.events.clear();
    ds.fieldByName("PCT").focusControl();
    EXPECT_EQ(link.events, QStringList{"focus PCT"});
}

} // namespace

namespace {
TEST_F(DataSetTest, RowPeekReadsAnotherRowWithoutMovingOrEvents)
{
    int scrolls = 0;
    ds.afterScroll = [&](DataSet&) { ++scrolls; };
    ds.edit();
    ds.fieldByName("NAME").setAsString("Em edição");
    {
        DataSet::RowPeek peek(ds, 2);
        EXPECT_EQ(ds.fieldByName("NAME").asString(), "Doações");
    }
    EXPECT_EQ(ds.fieldByName("NAME").asString(), "Em edição");
    EXPECT_EQ(ds.recNo(), 0);
    EXPECT_EQ(scrolls, 0);
}
} // namespace
