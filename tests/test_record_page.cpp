// The event-record window's second page headless (export, copies, loading and emptying the
// local records through the file dialogs and message boxes a test answers) and the record
// detail window with the grid events that drive it.
#include "model/UShareData.h"
#include "model/uDataFunc.h"
#include "model/uLocalPara.h"
#include "records/uRecDetail.h"
#include "store/uRecordDb.h"
#include "store/uRecordFiles.h"
#include "records/uUpsRec.h"
#include "support/DialogScript.h"
#include "support/FileDialogScript.h"
#include "support/ProgramRun.h"
#include "support/TestSupport.h"
#include "ui/uUiSeam.h"
#include "ui/uWidgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <vector>

namespace {

TRecordData Sample(int recNo)
{
    TRecordData r;
    r.DevID = 1;
    r.RecNo = recNo;
    r.Year = 2010;
    r.Month = 5;
    r.Day = 23;
    r.Hour = 15;
    r.UpsState = 4;
    r.ModuleID = 1;
    r.EventNo = 8;
    r.AlarmNo = 3;
    r.CMMState = 0x1234;
    r.MontAlarm = 0x00A0;
    r.InputV_A = 2219;
    r.OutputFreq = 501;
    r.NBattI = 9;
    r.Temperature = 33;
    return r;
}

QString CsvHeader()
{
    QStringList h;
    for (const char* c : CsvColumns) h << QLatin1String(c);
    return h.join(',');
}

// A CSV line of 32 items: record recNo, every other item 1, the temperature as given.
QString CsvLine(int recNo, int temperature = 30)
{
    QStringList items;
    for (int i = 0; i < 32; ++i) items << QStringLiteral("1");
    items[1] = QString::number(recNo);
    items[2] = QStringLiteral("\"2011-02-03 04:05:06\"");
    items[31] = QString::number(temperature);
    return items.join(',');
}

class RecordPageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        DetailRec = TDetailRec();
        ASSERT_TRUE(dir_.isValid());
        SetSettingsFolderOverride(dir_.path());
        w_ = std::make_unique<TfrmUpsRec>();
        w_->tmr1->stop();
        w_->ActiveForTest = false;
        detail_ = std::make_unique<TfrmRecDetail>();
    }
    void TearDown() override
    {
        detail_.reset();
        w_.reset();
        SetSettingsFolderOverride(QString());
        ResetAll();
    }
    TfrmUpsRec& w() { return *w_; }
    void fill(int first, int last)
    {
        for (int n = first; n <= last; ++n) {
            TRecordData r = Sample(n);
            ASSERT_TRUE(w().Db().StoreRecord(r).stored);
        }
        w().RefreshList();
    }
    int rows() { return w().Db().RowCount(); }
    std::vector<QString> recNos()
    {
        std::vector<QString> out;
        QSqlQuery q(w().Db().Database());
        EXPECT_TRUE(q.exec(QStringLiteral("Select RecNo from UpsEvntRecord order by RecNo")));
        while (q.next()) out.push_back(q.value(0).toString());
        return out;
    }
    QString path(const char* name) const { return dir_.filePath(QLatin1String(name)); }
    // Shows the window and makes it the active one, so that focus events are delivered.
    void activate()
    {
        w().ActiveForTest.reset();
        w().show();
        QApplication::setActiveWindow(&w());
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w()));
    }

    QTemporaryDir dir_;
    std::unique_ptr<TfrmUpsRec> w_;
    std::unique_ptr<TfrmRecDetail> detail_;
};

const char* const CurrentDbEn = "record.mdb is Current Database, Can not overwrite !";

} // namespace

