// The record files without a window: CSV export and load, the comma-text rule, the header check,
// consistent database copies, the same-file check and the reading of a text file.
#include "model/UShareData.h"
#include "model/uDataFunc.h"
#include "model/uLocalPara.h"
#include "store/uRecordDb.h"
#include "store/uRecordFiles.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

TRecordData Sample(int recNo)
{
    TRecordData r;
    r.DevID = 3;
    r.RecNo = recNo;
    r.Year = 2010;
    r.Month = 5;
    r.Day = 23;
    r.Hour = 15;
    r.Minute = 7;
    r.Second = 9;
    r.UpsState = 4;
    r.ModuleID = 2;
    r.EventNo = 8;
    r.AlarmNo = 3;
    int k = 0;
    for (const TRecordWordField& f : StatusWordFields)
        r.*f.member = static_cast<uint16_t>(0x00A0 + 0x1111 * k++ + recNo);
    k = 0;
    for (const TRecordWordField& f : MeasurementFields)
        r.*f.member = static_cast<uint16_t>(2210 + 10 * k++ + recNo * 10);
    r.Temperature = 33;
    return r;
}

// Every column of every row except ID, in record-number order.
std::vector<std::vector<QString>> Rows(TRecordDb& db)
{
    std::vector<std::vector<QString>> rows;
    QSqlQuery q(db.Database());
    EXPECT_TRUE(q.exec(QStringLiteral("Select * from UpsEvntRecord order by RecNo")));
    while (q.next()) {
        std::vector<QString> row;
        for (int c = 1; c < q.record().count(); ++c) row.push_back(q.value(c).toString());
        rows.push_back(row);
    }
    return rows;
}

class RecordFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        ASSERT_TRUE(dir_.isValid());
        db_ = std::make_unique<TRecordDb>();
        db_->SetFilePath(path("record.mdb"));
        ASSERT_TRUE(db_->OpenRecordDb());
    }
    void TearDown() override
    {
        db_.reset();
        ResetAll();
    }
    QString path(const char* name) const { return dir_.filePath(QLatin1String(name)); }
    void fill(TRecordDb& db, int first, int last)
    {
        for (int n = first; n <= last; ++n) {
            TRecordData r = Sample(n);
            ASSERT_TRUE(db.StoreRecord(r).stored);
        }
    }

    QTemporaryDir dir_;
    std::unique_ptr<TRecordDb> db_;
};

} // namespace

