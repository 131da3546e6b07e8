// The port dialog: the operator chooses the serial port, its speed and the protocol; Confirm
// reopens the port with them and saves the settings.
#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

class TFrmCommInterface : public QDialog {
    Q_OBJECT
public:
    explicit TFrmCommInterface(QWidget* parent = nullptr);

    // Fills the lists' texts from the settings and sets the captions in the current language.
    void FormShow();
    // Confirm: takes the texts, reopens the port, sets the link's protocol, saves, closes.
    // A speed that is not a whole number or a port that cannot be opened leaves it open.
    void Button1Click();
    // Cancel: closes with nothing changed.
    void Button2Click();

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QComboBox* ComboBox1;
    QComboBox* ComboBox2;
    QComboBox* ComboBox3;
    QCheckBox* chkFastLine;
    QPushButton* Button1;
    QPushButton* Button2;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showError(const QString& text);
};