TEST_F(RecordPageTest, ExportAsksForTheFileAndBeforeOverwriting)
{
    fill(1, 3);
    const QString csv = path("data/UpsRecord.csv");
    FileDialogScript files;
    DialogScript dialogs;

    // Cancelled dialog: nothing written.
    w().btnSaveAsExcel->click();
    ASSERT_EQ(files.asked.size(), 1u);
    EXPECT_TRUE(files.asked[0].save);
    EXPECT_EQ(files.asked[0].folder, w().DataFolder);
    EXPECT_EQ(files.asked[0].filter, QStringLiteral("*.csv"));
    EXPECT_EQ(files.asked[0].fileName, QStringLiteral("UpsRecord.csv"));
    EXPECT_FALSE(QFileInfo::exists(csv));
    EXPECT_TRUE(dialogs.messages.empty());

    // A new file: written without a question, then confirmed with its full path.
    files.answers = {csv};
    w().btnSaveAsExcel->click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].icon, QMessageBox::Information);
    EXPECT_EQ(dialogs.messages[0].text, "The records are saved in " + QDir::toNativeSeparators(csv));
    dialogs.messages.clear();
    const QByteArray first = FileBytes(csv);
    EXPECT_TRUE(first.startsWith("\xEF\xBB\xBF"
                                 "DevID,RecNo,UPSDate"));

    // An existing file: "是否覆盖:" + path + "? " in both languages; No keeps it.
    WriteFile(csv, "keep");
    files.answers = {csv};
    dialogs.buttons = {QMessageBox::No};
    w().btnSaveAsExcel->click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("是否覆盖:") + QDir::toNativeSeparators(csv) + "? ");
    EXPECT_EQ(dialogs.messages[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(dialogs.messages[0].icon, QMessageBox::Question);
    EXPECT_EQ(FileBytes(csv), QByteArray("keep"));
    files.answers = {csv};
    dialogs.buttons = {QMessageBox::Yes};
    w().btnSaveAsExcel->click();
    EXPECT_EQ(FileBytes(csv), first);
}

TEST_F(RecordPageTest, ExportOfAnEmptyListOrOntoTheDatabaseIsRefused)
{
    FileDialogScript files;
    DialogScript dialogs;
    WriteFile(path("old.csv"), "old");
    files.answers = {path("old.csv")};
    dialogs.buttons = {QMessageBox::Yes};
    w().btnSaveAsExcel->click();
    EXPECT_EQ(dialogs.messageTexts().last(), QStringLiteral("No record"));
    EXPECT_EQ(FileBytes(path("old.csv")), QByteArray("old"));

    // Written over the database file itself, the CSV text would destroy every record.
    fill(1, 2);
    dialogs.messages.clear();
    files.answers = {w().DbFile};
    dialogs.buttons = {QMessageBox::Yes};
    w().btnSaveAsExcel->click();
    EXPECT_EQ(dialogs.messageTexts().last(), QLatin1String(CurrentDbEn));
    EXPECT_EQ(rows(), 2);

    // A folder that does not exist: "Failed to save file".
    dialogs.messages.clear();
    files.answers = {path("no/such/folder/x.csv")};
    w().btnSaveAsExcel->click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("Failed to save file")));
}

