// The port dialog: the operator chooses the serial port, its speed and the protocol; Confirm
// reopens the port with them and saves the settings. Find looks for the cabinets on the chosen
// port at every speed and address; choosing one of them confirms its speed and address.
#pragma once

#include "comm/uCabinetScan.h"

#include <QDialog>
#include <QList>

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;

class TFrmCommInterface : public QDialog {
    Q_OBJECT
public:
    explicit TFrmCommInterface(QWidget* parent = nullptr);
    ~TFrmCommInterface() override;

    // Fills the lists' texts from the settings and sets the captions in the current language.
    void FormShow();
    // Confirm: takes the texts, reopens the port, sets the link's protocol, saves, closes.
    // A speed that is not a whole number or a port that cannot be opened leaves it open.
    void Button1Click();
    // Cancel: closes with nothing changed.
    void Button2Click();
    // Find: closes the link's port and scans the port of ComboBox1, listing what answers.
    void btnFindClick();
    // Stops the scan; what was found stays listed.
    void btnFindCancelClick();
    // Chooses the cabinet listed in that row: its port, speed and Modbus are confirmed as
    // Confirm does, and the main window selects its address, which is saved with them.
    void lstFoundDblClick(int row);

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QComboBox* ComboBox1;
    QComboBox* ComboBox2;
    QComboBox* ComboBox3;
    QCheckBox* chkFastLine;
    QPushButton* Button1;
    QPushButton* Button2;
    QPushButton* btnFind;
    // Shown from the first Find on.
    QLabel* lblFind;
    QProgressBar* pbFind;
    QPushButton* btnFindCancel;
    QTreeWidget* lstFound;

    // What the last scan found, in the order of lstFound.
    const QList<TScanFound>& Found() const { return found_; }
    bool Scanning() const { return scan_ && scan_->Running(); }

public Q_SLOTS:
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showError(const QString& text);
    bool confirm();
    void showFindPanel();
    void findCaptions();
    void onScanProgress(int done, int total, int baud, int address);
    void onCabinetFound(const TScanFound& found);
    void onScanFinished(bool cancelled);
    void restoreLink();

    TCabinetScan* scan_ = nullptr;
    QList<TScanFound> found_;
    bool linkWasOpen_ = false; // Find closed the link's port; Cancel opens it again
    int scanBaud_ = 0;
    int scanAddress_ = 0;
    enum class TFindState { Idle, Scanning, Found, None, Cancelled } findState_ = TFindState::Idle;
};
