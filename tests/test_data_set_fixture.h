// A data set window over a link whose port is open (or closed) without a device, and a device
// record for address 1 with the values of a 400 V / 50 Hz cabinet.
#pragma once

#include "comm/uCabinet.h"
#include "comm/uFrmCom.h"
#include "model/UShareData.h"
#include "model/uUpsInfo.h"
#include "settings/uFrmDataSet.h"
#include "support/DialogScript.h"
#include "support/FakeTransport.h"
#include "support/TestSupport.h"
#include "ui/uGraceWindows.h"

#include <QApplication>
#include <QListWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

class DataSetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        ClearGraceWindowProbes();
        com = std::make_unique<TFrmCom>();
        com->Timer1.stop();
        UseFakeLine(
            *com, [this] { return portOpen; }, [](const uint8_t*, int) { return true; });
        TUpsData& r = Cabinet().UpsData[1];
        r.Para40002 = 1;
        r.Para40003 = 4;
        r.Para40004 = 0;
        r.Para40005 = 230;
        r.Para40006 = 50;
        r.Para40007 = 1;
        r.Para40011 = 5;
        r.Para40012 = 15;
        r.Para40013 = 65516;
        r.Para40014 = 0;
        r.Para40015 = 32;
        r.Para40017 = 2;
        r.Para40018 = 235;
        r.Para40019 = 225;
        r.Para40020 = 175;
        r.Para40021 = 100;
        r.Para40023 = 20;
        r.Para40024 = 10;
        r.Para40025 = 30;
        r.Para40030 = 100;
        r.Para40035 = 5;
        r.SysState = 3; // on bypass
    }
    void TearDown() override
    {
        dlg.reset();
        com.reset();
        ClearGraceWindowProbes();
        ResetAll();
    }
    TFrmDataSet& window()
    {
        if (!dlg) {
            dlg = std::make_unique<TFrmDataSet>();
            dlg->show();
            dlg->activateWindow();
            QApplication::setActiveWindow(dlg.get());
        }
        return *dlg;
    }
    void choose(int row) { window().lstUpsSet->setCurrentRow(row); }
    static bool slotsUntouched()
    {
        for (int i = 1; i <= ReqSlotCount; ++i)
            if (TestSlots()[i].Pending) return false;
        return true;
    }

    bool portOpen = true;
    std::unique_ptr<TFrmCom> com;
    std::unique_ptr<TFrmDataSet> dlg;
};