TEST_F(RecordPageTest, ExportThenLoadRestoresEveryColumnAndCountsTheTemperature)
{
    fill(1, 4);
    // A record whose raw temperature the file carries as 345.
    QSqlQuery(w().Db().Database())
        .exec(QStringLiteral("Update UpsEvntRecord set Temperature=345 where RecNo=3"));
    auto snapshot = [this] {
        std::vector<std::vector<QString>> out;
        QSqlQuery q(w().Db().Database());
        EXPECT_TRUE(q.exec(QStringLiteral("Select * from UpsEvntRecord order by RecNo")));
        while (q.next()) {
            std::vector<QString> row;
            for (int c = 1; c < q.record().count(); ++c) row.push_back(q.value(c).toString());
            out.push_back(row);
        }
        return out;
    };
    const auto before = snapshot();
    FileDialogScript files;
    DialogScript dialogs;
    files.answers = {path("r.csv"), path("r.csv")};
    w().btnSaveAsExcel->click();
    const QString text = QString::fromUtf8(FileBytes(path("r.csv")).mid(3));
    EXPECT_TRUE(text.contains(QStringLiteral(",00A0,"))); // MontAlarm 160
    EXPECT_TRUE(text.contains(QStringLiteral(",221,")));  // InputV_A in whole volts
    // The export's confirmation.
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].icon, QMessageBox::Information);
    dialogs.messages.clear();

    w().TempFixCount = 0;
    dialogs.buttons = {QMessageBox::Ok};
    w().btnLoadFile->click();
    ASSERT_EQ(dialogs.messages.size(), 1u) << dialogs.messageTexts().join('|').toStdString();
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("Warning"));
    EXPECT_EQ(
        dialogs.messages[0].text,
        QStringLiteral("Load data form files, the original data will be lost ! \ndo you want to do ? "));
    EXPECT_EQ(dialogs.messages[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(dialogs.messages[0].defaultButton, QMessageBox::Cancel);
    EXPECT_EQ(files.asked.back().filter, QStringLiteral("*.*"));
    EXPECT_FALSE(files.asked.back().save);

    auto after = snapshot();
    ASSERT_EQ(after.size(), before.size());
    // The temperature 345 was stored as 34 and counted; every other column came back.
    const int temperature = after[0].size() - 1;
    EXPECT_EQ(after[2][temperature], QStringLiteral("34"));
    after[2][temperature] = before[2][temperature];
    EXPECT_EQ(after, before);
    EXPECT_EQ(w().TempFixCount, 1);
    EXPECT_TRUE(w().lblCntErr->isVisibleTo(&w()));
    EXPECT_EQ(w().lblCntErr->text(), QStringLiteral("1"));
    EXPECT_EQ(w().List().rowCount(), 4);
}

TEST_F(RecordPageTest, AnInvalidHeaderAsksAndOkLoadsByPosition)
{
    fill(1, 5);
    QString header = CsvHeader();
    header.replace(0, 5, QStringLiteral("devid"));
    WriteFile(path("lower.csv"), (header + "\r\n" + CsvLine(7) + "\r\n" + CsvLine(8) + "\r\n").toUtf8());
    FileDialogScript files;
    DialogScript dialogs;

    files.answers = {path("lower.csv")};
    dialogs.buttons = {QMessageBox::Ok, QMessageBox::Cancel};
    w().btnLoadFile->click();
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[1].text,
              QStringLiteral("The file format is not valid, whether also Loading ! "));
    EXPECT_EQ(dialogs.messages[1].defaultButton, QMessageBox::Cancel);
    EXPECT_EQ(rows(), 5); // Cancel kept the records

    LocalPara.Language = 1;
    dialogs.messages.clear();
    files.answers = {path("lower.csv")};
    dialogs.buttons = {QMessageBox::Ok, QMessageBox::Ok};
    w().btnLoadFile->click();
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("数据载入, 原有数据将被更新. \n是否执行? "));
    EXPECT_EQ(dialogs.messages[1].text, QStringLiteral("文件格式不正确, 是否还载入! "));
    EXPECT_EQ(recNos(), (std::vector<QString>{"7", "8"}));
}

TEST_F(RecordPageTest, AFileThatCannotBeUsedKeepsTheRecords)
{
    fill(1, 6);
    WriteFile(path("empty.csv"), "");
    WriteFile(path("bom-only.csv"), "\xEF\xBB\xBF");
    WriteFile(path("short-header.csv"), "DevID,RecNo,UPSDate\r\n1,2,3\r\n");
    WriteFile(path("notes.txt"), "anything");
    struct Case {
        const char* name;
        std::deque<QMessageBox::StandardButton> buttons;
        std::deque<QString> files;
        int messages; // message boxes shown in all
    };
    const Case cases[] = {
        {"the first question cancelled", {QMessageBox::Cancel}, {path("empty.csv")}, 1},
        {"the open dialog cancelled", {QMessageBox::Ok}, {QString()}, 1},
        {"an empty file", {QMessageBox::Ok}, {path("empty.csv")}, 2},
        {"a mark and nothing else", {QMessageBox::Ok}, {path("bom-only.csv")}, 2},
        {"a missing file", {QMessageBox::Ok}, {path("missing.csv")}, 2},
        {"a header of three items", {QMessageBox::Ok}, {path("short-header.csv")}, 2},
        {"another extension", {QMessageBox::Ok}, {path("notes.txt")}, 1},
    };
    for (const Case& c : cases) {
        FileDialogScript files;
        DialogScript dialogs;
        files.answers = c.files;
        dialogs.buttons = c.buttons;
        w().btnLoadFile->click();
        EXPECT_EQ(int(dialogs.messages.size()), c.messages) << c.name;
        if (c.messages == 2) EXPECT_EQ(dialogs.messages[1].icon, QMessageBox::Critical) << c.name;
        EXPECT_EQ(rows(), 6) << c.name;
        EXPECT_EQ(w().List().rowCount(), 6) << c.name;
    }
}

