// Every editor that writes to the cabinet, pressed in the situations where the write must not
// go out: a slot it needs still busy, the port closed, nothing chosen, a text that is no
// number, a number beyond the register. In each the editor queues nothing and says why.
#include "comm/uCabinet.h"
#include "comm/uFrmCom.h"
#include "comm/uKModbus.h"
#include "comm/uRestoreWriter.h"
#include "model/UShareData.h"
#include "model/uUpsInfo.h"
#include "settings/UFrmSetBit.h"
#include "settings/uEdtMdRegist.h"
#include "settings/uFrmDataSet.h"
#include "settings/uFrmEdtZyr.h"
#include "settings/uMobusSet.h"
#include "support/DialogScript.h"
#include "support/FakeTransport.h"
#include "support/TestSupport.h"
#include "ui/uReqSlots.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

enum class TEditor { DataSetEdit, DataSetChoice, ZyrList, ZyrText, OptionSet, RegEditor, MaskBits };

struct RefusalCase {
    const char* name;
    TEditor editor;
    int row;           // the row chosen in the editor's list (-1: the editor has none)
    const char* entry; // typed into the editor's edit; nullptr: the list keeps no choice
    bool portOpen;
    int busySlot; // a slot holding another request when the operator presses (0: none)
    int language;
    const char* message;
    bool staysOpen = true;
    bool paused = false; // the trace window's pause is pressed
    int cfgFrom = 1;     // the cabinet the configuration registers were read from (0: none)
};

// A write someone else queued, left exactly as it was by a refused write.
constexpr int32_t OtherReg = 40017;

class WriteRefusals : public ::testing::TestWithParam<RefusalCase> {
protected:
    void SetUp() override
    {
        ResetAll();
        com = std::make_unique<TFrmCom>();
        com->Timer1.stop();
        UseFakeLine(
            *com, [this] { return portOpen; }, [](const uint8_t*, int) { return true; });
        Cabinet().UpsData[1].Para40007 = 1;
        Cabinet().UpsData[1].Para40006 = 55; // matches no frequency item: nothing chosen
        Cabinet().UpsData[1].SysState = 3;
        Cabinet().CfgTextRecvd = FlagOn;
        std::memcpy(Cabinet().CfgRx, "ACME           ZYR-60    ", 25);
        Cabinet().CfgRx[35] = 26; // no item of the inside-communication list
        std::fill(std::begin(Cabinet().CfgRegsFrom), std::end(Cabinet().CfgRegsFrom), uint8_t(1));
        Cabinet().OptBaud = -1;
        Cabinet().OptProtocol = 1;
    }
    void TearDown() override
    {
        com.reset();
        ResetAll();
    }

    // Presses the editor's write button as the case says; returns whether the window is open.
    bool press(const RefusalCase& c)
    {
        const QString entry = c.entry ? QString::fromUtf8(c.entry) : QString();
        switch (c.editor) {
        case TEditor::DataSetEdit:
        case TEditor::DataSetChoice: {
            TFrmDataSet w;
            w.show();
            w.lstUpsSet->setCurrentRow(c.row);
            if (c.editor == TEditor::DataSetEdit) w.Edit1->setText(entry);
            w.btnSetToClick();
            return w.isVisible();
        }
        case TEditor::ZyrList:
        case TEditor::ZyrText: {
            TfrmEdtZyrCfg w;
            w.show();
            w.lstSelct->setCurrentRow(c.row);
            if (c.editor == TEditor::ZyrText) w.edtText->setText(entry);
            w.btnSendClick();
            return w.isVisible();
        }
        case TEditor::OptionSet: {
            TfrmMdbSet w;
            w.show();
            w.lstSelct->setCurrentRow(c.row);
            w.btnSendClick();
            return w.isVisible();
        }
        case TEditor::RegEditor: {
            TfrmEdtMdRegist w;
            w.AddEntry(51061, 26280);
            w.show();
            w.lstSelct->setCurrentRow(c.row);
            w.edtText->setText(entry);
            w.btnSendClick();
            return w.isVisible();
        }
        case TEditor::MaskBits: {
            MaskChannel = 5;
            MaskValue = 0x8001;
            TFrmSetBit w;
            w.show();
            w.btnOKClick();
            return w.isVisible();
        }
        }
        return false;
    }

    bool portOpen = true;
    std::unique_ptr<TFrmCom> com;
};