TEST(CommaText, QuotesOnlyWhatNeedsIt)
{
    struct Case {
        QStringList items;
        const char* line;
    } cases[] = {
        {{"a", "b", "c"}, "a,b,c"},
        {{"2010-05-23 15:00:00"}, "\"2010-05-23 15:00:00\""},
        {{"x,y", "say \"hi\"", ""}, "\"x,y\",\"say \"\"hi\"\"\","},
        {{""}, "\"\""},
        {{"tab\there"}, "\"tab\there\""},
        {{QStringLiteral("市电状态(4)")}, "市电状态(4)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CommaText(c.items), QString::fromUtf8(c.line));
        // Splitting gives the items back.
        if (!(c.items.size() == 1 && c.items.first().isEmpty()))
            EXPECT_EQ(DelimitedItems(CommaText(c.items), QLatin1Char(',')), c.items) << c.line;
    }
}

TEST(CsvHeader, TheFirstTwentyNamesDecide)
{
    QStringList all;
    for (const char* c : CsvColumns) all << QLatin1String(c);
    EXPECT_EQ(CheckCsvHeader(all.join(',')), TCsvHeader::Valid);
    EXPECT_EQ(CheckCsvHeader(all.mid(0, 20).join(',') + ",anything,else"), TCsvHeader::Valid);
    QStringList lower = all;
    lower[0] = QStringLiteral("devid");
    EXPECT_EQ(CheckCsvHeader(lower.join(',')), TCsvHeader::Invalid);
    EXPECT_EQ(CheckCsvHeader(all.mid(0, 10).join(',')), TCsvHeader::TooShort);
    EXPECT_EQ(CheckCsvHeader(QString()), TCsvHeader::TooShort);
}

TEST(CsvRecord, ItemsAreReadByPosition)
{
    QStringList items;
    for (int i = 0; i < 32; ++i) items << QStringLiteral("1");
    items[1] = QStringLiteral("65535");
    items[2] = QStringLiteral("2010-05-23 15:00:00");
    items[7] = QStringLiteral("00A0");        // CMMState, hexadecimal
    items[15] = QStringLiteral("zz");         // MontAlarm, not a number
    items[16] = QStringLiteral("221");        // InputV_A, whole volts -> tenths
    items[17] = QStringLiteral("22.5");       // InputV_B, not a whole number
    items[3] = QStringLiteral("市电状态(4)"); // an analysis text
    items[31] = QStringLiteral("345");
    TRecordData r;
    ASSERT_TRUE(ParseCsvRecord(CommaText(items), &r));
    EXPECT_EQ(r.RecNo, 65535);
    EXPECT_EQ(r.DateText, QStringLiteral("2010-05-23 15:00:00"));
    EXPECT_EQ(r.CMMState, 160);
    EXPECT_EQ(r.MontAlarm, 0);
    EXPECT_EQ(r.InputV_A, 2210);
    EXPECT_EQ(r.InputV_B, 0);
    EXPECT_EQ(r.UpsState, 0);
    EXPECT_EQ(r.Temperature, 345);
    items.removeLast();
    EXPECT_FALSE(ParseCsvRecord(CommaText(items), &r));
}

TEST_F(RecordFilesTest, ExportThenLoadRestoresEveryColumn)
{
    fill(*db_, 1, 5);
    const auto before = Rows(*db_);
    int rows = 0;
    QString error;
    ASSERT_TRUE(ExportRecordsCsv(*db_, path("UpsRecord.csv"), false, &error, &rows)) << error.toStdString();
    EXPECT_EQ(rows, 5);

    const QByteArray bytes = FileBytes(path("UpsRecord.csv"));
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    const QList<QByteArray> lines = bytes.mid(3).split('\n');
    ASSERT_EQ(lines.size(), 7); // header, 5 records, the empty rest after the last CR LF
    for (int i = 0; i < 6; ++i) EXPECT_TRUE(lines.at(i).endsWith('\r')) << i;
    QStringList header;
    for (const char* c : CsvColumns) header << QLatin1String(c);
    EXPECT_EQ(lines.at(0), header.join(',').toUtf8() + "\r");
    // Record 1: the words as 4 hexadecimal digits, the date quoted, whole numbers plain.
    EXPECT_EQ(lines.at(1),
              QByteArray("3,1,\"2010-05-23 15:07:09\",4,2,8,3,00A1,11B2,22C3,33D4,44E5,55F6,6707,"
                         "7818,8929,222,223,224,225,226,227,228,229,230,231,232,233,234,235,236,"
                         "33\r"));

    TRecordDb other;
    other.SetFilePath(path("other.mdb"));
    ASSERT_TRUE(other.OpenRecordDb());
    QStringList text;
    ASSERT_TRUE(ReadTextLines(path("UpsRecord.csv"), &text, &error));
    const TCsvLoadOutcome out = LoadCsvLines(other, text);
    EXPECT_EQ(out.stored, 5);
    EXPECT_EQ(out.badLine, 0);
    EXPECT_EQ(Rows(other), before);
}

TEST_F(RecordFilesTest, AnalysisTextsAreWrittenInUtf8AndLoadAsCodeZero)
{
    LocalPara.Language = 1;
    fill(*db_, 1, 2);
    QString error;
    ASSERT_TRUE(ExportRecordsCsv(*db_, path("a.csv"), true, &error));
    const QByteArray bytes = FileBytes(path("a.csv"));
    QStringDecoder utf8(QStringConverter::Utf8);
    const QString text = utf8.decode(bytes.mid(3));
    ASSERT_FALSE(utf8.hasError());
    const QStringList line1 = DelimitedItems(text.split(QStringLiteral("\r\n")).at(1), QLatin1Char(','));
    EXPECT_EQ(line1.at(3), StateText(4) + QStringLiteral("(4)"));
    EXPECT_EQ(line1.at(3), QStringLiteral("市电状态(4)"));
    EXPECT_EQ(line1.at(5), EventText(8) + QStringLiteral("(8)"));
    EXPECT_EQ(line1.at(6), AlarmText(3) + QStringLiteral("(3)"));

    QStringList lines;
    ASSERT_TRUE(ReadTextLines(path("a.csv"), &lines, &error));
    EXPECT_EQ(LoadCsvLines(*db_, lines).stored, 2);
    QSqlQuery q(db_->Database());
    ASSERT_TRUE(
        q.exec(QStringLiteral("Select sum(UpsState+EventNo+AlarmNo), sum(CMMState) from UpsEvntRecord")));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toInt(), 0);
    EXPECT_EQ(q.value(1).toInt(), 0xA1 + 0xA2);
}

TEST_F(RecordFilesTest, AnEmptyTableWritesNoFile)
{
    WriteFile(path("keep.csv"), "old");
    int rows = -1;
    QString error;
    EXPECT_TRUE(ExportRecordsCsv(*db_, path("keep.csv"), false, &error, &rows));
    EXPECT_EQ(rows, 0);
    EXPECT_EQ(FileBytes(path("keep.csv")), QByteArray("old"));
}

