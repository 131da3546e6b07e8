// The register viewer (edits, formats, the 2 s tick and its request, rows at the end of the
// register numbers, name mode) and the register dictionary (its file, good and bad).
#include "comm/uCabinet.h"
#include "diag/uFrmDict.h"
#include "diag/uViewMdb.h"
#include "model/UShareData.h"
#include "model/uUpsInfo.h"
#include "support/DialogScript.h"
#include "support/TestSupport.h"
#include "test_main_fixture.h"
#include "ui/uStringGrid.h"
#include "ui/uWidgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>
#include <sys/stat.h>

namespace {

// Runs a test inside a folder of its own, which is where the dictionary file is looked for.
class InTempFolder {
public:
    InTempFolder() : previous_(QDir::currentPath()) { QDir::setCurrent(dir_.path()); }
    ~InTempFolder() { QDir::setCurrent(previous_); }
    QString path(const QString& name) const { return dir_.filePath(name); }
    void write(const QByteArray& bytes) const
    {
        QFile f(path(QLatin1String(DictFileName)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

private:
    QTemporaryDir dir_;
    QString previous_;
};

class RegViewerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        view_ = std::make_unique<TfrmMdbView>();
        view_->tmr1->stop(); // ticks are called by hand
    }
    void TearDown() override
    {
        view_.reset();
        dict_.reset();
        ResetAll();
    }
    QString cell(int col, int row) const { return CellText(view_->strGrdData, col, row); }
    // Types into an edit and leaves it, as the operator does.
    static void typeAndLeave(QLineEdit* edit, const QString& text, const std::function<void()>& leave)
    {
        edit->setText(text);
        leave();
    }
    void chooseMode(int index) { view_->rgAddrSelect->item(index)->click(); }

    std::unique_ptr<TfrmMdbView> view_;
    std::unique_ptr<TfrmDict> dict_;
};

TEST_F(RegViewerTest, StartsAtTenHoldingRegistersFrom40001AndTheFirstTickAsksForThem)
{
    TfrmMdbView& v = *view_;
    EXPECT_EQ(v.windowTitle(), "View");
    EXPECT_EQ(v.size(), QSize(500, 460));
    EXPECT_EQ(v.OutIntAddr->text(), "40001");
    EXPECT_EQ(v.OutIntNum->text(), "10");
    EXPECT_EQ(v.cbbFunc->currentText(), "03H");
    EXPECT_TRUE(v.spbDec->isChecked());
    EXPECT_TRUE(v.chkPoll->isChecked());
    EXPECT_EQ(v.rgAddrSelect->ItemIndex(), 0);
    EXPECT_EQ(v.tmr1->interval(), 2000);
    ASSERT_EQ(v.strGrdData->rowCount(), 11);
    EXPECT_EQ(cell(0, 0), "Address");
    EXPECT_EQ(cell(1, 0), "Data");
    EXPECT_EQ(cell(0, 1), "40001");
    EXPECT_EQ(cell(0, 10), "40010");

    Cabinet().RegMirror[40003] = 32; // an older value is shown; nothing is read yet
    v.tmr1Timer();
    EXPECT_EQ(cell(1, 1), "0");
    EXPECT_EQ(cell(1, 3), "32");
    const TReqSlot& s = TestSlots()[3];
    EXPECT_EQ(s.Pending, FlagOn);
    EXPECT_EQ(s.Addr, 1);
    EXPECT_EQ(s.Func, 3);
    EXPECT_EQ(s.StartReg, 40001);
    EXPECT_EQ(s.Count, 10);
}

TEST_F(RegViewerTest, OneValueInTheThreeFormats)
{
    Cabinet().RegMirror[40001] = 0x8001;
    Cabinet().RegMirror[40002] = 0;
    view_->tmr1Timer();
    const struct {
        QToolButton* button;
        const char* first;
        const char* second;
    } cases[] = {{view_->spbHex, "8001", "0000"},
                 {view_->spbBin, "1000000000000001", "0000000000000000"},
                 {view_->spbDec, "32769", "0"}};
    for (const auto& c : cases) {
        c.button->click(); // shows at once, without waiting for the tick
        EXPECT_TRUE(c.button->isChecked());
        EXPECT_EQ(cell(1, 1), QLatin1String(c.first)) << c.button->objectName().toStdString();
        EXPECT_EQ(cell(1, 2), QLatin1String(c.second)) << c.button->objectName().toStdString();
    }
    // The buttons are exclusive.
    EXPECT_FALSE(view_->spbHex->isChecked());
    EXPECT_FALSE(view_->spbBin->isChecked());
}

TEST_F(RegViewerTest, TheRequestTakesTheEditsAsTheyStandTheGridWhatWasLeft)
{
    TfrmMdbView& v = *view_;
    v.OutIntAddr->setText("30001"); // typed, not left
    v.OutIntNum->setText("44");
    v.cbbFunc->setCurrentIndex(1);
    v.tmr1Timer();
    EXPECT_EQ(TestSlots()[3].Func, 4);
    EXPECT_EQ(TestSlots()[3].StartReg, 30001);
    EXPECT_EQ(TestSlots()[3].Count, 44);
    EXPECT_EQ(v.FuncCode, 2);
    EXPECT_EQ(cell(0, 1), "40001") << "the grid follows the edits only when they are left";
    EXPECT_EQ(v.strGrdData->rowCount(), 11);

    v.OutIntAddrExit();
    v.OutIntNumExit();
    EXPECT_EQ(v.Address, 30001);
    EXPECT_EQ(v.Number, 44);
    EXPECT_EQ(v.strGrdData->rowCount(), 45);
    EXPECT_EQ(cell(0, 44), "30044");

    typeAndLeave(v.OutIntAddr, "1", [&] { v.OutIntAddrExit(); });
    EXPECT_EQ(cell(0, 1), "00001");
}

TEST_F(RegViewerTest, ABusySlotOrPollsOffSendsNothingButTheGridIsRefreshed)
{
    TfrmMdbView& v = *view_;
    TestSlots()[3] = TReqSlot{FlagOn, 1, 43, 2, 0, 0, 0}; // the main window's version read
    Cabinet().RegMirror[40001] = 7;
    v.tmr1Timer();
    EXPECT_EQ(TestSlots()[3].Func, 43) << "a pending slot is left alone";
    EXPECT_EQ(cell(1, 1), "7");
    TestSlots()[3].Pending = FlagOff;
    v.tmr1Timer();
    EXPECT_EQ(TestSlots()[3].Func, 3) << "the next tick tries again";

    TestSlots()[3] = TReqSlot{};
    v.chkPoll->setChecked(false);
    Cabinet().RegMirror[40001] = 8; // another read still changes the mirror
    v.tmr1Timer();
    EXPECT_EQ(TestSlots()[3].Pending, FlagOff);
    EXPECT_EQ(cell(1, 1), "8");
}

TEST_F(RegViewerTest, CountZeroLeavesTheTitleRowAndStillAsks)
{
    TfrmMdbView& v = *view_;
    typeAndLeave(v.OutIntNum, "0", [&] { v.OutIntNumExit(); });
    EXPECT_EQ(v.strGrdData->rowCount(), 1);
    EXPECT_EQ(cell(0, 0), "Address");
    v.tmr1Timer();
    EXPECT_EQ(TestSlots()[3].Pending, FlagOn);
    EXPECT_EQ(TestSlots()[3].Count, 0);
}

// Counts above what one reply carries are sent as typed; only the end of the register
// numbers limits them, and rows past it show nothing.
struct RangeCase {
    const char* addr;
    const char* count;
    int sentStart;
    int sentCount;
};

class RegViewerRangeTest : public RegViewerTest, public ::testing::WithParamInterface<RangeCase> {};

TEST_P(RegViewerRangeTest, NoReadGoesPastTheLastRegister)
{
    const RangeCase& c = GetParam();
    view_->OutIntAddr->setText(QLatin1String(c.addr));
    view_->OutIntNum->setText(QLatin1String(c.count));
    view_->tmr1Timer();
    EXPECT_EQ(TestSlots()[3].StartReg, c.sentStart);
    EXPECT_EQ(TestSlots()[3].Count, c.sentCount);
    EXPECT_LE(TestSlots()[3].StartReg + TestSlots()[3].Count, MirrorEnd);
}

INSTANTIATE_TEST_SUITE_P(Counts, RegViewerRangeTest,
                         ::testing::Values(RangeCase{"40001", "200", 40001, 200}, // one reply cannot carry it
                                           RangeCase{"40001", "99999", 40001, 25535}, // up to 65535
                                           RangeCase{"65530", "10", 65530, 6},
                                           RangeCase{"65535", "1", 65535, 1},
                                           RangeCase{"70000", "5", 65535, 1}, // clamped to the range
                                           RangeCase{"", "", 40001, 10}));    // empty edits: the fields

TEST_F(RegViewerTest, RowsPastRegister65535ShowNothing)
{
    TfrmMdbView& v = *view_;
    Cabinet().RegMirror[65535] = 0xABCD;
    typeAndLeave(v.OutIntAddr, "65530", [&] { v.OutIntAddrExit(); });
    v.spbHex->click();
    v.tmr1Timer();
    ASSERT_EQ(v.strGrdData->rowCount(), 11);
    EXPECT_EQ(cell(0, 6), "65535");
    EXPECT_EQ(cell(1, 6), "ABCD");
    for (int row = 7; row <= 10; ++row) {
        EXPECT_EQ(cell(0, row), "") << row;
        EXPECT_EQ(cell(1, row), "") << row;
    }
    // A count typed beyond what a word holds becomes the most the grid can list.
    typeAndLeave(v.OutIntNum, "99999", [&] { v.OutIntNumExit(); });
    EXPECT_EQ(v.Number, 65535);
    EXPECT_EQ(v.OutIntNum->text(), "65535");
}

TEST_F(RegViewerTest, NameModeShowsTheDictionaryNames)
{
    InTempFolder folder;
    folder.write("40001,Input voltage A\n"
                 "\"40002\",\"Output voltage A\"\n"
                 "40003\n"
                 "Register,Name\n"
                 "40001,Duplicate\n");
    dict_ = std::make_unique<TfrmDict>();
    chooseMode(1);
    EXPECT_EQ(view_->ByNameMode, 1);
    EXPECT_EQ(cell(0, 1), "Input") << "a blank ends an item that is not quoted";
    EXPECT_EQ(cell(0, 2), "Output voltage A");
    EXPECT_EQ(cell(0, 3), "") << "a line without a name";
    EXPECT_EQ(cell(0, 4), "") << "no line for 40004";
    EXPECT_EQ(cell(0, 0), "Address");

    // The file as it is when the mode is chosen.
    folder.write("40004,Battery\n");
    chooseMode(0);
    EXPECT_EQ(cell(0, 4), "40004");
    chooseMode(1);
    EXPECT_EQ(cell(0, 4), "Battery");
    EXPECT_EQ(cell(0, 1), "");
}

TEST_F(RegViewerTest, NameModeWithoutADictionaryLeavesTheCellsEmpty)
{
    InTempFolder folder; // no file here
    DialogScript dialogs;
    chooseMode(1); // no dictionary window at all
    for (int row = 1; row <= 10; ++row) EXPECT_EQ(cell(0, row), "") << row;
    dict_ = std::make_unique<TfrmDict>(); // a dictionary window, but no file
    chooseMode(0);
    chooseMode(1);
    for (int row = 1; row <= 10; ++row) EXPECT_EQ(cell(0, row), "") << row;
    EXPECT_TRUE(dialogs.messages.empty()) << "the name mode does not complain about a missing file";
}

TEST_F(MainWindowTest, ModbusViewOpensOneViewerAndClosingFreesIt)
{
    TFrmMain& w = window();
    w.mni2005Click();
    QPointer<TfrmMdbView> first = frmMdbView;
    ASSERT_FALSE(first.isNull());
    EXPECT_TRUE(first->isVisible());
    first->OutIntAddr->setText("30001");
    first->OutIntAddrExit();
    w.mni2005Click();
    EXPECT_EQ(frmMdbView, first.data()) << "a second click shows the same viewer";
    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(frmMdbView, nullptr);
    w.mni2005Click();
    ASSERT_NE(frmMdbView, nullptr);
    EXPECT_EQ(frmMdbView->Address, 40001) << "a fresh viewer with the defaults";
    frmMdbView->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The dictionary window and its file.
class DictTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        dict_ = std::make_unique<TfrmDict>();
    }
    void TearDown() override { dict_.reset(); }
    std::unique_ptr<TfrmDict> dict_;
};

TEST_F(DictTest, ListsTheFirstTwoItemsOfEachLine)
{
    InTempFolder folder;
    folder.write("40001,Input voltage A\r\n"
                 "\"40001\",\"Input voltage A\"\r\n"
                 "40005,Level,extra,items\r\n"
                 "40006\r\n");
    DialogScript dialogs;
    dict_->btn1Click();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(dict_->windowTitle(), "Dictionary ");
    EXPECT_EQ(dict_->mmo1->toPlainText(), "40001Input\n40001Input voltage A\n40005Level\n40006");
    EXPECT_EQ(dict_->LookupName(40005, 1), "Level");
    EXPECT_EQ(dict_->LookupName(40005, 2), "extra");
    EXPECT_EQ(dict_->LookupName(40001, 1), "Input") << "the first line of a register wins";
}

TEST_F(DictTest, NamesInChineseFromUtf8AndFromTheChineseCodePage)
{
    InTempFolder folder;
    const QString name = QString::fromUtf8("输入电压");
    folder.write("\xEF\xBB\xBF"
                 "30001," +
                 name.toUtf8() + "\n");
    dict_->btn1Click();
    EXPECT_EQ(dict_->LookupName(30001, 1), name);
    // The same name in GB18030, as the cabinets' Windows tools write it.
    folder.write(QByteArray("30001,") + QByteArray::fromHex("CAE4C8EBB5E7D1B9") + "\n");
    dict_->btn1Click();
    EXPECT_EQ(dict_->LookupName(30001, 1), name);
}

struct BadFile {
    const char* name;
    std::function<void(const InTempFolder&)> make;
    bool message; // false: an empty list without a message
};

class DictBadFileTest : public DictTest, public ::testing::WithParamInterface<BadFile> {};

TEST_P(DictBadFileTest, GivesAMessageOrAnEmptyListNeverACrashOrAHang)
{
    InTempFolder folder;
    GetParam().make(folder);
    dict_->mmo1->setPlainText("left from before");
    DialogScript dialogs;
    QElapsedTimer clock;
    clock.start();
    dict_->btn1Click();
    EXPECT_TRUE(dict_->mmo1->toPlainText().isEmpty());
    EXPECT_EQ(dict_->EntryCount(), 0);
    EXPECT_EQ(dict_->LookupName(40001, 1), "");
    ASSERT_EQ(dialogs.messages.size(), GetParam().message ? 1u : 0u)
        << dialogs.messageTexts().join('|').toStdString();
    if (GetParam().message) {
        EXPECT_TRUE(dialogs.messages[0].text.contains(QLatin1String(DictFileName)))
            << dialogs.messages[0].text.toStdString();
        EXPECT_EQ(dialogs.messages[0].icon, QMessageBox::Critical);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, DictBadFileTest,
    ::testing::Values(
        BadFile{"Missing", [](const InTempFolder&) {}, true},
        BadFile{"Empty", [](const InTempFolder& f) { f.write(""); }, false},
        BadFile{"Binary", [](const InTempFolder& f) { f.write(QByteArray("40001,\0\x01\x02\xFF", 10)); },
                true},
        BadFile{"Huge", [](const InTempFolder& f) { f.write(QByteArray(DictMaxBytes + 1, 'x')); }, true},
        BadFile{"Folder", [](const InTempFolder& f) { QDir().mkpath(f.path(QLatin1String(DictFileName))); },
                true},
        BadFile{"Pipe",
                [](const InTempFolder& f) {
                    ASSERT_EQ(
                        ::mkfifo(QFile::encodeName(f.path(QLatin1String(DictFileName))).constData(), 0600),
                        0);
                },
                true}),
    [](const ::testing::TestParamInfo<BadFile>& i) { return std::string(i.param.name); });

TEST_F(DictTest, AFileJustUnderTheLimitIsRead)
{
    InTempFolder folder;
    QByteArray lines;
    for (int i = 0; lines.size() < DictMaxBytes - 64; ++i)
        lines += "40001,Name" + QByteArray::number(i) + "\n";
    folder.write(lines);
    DialogScript dialogs;
    dict_->btn1Click();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_GT(dict_->EntryCount(), 100000);
    EXPECT_EQ(dict_->LookupName(40001, 1), "Name0");
}

} // namespace