TEST_P(WriteRefusals, QueuesNothingAndSaysWhy)
{
    const RefusalCase& c = GetParam();
    portOpen = c.portOpen;
    LocalPara.Language = c.language;
    TestLinkState().CommPaused = c.paused;
    std::fill(std::begin(Cabinet().CfgRegsFrom), std::end(Cabinet().CfgRegsFrom), uint8_t(c.cfgFrom));
    if (c.busySlot) {
        TestSlots()[c.busySlot].Pending = FlagOn;
        TestSlots()[c.busySlot].Func = 6;
        TestSlots()[c.busySlot].StartReg = OtherReg;
        TestSlots()[c.busySlot].Count = 0;
    }
    DialogScript script;
    const bool open = press(c);

    EXPECT_EQ(script.messageTexts(), QStringList{QString::fromUtf8(c.message)});
    for (int i = 1; i <= ReqSlotCount; ++i) {
        SCOPED_TRACE(i);
        if (i == c.busySlot) {
            EXPECT_EQ(TestSlots()[i].Pending, FlagOn);
            EXPECT_EQ(TestSlots()[i].Func, 6) << "the busy slot keeps what it held";
            EXPECT_EQ(TestSlots()[i].StartReg, OtherReg);
        } else {
            EXPECT_EQ(TestSlots()[i].Pending, FlagOff) << "nothing queued";
        }
    }
    EXPECT_EQ(open, c.staysOpen) << "the entries stay for another try";
    if (c.editor == TEditor::ZyrText)
        EXPECT_EQ(std::memcmp(CfgEdit, Cabinet().CfgRx, 25), 0) << "the edit copy is as the editor opened it";
}

using E = TEditor;
constexpr const char* Busy = "Link busy, please try again";
constexpr const char* Off = "COM Port is off !";
constexpr const char* Paused = "Link paused, please resume it in the trace window";
constexpr const char* NotRead = "The configuration has not been read from this cabinet yet.\n"
                                "Close this window, wait until the view shows it, then edit again.";

