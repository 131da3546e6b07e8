// The port dialog's Find, end to end: the tool as it starts, the dialog opened from the menu,
// the simulated cabinet on a pseudo-terminal at a speed the tool was not told.
#include "app/UFrmCommInterface.h"
#include "app/UFrmMain.h"
#include "cli/uCmdLine.h"
#include "app/uStartup.h"
#include "comm/SPComm.h"
#include "comm/uFrmCom.h"
#include "comm/uLinkConnections.h"
#include "comm/uLinkRequest.h"
#include "model/UShareData.h"
#include "model/uLocalPara.h"
#include "simharness/SimHarness.h"
#include "support/DialogScript.h"
#include "support/TestSupport.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

using namespace simtest;

constexpr int ScanWaitMs = 90000; // a whole scan, on a shared machine under sanitizers

QStringList rowTexts(const QTreeWidgetItem* item)
{
    QStringList t;
    for (int c = 0; c < item->columnCount(); ++c) t << item->text(c);
    return t;
}

class PortDialogFind : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll(); // before the script installs its answers
        script = std::make_unique<DialogScript>();
        ASSERT_TRUE(dir.isValid());
        // The cabinet is at 9600 bit/s, address 7; the tool starts at 2400 and hears nothing.
        ASSERT_TRUE(sim.start({"--strict-speed", "--baud", "9600", "--addresses", "7", "--no-drift"}));
        TCmdLine options;
        QString error;
        ASSERT_TRUE(ParseCmdLine({"zyrtool", "--settings-dir", dir.path(), "--port", sim.link(), "--baud", "2400",
                                  "--connect"},
                                 options, error))
            << error.toStdString();
        startup = std::make_unique<TStartup>(options);
        ASSERT_TRUE(startup->CreateWindows(error)) << error.toStdString();
        startup->Start();
        ASSERT_TRUE(FrmCom->PortOpen());
    }
    void TearDown() override
    {
        startup.reset();
        script.reset();
        SetSettingsFolderOverride(QString());
    }
    QString settingsText() const { return QString::fromUtf8(FileBytes(dir.filePath("UserParaIni.ini"))); }
    // Opens the port dialog from the menu; the script runs while it is shown.
    void openDialog(const std::function<int(TFrmCommInterface*)>& run)
    {
        script->otherModal = [&](QDialog* d) {
            auto* dlg = qobject_cast<TFrmCommInterface*>(d);
            if (!dlg) return int(QDialog::Rejected);
            dlg->show();
            const int r = run(dlg);
            dlg->hide();
            return r;
        };
        startup->Main()->mni1001Click();
        script->otherModal = nullptr;
    }
    static bool waitForScanEnd(TFrmCommInterface* dlg)
    {
        return QTest::qWaitFor([dlg] { return !dlg->Scanning(); }, ScanWaitMs);
    }

    QTemporaryDir dir;
    SimProcess sim;
    std::unique_ptr<DialogScript> script;
    std::unique_ptr<TStartup> startup;
};

