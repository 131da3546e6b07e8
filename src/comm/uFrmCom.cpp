// Placeholder until the link issue lands.
#include "comm/uFrmCom.h"

TFrmCom* FrmCom = nullptr;

TFrmCom::TFrmCom(QObject* parent) : QObject(parent) { FormCreate(); }
TFrmCom::~TFrmCom() = default;
void TFrmCom::FormCreate()
{
    Modbus = std::make_unique<TMModbus>(TxBuf);
    Ydt = std::make_unique<TYDT_V31>();
}
void TFrmCom::OpenPort() {}
void TFrmCom::ClosePort() {}
bool TFrmCom::PortOpen() const { return Comm1.IsOpen(); }
void TFrmCom::SetActiveProtocol(int protocol) { LinkState.ActiveProtocol = protocol; }
void TFrmCom::SendFrame(const uint8_t*, int) {}
void TFrmCom::LinkTick() {}
void TFrmCom::Timer1Timer() {}
void TFrmCom::Comm1ReceiveData(const uint8_t*, int) {}
QString TFrmCom::DeviceName(const QString& comName) { return comName; }