INSTANTIATE_TEST_SUITE_P(
    Table, WriteRefusals,
    ::testing::Values(
        // A slot the write needs is busy: the write-enable, the word or the read-back.
        RefusalCase{"DataSetBusyEnable", E::DataSetEdit, 16, "3", true, 1, 0, Busy},
        RefusalCase{"DataSetBusyWord", E::DataSetEdit, 16, "3", true, 2, 0, Busy},
        RefusalCase{"DataSetBusyReadBack", E::DataSetEdit, 16, "3", true, 3, 0, Busy},
        RefusalCase{"DataSetBusyChinese", E::DataSetEdit, 16, "3", true, 3, 1, "通讯忙，请重试"},
        RefusalCase{"ZyrListBusyReadBack", E::ZyrList, 3, nullptr, true, 2, 0, Busy},
        RefusalCase{"ZyrTextBusyWholeTexts", E::ZyrText, 0, "NEWCO", true, 2, 0, Busy},
        RefusalCase{"OptionBusyReadBack", E::OptionSet, 1, nullptr, true, 2, 0, Busy},
        RefusalCase{"RegEditorBusy", E::RegEditor, 0, "100", true, 1, 0, Busy},
        RefusalCase{"MaskBusyReadBackKeepsWindowOpen", E::MaskBits, -1, nullptr, true, 3, 0, Busy},
        RefusalCase{"MaskBusyWord", E::MaskBits, -1, nullptr, true, 2, 0, Busy},
        // The port is closed: nothing waits for it to open.
        RefusalCase{"DataSetPortOff", E::DataSetEdit, 16, "3", false, 0, 0, "Serial Port Off"},
        RefusalCase{"ZyrListPortOff", E::ZyrList, 3, nullptr, false, 0, 0, Off},
        RefusalCase{"ZyrTextPortOff", E::ZyrText, 0, "NEWCO", false, 0, 0, Off},
        RefusalCase{"OptionPortOff", E::OptionSet, 1, nullptr, false, 0, 0, Off},
        RefusalCase{"RegEditorPortOff", E::RegEditor, 0, "100", false, 0, 0, Off},
        RefusalCase{"MaskPortOff", E::MaskBits, -1, nullptr, false, 0, 0, Off},
        // The link is paused in the trace window: a write would go out whenever it resumes.
        RefusalCase{"DataSetPaused", E::DataSetEdit, 16, "3", true, 0, 0, Paused, true, true},
        RefusalCase{"DataSetPausedChinese", E::DataSetEdit, 16, "3", true, 0, 1,
                    "通讯已暂停，请在通讯跟踪窗口中恢复", true, true},
        RefusalCase{"ZyrListPaused", E::ZyrList, 3, nullptr, true, 0, 0, Paused, true, true},
        RefusalCase{"ZyrTextPaused", E::ZyrText, 0, "NEWCO", true, 0, 0, Paused, true, true},
        RefusalCase{"OptionPaused", E::OptionSet, 1, nullptr, true, 0, 0, Paused, true, true},
        RefusalCase{"RegEditorPaused", E::RegEditor, 0, "100", true, 0, 0, Paused, true, true},
        RefusalCase{"MaskPaused", E::MaskBits, -1, nullptr, true, 0, 0, Paused, true, true},
        // A configuration row whose value was never read from this cabinet: its choice starts
        // from zeros or another cabinet's value.
        RefusalCase{"ZyrRowNeverRead", E::ZyrList, 3, nullptr, true, 0, 0, NotRead, true, false, 0},
        RefusalCase{"ZyrRowReadFromAnotherCabinet", E::ZyrList, 5, nullptr, true, 0, 0, NotRead, true, false, 2},
        // Nothing chosen.
        RefusalCase{"DataSetNoFrequency", E::DataSetChoice, 2, nullptr, true, 0, 0,
                    "[System Frequence Level] value is invalid"},
        RefusalCase{"ZyrInsideCommNone", E::ZyrList, 2, nullptr, true, 0, 0,
                    "[Type of Inside Common] value is invalid"},
        RefusalCase{"ZyrInsideCommNoneChinese", E::ZyrList, 2, nullptr, true, 0, 1,
                    "[内部通讯方式] 数值无效"},
        RefusalCase{"OptionBaudNone", E::OptionSet, 0, nullptr, true, 0, 0, "[Baud] value is invalid"},
        RefusalCase{"OptionBaudNoneChinese", E::OptionSet, 0, nullptr, true, 0, 1, "[波特率] 数值无效"},
        RefusalCase{"RegEditorEmpty", E::RegEditor, 0, "", true, 0, 0,
                    "[Battery Time limit(hour)] value is invalid: enter a number from 0 to 65535"},
        // A text that is no number (only the ASCII digits 0 to 9 are digits).
        RefusalCase{"DataSetPastedText", E::DataSetEdit, 16, "abc", true, 0, 0,
                    "[Parallel Amount] value is invalid"},
        RefusalCase{"DataSetFullWidthDigit", E::DataSetEdit, 16, "３", true, 0, 0,
                    "[Parallel Amount] value is invalid"},
        RefusalCase{"DataSetSignedNumber", E::DataSetEdit, 16, "+3", true, 0, 0,
                    "[Parallel Amount] value is invalid"},
        RefusalCase{"DataSetPastedTextChinese", E::DataSetEdit, 16, "abc", true, 0, 1,
                    "[系统并机总台数] 数值无效"},
        RefusalCase{"RegEditorLetters", E::RegEditor, 0, "12a", true, 0, 0,
                    "[Battery Time limit(hour)] value is invalid: enter a number from 0 to 65535"},
        RefusalCase{"RegEditorFullWidth", E::RegEditor, 0, "４２", true, 0, 1,
                    "[电池时间上限(小时)] 数值无效: 请输入 0 到 65535 之间的数"},
        // Beyond what the register holds.
        RefusalCase{"DataSetNotAByte", E::DataSetEdit, 16, "256", true, 0, 0,
                    "[Parallel Amount] value is invalid"},
        RefusalCase{"RegEditor70000", E::RegEditor, 0, "70000", true, 0, 0,
                    "[Battery Time limit(hour)] value is invalid: enter a number from 0 to 65535"},
        RefusalCase{"RegEditor65536", E::RegEditor, 0, "65536", true, 0, 0,
                    "[Battery Time limit(hour)] value is invalid: enter a number from 0 to 65535"}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

// The same editors with the link free and the port open do write: the table above refuses for
// its reason only.
TEST_F(WriteRefusals, FreeLinkAndAChoiceQueueTheWholeWrite)
{
    DialogScript script;
    {
        TfrmMdbSet w;
        w.show();
        w.lstSelct->setCurrentRow(0);
        w.cbbSelect->setCurrentIndex(2);
        w.btnSendClick();
    }
    EXPECT_TRUE(script.messages.empty());
    EXPECT_EQ(TestSlots()[1].Pending, FlagOn);
    EXPECT_EQ(TestSlots()[1].Func, 6);
    EXPECT_EQ(TestSlots()[1].Value, 2);
    EXPECT_EQ(TestSlots()[2].Pending, FlagOn);
    EXPECT_EQ(TestSlots()[2].Func, 3);

    TestSlots()[1].Pending = TestSlots()[2].Pending = FlagOff;
    {
        TfrmEdtMdRegist w;
        w.AddEntry(51061, 26280);
        w.show();
        w.lstSelct->setCurrentRow(0);
        w.edtText->setText(QStringLiteral("65535"));
        w.btnSendClick();
    }
    EXPECT_TRUE(script.messages.empty());
    EXPECT_EQ(TestSlots()[1].Pending, FlagOn);
    EXPECT_EQ(TestSlots()[1].Value, 65535);

    TestSlots()[1].Pending = FlagOff;
    MaskChannel = 5;
    MaskValue = 0x8001;
    TFrmSetBit bits;
    bits.show();
    bits.btnOKClick();
    EXPECT_FALSE(bits.isVisible()) << "a queued mask write closes the window";
    EXPECT_EQ(TestSlots()[1].Pending, FlagOn);
    EXPECT_EQ(TestSlots()[2].Value, 0x8001);
    EXPECT_EQ(TestSlots()[3].Pending, FlagOn);
}

// A function-16 write carries the words of the moment Send was pressed: reopening the editor
// before the link takes the slot (which copies the cabinet's texts into the edit copy again)
// changes nothing on the wire.
TEST_F(WriteRefusals, TextWriteSendsTheWordsConfirmedAtSend)
{
    DialogScript script;
    {
        TfrmEdtZyrCfg w;
        w.show();
        w.lstSelct->setCurrentRow(TfrmEdtZyrCfg::RowCompany);
        w.edtText->setText(QStringLiteral("NEWCO"));
        w.btnSendClick();
    }
    ASSERT_TRUE(script.messages.empty()) << script.messageTexts().join('\n').toStdString();
    ASSERT_EQ(TestSlots()[1].Pending, FlagOn);
    ASSERT_EQ(TestSlots()[2].Pending, FlagOn);
    {
        TfrmEdtZyrCfg again; // FormShow: the edit copy is the cabinet's texts once more
        again.show();
    }
    std::memset(CfgEdit, 0, CfgSize); // or blanked altogether
    TMModbus& mb = *com->Modbus;
    for (int slot : {1, 2}) {
        SCOPED_TRACE(slot);
        mb.BuildNextRequest(TestSlots(), TestLinkState(), 1, 1);
        ASSERT_EQ(mb.ReqFunc, 16);
        const int count = mb.ReqCount;
        ASSERT_EQ(mb.FrameLen, 9 + 2 * count);
        QByteArray company;
        for (int i = 0; i < 15; ++i) company.append(char(TestTxBuf()[7 + 2 * i + 1]));
        EXPECT_EQ(company, QByteArray("NEWCO          "));
        if (count == 30) {
            QByteArray model;
            for (int i = 20; i < 30; ++i) model.append(char(TestTxBuf()[7 + 2 * i + 1]));
            EXPECT_EQ(model, QByteArray("ZYR-60    ")) << "the other text is written back unchanged";
        }
    }
}

TEST(AsciiNumber, OnlyTheDigitsZeroToNineMakeANumber)
{
    const struct {
        const char* text;
        bool ok;
        long value;
    } cases[] = {{"0", true, 0},   {"65535", true, 65535}, {"000042", true, 42}, {"", false, 0},
                 {" 5", false, 0}, {"+5", false, 0},       {"-5", false, 0},     {"5.0", false, 0},
                 {"٣", false, 0},  {"３", false, 0},       {"65536", false, 0},  {"9999999999", false, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        long v = -1;
        EXPECT_EQ(ParseAsciiNumber(QString::fromUtf8(c.text), 65535, &v), c.ok);
        if (c.ok) EXPECT_EQ(v, c.value);
    }
}


// The restore's writer fills its slots itself: on a paused link it queues nothing, and a pause
// that outlasts its stall ends the run with every register not sent, as a silent cabinet does.
TEST(RestoreWriterPaused, QueuesNothingAndEndsWithTheRestNotSent)
{
    ResetAll();
    auto com = std::make_unique<TFrmCom>();
    com->Timer1.stop();
    UseFakeLine(
        *com, [] { return true; }, [](const uint8_t*, int) { return true; });
    TestLinkState().CommPaused = true;
    TRestoreWriter writer(1, QStringLiteral("test"));
    std::vector<std::pair<int, int>> verdicts;
    QObject::connect(&writer, &TRestoreWriter::Verdict,
                     [&](int index, int verdict, int) { verdicts.emplace_back(index, verdict); });
    ASSERT_TRUE(writer.Start({{40015, 32}, {51024, 3}}));
    writer.Step();
    for (int slot = 1; slot <= ReqSlotCount; ++slot) EXPECT_EQ(TestSlots()[slot].Pending, FlagOff) << slot;
    for (int i = 0; i < TRestoreWriter::StallSeconds * 10 + 2 && writer.Running(); ++i) writer.Step();
    EXPECT_FALSE(writer.Running());
    EXPECT_EQ(writer.End(), TRestoreWriter::TEnd::NoAnswer);
    const std::vector<std::pair<int, int>> notSent{{0, int(TWriteVerdict::NotSent)},
                                                   {1, int(TWriteVerdict::NotSent)}};
    EXPECT_EQ(verdicts, notSent);
    for (int slot = 1; slot <= ReqSlotCount; ++slot) EXPECT_EQ(TestSlots()[slot].Pending, FlagOff) << slot;
    TestLinkState().CommPaused = false;
    ResetAll();
}

} // namespace
