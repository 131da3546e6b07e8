// A main window over a settings file in a private folder, for the main-window tests.
#pragma once

#include "app/UFrmMain.h"
#include "model/uLocalPara.h"
#include "support/TestSupport.h"
#include "ui/uGraceWindows.h"
#include "ui/uStringGrid.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        ClearGraceWindowProbes();
        TxLedHold = RxLedHold = 0;
        ASSERT_TRUE(dir_.isValid());
        SetSettingsFolderOverride(dir_.path());
    }
    void TearDown() override
    {
        w_.reset();
        ClearGraceWindowProbes();
        SetSettingsFolderOverride(QString());
    }
    // Writes section LocalPara of the settings file before the window reads it.
    void writeSettings(const QString& lines)
    {
        QFile f(dir_.filePath(QStringLiteral("UserParaIni.ini")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(("[LocalPara]\n" + lines).toUtf8());
    }
    TFrmMain& window()
    {
        if (!w_) {
            w_ = std::make_unique<TFrmMain>();
            w_->tmr1->stop(); // the tests drive the timer tick by tick
        }
        return *w_;
    }
    // One period: eleven ticks of the 100 ms timer.
    void period()
    {
        for (int i = 0; i < 11; ++i) window().tmr1Timer();
    }

    QTemporaryDir dir_;
    std::unique_ptr<TFrmMain> w_;
};