TEST_F(PortDialogFind, FindThenChooseConfirmsTheSpeedAndSelectsTheAddress)
{
    TFrmMain* w = startup->Main();
    ASSERT_EQ(w->DevAddr, 1);
    openDialog([&](TFrmCommInterface* dlg) {
        EXPECT_EQ(dlg->ComboBox1->currentText(), sim.link());
        EXPECT_FALSE(dlg->lstFound->isVisible());
        QTest::mouseClick(dlg->btnFind, Qt::LeftButton);
        EXPECT_FALSE(FrmCom->PortOpen()) << "the link lets go of the port while the scan runs";
        EXPECT_TRUE(dlg->lstFound->isVisible());
        EXPECT_TRUE(dlg->pbFind->isVisible());
        EXPECT_TRUE(dlg->btnFindCancel->isEnabled());
        EXPECT_FALSE(dlg->btnFind->isEnabled());
        EXPECT_TRUE(waitForScanEnd(dlg));

        EXPECT_EQ(dlg->pbFind->value(), dlg->pbFind->maximum());
        EXPECT_FALSE(dlg->btnFindCancel->isEnabled());
        EXPECT_EQ(dlg->lblFind->text(), "Found 1; double-click to use");
        EXPECT_EQ(dlg->lstFound->topLevelItemCount(), 1);
        QTreeWidgetItem* item = dlg->lstFound->topLevelItem(0);
        if (!item) return int(QDialog::Rejected);
        EXPECT_EQ(rowTexts(item), (QStringList{"7", "9600", "ZYR 50", "V3.10.0025"}));
        EXPECT_FALSE(FrmCom->PortOpen()) << "the port stays closed until a choice";
        // A double click as the platform delivers it: press, release, double click, release.
        const QPoint at = dlg->lstFound->visualItemRect(item).center();
        QTest::mouseClick(dlg->lstFound->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(dlg->lstFound->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseRelease(dlg->lstFound->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        return dlg->result();
    });
    EXPECT_TRUE(script->messages.empty()) << script->messageTexts().join('\n').toStdString();

    // As Confirm does: the port reopened at the cabinet's speed, everything saved; and the
    // main window asks address 7.
    EXPECT_TRUE(FrmCom->PortOpen());
    EXPECT_EQ(FrmCom->SerialPort().BaudRate(), 9600u);
    EXPECT_EQ(TestLinkState().ActiveProtocol, 0);
    EXPECT_EQ(w->DevAddr, 7);
    EXPECT_EQ(w->cbbSelectZYR->currentText(), "7");
    const QString saved = settingsText();
    for (const QString& line : {"ComName=" + sim.link(), QStringLiteral("BaudRate=9600"),
                                QStringLiteral("SelectedAddr=7"), QStringLiteral("curProtocol=0")})
        EXPECT_TRUE(saved.contains(line)) << line.toStdString() << " in " << saved.toStdString();
    // The link polls the chosen cabinet, which answers. What the window had queued for the
    // cabinet selected before (its periodic reads waited while the scan held the port) asks
    // the chosen one: no request goes to the old address, to cost three timeouts each.
    struct {
        QList<int> addresses;
    } seen;
    TLinkConnections listening;
    listening << QObject::connect(FrmCom, &TFrmCom::RequestBuilt,
                                  [&seen](const TLinkRequest& r) { seen.addresses << r.addr; });
    EXPECT_TRUE(QTest::qWaitFor([] { return TestCommDebug().AckCount > 0; }, 20000));
    ASSERT_FALSE(seen.addresses.isEmpty());
    EXPECT_EQ(seen.addresses.count(7), seen.addresses.size()) << "addresses asked: " << [&] {
        QStringList t;
        for (int a : seen.addresses) t << QString::number(a);
        return t.join(' ').toStdString();
    }();
}

TEST_F(PortDialogFind, APortHeldByAnotherProgramIsToldWithItsReason)
{
    FrmCom->ClosePort();
    QSerialPort other(sim.link());
    ASSERT_TRUE(other.open(QIODevice::ReadWrite));
    openDialog([&](TFrmCommInterface* dlg) {
        QTest::mouseClick(dlg->btnFind, Qt::LeftButton);
        EXPECT_FALSE(dlg->Scanning());
        EXPECT_TRUE(dlg->btnFind->isEnabled());
        EXPECT_EQ(dlg->lstFound->topLevelItemCount(), 0);
        return int(QDialog::Rejected);
    });
    ASSERT_EQ(script->messages.size(), 1u);
    const QString text = script->messages[0].text;
    EXPECT_EQ(text.section('\n', 0, 0), QString::fromLatin1(TComm::MsgOpenFailed));
    EXPECT_TRUE(text.section('\n', 1, 1).startsWith("Port " + sim.link() + ": in use by another program"))
        << text.toStdString();
    EXPECT_FALSE(text.contains("usermod")) << "not a question of the user's rights";
}

TEST_F(PortDialogFind, CancelStopsTheScanAndTheDialogsCancelGivesTheLinkItsPortBack)
{
    openDialog([&](TFrmCommInterface* dlg) {
        QTest::mouseClick(dlg->btnFind, Qt::LeftButton);
        EXPECT_TRUE(dlg->Scanning());
        QTest::qWait(200);
        QTest::mouseClick(dlg->btnFindCancel, Qt::LeftButton);
        EXPECT_FALSE(dlg->Scanning());
        EXPECT_EQ(dlg->lblFind->text(), "Search cancelled");
        EXPECT_LT(dlg->pbFind->value(), dlg->pbFind->maximum());
        EXPECT_TRUE(dlg->btnFind->isEnabled());
        EXPECT_FALSE(FrmCom->PortOpen());
        QTest::mouseClick(dlg->Button2, Qt::LeftButton);
        return dlg->result();
    });
    EXPECT_TRUE(FrmCom->PortOpen()) << "the link goes on as before the Find";
    EXPECT_EQ(FrmCom->SerialPort().BaudRate(), 2400u);
    EXPECT_TRUE(script->messages.empty());
}

// A demonstration run: its simulated cabinet's line lives in a folder of the run. Whatever the
// operator confirms on it stays out of the settings file, which keeps the engineer's own port.
class PortDialogFindDemo : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        script = std::make_unique<DialogScript>();
        ASSERT_TRUE(dir.isValid());
        QFile ini(dir.filePath("UserParaIni.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(saved);
        ini.close();
        TCmdLine options;
        QString error;
        ASSERT_TRUE(ParseCmdLine({"zyrtool", "--settings-dir", dir.path(), "--demo"}, options, error))
            << error.toStdString();
        startup = std::make_unique<TStartup>(options);
        startup->SetDemoSimulator(QStringLiteral(ZYR_CABINET_SIM));
        ASSERT_TRUE(startup->CreateWindows(error)) << error.toStdString();
        startup->Start();
        ASSERT_TRUE(FrmCom->PortOpen());
        demoPort = LocalPara.ComName;
    }
    void TearDown() override
    {
        startup.reset();
        script.reset();
        SetSettingsFolderOverride(QString());
    }
    QString settingsText() const { return QString::fromUtf8(FileBytes(dir.filePath("UserParaIni.ini"))); }
    void expectFileKeptItsPort(const char* when) const
    {
        const QString text = settingsText();
        for (const char* line : {"ComName=COM3", "BaudRate=4800", "SelectedAddr=2", "curProtocol=0"})
            EXPECT_TRUE(text.contains(QLatin1String(line)))
                << when << ": " << line << " in " << text.toStdString();
        EXPECT_FALSE(text.contains(demoPort)) << when << ": " << text.toStdString();
    }
    void openDialog(const std::function<int(TFrmCommInterface*)>& run)
    {
        script->otherModal = [&](QDialog* d) {
            auto* dlg = qobject_cast<TFrmCommInterface*>(d);
            if (!dlg) return int(QDialog::Rejected);
            dlg->show();
            const int r = run(dlg);
            dlg->hide();
            return r;
        };
        startup->Main()->mni1001Click();
        script->otherModal = nullptr;
    }

    const QByteArray saved = "[LocalPara]\nComName=COM3\nBaudRate=4800\ncurProtocol=0\nSelectedAddr=2\n";
    QTemporaryDir dir;
    QString demoPort;
    std::unique_ptr<DialogScript> script;
    std::unique_ptr<TStartup> startup;
};

TEST_F(PortDialogFindDemo, ConfirmAndAFoundCabinetLeaveTheFilesPortAlone)
{
    openDialog([&](TFrmCommInterface* dlg) {
        EXPECT_EQ(dlg->ComboBox1->currentText(), demoPort);
        QTest::mouseClick(dlg->Button1, Qt::LeftButton);
        return dlg->result();
    });
    EXPECT_TRUE(FrmCom->PortOpen()) << "confirmed on the demonstration's line";
    expectFileKeptItsPort("after Confirm");

    openDialog([&](TFrmCommInterface* dlg) {
        QTest::mouseClick(dlg->btnFind, Qt::LeftButton);
        // The demonstration's cabinet answers at the first speed tried; the choice ends the scan.
        EXPECT_TRUE(
            QTest::qWaitFor([dlg] { return !dlg->Found().isEmpty() || !dlg->Scanning(); }, ScanWaitMs));
        if (dlg->Found().isEmpty()) return int(QDialog::Rejected);
        dlg->lstFoundDblClick(0);
        return dlg->result();
    });
    EXPECT_TRUE(script->messages.empty()) << script->messageTexts().join('\n').toStdString();
    EXPECT_EQ(LocalPara.ComName, demoPort) << "the run goes on on the demonstration's line";
    EXPECT_TRUE(FrmCom->PortOpen());
    expectFileKeptItsPort("after a found cabinet was chosen");

    startup->Main()->close();
    expectFileKeptItsPort("at the end of the run");
}

TEST(PortDialogFindCaptions, BothLanguages)
{
    const struct {
        uint8_t language;
        const char *find, *cancel, *address, *speed, *type, *version;
    } cases[] = {
        {0, "Find", "Cancel", "Addr.", "bit/s", "Type", "Version"},
        {1, "查找", "取消", "地址", "波特率", "型号", "版本"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.language));
        ResetAll();
        LocalPara.Language = c.language;
        TFrmCommInterface dlg;
        dlg.show();
        EXPECT_EQ(dlg.btnFind->text(), QString::fromUtf8(c.find));
        EXPECT_EQ(dlg.btnFindCancel->text(), QString::fromUtf8(c.cancel));
        const QTreeWidgetItem* header = dlg.lstFound->headerItem();
        EXPECT_EQ(rowTexts(header), (QStringList{QString::fromUtf8(c.address), QString::fromUtf8(c.speed),
                                                 QString::fromUtf8(c.type), QString::fromUtf8(c.version)}));
        EXPECT_EQ(dlg.size(), QSize(233, 178)) << "the scan's panel shows from the first Find on";
    }
    ResetAll();
}

} // namespace
