#include "app/UFrmCommInterface.h"

#include "comm/SPComm.h"
#include "comm/uFrmCom.h"
#include "model/UShareData.h"
#include "model/uDataFunc.h"
#include "model/uLocalPara.h"
#include "ui/uNamed.h"
#include "ui/uOpenFailure.h"
#include "ui/uUiSeam.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QShowEvent>

#include <exception>

namespace {

QComboBox* makeList(QWidget* parent, const char* name, int top, const QStringList& items)
{
    auto* box = MakeNamed<QComboBox>(parent, name, QRect(96, top, 121, 24));
    box->setEditable(true);
    // A typed text is taken as it stands; it never becomes an item of the list.
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItems(items);
    return box;
}

// "COM1" to "COM20", then the serial ports this machine really has (USB adapters, for
// instance) that are not already one of those names.
QStringList portNames()
{
    QStringList names;
    QStringList devices;
    for (int n = 1; n <= 20; ++n) {
        names << QStringLiteral("COM%1").arg(n);
        devices << TFrmCom::DeviceName(names.last());
    }
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
#ifdef Q_OS_WIN
        const QString name = info.portName();
#else
        const QString name = info.systemLocation();
#endif
        if (name.isEmpty() || devices.contains(info.systemLocation()) ||
            names.contains(name, Qt::CaseInsensitive))
            continue;
        names << name;
    }
    return names;
}

} // namespace

TFrmCommInterface::TFrmCommInterface(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FrmCommInterface"));
    setFixedSize(233, 178);

    Label1 = MakeNamed<QLabel>(this, "Label1", QRect(16, 20, 76, 24));
    Label2 = MakeNamed<QLabel>(this, "Label2", QRect(16, 56, 76, 24));
    Label3 = MakeNamed<QLabel>(this, "Label3", QRect(16, 92, 76, 24));
    ComboBox1 = makeList(this, "ComboBox1", 20, portNames());
    ComboBox2 = makeList(this, "ComboBox2", 56, {"1200", "2400", "4800", "9600", "19200"});
    ComboBox3 = makeList(this, "ComboBox3", 92, {"ModBus", "YDT V3.1", "DSP Comm", "TCP+ModBus"});
    Button1 = MakeNamed<QPushButton>(this, "Button1", QRect(24, 136, 80, 26));
    Button2 = MakeNamed<QPushButton>(this, "Button2", QRect(129, 136, 80, 26));
    Button1->setDefault(true);

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
}

void TFrmCommInterface::showEvent(QShowEvent* event)
{
    if (!event->spontaneous()) FormShow();
    QDialog::showEvent(event);
}

void TFrmCommInterface::FormShow()
{
    ComboBox1->setCurrentText(LocalPara.ComName);
    ComboBox2->setCurrentText(QString::number(LocalPara.BaudRate));
    // An index outside the list (a typed protocol, -1) leaves the list with no choice.
    ComboBox3->setCurrentIndex(LocalPara.curProtocol >= 0 && LocalPara.curProtocol < ComboBox3->count()
                                   ? LocalPara.curProtocol
                                   : -1);

    Label1->setText(LangText("Port", "串口"));
    Label2->setText(LangText("Bound Rate", "波特率"));
    Label3->setText(LangText("Protocol", "通讯协议"));
    Button1->setText(LangText("Confirm", "确定"));
    Button2->setText(LangText("Cancel", "取消"));
    setWindowTitle(LangText("Set Port", "通讯端口设置"));
}

void TFrmCommInterface::showError(const QString& text)
{
    TMessageBoxRequest request;
    request.parent = this;
    request.icon = QMessageBox::Critical;
    request.title = QCoreApplication::applicationName();
    request.text = text;
    ShowMessageBox(request);
}

void TFrmCommInterface::Button1Click()
{
    LocalPara.ComName = ComboBox1->currentText();

    const QString speedText = ComboBox2->currentText();
    bool ok = false;
    const int speed = speedText.trimmed().toInt(&ok, 10);
    if (!ok) {
        showError(QStringLiteral("'%1' is not a valid integer value").arg(speedText));
        return;
    }
    LocalPara.BaudRate = speed;

    // The list's index of the text shown; a text typed to match an item counts as that item.
    int protocol = ComboBox3->currentIndex();
    if (protocol < 0 || ComboBox3->itemText(protocol) != ComboBox3->currentText())
        protocol = ComboBox3->findText(ComboBox3->currentText(), Qt::MatchFixedString);
    LocalPara.curProtocol = protocol;

    if (FrmCom) {
        try {
            FrmCom->OpenPort();
        } catch (const ECommsError& e) {
            // The port stays closed and the link keeps its protocol; the operator may correct
            // the choice and confirm again.
            showError(OpenFailureText(e));
            return;
        } catch (const std::exception& e) {
            showError(QString::fromLocal8Bit(e.what()));
            return;
        }
        FrmCom->SetActiveProtocol(LocalPara.curProtocol);
    }
    SaveLocalPara();
    accept();
}

void TFrmCommInterface::Button2Click() { reject(); }