TEST_F(RecordPageTest, AShortLineStopsTheLoadAndNamesTheLine)
{
    fill(1, 9);
    WriteFile(path("cut.csv"), (CsvHeader() + "\r\n" + CsvLine(20) + "\r\n" + CsvLine(21) + "\r\n1,22,x\r\n" +
                                CsvLine(23) + "\r\n")
                                   .toUtf8());
    FileDialogScript files;
    DialogScript dialogs;
    files.answers = {path("cut.csv")};
    dialogs.buttons = {QMessageBox::Ok};
    w().btnLoadFile->click();
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_TRUE(dialogs.messages[1].text.contains(QStringLiteral("line 4")))
        << dialogs.messages[1].text.toStdString();
    EXPECT_EQ(recNos(), (std::vector<QString>{"20", "21"}));
    EXPECT_EQ(w().List().rowCount(), 2);
}

TEST_F(RecordPageTest, SaveAsCopiesAndRefusesTheCurrentDatabaseByAnyName)
{
    fill(1, 5);
    const QString link = path("data/link.mdb");
    ASSERT_TRUE(QFile::link(w().DbFile, link));
    FileDialogScript files;
    DialogScript dialogs;

    // The same file by its own name and through a link: refused, the database untouched.
    for (const QString& target : {w().DbFile, link}) {
        dialogs.messages.clear();
        files.answers = {target};
        w().btnSaveAs->click();
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(dialogs.messages[0].text, QLatin1String(CurrentDbEn));
        EXPECT_EQ(dialogs.messages[0].icon, QMessageBox::Warning);
        EXPECT_EQ(rows(), 5);
    }
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(files.asked[0].filter, QStringLiteral("*.mdb"));
    EXPECT_EQ(files.asked[0].fileName, QStringLiteral("Rec01.mdb"));
    EXPECT_EQ(files.asked[0].folder, w().DataFolder);

    // A new copy, then the question before overwriting it (Cancel keeps the old copy).
    const QString copy = path("data/Rec01.mdb");
    dialogs.messages.clear();
    files.answers = {copy};
    w().btnSaveAs->click();
    EXPECT_TRUE(dialogs.messages.empty());
    fill(6, 7);
    files.answers = {copy};
    dialogs.buttons = {QMessageBox::Cancel};
    w().btnSaveAs->click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text,
              QStringLiteral("Rec01.mdb already exists, \nDo you want to overwrite it ? "));
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("Warning"));
    {
        TRecordDb check;
        check.SetFilePath(copy);
        ASSERT_TRUE(check.OpenRecordDb());
        EXPECT_EQ(check.RowCount(), 5);
    }
    files.answers = {copy};
    dialogs.buttons = {QMessageBox::Ok};
    w().btnSaveAs->click();
    {
        TRecordDb check;
        check.SetFilePath(copy);
        ASSERT_TRUE(check.OpenRecordDb());
        EXPECT_EQ(check.RowCount(), 7);
    }

    // A copy that cannot be saved says so.
    dialogs.messages.clear();
    files.answers = {path("no/such/Rec02.mdb")};
    w().btnSaveAs->click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].icon, QMessageBox::Critical);

    // Cancelling the dialog still refreshes the list.
    w().List().CloseList();
    files.answers = {QString()};
    w().btnSaveAs->click();
    EXPECT_TRUE(w().List().IsOpen());
    EXPECT_EQ(w().List().rowCount(), 7);
}

