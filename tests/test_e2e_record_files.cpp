// The record files end to end: the tool downloads the simulated cabinet's log over a
// pseudo-terminal, exports it from the second page to a CSV file whose records, loaded again,
// equal the cabinet's own account of its log; a saved copy, after the local records are
// cleared, loads them back; the detail window made at start-up shows a downloaded row.
#include "app/UFrmMain.h"
#include "app/uStartup.h"
#include "cli/uCmdLine.h"
#include "comm/uCabinet.h"
#include "comm/uFrmCom.h"
#include "model/UShareData.h"
#include "model/uDataFunc.h"
#include "model/uLocalPara.h"
#include "records/uRecDetail.h"
#include "records/uUpsRec.h"
#include "simharness/SimHarness.h"
#include "store/uRecordDb.h"
#include "store/uRecordFiles.h"
#include "support/DialogScript.h"
#include "support/FileDialogScript.h"
#include "support/SimRecordLog.h"
#include "support/TestSupport.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Every row of db compared with the simulator's log; the texts of the rows that differ.
QStringList Differences(TRecordDb& db, const std::map<int, QStringList>& expected, int* rows)
{
    QStringList wrong;
    QSqlQuery q(db.Database());
    if (!q.exec(QStringLiteral("Select * from UpsEvntRecord order by RecNo"))) return {q.lastError().text()};
    *rows = 0;
    while (q.next()) {
        ++*rows;
        const int n = q.value("RecNo").toInt();
        const auto e = expected.find(n);
        if (e == expected.end()) {
            wrong << QStringLiteral("record %1 is not in the log").arg(n);
            continue;
        }
        const QString w = compareRow(q.record(), e->second, nullptr);
        if (!w.isEmpty()) wrong << QStringLiteral("record %1: %2").arg(n).arg(w);
    }
    return wrong;
}

} // namespace

TEST(RecordFilesEndToEnd, DownloadedRecordsGoThroughACsvFileAndACopyUnchanged)
{
    ResetAll();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QStringList simArgs{"--records", "8", "--invalid-dates"};
    const std::map<int, QStringList> expected = simulatorLog(simArgs);
    ASSERT_EQ(expected.size(), 8u);
    simtest::SimProcess sim;
    ASSERT_TRUE(sim.start(simArgs + QStringList{"--baud", "19200", "--no-drift"}));

    DialogScript dialogs;
    FileDialogScript files;
    QString error;
    TCmdLine options;
    ASSERT_TRUE(ParseCmdLine(
        {"zyrtool", "--settings-dir", dir.path(), "--port", sim.link(), "--baud", "19200", "--connect"},
        options, error))
        << error.toStdString();
    auto startup = std::make_unique<TStartup>(options);
    ASSERT_TRUE(startup->CreateWindows(error)) << error.toStdString();
    startup->Start();
    ASSERT_TRUE(FrmCom->PortOpen());
    startup->Main()->mni3001Click();
    TfrmUpsRec* w = startup->Main()->frmUpsRec;
    ASSERT_NE(w, nullptr);
    w->ActiveForTest = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->redtAllRec->text() == "8"; }, 20000));

    w->btnBegin->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cabinet().RecInfo.PollHold == 0; }, 120000));
    int rows = 0;
    EXPECT_EQ(Differences(w->Db(), expected, &rows), QStringList());
    ASSERT_EQ(rows, 8);

    // Export with the file dialog's proposal, then the file loaded into a database of its own.
    const QString csv = w->DataFolder + QStringLiteral("UpsRecord.csv");
    files.answers = {csv};
    w->btnSaveAsExcel->click();
    ASSERT_EQ(files.asked.size(), 1u);
    EXPECT_EQ(files.asked[0].fileName, QStringLiteral("UpsRecord.csv"));
    QStringList lines;
    ASSERT_TRUE(ReadTextLines(csv, &lines, &error)) << error.toStdString();
    ASSERT_EQ(lines.size(), 9);
    EXPECT_EQ(DelimitedField(lines.at(3), ',', 7), HexWord(expected.at(3).at(11).toUInt())); // CMMState
    TRecordDb loaded;
    loaded.SetFilePath(dir.filePath("loaded.mdb"));
    ASSERT_TRUE(loaded.OpenRecordDb());
    EXPECT_EQ(LoadCsvLines(loaded, lines).stored, 8);
    EXPECT_EQ(Differences(loaded, expected, &rows), QStringList());
    EXPECT_EQ(rows, 8);

    // A copy, the local records cleared, the copy loaded back.
    const QString copy = w->DataFolder + QStringLiteral("Rec01.mdb");
    files.answers = {copy};
    w->btnSaveAs->click();
    dialogs.buttons = {QMessageBox::Ok};
    w->btnClear->click();
    EXPECT_EQ(w->Db().RowCount(), 0);
    files.answers = {copy};
    dialogs.buttons = {QMessageBox::Ok};
    w->btnLoadFile->click();
    EXPECT_EQ(Differences(w->Db(), expected, &rows), QStringList());
    EXPECT_EQ(rows, 8);
    EXPECT_EQ(w->List().rowCount(), 8);
    // The export's confirmation, the clear's and the load's questions.
    EXPECT_EQ(dialogs.messages.size(), 3u) << dialogs.messageTexts().join('|').toStdString();

    // The detail window made at start-up shows the clicked row.
    TfrmRecDetail* detail = RecDetailWindow();
    ASSERT_NE(detail, nullptr);
    w->DBGrd1->setCurrentIndex(w->List().index(4, w->List().FieldIndex("RecNo")));
    w->DBGrd1CellClick();
    w->DBGrd1DblClick();
    EXPECT_TRUE(detail->isVisible());
    EXPECT_EQ(detail->pnlID->text(), QStringLiteral("5"));
    EXPECT_EQ(detail->redtSysAlarm->text(), HexWord(expected.at(5).at(19).toUInt()));
    EXPECT_EQ(detail->edtInputVA->text(), DetailValueText(expected.at(5).at(20).toInt() / 10));

    startup.reset();
    SetSettingsFolderOverride(QString());
    ResetAll();
}
