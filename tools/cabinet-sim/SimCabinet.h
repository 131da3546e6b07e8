// The simulated cabinet: the line, the request framer, the slave and the fault injector, put
// together on one event loop.
#pragma once

#include "SimFaults.h"
#include "SimFrameLog.h"
#include "SimFramer.h"
#include "SimLine.h"
#include "SimOptions.h"
#include "SimSlave.h"

#include <QObject>
#include <QTimer>

#include <random>

namespace sim {

class Cabinet : public QObject {
    Q_OBJECT
public:
    explicit Cabinet(const Options& options, QObject* parent = nullptr);

    bool start(QString& error);
    void stop();

Q_SIGNALS:
    // --vanish-after-writes: the line is gone; the program ends.
    void vanished();

private:
    void onRequest(const std::vector<uint8_t>& frame);
    void transmit(std::vector<uint8_t> reply, int address);
    void countWriteAnswered(const std::vector<uint8_t>& frame);

    Options options_;
    std::mt19937 random_;
    Line line_;
    RequestFramer framer_;
    Slave slave_;
    FaultInjector faults_;
    FrameLog log_;
    QTimer driftTimer_;
    bool silent_ = false;
    int writesAnswered_ = 0;
    QTimer vanishTimer_;
    QTimer hourTimer_;
};

} // namespace sim