TEST_F(RecordPageTest, LoadingACopyReplacesTheRecordsOnlyWhenTheCopyIsGood)
{
    fill(1, 5);
    FileDialogScript files;
    DialogScript dialogs;
    WriteFile(path("broken.mdb"), QByteArray("SQLite format 3\0", 16) + QByteArray(3000, '\x07'));
    const QString link = path("current-link.mdb");
    ASSERT_TRUE(QFile::link(w().DbFile, link));

    // The current database by another name, and a damaged copy: refused, the records kept.
    files.answers = {link};
    dialogs.buttons = {QMessageBox::Ok};
    w().btnLoadFile->click();
    EXPECT_EQ(dialogs.messageTexts().last(), QStringLiteral("record.mdb is current database ! "));
    files.answers = {path("broken.mdb")};
    dialogs.buttons = {QMessageBox::Ok};
    w().btnLoadFile->click();
    EXPECT_EQ(dialogs.messages.back().icon, QMessageBox::Critical);
    EXPECT_TRUE(dialogs.messages.back().text.contains(QStringLiteral("The local records are kept.")));
    EXPECT_EQ(rows(), 5);
    EXPECT_EQ(w().List().rowCount(), 5);
    EXPECT_EQ(QDir(path("data")).entryList(QStringList{"*.tmp"}, QDir::Files | QDir::Hidden).size(), 0);

    // A good copy replaces them.
    {
        TRecordDb other;
        other.SetFilePath(path("Other.MDB"));
        ASSERT_TRUE(other.OpenRecordDb());
        for (int n = 100; n < 103; ++n) {
            TRecordData r = Sample(n);
            ASSERT_TRUE(other.StoreRecord(r).stored);
        }
    }
    dialogs.messages.clear();
    files.answers = {path("Other.MDB")};
    dialogs.buttons = {QMessageBox::Ok};
    w().btnLoadFile->click();
    EXPECT_EQ(dialogs.messages.size(), 1u) << dialogs.messageTexts().join('|').toStdString();
    EXPECT_EQ(recNos(), (std::vector<QString>{"100", "101", "102"}));
    EXPECT_EQ(w().List().rowCount(), 3);
    // The stored records go on after the replacement.
    TRecordData r = Sample(103);
    w().StoreRecord(r);
    EXPECT_EQ(rows(), 4);
}

TEST_F(RecordPageTest, ClearEmptiesTheDatabaseOnlyAfterOk)
{
    fill(1, 5);
    w().intgrtptRec->setValue(4);
    FileDialogScript files;
    DialogScript dialogs;
    dialogs.buttons = {QMessageBox::Cancel};
    w().btnClear->click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("Are you sure to delect all record ? "));
    EXPECT_EQ(rows(), 5);
    dialogs.buttons = {QMessageBox::Ok};
    w().btnClear->click();
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(w().List().rowCount(), 0);
    EXPECT_EQ(w().intgrtptRec->value(), 1);
}

TEST_F(RecordPageTest, TheDetailShowsTheClickedRowInItsFormats)
{
    fill(1, 3);
    // A row whose measurement is null, as in a copy from elsewhere.
    QSqlQuery(w().Db().Database())
        .exec(QStringLiteral("Update UpsEvntRecord set InputV_B=NULL where RecNo=2"));
    w().chkRecNo->setChecked(false);
    w().intgrtptRec->setValue(1);
    w().RefreshList();
    QTableView* grid = w().DBGrd1;
    const int col = w().List().FieldIndex("RecNo");
    grid->setCurrentIndex(w().List().index(1, col));
    w().DBGrd1CellClick();
    EXPECT_EQ(DetailRec.RecNo, 2);
    EXPECT_EQ(DetailRec.DateText, QStringLiteral("2010-05-23 15:00:00"));
    EXPECT_EQ(detail_->edtCMMState->text(), QStringLiteral("1234"));
    EXPECT_EQ(detail_->redtSysAlarm->text(), QStringLiteral("00A0"));
    EXPECT_EQ(detail_->edtInputVA->text(), QStringLiteral("221.0"));
    EXPECT_EQ(detail_->edtInputVB->text(), QStringLiteral("0.0"));
    EXPECT_EQ(detail_->redtOutputFrq->text(), QStringLiteral("50.0"));
    EXPECT_EQ(detail_->redtTempe->text(), QStringLiteral("33.0"));
    EXPECT_EQ(detail_->pnlID->text(), QStringLiteral("2"));
    EXPECT_EQ(detail_->pnlDateTime->text(), QStringLiteral("2010-05-23 15:00:00"));
    EXPECT_FALSE(detail_->grpCode->isEnabled());
    EXPECT_EQ(w().intgrtptRec->value(), 1); // chkRecNo unchecked

    w().chkRecNo->setChecked(true);
    grid->setCurrentIndex(w().List().index(2, col));
    w().DBGrd1CellClick();
    EXPECT_EQ(DetailRec.RecNo, 3);
    EXPECT_EQ(w().intgrtptRec->value(), 3);
}

