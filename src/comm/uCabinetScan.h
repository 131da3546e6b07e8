// Finds the cabinets on a line whose speed and addresses are not known: at each of the port
// dialog's speeds it asks every address for its version text (function 43, object 2), and
// every cabinet that answers for its type and rating (object 1). Each try waits only the wire
// time of the request and of the reply it expects, plus a margin for the cabinet's turnaround,
// so that a whole silent line is done in a few seconds.
//
// The scan drives the serial port itself while the link's port is closed, and closes it when it
// ends. Everything runs on the event loop of the calling thread: start it and let the loop run.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QSerialPort;
class QTimer;

// The serial ports the system lists, named as the operator gives them: the port name on Windows
// (COM3), the device path elsewhere (/dev/ttyUSB0).
QStringList SystemSerialPorts();

struct TScanFound {
    QString Port;     // the port name the scan was given
    int Baud = 0;     // bit/s
    int Address = 0;  // 1..15
    QString Version;  // object 2; empty when the cabinet refused the request
    bool Identified = false; // object 1 answered: Type and Rating hold its values
    QString Type;     // the first three characters of object 1
    int Rating = 0;   // 256 x its fifth byte + its sixth byte
};

// A reply that could not be read, twice in a row: something is there at that speed.
struct TScanGarbled {
    int Baud = 0;
    int Address = 0;
};

class TCabinetScan : public QObject {
    Q_OBJECT
public:
    // The port dialog's speeds, fastest first.
    static const QList<int>& DefaultSpeeds();
    static constexpr int FirstAddress = 1;
    static constexpr int LastAddress = 15;
    // On top of the wire times: the cabinet's turnaround, and the latency of a USB adapter
    // (an FTDI holds short input for up to 16 ms).
    static constexpr int MarginMs = 40;
    // The frames of a try: the request, and the reply of a cabinet whose version text has
    // ten characters (object 2 alone) or whose object 1 comes with object 2 behind it.
    static constexpr int RequestBytes = 7;
    static constexpr int VersionReplyBytes = 22;
    static constexpr int TypeReplyBytes = 30;
    // An answer still arriving when the try's time is up is received to its end, up to this size,
    // until the line has been quiet for 3.5 characters and at least this long.
    static constexpr int MaxReplyBytes = 256;
    static constexpr int PieceGapMs = 20;

    explicit TCabinetScan(QObject* parent = nullptr);
    ~TCabinetScan() override;

    // For tests and measurements: fewer speeds or addresses. Before Start only.
    void SetSpeeds(const QList<int>& speeds);
    void SetAddresses(int first, int last);
    // For tests of what the scan makes of an answer, on a machine too busy to keep time: a
    // longer margin per try.
    void SetMarginMs(int ms);

    // Opens the port (COMn, a device path, ttyUSB0 ...) at the first speed and begins. Raises
    // ECommsError with the system's reason when the port cannot be opened; nothing runs then.
    void Start(const QString& portName);
    // Stops at once and closes the port; Finished(true) follows.
    void Cancel();
    bool Running() const { return running_; }

    QString PortName() const { return portName_; }
    // The device the port name stands for on this machine.
    QString DeviceLocation() const { return location_; }
    // Progress: the version reads done (each address at each speed once), of how many.
    int Done() const { return done_; }
    int Total() const { return int(speeds_.size()) * (last_ - first_ + 1); }
    const QList<TScanFound>& Found() const { return found_; }
    const QList<TScanGarbled>& Garbled() const { return garbled_; }
    // Sum, over every try made, of the request's and the expected reply's wire time.
    double WaitedWireMs() const { return waitedWireMs_; }
    int Tries() const { return tries_; }

    // How received bytes answer a function 43 request to an address: one whole reply whose
    // objects fill it to a good CRC, an exception reply, or neither. Never reads past them.
    enum class TAnswer { None, Answer, Refused };
    static TAnswer JudgeAnswer(const QByteArray& bytes, int address);
    // The value of object id in a whole function 43 reply; false when it does not hold it.
    static bool ObjectValue(const QByteArray& reply, int id, QByteArray& value);

    // Time of one character at a speed: start bit, 8 data bits, 2 stop bits.
    static double CharMs(int baud) { return 11000.0 / baud; }
    // The time a try waits for its reply when nothing arrives.
    static double TryWindowMs(int baud, int replyBytes, int marginMs = MarginMs);

Q_SIGNALS:
    // A new try at (baud, address) is under way; done of total version reads finished.
    void Progress(int done, int total, int baud, int address);
    void CabinetFound(const TScanFound& found);
    void GarbledAnswer(int baud, int address);
    void Finished(bool cancelled);

private:
    enum class TOutcome { Silent, Answer, Refused, Garbled };
    enum class TPhase { Version, Type };

    void sendTry();
    void onReadyRead();
    void onWindowEnd();
    TOutcome judge(bool complete) const;
    void tryEnded(TOutcome outcome);
    void nextAddress();
    void finish(bool cancelled);
    void closePort();

    QList<int> speeds_;
    int first_ = FirstAddress;
    int last_ = LastAddress;
    int marginMs_ = MarginMs;
    int lateAddress_ = 0; // the address asked just before at this speed, when it stayed silent
    QString portName_;
    QString location_;
    QSerialPort* port_ = nullptr;
    QTimer* window_ = nullptr;
    bool running_ = false;

    int speedIndex_ = 0;
    int address_ = FirstAddress;
    TPhase phase_ = TPhase::Version;
    int attempt_ = 1;
    QByteArray rx_;
    QElapsedTimer sinceByte_;
    QElapsedTimer sinceSend_;
    TScanFound current_;

    int done_ = 0;
    int tries_ = 0;
    double waitedWireMs_ = 0;
    QList<TScanFound> found_;
    QList<TScanGarbled> garbled_;
};
