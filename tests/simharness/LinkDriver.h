// Drives the tool's link form (the real TComm and codec) against a peer on a pseudo-terminal:
// Timer1 is stopped and its handler called once per 100 ms of real time while events are
// processed, so that serial bytes flow as they would and the test sees every tick.
#pragma once

#include "comm/uFrmCom.h"
#include "model/UShareData.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <functional>
#include <memory>

namespace simtest {

class LinkDriver {
public:
    // Opens the link on the device path at the given speed; false when it did not open.
    bool open(const QString& path, int baud)
    {
        frm_ = std::make_unique<TFrmCom>();
        frm_->Timer1.stop();
        try {
            frm_->OpenPort(path, baud);
        } catch (const ECommsError&) {
            return false;
        }
        return frm_->PortOpen();
    }

    void close()
    {
        if (frm_) frm_->ClosePort();
        frm_.reset();
    }

    ~LinkDriver() { close(); }

    // One tick: 100 ms of events, then the timer's handler.
    void tick()
    {
        pump(100);
        frm_->Timer1Timer();
        ++ticks_;
    }

    // Events only, no tick: lets a reply already on its way arrive. The loop sleeps between
    // events rather than spinning, so a test does not starve the cabinet it talks to.
    static void pump(int ms)
    {
        QEventLoop loop;
        QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
    }

    // Ticks until done() holds (checked before every tick); false after maxTicks.
    bool tickUntil(const std::function<bool()>& done, int maxTicks)
    {
        for (int i = 0; i < maxTicks; ++i) {
            if (done()) return true;
            tick();
        }
        return done();
    }

    TFrmCom& frm() { return *frm_; }
    int ticks() const { return ticks_; }

private:
    std::unique_ptr<TFrmCom> frm_;
    int ticks_ = 0;
};

} // namespace simtest