TEST_F(RecordPageTest, ClickAndWheelFillTheDetailArrowKeysDoNot)
{
    fill(1, 5);
    activate();
    QTableView* grid = w().DBGrd1;
    grid->setFocus(Qt::MouseFocusReason);
    ASSERT_TRUE(grid->hasFocus());
    const int col = w().List().FieldIndex("RecNo");
    const int x = grid->columnViewportPosition(col) + 5;

    // A real click on row 2.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(x, grid->rowViewportPosition(1) + 5));
    EXPECT_EQ(w().CurrentRowNo(), 2);
    EXPECT_EQ(DetailRec.RecNo, 2);

    // Arrow keys move the row but leave the detail.
    QTest::keyClick(grid, Qt::Key_Down);
    QTest::keyClick(grid, Qt::Key_Down);
    EXPECT_EQ(w().CurrentRowNo(), 4);
    EXPECT_EQ(DetailRec.RecNo, 2);

    // The wheel towards the operator moves one row down and fills the detail; away, one up.
    auto wheel = [&](int dy) {
        QWheelEvent e(QPointF(x, 5), grid->viewport()->mapToGlobal(QPointF(x, 5)), QPoint(), QPoint(0, dy),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(grid->viewport(), &e);
    };
    wheel(-120);
    EXPECT_EQ(w().CurrentRowNo(), 5);
    EXPECT_EQ(DetailRec.RecNo, 5);
    wheel(120);
    wheel(120);
    EXPECT_EQ(w().CurrentRowNo(), 3);
    EXPECT_EQ(DetailRec.RecNo, 3);
}

TEST_F(RecordPageTest, DoubleClickShowsTheDetailAndLeavingTheGridHidesIt)
{
    fill(1, 3);
    activate();
    QTableView* grid = w().DBGrd1;
    grid->setFocus(Qt::MouseFocusReason);
    const int col = w().List().FieldIndex("RecNo");
    // A double click as the platform delivers it: press, release, double click, release.
    const QPoint at(grid->columnViewportPosition(col) + 5, grid->rowViewportPosition(2) + 5);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_TRUE(detail_->isVisible());
    EXPECT_EQ(detail_->pnlID->text(), QStringLiteral("3"));
    // Showing it did not take the focus from the grid.
    EXPECT_TRUE(grid->hasFocus());

    // Another control of the window takes the focus: hidden.
    w().btnBegin->setFocus(Qt::MouseFocusReason);
    EXPECT_FALSE(detail_->isVisible());

    // Shown again, then the window is closed: hidden.
    grid->setFocus(Qt::MouseFocusReason);
    w().DBGrd1DblClick();
    EXPECT_TRUE(detail_->isVisible());
    w().close();
    EXPECT_FALSE(detail_->isVisible());
}

TEST_F(RecordPageTest, DetailCaptionsInBothLanguages)
{
    struct Row {
        const char* name;
        const char* en;
        const char* zh;
    } rows[] = {
        {"grpCode", "Code", "内码"},
        {"grpValue", "Data", "数据"},
        {"lblInputV", "InputVolt(V)", "输入电压(V)"},
        {"lblOutputV", "OutputVolt(V)", "输出电压(V)"},
        {"lblOutputI", "OutputCurr(A)", "输出电流(A)"},
        {"lblBattV", "Battery Volt(V)", "电池电压(V)"},
        {"lblBattI", "Battery Curr(A)", "电池电流(A)"},
        {"lblFrequency", "Frequency(Hz)", "频率(Hz)"},
        {"lblTempe", "Temperature", "温度"},
    };
    auto caption = [&](const char* name) {
        QObject* o = detail_->findChild<QObject*>(QLatin1String(name));
        if (auto* g = qobject_cast<QGroupBox*>(o)) return g->title();
        if (auto* l = qobject_cast<QLabel*>(o)) return l->text();
        return QStringLiteral("<missing %1>").arg(QLatin1String(name));
    };
    for (int language : {0, 1}) {
        LocalPara.Language = language;
        detail_->ApplyCaptions();
        for (const Row& r : rows)
            EXPECT_EQ(caption(r.name), QString::fromUtf8(language ? r.zh : r.en)) << r.name;
        EXPECT_EQ(detail_->windowTitle(), QStringLiteral("Record Detail"));
    }
    EXPECT_EQ(detail_->size(), QSize(432, 420));
    for (const char* name : {"edtCMMState",  "edtINVStateH",  "edtINVStateL", "redtSysState", "edtCMMAlarmH",
                             "edtCMMAlarmL", "edtINVAlarmH",  "edtINVAlarmL", "redtSysAlarm", "edtInputVA",
                             "edtInputVB",   "edtInputVC",    "redtInputFrq", "edtOutputVA",  "edtOutputVB",
                             "edtOutputVC",  "redtOutputFrq", "edtOutputIA",  "edtOutputIB",  "edtOutputIC",
                             "redtPBattV",   "redtNBattV",    "redtPBattI",   "redtNBattI",   "redtTempe"}) {
        auto* e = detail_->findChild<QLineEdit*>(QLatin1String(name));
        ASSERT_NE(e, nullptr) << name;
        EXPECT_TRUE(e->isReadOnly()) << name;
    }
}

// Pictures of the second page and of the detail window in both languages, for a person to look
// at (build-test/shots).
TEST_F(RecordPageTest, ScreenshotsOfTheSecondPageAndTheDetail)
{
    QDir().mkpath(QStringLiteral(ZYR_BINARY_DIR "/shots"));
    fill(1, 12);
    for (int language : {0, 1}) {
        LocalPara.Language = language;
        const char* suffix = language ? "zh" : "en";
        w().ApplyCaptions();
        w().RefreshList();
        w().pgcRec->setCurrentWidget(w().ts2);
        w().show();
        const QImage page = w().grab().toImage();
        EXPECT_EQ(page.width(), 670);
        EXPECT_TRUE(page.save(QStringLiteral(ZYR_BINARY_DIR "/shots/record-page2-%1.png").arg(suffix)));
        w().DBGrd1->setCurrentIndex(w().List().index(3, w().List().FieldIndex("RecNo")));
        w().FillDetail();
        detail_->ApplyCaptions();
        detail_->show();
        const QImage detail = detail_->grab().toImage();
        EXPECT_EQ(detail.size(), QSize(432, 420));
        EXPECT_TRUE(detail.save(QStringLiteral(ZYR_BINARY_DIR "/shots/record-detail-%1.png").arg(suffix)));
    }
}

// The program itself opens the detail view by name, as a double click on the grid does.
TEST(RecordDetailProgram, TheViewOpensByNameInBothLanguages)
{
    for (int language : {0, 1}) {
        const TProgramRun run = RunViewScreenshot(QStringLiteral("frmRecDetail"), language, 3);
        EXPECT_TRUE(run.ended) << language;
        EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
        EXPECT_FALSE(run.errors.contains(QStringLiteral("not shown"))) << run.errors.toStdString();
        EXPECT_EQ(run.picture.size(), QSize(432, 420)) << language;
    }
}