TEST_F(RecordFilesTest, AFileThatCannotBeWrittenIsReported)
{
    fill(*db_, 1, 1);
    QString error;
    EXPECT_FALSE(ExportRecordsCsv(*db_, path("no/such/folder/x.csv"), false, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(RecordFilesTest, AShortLineStopsTheLoadAndKeepsWhatWasStored)
{
    fill(*db_, 1, 9); // replaced by the load
    QStringList header;
    for (const char* c : CsvColumns) header << QLatin1String(c);
    QStringList line;
    for (int i = 0; i < 32; ++i) line << QStringLiteral("1");
    QStringList lines{header.join(',')};
    for (int n = 1; n <= 3; ++n) {
        line[1] = QString::number(n);
        line[31] = n == 2 ? QStringLiteral("345") : QStringLiteral("30");
        lines << line.join(',');
    }
    lines << QStringLiteral("1,4,2010-1-1");
    line[1] = QStringLiteral("5");
    lines << line.join(',');

    std::vector<int> corrected;
    const TCsvLoadOutcome out = LoadCsvLines(*db_, lines, [&](int32_t recNo, const TStoreOutcome& s) {
        if (s.tempCorrected) corrected.push_back(recNo);
    });
    EXPECT_EQ(out.stored, 3);
    EXPECT_EQ(out.badLine, 5);
    EXPECT_TRUE(out.error.contains(QStringLiteral("line 5"))) << out.error.toStdString();
    EXPECT_EQ(corrected, std::vector<int>{2});
    EXPECT_EQ(db_->RowCount(), 3);
    QSqlQuery q(db_->Database());
    ASSERT_TRUE(q.exec(QStringLiteral("Select Temperature from UpsEvntRecord where RecNo=2")) && q.next());
    EXPECT_EQ(q.value(0).toInt(), 34);
}

TEST_F(RecordFilesTest, AHeaderOfTooFewItemsReplacesNothing)
{
    fill(*db_, 1, 4);
    const TCsvLoadOutcome out = LoadCsvLines(*db_, {QStringLiteral("DevID,RecNo,UPSDate")});
    EXPECT_EQ(out.badLine, 1);
    EXPECT_FALSE(out.error.isEmpty());
    EXPECT_EQ(db_->RowCount(), 4);
}

TEST_F(RecordFilesTest, ReadingSkipsTheMarkAndFallsBackForOtherCharacterSets)
{
    QStringList lines;
    QString error;
    WriteFile(path("bom.csv"), "\xEF\xBB\xBFOne,\xE4\xB8\xAD\r\nTwo\nThree\r\n");
    ASSERT_TRUE(ReadTextLines(path("bom.csv"), &lines, &error));
    EXPECT_EQ(lines, (QStringList{QStringLiteral("One,中"), "Two", "Three"}));

    WriteFile(path("latin.csv"), "Caf\xE9,1\r\n");
    ASSERT_TRUE(ReadTextLines(path("latin.csv"), &lines, &error));
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(DelimitedItems(lines.first(), ',').value(1), QStringLiteral("1"));
    EXPECT_FALSE(lines.first().contains(QChar::ReplacementCharacter));

    WriteFile(path("empty.csv"), "");
    EXPECT_FALSE(ReadTextLines(path("empty.csv"), &lines, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(ReadTextLines(path("missing.csv"), &lines, &error));
}

TEST_F(RecordFilesTest, ACopyIsConsistentAndReplacesTheTargetWhole)
{
    fill(*db_, 1, 20);
    WriteFile(path("Rec01.mdb"), "an older file");
    WriteFile(path("Rec01.mdb-wal"), "the log of the older file");
    QString error;
    ASSERT_TRUE(CopyRecordDatabase(*db_, path("Rec01.mdb"), &error)) << error.toStdString();
    // A log left by the older file would be replayed into the copy.
    EXPECT_FALSE(QFileInfo::exists(path("Rec01.mdb-wal")));
    // The source stays open and usable.
    EXPECT_TRUE(db_->IsOpen());
    TRecordData r = Sample(21);
    EXPECT_TRUE(db_->StoreRecord(r).stored);

    TRecordDb copy;
    copy.SetFilePath(path("Rec01.mdb"));
    ASSERT_TRUE(copy.OpenRecordDb(&error)) << error.toStdString();
    EXPECT_EQ(copy.RowCount(), 20);
    // No temporary file is left beside it.
    EXPECT_EQ(QDir(dir_.path()).entryList(QStringList{"*.tmp"}, QDir::Files | QDir::Hidden).size(), 0);
}

TEST_F(RecordFilesTest, TheCurrentDatabaseIsRecognisedThroughALink)
{
    const QString link = path("link.mdb");
    ASSERT_TRUE(QFile::link(db_->FilePath(), link));
    EXPECT_TRUE(SameFile(db_->FilePath(), link));
    EXPECT_TRUE(SameFile(db_->FilePath(), dir_.path() + "/./record.mdb"));
    EXPECT_FALSE(SameFile(db_->FilePath(), path("Rec01.mdb")));
    fill(*db_, 1, 3);
    QString error;
    EXPECT_FALSE(CopyRecordDatabase(*db_, link, &error));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(db_->RowCount(), 3);
}

TEST_F(RecordFilesTest, ADamagedOrForeignCopyIsRefused)
{
    struct Case {
        const char* name;
        QByteArray bytes;
    };
    QByteArray damaged;
    {
        TRecordDb good;
        good.SetFilePath(path("good.mdb"));
        ASSERT_TRUE(good.OpenRecordDb());
        fill(good, 1, 200);
        good.Close();
        damaged = FileBytes(path("good.mdb"));
        for (int i = 4096; i < damaged.size(); i += 7) damaged[i] = char(0x5A);
    }
    const Case cases[] = {{"text.mdb", "not a database at all"}, {"damaged.mdb", damaged}};
    for (const Case& c : cases) {
        WriteFile(path(c.name), c.bytes);
        QString temp, error;
        EXPECT_FALSE(PrepareDatabaseCopy(path(c.name), db_->FilePath(), &temp, &error)) << c.name;
        EXPECT_FALSE(error.isEmpty()) << c.name;
        EXPECT_TRUE(temp.isEmpty());
    }
    {
        // A database without the record table.
        QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "foreign");
        other.setDatabaseName(path("foreign.mdb"));
        ASSERT_TRUE(other.open());
        QSqlQuery(other).exec("create table t(x)");
        other.close();
    }
    QSqlDatabase::removeDatabase("foreign");
    QString temp, error;
    EXPECT_FALSE(PrepareDatabaseCopy(path("foreign.mdb"), db_->FilePath(), &temp, &error));
    EXPECT_TRUE(error.contains("UpsEvntRecord")) << error.toStdString();
    EXPECT_EQ(QDir(dir_.path()).entryList(QStringList{"*.tmp"}, QDir::Files | QDir::Hidden).size(), 0);
}

TEST_F(RecordFilesTest, AGoodCopyReplacesTheClosedDatabase)
{
    fill(*db_, 1, 2);
    {
        TRecordDb source;
        source.SetFilePath(path("Rec01.mdb"));
        ASSERT_TRUE(source.OpenRecordDb());
        fill(source, 10, 16);
    }
    QString temp, error;
    ASSERT_TRUE(PrepareDatabaseCopy(path("Rec01.mdb"), db_->FilePath(), &temp, &error))
        << error.toStdString();
    db_->Close();
    ASSERT_TRUE(ReplaceDatabaseFile(temp, db_->FilePath(), &error)) << error.toStdString();
    ASSERT_TRUE(db_->OpenRecordDb());
    EXPECT_EQ(db_->RowCount(), 7);
    EXPECT_TRUE(QFileInfo::exists(path("Rec01.mdb")));
}

TEST(RecordDates, TheStoredFormIsReadLikeAnyOther)
{
    struct Case {
        const char* text;
        const char* stored; // what StoredDateText makes of it
    } cases[] = {
        {"2010-05-23 15:07:09", "2010-05-23 15:07:09"}, {"2010-5-23 15:7:9", "2010-05-23 15:07:09"},
        {"2010-13-01 00:00:00", "2000-01-01 00:00:00"}, {"0000-01-01 00:00:00", "2000-01-01 00:00:00"},
        {"2010-02-30 00:00:00", "2000-01-01 00:00:00"}, {"2010-05-23 24:00:00", "2000-01-01 00:00:00"},
        {"2010-05-23 23:60:00", "2000-01-01 00:00:00"}, {"2010-05-23T15:07:09", "2000-01-01 00:00:00"},
        {"2010-05-2a 15:07:09", "2000-01-01 00:00:00"}, {"2012-02-29 00:00:00", "2012-02-29 00:00:00"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StoredDateText(QLatin1String(c.text)), QLatin1String(c.stored)) << c.text;
        EXPECT_EQ(IsValidDateTime(QLatin1String(c.text)),
                  QLatin1String(c.stored) != QLatin1String("2000-01-01 00:00:00"))
            << c.text;
    }
}
